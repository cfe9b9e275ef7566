// The capture folder's clips and snapshots, newest first: each clip plays
// here, each can be downloaded and deleted; a new one appears by itself.
'use strict';

(function () {
  const LIST_EVERY_MS = 1000;  // how often the folder is looked at again
  const token = new URLSearchParams(location.search).get('t') || '';
  const list = document.getElementById('list');
  const empty = document.getElementById('empty');
  const shown = new Map();  // name -> its element
  const withToken = (path) => path + '?t=' + encodeURIComponent(token);

  // A snapshot is some tens of KiB, a clip some MiB.
  function sizeText(bytes) {
    return bytes < 1048576 ? Math.max(1, Math.round(bytes / 1024)) + ' KiB'
                           : (bytes / 1048576).toFixed(1) + ' MiB';
  }

  function card(capture) {
    const element = document.createElement('div');
    element.className = 'capture';
    element.dataset.name = capture.name;
    const source = withToken('/clips/' + capture.name);
    const media = document.createElement(capture.name.endsWith('.mp4') ? 'video' : 'img');
    media.src = source;
    if (media.tagName === 'VIDEO') {
      media.controls = true;
      media.preload = 'metadata';
      media.playsInline = true;
    }
    const line = document.createElement('div');
    line.className = 'line';
    const name = document.createElement('span');
    name.textContent = capture.name + ' · ' + sizeText(capture.size);
    const download = document.createElement('a');
    download.href = source + '&download=1';
    download.textContent = '下载';
    const remove = document.createElement('button');
    remove.type = 'button';
    remove.textContent = '删除';
    remove.addEventListener('click', async () => {
      await fetch('/api/clips/' + capture.name,
                  {method: 'DELETE', headers: {'X-Tarnview-Token': token}});
      refresh();
    });
    line.append(name, download, remove);
    element.append(media, line);
    return element;
  }

  async function refresh() {
    const reply = await fetch('/api/clips', {headers: {'X-Tarnview-Token': token}, cache: 'no-store'});
    if (!reply.ok) {
      empty.textContent = await reply.text();
      empty.hidden = false;
      return;
    }
    const captures = await reply.json();
    const names = new Set(captures.map((capture) => capture.name));
    for (const [name, element] of shown) {
      if (!names.has(name)) {
        element.remove();
        shown.delete(name);
      }
    }
    // Newest first: each one not shown yet goes in before the first older one.
    let next = list.firstChild;
    for (const capture of captures) {
      let element = shown.get(capture.name);
      if (!element) {
        element = card(capture);
        shown.set(capture.name, element);
        list.insertBefore(element, next);
      }
      next = element.nextSibling;
    }
    empty.hidden = captures.length > 0;
  }

  document.getElementById('back').href = '/coach?t=' + encodeURIComponent(token);
  refresh().catch(() => {});
  setInterval(() => refresh().catch(() => {}), LIST_EVERY_MS);
})();
