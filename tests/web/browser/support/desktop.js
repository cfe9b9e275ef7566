// The real program under a virtual X server of its own, with the demo camera,
// for the coach's page and the remote's benchmark: each is started here, made
// to die with this process, and stopped with the others (processes.js). The
// screen is read with `import -window root` (ImageMagick) as raw RGB.
'use strict';

const {execFileSync} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const readline = require('readline');
const {findProgram, spawnBound, exited, onStop, freePort, until} = require('./processes');

const READY_BOUND_MS = 20000;  // any start here: only catches a hang
const STOP_BOUND_MS = 5000;
// The marker's box is black at 160/255 over the picture: every bar of the demo
// camera has a channel at 191 (75 %), which the box takes below this level.
const DARK_LEVEL = 110;

// Xvfb at width x height: {display, width, height, shot()}.
async function startXvfb(width, height) {
  const xvfb = spawnBound(findProgram('Xvfb'),
                          ['-displayfd', '3', '-screen', '0', width + 'x' + height + 'x24',
                           '-noreset', '-nolisten', 'tcp'],
                          {stdio: ['ignore', 'ignore', 'ignore', 'pipe']});
  onStop(() => { xvfb.kill('SIGTERM'); return exited(xvfb, STOP_BOUND_MS); });
  const number = await new Promise((resolve, reject) => {
    readline.createInterface({input: xvfb.stdio[3]}).once('line', resolve);
    xvfb.once('exit', (code) => reject(new Error('Xvfb ended (' + code + ')')));
  });
  const display = ':' + number.trim();
  // The whole screen: {width, height, rgb}, 3 bytes a pixel.
  const shot = () => ({width, height, rgb: execFileSync(
      findProgram('import'), ['-window', 'root', '-depth', '8', 'rgb:-'],
      {env: {...process.env, DISPLAY: display}, maxBuffer: width * height * 4})});
  return {display, width, height, shot};
}

// The demo camera at `port` with the options given; resolves when it serves.
async function startCamera(port, options) {
  const camera = spawnBound(process.env.TARNVIEW_DEMOCAM, ['--port', String(port), ...options],
                            {stdio: ['ignore', 'pipe', 'inherit']});
  onStop(() => { camera.kill('SIGTERM'); return exited(camera, STOP_BOUND_MS); });
  await new Promise((resolve, reject) => {
    readline.createInterface({input: camera.stdout}).on('line', (line) => {
      if (line.startsWith('democam ready')) resolve();
    });
    camera.once('exit', (code) => reject(new Error('the demo camera ended (' + code + ')')));
  });
}

// The program in a scratch folder of its own with a config.ini of `settings`
// ([SysParam] keys; webListen added), on `screen`. Resolves once its web
// server answers: {captureDir, address(path), api(method, path, body), stop()}.
async function startProgram(screen, settings) {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tarnview-desktop-'));
  const work = path.join(scratch, 'work');
  const runtime = path.join(scratch, 'runtime');
  fs.mkdirSync(work);
  fs.mkdirSync(runtime, {mode: 0o700});
  const webPort = await freePort();
  const lines = Object.entries({...settings, webListen: webPort}).map(([k, v]) => k + '=' + v);
  fs.writeFileSync(path.join(work, 'config.ini'), '[SysParam]\n' + lines.join('\n') + '\n');
  const env = {...process.env, HOME: scratch, XDG_RUNTIME_DIR: runtime, QT_QPA_PLATFORM: 'xcb',
               DISPLAY: screen.display};
  delete env.XDG_CONFIG_HOME;
  delete env.XDG_PICTURES_DIR;
  const program = spawnBound(process.env.TARNVIEW_PROGRAM, [], {cwd: work, env,
                                                               stdio: ['ignore', 'pipe', 'pipe']});
  const output = [];
  program.stdout.on('data', (data) => output.push(data));
  program.stderr.on('data', (data) => output.push(data));
  onStop(async () => {
    program.kill('SIGTERM');
    await exited(program, STOP_BOUND_MS);
    fs.rmSync(scratch, {recursive: true, force: true});
  });
  const webIni = path.join(work, 'web.ini');
  const token = await until(() => fs.existsSync(webIni) &&
                                  /coachToken=([0-9a-f]{32})/.exec(fs.readFileSync(webIni, 'utf8')),
                            READY_BOUND_MS, 'no web.ini').then((found) => found[1]);
  const base = 'http://127.0.0.1:' + webPort;
  const api = async (method, where, body) => {
    const reply = await fetch(base + where, {
      method, headers: {'X-Tarnview-Token': token},
      body: body === undefined ? undefined : JSON.stringify(body)});
    if (!reply.ok) {
      throw new Error(method + ' ' + where + ': ' + reply.status);
    }
    return reply.json();
  };
  await until(() => api('GET', '/api/state').catch(() => null), READY_BOUND_MS,
              'no answer from the web server');
  return {
    captureDir: path.join(scratch, 'Pictures', 'Capture'),
    // A page's address with the coach token (never print it: masked() in processes.js).
    address: (page) => base + page + '?t=' + token,
    api,
    // What the program wrote to stdout and stderr, for a failure's message.
    output: () => Buffer.concat(output).toString(),
  };
}

// Pixels of the display's marker box in the screen's top left corner (where
// the replay's and the remote's markers go): dark ones, every channel under
// DARK_LEVEL, in the first fifth of the width and sixth of the height.
function markerPixels(shot) {
  let dark = 0;
  for (let y = 0; y < shot.height / 6; ++y) {
    for (let x = 0; x < shot.width / 5; ++x) {
      const at = (y * shot.width + x) * 3;
      dark += Math.max(shot.rgb[at], shot.rgb[at + 1], shot.rgb[at + 2]) < DARK_LEVEL;
    }
  }
  return dark;
}

// Share of the screen in strong colour (channels 96 or more apart, 0..1): the
// camera's bars fill about two thirds of it, the main dialog on black none.
function colouredShare(shot) {
  let coloured = 0, seen = 0;
  for (let at = 0; at < shot.rgb.length; at += 3 * 7) {
    const r = shot.rgb[at], g = shot.rgb[at + 1], b = shot.rgb[at + 2];
    coloured += Math.max(r, g, b) - Math.min(r, g, b) >= 96;
    ++seen;
  }
  return coloured / seen;
}

// Pixels of the middle half of the screen's height (clear of the corner's
// markers) that differ by more than a tenth in a channel between two shots.
function differing(a, b) {
  let count = 0;
  for (let at = a.width * 3 * Math.floor(a.height / 4); at < a.width * 3 * (a.height * 3 / 4);
       at += 3) {
    count += Math.abs(a.rgb[at] - b.rgb[at]) > 25 || Math.abs(a.rgb[at + 1] - b.rgb[at + 1]) > 25 ||
             Math.abs(a.rgb[at + 2] - b.rgb[at + 2]) > 25;
  }
  return count;
}

module.exports = {startXvfb, startCamera, startProgram, markerPixels, colouredShare, differing};
