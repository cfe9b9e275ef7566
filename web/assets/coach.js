// The coach's remote: the display's keys and the start and stop of teaching,
// sent to the API with the token in the X-Tarnview-Token header (never a
// cookie, so that no other page can press them), and a line of state. The
// picture above is the viewer page's (viewer.js).
'use strict';

(function () {
  const STATE_EVERY_MS = 1000;  // how often the state line is brought up to date
  const token = new URLSearchParams(location.search).get('t') || '';
  const stateLine = document.getElementById('state');
  const message = document.getElementById('message');
  const SHOWING = {live: '实时', replay: '回放中', frozen: '定格'};
  const LINK = {0: 'TCP', 1: 'UDP'};

  async function call(method, path, body) {
    const reply = await fetch(path, {
      method,
      headers: {'X-Tarnview-Token': token, 'Content-Type': 'application/json'},
      body: body === undefined ? undefined : JSON.stringify(body),
      cache: 'no-store',
    });
    if (reply.status === 403) {
      throw new Error(await reply.text());
    }
    return reply.json();
  }

  async function act(method, path, body) {
    message.textContent = '';
    try {
      const answer = await call(method, path, body);
      message.textContent = answer.message || '';
    } catch (error) {
      message.textContent = error.message;
    }
    refresh();
  }

  function describe(state) {
    if (!state.session) {
      return '没有进行中的教学';
    }
    const parts = [
      (state.codec || '').toUpperCase(),
      state.width ? state.width + '×' + state.height : '',
      state.fps ? state.fps.toFixed(0) + ' 帧/秒' : '',
      state.mbps ? state.mbps.toFixed(1) + ' Mbit/s' : '',
      LINK[state.linkMode] || '',
      SHOWING[state.showing] || '',
      // The page's own picture may run later (the web screens' shortest delay).
      '主屏延时 ' + state.delay + ' 秒',
    ];
    if (state.lastClip) {
      parts.push('最近的片段 ' + state.lastClip);
    }
    return '教学中 · ' + parts.filter(Boolean).join(' · ');
  }

  async function refresh() {
    try {
      stateLine.textContent = describe(await call('GET', '/api/state'));
    } catch (error) {
      stateLine.textContent = error.message;
    }
  }

  for (const button of document.querySelectorAll('#keys button')) {
    button.addEventListener('click', () => act('POST', '/api/key', {key: button.dataset.key}));
  }
  for (const button of document.querySelectorAll('#session button')) {
    button.addEventListener('click', () => act('POST', '/api/session', {action: button.dataset.action}));
  }
  document.getElementById('gallery').href = '/clips?t=' + encodeURIComponent(token);
  refresh();
  setInterval(refresh, STATE_EVERY_MS);
})();
