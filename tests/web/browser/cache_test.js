// The web screens behind nginx as README.md configures it: 20 HLS clients
// fetch the playlist and every segment through the cache for a while, and
// Tarnview (the host, counting what it answers by path) serves each segment
// at most twice and the playlist about once a second, not once per client.
'use strict';

const assert = require('assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {findProgram, spawnTracked, freePort, until, exited, startHost, onStop, stopAll, masked} =
    require('./support/processes');
const {runClients} = require('./support/hls_clients');
const {writeTestConfig} = require('./support/nginx_config');

const README = path.join(__dirname, '..', '..', '..', 'README.md');
const CAMERA = ['--size', '320x180', '--clock', 'text'];
const CLIENTS = 20;
const RUN_MS = 15000;           // some 7 new segments at the camera's 2 s key-frame interval
const MOST_SERVED = 2;          // times Tarnview may serve one segment
const LEAST_SEGMENTS = 5;       // fetched by every client, or the run proved little
const HISTORY_BOUND_MS = 15000; // until the first segments are there: only catches a hang
const NGINX_EXIT_BOUND_MS = 5000;
const ANSWER_POLL_MS = 200;

async function startNginx(hostPort) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tarnview-nginx-'));
  onStop(() => fs.rmSync(dir, {recursive: true, force: true}));
  const port = await freePort();
  const config = writeTestConfig(README, dir, port, hostPort);
  // nginx does not notice its parent's end: a test killed outright takes it along.
  const nginx = spawnTracked(findProgram('setpriv'),
                             ['--pdeathsig', 'TERM', findProgram('nginx'), '-p', dir, '-c', config,
                              '-e', path.join(dir, 'error.log')],
                             {stdio: ['ignore', 'inherit', 'inherit']});
  onStop(async () => {
    nginx.kill('SIGQUIT');
    await exited(nginx, NGINX_EXIT_BOUND_MS);
  });
  return {port, log: path.join(dir, 'error.log')};
}

async function main() {
  const host = await startHost(CAMERA, 'web_host');
  await host.start(1);
  const nginx = await startNginx(host.port);
  const playlist = 'http://127.0.0.1:' + nginx.port + '/live.m3u8?t=' + host.token;
  // Not listening yet is not answered.
  await until(() => fetch(playlist).then((reply) => reply.ok, () => false), HISTORY_BOUND_MS,
              'no answer from ' + masked(playlist), ANSWER_POLL_MS);

  const before = await host.counts();
  const clients = await runClients(playlist, CLIENTS, RUN_MS);
  const served = await host.counts();

  const failures = clients.flatMap((client) => client.failures);
  assert.deepStrictEqual(failures, [], 'what the clients did not get');
  const fetched = new Set(clients.flatMap((client) => [...client.segments.keys()])
                                 .map((uri) => '/' + uri.replace(/\?.*/, '')));
  const least = Math.min(...clients.map((client) => client.segments.size));
  assert(least >= LEAST_SEGMENTS, 'a client had only ' + least + ' segments');
  const overServed = [];
  for (const segment of fetched) {
    const times = served.get(segment) || 0;
    if (times < 1 || times > MOST_SERVED) {
      overServed.push(segment + ' served ' + times + ' times');
    }
  }
  const asked = clients.reduce((sum, client) => sum + client.playlists, 0);
  const playlists = served.get('/live.m3u8') - before.get('/live.m3u8');
  const hits = clients.reduce((sum, client) => sum + client.cacheHits, 0);
  console.log(fetched.size + ' segments, ' + CLIENTS + ' clients: Tarnview served ' +
              [...fetched].map((s) => served.get(s)).join(',') + '; the playlist ' + playlists +
              ' times of ' + asked + ' asked; ' + hits + ' segment answers from the cache');
  assert.deepStrictEqual(overServed, [], 'segments Tarnview served more than ' + MOST_SERVED +
                         ' times (nginx log: ' + nginx.log + ')');
  // The playlist lives 1 s in the cache: Tarnview serves it about once a
  // second, while the clients ask for it twenty times a second.
  assert(playlists <= 2 * RUN_MS / 1000, 'the playlist served ' + playlists + ' times');
}

main().then(async () => {
  await stopAll();
  console.log('web_cache: passed');
}, async (error) => {
  console.error('web_cache: FAILED: ' + (error.stack || error));
  await stopAll();
  process.exit(1);
});
