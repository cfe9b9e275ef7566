// Simple HLS clients, as players behave: each asks for the playlist every
// second and fetches every segment it lists that it has not had yet, oldest
// first, over one kept-alive connection of its own. From the newest: the
// segments of the first playlist but its last are taken as had, as a player
// that starts at one point of the history goes on from there.
'use strict';

const http = require('http');

const PLAYLIST_EVERY_MS = 1000;

// A GET's status, headers and length; its body too when keepBody.
function get(agent, url, keepBody) {
  return new Promise((resolve, reject) => {
    const request = http.get(url, {agent}, (response) => {
      let bytes = 0;
      const chunks = [];
      response.on('data', (chunk) => {
        bytes += chunk.length;
        if (keepBody) {
          chunks.push(chunk);
        }
      });
      response.on('end', () => resolve({status: response.statusCode, headers: response.headers,
                                        bytes, body: Buffer.concat(chunks)}));
    });
    request.on('error', reject);
  });
}

// One client until `endAt` (Date.now()); resolves with what it got:
// {playlists, segments: Map(uri -> bytes), failures: [text], cacheHits, bytes}.
async function runClient(playlistUrl, endAt, fromNewest) {
  const agent = new http.Agent({keepAlive: true, maxSockets: 1});
  const got = {playlists: 0, segments: new Map(), failures: [], cacheHits: 0, bytes: 0};
  const had = new Set();
  try {
    while (Date.now() < endAt) {
      const asked = Date.now();
      const playlist = await get(agent, playlistUrl, true);
      ++got.playlists;
      if (playlist.status === 200) {
        const uris = playlist.body.toString().split('\n').filter((l) => l && !l.startsWith('#'));
        if (fromNewest && got.playlists === 1) {
          uris.slice(0, -1).forEach((uri) => had.add(uri));
        }
        for (const uri of uris) {
          if (had.has(uri) || got.segments.has(uri) || Date.now() >= endAt) {
            continue;
          }
          const segment = await get(agent, new URL(uri, playlistUrl).href, false);
          if (segment.status !== 200 || segment.bytes === 0) {
            got.failures.push(segment.status + ' for ' + uri.replace(/\?.*/, ''));
          }
          got.cacheHits += segment.headers['x-cache-status'] === 'HIT' ? 1 : 0;
          got.segments.set(uri, segment.bytes);
          got.bytes += segment.bytes;
        }
      } else {
        got.failures.push(playlist.status + ' for the playlist');
      }
      await new Promise((resolve) => setTimeout(resolve,
                                                Math.max(0, asked + PLAYLIST_EVERY_MS - Date.now())));
    }
  } catch (error) {
    got.failures.push(error.message);
  }
  agent.destroy();
  return got;
}

// `count` clients at once for `forMs`.
function runClients(playlistUrl, count, forMs, {fromNewest = false} = {}) {
  const endAt = Date.now() + forMs;
  return Promise.all(Array.from({length: count}, () => runClient(playlistUrl, endAt, fromNewest)));
}

module.exports = {runClients};
