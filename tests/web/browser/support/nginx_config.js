// nginx in front of the host as README.md's "Web screens" section configures
// it: the configuration is read from there, so that what the README gives is
// what the test runs. Only the addresses and the cache folder are changed,
// and the few settings a server of one's own needs around it.
'use strict';

const fs = require('fs');
const path = require('path');

// The README's example addresses and cache folder, as the test replaces them.
const README_TARNVIEW = '192.168.1.20:8080';
const README_LISTEN = 'listen 80;';
const README_CACHE = '/var/cache/nginx/tarnview';

// The indented block that follows the line naming tarnview.conf in the section.
function readmeConfig(readmePath) {
  const text = fs.readFileSync(readmePath, 'utf8');
  const section = text.split(/^## /m).find((part) => part.startsWith('Web screens\n'));
  if (!section) {
    throw new Error('README.md has no "Web screens" section');
  }
  const lines = section.split('\n');
  const named = lines.findIndex((line) => line.includes('tarnview.conf'));
  const block = [];
  for (const line of lines.slice(named + 1)) {
    if (line.startsWith('    ') || line === '') {
      block.push(line.slice(4));
    } else {
      break;
    }
  }
  const config = block.join('\n').trim();
  for (const needed of [README_TARNVIEW, README_LISTEN, README_CACHE]) {
    if (!config.includes(needed)) {
      throw new Error('the README\'s nginx configuration has no "' + needed + '"');
    }
  }
  return config;
}

// A whole nginx.conf in `dir`: nginx on 127.0.0.1:listenPort in front of the
// host on 127.0.0.1:hostPort, its files in dir.
function writeTestConfig(readmePath, dir, listenPort, hostPort) {
  const site = readmeConfig(readmePath)
      .split(README_TARNVIEW).join('127.0.0.1:' + hostPort)
      .split(README_LISTEN).join('listen 127.0.0.1:' + listenPort + ';')
      .split(README_CACHE).join(path.join(dir, 'cache'));
  const temp = ['client_body', 'proxy', 'fastcgi', 'uwsgi', 'scgi']
      .map((kind) => '  ' + kind + '_temp_path ' + path.join(dir, kind) + ';').join('\n');
  const config = [
    // As root nginx would hand its workers to a user that cannot write here.
    process.getuid() === 0 ? 'user root;' : '',
    'daemon off;',
    'worker_processes 1;',
    'pid ' + path.join(dir, 'nginx.pid') + ';',
    'error_log ' + path.join(dir, 'error.log') + ' warn;',
    'events { worker_connections 256; }',
    'http {',
    '  access_log off;',
    temp,
    site.replace(/^/gm, '  '),
    '}',
    '',
  ].join('\n');
  const file = path.join(dir, 'nginx.conf');
  fs.writeFileSync(file, config);
  return file;
}

module.exports = {writeTestConfig};
