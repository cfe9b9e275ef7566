// The coach's page in headless Chromium against the real program under its own
// virtual X server: a start with no camera listening says "登录失败！" on the
// page; with the demo camera there, 开始教学 starts a session whose picture
// fills the screen; 回放 brings the display's marker into the top left corner;
// 定格 stands the picture still, ◀ and ▶ step it; 保存片段 makes a clip that
// the clips page lists and plays; 抓图 a snapshot that it lists by itself;
// 停止教学 ends the session and the picture goes.
'use strict';

const assert = require('assert');
const {startChromium, stopAll, freePort, masked, until} = require('./support/processes');
const {startXvfb, startCamera, startProgram, markerPixels, colouredShare, differing} =
    require('./support/desktop');

const CAMERA = ['--size', '640x360', '--bitrate', '600', '--clock', 'text'];
const DELAY_S = 2;
// The replay's and the remote's marker boxes hold some 7000 dark pixels at 720
// lines, a box alone some 3500; the live picture none.
const MARKER_LEAST = 1500;
const STILL_MOST = 200;     // pixels a frozen picture may change (none expected)
const MOVED_LEAST = 2000;   // the bars move 8 pixels a picture at this scale
const BOUND_MS = 15000;     // any wait here: only catches a hang

let screen, program, coach;

async function press(caption) {
  await coach.getByRole('button', {name: caption, exact: true}).click();
}

function showing(wanted) {
  return until(async () => (await program.api('GET', '/api/state')).showing === wanted, BOUND_MS,
               'the display is not "' + wanted + '"');
}

// The first shot of the screen that `test` accepts.
function shotWhere(test, what) {
  return until(() => {
    const shot = screen.shot();
    return test(shot) && shot;
  }, BOUND_MS, what);
}
const changedFrom = (from, what) => shotWhere((shot) => differing(from, shot) >= MOVED_LEAST, what);

// The captures /api/clips lists with that extension, newest first; null for none.
async function captures(extension) {
  const listed = (await program.api('GET', '/api/clips')).filter((c) => c.name.endsWith(extension));
  return listed.length > 0 && listed;
}

async function main() {
  screen = await startXvfb(1280, 720);
  const cameraPort = await freePort();
  program = await startProgram(screen, {ip: '127.0.0.1', port: cameraPort, usr: 'admin',
                                        pwd: '60917', delaytime: DELAY_S});
  const browser = await startChromium();
  coach = await (await browser.newContext()).newPage();
  coach.on('pageerror', (error) => console.error('coach page error:', error.message));
  await coach.goto(program.address('/coach'));

  // Nothing listens at the camera's port yet: the login fails, and the page says so.
  await press('开始教学');
  await coach.waitForFunction(() => document.getElementById('message').textContent === '登录失败！',
                              null, {timeout: BOUND_MS});
  assert.strictEqual((await program.api('GET', '/api/state')).session, false);
  console.log('a start without a camera: "登录失败！" on the page');

  await startCamera(cameraPort, CAMERA);
  await press('开始教学');
  const live = await shotWhere((shot) => colouredShare(shot) > 0.4,
                               'no picture on the screen after 开始教学');
  const state = await program.api('GET', '/api/state');
  assert(state.session && state.showing === 'live', JSON.stringify(state));
  assert.strictEqual(await coach.textContent('#message'), '');
  const liveDark = markerPixels(live);
  assert(liveDark < MARKER_LEAST, liveDark + ' dark pixels in the corner of the live picture');

  await press('回放');
  await showing('replay');
  const replay = await shotWhere((shot) => markerPixels(shot) >= MARKER_LEAST,
                                 'no marker on the screen after 回放');
  console.log('回放: the corner has ' + markerPixels(replay) + ' dark pixels, ' + liveDark +
              ' before');
  await press('回放');
  await showing('live');

  await press('定格');
  await showing('frozen');
  await new Promise((resolve) => setTimeout(resolve, 200));  // the last paint before it
  const frozen = screen.shot();
  await new Promise((resolve) => setTimeout(resolve, 500));
  const still = differing(frozen, screen.shot());
  assert(still <= STILL_MOST, still + ' pixels changed in 0.5 s while frozen');
  await press('◀');
  const back = await changedFrom(frozen, '◀ did not step the frozen picture');
  await press('▶');
  await changedFrom(back, '▶ did not step the frozen picture');
  console.log('定格: ' + still + ' pixels changed in 0.5 s; ◀ and ▶ each changed the picture');
  await press('定格');
  await showing('live');

  // A clip, listed on the clips page, which plays it there.
  await press('保存片段');
  const [clip] = await until(() => captures('.mp4'), BOUND_MS, 'no clip after 保存片段');
  assert.strictEqual((await program.api('GET', '/api/state')).lastClip, clip.name);
  const gallery = await coach.context().newPage();
  gallery.on('pageerror', (error) => console.error('clips page error:', error.message));
  await gallery.goto(program.address('/clips'));
  const video = gallery.locator('.capture[data-name="' + clip.name + '"] video');
  await video.evaluate((element) => { element.play().catch(() => {}); });
  await gallery.waitForFunction((element) => element.readyState >= 2 && element.currentTime > 0,
                                await video.elementHandle(), {timeout: BOUND_MS}).catch(async () => {
    throw new Error('the clip does not play on the clips page: ' + await video.evaluate(
        (element) => 'readyState ' + element.readyState + ' ' + (element.error || {}).message));
  });
  const clipSeconds = await video.evaluate((element) => element.duration);
  console.log('保存片段: ' + clip.name + ' of ' + clip.size + ' bytes plays on the clips page (' +
              clipSeconds.toFixed(1) + ' s)');

  // A snapshot: the open clips page lists it by itself and shows it.
  await press('抓图');
  const [snapshot] = await until(() => captures('.jpg'), BOUND_MS, 'no snapshot after 抓图');
  const image = gallery.locator('.capture[data-name="' + snapshot.name + '"] img');
  await image.waitFor({timeout: BOUND_MS});
  await gallery.waitForFunction((element) => element.complete && element.naturalWidth === 640,
                                await image.elementHandle(), {timeout: BOUND_MS});
  console.log('抓图: ' + snapshot.name + ' shown on the clips page without a reload');

  await press('停止教学');
  await until(async () => !(await program.api('GET', '/api/state')).session, BOUND_MS,
              'the session goes on after 停止教学');
  await shotWhere((shot) => colouredShare(shot) < 0.05,
                  'the picture is still on the screen after 停止教学');
  assert.strictEqual(await coach.textContent('#message'), '');
}

main().then(async () => {
  await stopAll();
  console.log('web_coach: passed');
}, async (error) => {
  // Masked: a browser's error names the page's address, token and all.
  console.error('web_coach: FAILED: ' + masked(String(error.stack || error)));
  if (program) {
    console.error('--- the program\'s output\n' + program.output());
  }
  await stopAll();
  process.exit(1);
});
