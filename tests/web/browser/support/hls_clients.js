// Simple HLS clients, as players behave: each asks for the playlist every
// second and fetches every segment it lists that it has not had yet, oldest
// first, over one kept-alive connection of its own.
'use strict';

const http = require('http');

const PLAYLIST_EVERY_MS = 1000;

function get(agent, url) {
  return new Promise((resolve, reject) => {
    const request = http.get(url, {agent}, (response) => {
      let bytes = 0;
      const chunks = [];
      response.on('data', (chunk) => {
        bytes += chunk.length;
        chunks.push(chunk);
      });
      response.on('end', () => resolve({status: response.statusCode, headers: response.headers,
                                        bytes, body: Buffer.concat(chunks)}));
    });
    request.on('error', reject);
  });
}

// One client until `endAt` (Date.now()); resolves with what it got:
// {playlists, segments: Map(uri -> bytes), failures: [text], cacheHits}.
async function runClient(playlistUrl, endAt) {
  const agent = new http.Agent({keepAlive: true, maxSockets: 1});
  const got = {playlists: 0, segments: new Map(), failures: [], cacheHits: 0};
  try {
    while (Date.now() < endAt) {
      const asked = Date.now();
      const playlist = await get(agent, playlistUrl);
      ++got.playlists;
      if (playlist.status === 200) {
        const uris = playlist.body.toString().split('\n').filter((l) => l && !l.startsWith('#'));
        for (const uri of uris) {
          if (got.segments.has(uri) || Date.now() >= endAt) {
            continue;
          }
          const segment = await get(agent, new URL(uri, playlistUrl).href);
          if (segment.status !== 200 || segment.bytes === 0) {
            got.failures.push(segment.status + ' for ' + uri.replace(/\?.*/, ''));
          }
          got.cacheHits += segment.headers['x-cache-status'] === 'HIT' ? 1 : 0;
          got.segments.set(uri, segment.bytes);
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
function runClients(playlistUrl, count, forMs) {
  const endAt = Date.now() + forMs;
  return Promise.all(Array.from({length: count}, () => runClient(playlistUrl, endAt)));
}

module.exports = {runClients};
