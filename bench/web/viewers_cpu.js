// web_cpu_pct_20_viewers: the host's CPU with 20 HLS clients beyond its CPU
// for the same session without them, at 1080p and 8 Mbit/s. The clients run
// in this process, the camera in its own: neither is counted. The session
// alone is measured before and after the clients, and their mean taken, so
// that a drift of the machine's load does not count as the clients'.
'use strict';

const {startHost, stopAll} = require('../../tests/web/browser/support/processes');
const {runClients} = require('../../tests/web/browser/support/hls_clients');
const {cpuPercent} = require('./process_cpu');

const CAMERA = ['--size', '1920x1080', '--bitrate', '8000', '--clock', 'text'];
const CLIENTS = 20;
const SETTLE_MS = 8000;     // the session's start, and a few whole groups
const ALONE_MS = 20000;     // each window of the session alone
const VIEWED_MS = 30000;    // the window with the clients: some 15 segments each

const pause = (ms) => () => new Promise((resolve) => setTimeout(resolve, ms));

async function viewersCpu() {
  const host = await startHost(CAMERA, 'web_host');
  await host.start(1);
  await pause(SETTLE_MS)();
  const before = await cpuPercent(host.pid, pause(ALONE_MS));
  const playlist = 'http://127.0.0.1:' + host.port + '/live.m3u8?t=' + host.token;
  let clients = [];
  const viewed = await cpuPercent(host.pid, async () => {
    clients = await runClients(playlist, CLIENTS, VIEWED_MS, {fromNewest: true});
  });
  const after = await cpuPercent(host.pid, pause(ALONE_MS));
  await stopAll();
  const failures = clients.flatMap((client) => client.failures);
  if (failures.length > 0) {
    throw new Error('the clients did not get everything: ' + failures.slice(0, 5).join('; '));
  }
  const mbitS = clients.reduce((sum, client) => sum + client.bytes, 0) * 8 / 1e6 /
                (VIEWED_MS / 1000);
  const alone = (before + after) / 2;
  console.log('host CPU, % of a core: session alone ' + before.toFixed(2) + ' and ' +
              after.toFixed(2) + ', with ' + CLIENTS + ' clients ' + viewed.toFixed(2) + ' (' +
              mbitS.toFixed(1) + ' Mbit/s served, ' +
              Math.min(...clients.map((client) => client.segments.size)) +
              ' segments or more each)');
  return {web_cpu_pct_20_viewers: viewed - alone, web_host_cpu_pct_session: alone,
          web_served_mbit_s_20_viewers: mbitS};
}

module.exports = {viewersCpu};
