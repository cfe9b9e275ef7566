// The programs a web test or benchmark runs (the host with its camera,
// Chromium, nginx), found on PATH and stopped on every way out: a normal end,
// a failure, an uncaught error or a signal.
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const net = require('net');
const os = require('os');
const path = require('path');
const readline = require('readline');

const children = new Set();     // every child still running
const cleanups = [];            // async ends, newest first (browser, host)
const HOST_EXIT_BOUND_MS = 15000;  // the host stops its session and camera on EOF

function killAll() {
  for (const child of children) {
    try { child.kill('SIGKILL'); } catch (error) { /* gone already */ }
  }
}
process.on('exit', killAll);
for (const signal of ['SIGINT', 'SIGTERM']) {
  process.on(signal, () => { killAll(); process.exit(128 + os.constants.signals[signal]); });
}

// Registers an end to run at stopAll (browsers, servers).
function onStop(end) { cleanups.unshift(end); }

async function stopAll() {
  for (const end of cleanups.splice(0)) {
    try { await end(); } catch (error) { console.error('stop:', error.message); }
  }
  killAll();
}

// The executable `name` on PATH (and the system folders a user's PATH may lack).
function findProgram(name) {
  const dirs = (process.env.PATH || '').split(':').concat(['/usr/sbin', '/sbin']);
  for (const dir of dirs) {
    const candidate = path.join(dir || '.', name);
    try {
      fs.accessSync(candidate, fs.constants.X_OK);
      return candidate;
    } catch (error) { /* next */ }
  }
  throw new Error(name + ' is not installed (scripts/install-deps installs it)');
}

function spawnTracked(program, args, options) {
  const child = childProcess.spawn(program, args, options);
  children.add(child);
  child.on('exit', () => children.delete(child));
  return child;
}

// As spawnTracked, and the child gets a SIGKILL when this process ends in any
// way, a SIGKILL too (programs that would not notice their parent's end).
function spawnBound(program, args, options) {
  return spawnTracked(findProgram('setpriv'), ['--pdeathsig', 'KILL', program, ...args], options);
}

// A TCP port on loopback that nothing listens on just now.
function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const {port} = server.address();
      server.close(() => resolve(port));
    });
  });
}

// The first true value of `test` (polled every pollMs), or an error naming
// `what` after boundMs.
async function until(test, boundMs, what, pollMs = 50) {
  const deadline = Date.now() + boundMs;
  for (;;) {
    const value = await test();
    if (value) {
      return value;
    }
    if (Date.now() > deadline) {
      throw new Error(what + ' within ' + boundMs + ' ms');
    }
    await new Promise((resolve) => setTimeout(resolve, pollMs));
  }
}

// The exit of `child`, or a SIGKILL after boundMs.
function exited(child, boundMs) {
  if (child.exitCode !== null || child.signalCode !== null) {
    return Promise.resolve(child.exitCode);
  }
  return new Promise((resolve) => {
    const timer = setTimeout(() => child.kill('SIGKILL'), boundMs);
    child.on('exit', (code) => { clearTimeout(timer); resolve(code); });
  });
}

// The web host (tests/web/browser/web_host) with the camera options given.
// Resolves when it is ready: {port, token, start, stopSession, counts, stop, pid}.
async function startHost(cameraOptions, name) {
  const host = spawnTracked(process.env.TARNVIEW_WEB_HOST, cameraOptions,
                            {stdio: ['pipe', 'pipe', 'pipe']});
  const lines = readline.createInterface({input: host.stdout});
  const waiting = [];  // {until, resolve, reject, collected}, oldest first
  lines.on('line', (line) => {
    const next = waiting[0];
    if (next) {
      next.collected.push(line);
      if (next.until(line)) {
        waiting.shift();
        next.resolve(next.collected);
      }
    }
  });
  host.stderr.on('data', (data) => process.stderr.write(name + ': ' + data));
  host.on('exit', (code) => {
    for (const next of waiting.splice(0)) {
      next.reject(new Error(name + ' ended (' + code + ')'));
    }
  });
  const expect = (until) => new Promise((resolve, reject) => {
    waiting.push({until, resolve, reject, collected: []});
  });
  const ready = (await expect((line) => line.startsWith('ready ')))[0].split(' ');
  const stop = async () => {
    host.stdin.end();
    const code = await exited(host, HOST_EXIT_BOUND_MS);
    if (code !== 0) {
      throw new Error(name + ' ended with ' + code);
    }
  };
  onStop(stop);
  return {
    port: Number(ready[2]),
    token: ready[4],
    // Sends one command; resolves with its answer's lines up to the one `until` accepts.
    command(line, until) {
      const answer = expect(until);
      host.stdin.write(line + '\n');
      return answer;
    },
    start(delaySeconds, historyMiB) {
      const line = 'start ' + delaySeconds + (historyMiB ? ' ' + historyMiB : '');
      return this.command(line, (l) => l === 'started' || l.startsWith('refused')).then((l) => {
        if (l[l.length - 1] !== 'started') {
          throw new Error(name + ': ' + l.join(' '));
        }
      });
    },
    stopSession() { return this.command('stop', (l) => l === 'stopped'); },
    // Requests answered so far, by path.
    async counts() {
      const counted = new Map();
      for (const line of await this.command('counts', (l) => l === 'counts end')) {
        const found = /^count (\d+) (.*)$/.exec(line);
        if (found) {
          counted.set(found[2], Number(found[1]));
        }
      }
      return counted;
    },
    stop,
    pid: host.pid,
  };
}

// Headless Chromium through playwright-core, stopped with the others.
async function startChromium() {
  const {chromium} = require(path.join(process.env.TARNVIEW_NPM, 'playwright-core'));
  const browser = await chromium.launch({
    executablePath: findProgram('chromium'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run',
           '--autoplay-policy=no-user-gesture-required',
           // A page in the background must steer as one on a screen does.
           '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
           '--disable-backgrounding-occluded-windows'],
  });
  onStop(() => browser.close());
  return browser;
}

// An address for messages: the token masked.
function masked(url) { return url.replace(/t=[0-9a-f]+/g, 't=…'); }

module.exports = {findProgram, spawnTracked, spawnBound, freePort, until, exited, startHost,
                  startChromium, stopAll, onStop, masked};
