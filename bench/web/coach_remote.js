// The coach's remote on the real program under a virtual X server of its own,
// with the demo camera at 720p and a session started through the API:
// - remote_key_to_screen_ms_p95: from the POST /api/key R (sent here, with the
//   coach token in its header) to the marker's box in the screen's top left
//   corner, as x_watch sees it polling the screen about every millisecond; R
//   again ends each replay, and the next press waits until the corner is clear
//   (the remote's own marker stays 3 s);
// - clip_in_gallery_ms: from the POST /api/key S to the clip in GET
//   /api/clips, asked every 20 ms, as the clips page lists it.
'use strict';

const readline = require('readline');
const {spawnBound, freePort, stopAll, until} =
    require('../../tests/web/browser/support/processes');
const {startXvfb, startCamera, startProgram, colouredShare} =
    require('../../tests/web/browser/support/desktop');
const {percentile} = require('../../tests/web/browser/support/picture_clock');

const CAMERA = ['--size', '1280x720', '--clock', 'text'];  // the camera's own size, 2 Mbit/s
const PRESSES = 20;
const CLIPS = 5;
const REPLAY_SHOWN_MS = 300;   // before R ends the replay again
const MARKER_BOUND_MS = 5000;  // bounds that only catch a hang
const CLEAR_BOUND_MS = 10000;
const CLIP_BOUND_MS = 10000;
const LIST_EVERY_MS = 20;
const CLIP_GAP_MS = 1100;      // clips are named by the second
const HISTORY_MS = 22000;      // before the first clip: the 20 s a clip holds

const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const nowNs = () => process.hrtime.bigint();  // CLOCK_MONOTONIC, as x_watch's

// x_watch on the screen: watch('on' | 'off', boundMs) resolves with the ns it saw that.
function startWatch(screen) {
  const watcher = spawnBound(process.env.TARNVIEW_X_WATCH, [],
                             {env: {...process.env, DISPLAY: screen.display},
                              stdio: ['pipe', 'pipe', 'inherit']});
  const answers = [];
  readline.createInterface({input: watcher.stdout}).on('line', (line) => answers.shift()(line));
  return (what, boundMs) => new Promise((resolve, reject) => {
    answers.push((line) => {
      const [seen, ns] = line.split(' ');
      return seen === what ? resolve(BigInt(ns)) : reject(new Error('x_watch: ' + what + ': ' + line));
    });
    watcher.stdin.write(what + ' ' + boundMs + '\n');
  });
}

async function keyToScreen(program, watch) {
  const times = [];
  const answered = [];  // the POST's own round trip, ms: the part before the GUI paints
  for (let press = 0; press < PRESSES; ++press) {
    await watch('off', CLEAR_BOUND_MS);
    const seen = watch('on', MARKER_BOUND_MS);
    const sent = nowNs();
    const answer = await program.api('POST', '/api/key', {key: 'R'});
    if (!answer.done) {
      throw new Error('R: ' + answer.message);
    }
    answered.push(Number(nowNs() - sent) / 1e6);
    times.push(Number(await seen - sent) / 1e6);
    await pause(REPLAY_SHOWN_MS);
    await program.api('POST', '/api/key', {key: 'R'});
  }
  console.log('R answered, ms: p50 ' + percentile(answered, 0.5).toFixed(1) + ', max ' +
              Math.max(...answered).toFixed(1));
  return times;
}

async function clipInGallery(program) {
  const listedClips = async () =>
    (await program.api('GET', '/api/clips')).filter((c) => c.name.endsWith('.mp4'));
  const times = [];
  const sizes = [];  // MiB: 20 s of the stream, or the clip was short
  for (let clip = 0; clip < CLIPS; ++clip) {
    const before = new Set((await listedClips()).map((c) => c.name));
    const sent = nowNs();
    await program.api('POST', '/api/key', {key: 'S'});
    const added = await until(async () => (await listedClips()).find((c) => !before.has(c.name)),
                              CLIP_BOUND_MS, 'no new clip listed after S', LIST_EVERY_MS);
    times.push(Number(nowNs() - sent) / 1e6);
    sizes.push((added.size / 1048576).toFixed(1));
    await pause(CLIP_GAP_MS);
  }
  console.log('clips of ' + sizes.join(', ') + ' MiB');
  return times;
}

async function coachRemote() {
  if (!process.env.TARNVIEW_PROGRAM) {
    throw new Error('the remote\'s part needs the program and the demo camera built');
  }
  const screen = await startXvfb(1280, 720);
  const cameraPort = await freePort();
  await startCamera(cameraPort, CAMERA);
  const program = await startProgram(screen, {ip: '127.0.0.1', port: cameraPort, usr: 'admin',
                                              pwd: '60917', delaytime: 2});
  const started = nowNs();
  const answer = await program.api('POST', '/api/session', {action: 'start'});
  if (!answer.done) {
    throw new Error('the session did not start: ' + answer.message);
  }
  await until(() => colouredShare(screen.shot()) > 0.4, 15000, 'no picture on the screen');
  const watch = startWatch(screen);
  const presses = await keyToScreen(program, watch);
  await pause(HISTORY_MS - Number(nowNs() - started) / 1e6);
  const clips = await clipInGallery(program);
  await stopAll();
  console.log('R to the marker on the screen, ms: ' + presses.map((t) => t.toFixed(1)).join(', '));
  console.log('S to the clip listed, ms: ' + clips.map((t) => t.toFixed(0)).join(', '));
  return {
    remote_key_to_screen_ms_p95: percentile(presses, 0.95),
    remote_key_to_screen_ms_p50: percentile(presses, 0.5),
    remote_key_to_screen_ms_max: Math.max(...presses),
    clip_in_gallery_ms: percentile(clips, 0.5),
    clip_in_gallery_ms_max: Math.max(...clips),
  };
}

module.exports = {coachRemote};
