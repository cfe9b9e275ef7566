// The viewer page: the camera's picture from the stream history, kept the
// delay in the address behind its arrival. The page learns the server's clock
// (the best of a few round trips to /time), reads each picture's arrival from
// the playlist's program-date-time mapping, and steers by small playback-rate
// nudges, or a seek when it is more than a second off.
'use strict';

(function () {
  const TEXTS = {
    waiting: '等待教学开始…',
    marker: (s) => '延时 ' + s + ' 秒',
    noH265: '此浏览器无法解码 H.265 视频。请在摄像机上选用 H.264 编码的辅码流（dwStreamType=1）。',
    noHls: '此浏览器无法播放 HLS 视频。',
    unreachable: '无法连接 Tarnview，正在重试…',
  };
  const STEER_EVERY_MS = 250;        // how often the delay is looked at
  const STATUS_EVERY_MS = 2000;      // how often the session's state is asked for
  const SEEK_BEYOND_MS = 1000;       // further off than this: a seek, not a nudge
  const KEEP_WITHIN_MS = 40;         // this close: normal speed
  const RATE_PER_MS = 1 / 4000;      // nudge: 1 % faster per 40 ms late
  const MAX_NUDGE = 0.08;            // never more than 8 % off normal speed
  const CLOCK_SAMPLES = 5;           // round trips to learn the server's clock

  const params = new URLSearchParams(location.search);
  const token = params.get('t') || '';
  const withToken = (path) => path + '?t=' + encodeURIComponent(token);
  const video = document.getElementById('picture');
  const marker = document.getElementById('marker');
  const notice = document.getElementById('notice');
  const delayBox = document.getElementById('delay');

  let offsetMs = 0;          // server clock minus ours
  let delayMs = 0;           // wanted: server now minus the shown picture's arrival
  let historySeconds = 0;    // how far back the server holds the stream
  let generation = null;     // the session being played
  let hls = null;

  function say(text) {
    notice.textContent = text || '';
    notice.hidden = !text;
  }

  function showDelay() {
    const seconds = Math.round(delayMs / 1000);
    marker.textContent = TEXTS.marker(seconds);
    if (document.activeElement !== delayBox) {
      delayBox.value = String(seconds);
    }
  }

  function setDelay(seconds) {
    const most = Math.max(1, Math.floor(historySeconds) || 1);
    delayMs = Math.min(Math.max(1, Math.round(seconds)), Math.max(most, 1)) * 1000;
    showDelay();
  }

  async function learnClock() {
    let best = Infinity;
    for (let i = 0; i < CLOCK_SAMPLES; ++i) {
      const sent = Date.now();
      const reply = await fetch(withToken('/time'), {cache: 'no-store'});
      const got = Date.now();
      const now = (await reply.json()).now;
      if (got - sent < best) {
        best = got - sent;
        offsetMs = now - (sent + got) / 2;
      }
    }
  }

  function serverNow() { return Date.now() + offsetMs; }

  // The arrival time of the picture shown, ms of the server's clock.
  function shownArrival() {
    if (hls) {
      return hls.playingDate ? hls.playingDate.getTime() : null;
    }
    const start = video.getStartDate ? video.getStartDate().getTime() : NaN;
    return Number.isFinite(start) ? start + video.currentTime * 1000 : null;
  }

  function canDecode(codec) {
    if (codec !== 'h265') {
      return true;
    }
    const types = ['video/mp4; codecs="hvc1.1.6.L93.B0"', 'video/mp4; codecs="hev1.1.6.L93.B0"'];
    const mse = window.MediaSource || window.ManagedMediaSource;
    return types.some((type) => (mse && mse.isTypeSupported(type)) || video.canPlayType(type));
  }

  function stopPlayer() {
    if (hls) {
      hls.destroy();
      hls = null;
    }
    video.removeAttribute('src');
    video.load();
  }

  // The position in the video whose picture arrived at `arrival`, from the
  // playlist's fragments; null before they are known.
  function positionOf(arrival) {
    const details = hls && hls.levels && hls.levels[0] && hls.levels[0].details;
    if (!details || !details.fragments.length) {
      return null;
    }
    let chosen = details.fragments[0];
    for (const fragment of details.fragments) {
      if (fragment.programDateTime !== null && fragment.programDateTime <= arrival) {
        chosen = fragment;
      }
    }
    return chosen.start + (arrival - chosen.programDateTime) / 1000;
  }

  function startPlayer(codec) {
    stopPlayer();
    if (!canDecode(codec)) {
      say(TEXTS.noH265);
      return;
    }
    say('');
    const source = withToken('/live.m3u8');
    if (window.Hls && Hls.isSupported()) {
      hls = new Hls({
        // The page keeps the delay itself: hls.js must not chase the live edge.
        liveSyncDuration: delayMs / 1000,
        liveMaxLatencyDuration: delayMs / 1000 + 24 * 3600,
        maxLiveSyncPlaybackRate: 1,
        backBufferLength: 10,
        maxBufferLength: 10,
      });
      hls.on(Hls.Events.LEVEL_LOADED, (event, data) => {
        if (video.dataset.placed !== String(generation)) {
          const position = positionOf(serverNow() - delayMs);
          if (position !== null) {
            video.currentTime = Math.max(position, data.details.fragments[0].start);
            video.dataset.placed = String(generation);
          }
        }
      });
      hls.on(Hls.Events.ERROR, (event, data) => {
        if (data.fatal && data.type === Hls.ErrorTypes.MEDIA_ERROR) {
          hls.recoverMediaError();
        } else if (data.fatal) {
          generation = null;  // the next status poll starts afresh
        }
      });
      hls.loadSource(source);
      hls.attachMedia(video);
    } else if (video.canPlayType('application/vnd.apple.mpegurl')) {
      video.src = source;  // Safari: HLS of its own
    } else {
      say(TEXTS.noHls);
      return;
    }
    video.play().catch(() => {});
  }

  function steer() {
    const arrival = shownArrival();
    if (arrival === null || video.paused || video.readyState < 2) {
      return;
    }
    const errorMs = serverNow() - arrival - delayMs;  // > 0: the picture is too old
    if (Math.abs(errorMs) > SEEK_BEYOND_MS) {
      const target = hls ? positionOf(serverNow() - delayMs) : video.currentTime + errorMs / 1000;
      if (target !== null) {
        video.currentTime = target;
      }
      video.playbackRate = 1;
    } else if (Math.abs(errorMs) <= KEEP_WITHIN_MS) {
      video.playbackRate = 1;
    } else {
      const nudge = Math.min(Math.max(errorMs * RATE_PER_MS, -MAX_NUDGE), MAX_NUDGE);
      video.playbackRate = 1 + nudge;
    }
    window.tarnviewDelayErrorMs = errorMs;  // for tests and the curious
  }

  async function pollStatus() {
    try {
      const reply = await fetch(withToken('/status'), {cache: 'no-store'});
      if (reply.status === 403) {
        say(await reply.text());
        return;
      }
      const status = await reply.json();
      historySeconds = status.history;
      delayBox.max = String(Math.max(1, Math.floor(historySeconds)));
      if (!delayMs) {
        setDelay(Number(params.get('delay')) || status.delay || 5);
      }
      if (!status.session) {
        if (generation !== null) {
          stopPlayer();
        }
        generation = null;
        say(TEXTS.waiting);
      } else if (status.generation !== generation) {
        generation = status.generation;
        startPlayer(status.codec);
      }
    } catch (error) {
      say(TEXTS.unreachable);
      generation = null;
    }
  }

  document.getElementById('later').addEventListener('click', () => setDelay(delayMs / 1000 - 1));
  document.getElementById('earlier').addEventListener('click', () => setDelay(delayMs / 1000 + 1));
  delayBox.addEventListener('change', () => setDelay(Number(delayBox.value)));
  video.addEventListener('click', () => {
    if (!document.fullscreenElement && document.documentElement.requestFullscreen) {
      document.documentElement.requestFullscreen().catch(() => {});
    }
  });

  (async function main() {
    try {
      await learnClock();
    } catch (error) {
      say(TEXTS.unreachable);
    }
    await pollStatus();
    setInterval(pollStatus, STATUS_EVERY_MS);
    setInterval(steer, STEER_EVERY_MS);
  })();
})();
