// The viewer page: the camera's picture from the stream history, kept the
// delay in the address behind its arrival. The page learns the server's clock
// (the best of a few round trips to /time), reads each picture's arrival from
// the playlist's program-date-time mapping, and steers by small playback-rate
// nudges, or a seek when it is more than a second off.
'use strict';

(function () {
  const TEXTS = {
    waiting: '等待教学开始…',
    filling: (s) => '正在积累延时画面，还需 ' + s + ' 秒…',
    marker: (s) => '延时 ' + s + ' 秒',
    noH265: '此浏览器无法解码 H.265 视频。请在摄像机上选用 H.264 编码的辅码流（dwStreamType=1）。',
    noHls: '此浏览器无法播放 HLS 视频。',
    unreachable: '无法连接 Tarnview，正在重试…',
  };
  const STEER_EVERY_MS = 250;        // how often the delay is looked at
  const STATUS_EVERY_MS = 2000;      // how often the session's state is asked for
  const SEEK_BEYOND_MS = 1000;       // further off than this: a seek, not a nudge
  // Nudging starts beyond NUDGE_BEYOND_MS and goes on until SETTLED_WITHIN_MS:
  // stopping at the edge would leave the picture there for good.
  const NUDGE_BEYOND_MS = 40;
  const SETTLED_WITHIN_MS = 10;
  const SEEK_LEAD_WEIGHT = 0.5;      // share of the last seek's time in the estimate
  const MAX_SEEK_LEAD_MS = 500;      // a seek that waited for the network says little of the next
  // Nudge: 1 % faster per 15 ms late, so an error halves in about a second
  // (steered every 250 ms: each step takes a sixth of the error off).
  const RATE_PER_MS = 1 / 1500;
  const MAX_NUDGE = 0.08;            // never more than 8 % off normal speed
  const CLOCK_SAMPLES = 5;           // round trips to learn the server's clock
  // A picture is listed once its key-frame group is whole, and seen at the
  // next playlist reload (one segment later at most): the delay is at least
  // two of the longest segments, and a second for the fetch.
  const LEAST_SEGMENTS = 2;
  const FETCH_SECONDS = 1;
  // Once the history slides, its oldest group goes at every new one: the
  // picture shown keeps two segments clear of it.
  const OLDEST_CLEARANCE_SEGMENTS = 2;

  const params = new URLSearchParams(location.search);
  const token = params.get('t') || '';
  const withToken = (path) => path + '?t=' + encodeURIComponent(token);
  const video = document.getElementById('picture');
  const marker = document.getElementById('marker');
  const notice = document.getElementById('notice');
  const delayBox = document.getElementById('delay');

  let offsetMs = 0;          // server clock minus ours
  let wantedS = 0;           // the delay asked for (address or box), s; 0 before it is known
  let ceilingS = Infinity;   // the most the sliding history holds, s; only ever lowered
  let delayMs = 0;           // kept: server now minus the shown picture's arrival
  let generation = null;     // the session being played, or waited for
  let history = null;        // what the playlist says: see learnHistory
  let firstNumber = null;    // the oldest segment's number when this session was first seen
  let hls = null;
  let playing = false;       // a player runs (else the page waits for a session or its history)
  let nudging = false;       // the rate is off normal until the error is small
  // A seek lands this long after it is asked for (decoding from the key frame
  // before): seeks aim that far ahead, or every one lands that much late.
  let seekLeadMs = 0;
  let seekAskedAt = null;    // performance.now() of the seek under way

  function say(text) {
    notice.textContent = text || '';
    notice.hidden = !text;
  }

  function showDelay() {
    const seconds = Math.round(delayMs / 1000);
    marker.textContent = seconds ? TEXTS.marker(seconds) : '';
    if (document.activeElement !== delayBox) {
      delayBox.value = String(seconds || wantedS);
    }
  }

  function leastSeconds() {
    return history ? Math.ceil(LEAST_SEGMENTS * history.targetS + FETCH_SECONDS) : 1;
  }

  // The delay kept: the one asked for, within what segments can serve and,
  // once the history slides, what it holds. The ceiling only comes down, so
  // that the oldest group's coming and going does not move the picture.
  function keepDelay() {
    if (!wantedS) {
      return;
    }
    let keptS = Math.max(wantedS, leastSeconds());
    if (history && history.sliding) {
      const heldS = Math.floor((serverNow() - history.oldestMs) / 1000 -
                               OLDEST_CLEARANCE_SEGMENTS * history.targetS);
      if (keptS > heldS) {
        ceilingS = Math.min(ceilingS, Math.max(heldS, leastSeconds()));
      }
      delayBox.max = ceilingS === Infinity ? '' : String(ceilingS);
    }
    delayBox.min = String(leastSeconds());
    delayMs = Math.min(keptS, ceilingS) * 1000;
    showDelay();
  }

  function setDelay(seconds) {
    wantedS = Math.max(1, Math.round(seconds) || 1);
    ceilingS = Infinity;
    keepDelay();
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

  // What the playlist text tells of the history: its oldest segment's number
  // and arrival (ms, server clock), its longest segment (s), and whether it
  // slides (its oldest segment left since this session was first seen).
  function learnHistory(playlist) {
    const number = /#EXT-X-MEDIA-SEQUENCE:(\d+)/.exec(playlist);
    const date = /#EXT-X-PROGRAM-DATE-TIME:(\S+)/.exec(playlist);
    const target = /#EXT-X-TARGETDURATION:(\d+)/.exec(playlist);
    if (!number || !date || !target) {
      return;
    }
    const first = Number(number[1]);
    if (firstNumber === null) {
      firstNumber = first;
    }
    history = {oldestMs: Date.parse(date[1]), targetS: Number(target[1]),
               sliding: first > firstNumber};
    keepDelay();
  }

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
    playing = false;
    video.removeAttribute('src');
    video.load();
  }

  // The position in the video whose picture arrived at `arrival`, from the
  // playlist's fragments; null before they are known or when none is that old.
  function positionOf(arrival) {
    const details = hls && hls.levels && hls.levels[0] && hls.levels[0].details;
    if (!details || !details.fragments.length ||
        !(details.fragments[0].programDateTime <= arrival)) {
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

  function startPlayer() {
    stopPlayer();
    playing = true;
    say('');
    const source = withToken('/live.m3u8');
    if (window.Hls && Hls.isSupported()) {
      hls = new Hls({
        // The page keeps the delay itself: hls.js must not chase the live
        // edge, and loads from where the delay places the picture.
        autoStartLoad: false,
        liveSyncDuration: delayMs / 1000,
        liveMaxLatencyDuration: delayMs / 1000 + 24 * 3600,
        maxLiveSyncPlaybackRate: 1,
        backBufferLength: 10,
        maxBufferLength: 10,
      });
      let loading = false;
      hls.on(Hls.Events.LEVEL_LOADED, () => {
        const position = positionOf(serverNow() - delayMs);
        if (!loading && position !== null) {
          loading = true;
          hls.startLoad(position);
        }
      });
      hls.on(Hls.Events.ERROR, (event, data) => {
        if (data.fatal && data.type === Hls.ErrorTypes.MEDIA_ERROR) {
          hls.recoverMediaError();
        } else if (data.fatal) {
          stopPlayer();
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
    if (!playing || arrival === null || video.paused || video.readyState < 2) {
      return;
    }
    const errorMs = serverNow() - arrival - delayMs;  // > 0: the picture is too old
    if (Math.abs(errorMs) > SEEK_BEYOND_MS) {
      const target = hls ? positionOf(serverNow() - delayMs + seekLeadMs)
                         : video.currentTime + (errorMs + seekLeadMs) / 1000;
      if (target !== null) {
        seekAskedAt = performance.now();
        video.currentTime = target;
      }
      video.playbackRate = 1;
      nudging = false;
    } else if (Math.abs(errorMs) <= (nudging ? SETTLED_WITHIN_MS : NUDGE_BEYOND_MS)) {
      video.playbackRate = 1;
      nudging = false;
    } else {
      const nudge = Math.min(Math.max(errorMs * RATE_PER_MS, -MAX_NUDGE), MAX_NUDGE);
      video.playbackRate = 1 + nudge;
      nudging = true;
    }
    window.tarnviewDelayErrorMs = errorMs;  // for tests and the curious
  }

  // Plays once the history reaches back as far as the delay; until then the
  // page says how long that takes. The history was asked for just before.
  function playOrWait() {
    if (!history) {
      return;
    }
    const heldMs = serverNow() - history.oldestMs;
    if (heldMs >= delayMs) {
      if (!playing) {
        startPlayer();
      }
    } else {
      if (playing) {
        stopPlayer();  // a longer delay than the history holds yet
      }
      say(TEXTS.filling(Math.ceil((delayMs - heldMs) / 1000)));
    }
  }

  async function pollStatus() {
    try {
      const reply = await fetch(withToken('/status'), {cache: 'no-store'});
      if (reply.status === 403) {
        say(await reply.text());
        return;
      }
      const status = await reply.json();
      if (!wantedS) {
        setDelay(Number(params.get('delay')) || status.delay || 5);
      }
      if (!status.session) {
        if (generation !== null) {
          stopPlayer();
        }
        generation = null;
        say(TEXTS.waiting);
        return;
      }
      if (status.generation !== generation) {
        stopPlayer();
        generation = status.generation;
        history = null;
        firstNumber = null;
        ceilingS = Infinity;
        if (!canDecode(status.codec)) {
          say(TEXTS.noH265);
          return;
        }
      } else if (!canDecode(status.codec)) {
        return;
      }
      const playlist = await fetch(withToken('/live.m3u8'));
      if (playlist.ok) {
        learnHistory(await playlist.text());
        playOrWait();
      } else if (!playing) {
        say(TEXTS.filling(Math.round(delayMs / 1000)));  // no whole key-frame group yet
      }
    } catch (error) {
      // A picture that plays goes on from what it holds (hls.js retries on
      // its own): a screen rides out a moment without the network.
      if (!playing) {
        say(TEXTS.unreachable);
        generation = null;
      }
    }
  }

  // From the delay kept, which the marker shows.
  document.getElementById('later').addEventListener('click', () => setDelay(delayMs / 1000 - 1));
  document.getElementById('earlier').addEventListener('click', () => setDelay(delayMs / 1000 + 1));
  delayBox.addEventListener('change', () => setDelay(Number(delayBox.value)));
  video.addEventListener('seeked', () => {
    if (seekAskedAt !== null) {
      const tookMs = Math.min(performance.now() - seekAskedAt, MAX_SEEK_LEAD_MS);
      seekLeadMs = seekLeadMs ? seekLeadMs + SEEK_LEAD_WEIGHT * (tookMs - seekLeadMs) : tookMs;
      seekAskedAt = null;
    }
  });
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
