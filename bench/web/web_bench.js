// The web screens' benchmark: writes web.summary.json into
// $TARNVIEW_BENCH_DIR (bench/run merges it into summary.json). bench/run
// passes Google Benchmark flags to every program; they mean nothing here.
'use strict';

const fs = require('fs');
const path = require('path');
const {stopAll} = require('../../tests/web/browser/support/processes');
const {delayError} = require('./delay_error');
const {firstPicture} = require('./first_picture');
const {viewersCpu} = require('./viewers_cpu');
const {coachRemote} = require('./coach_remote');

const PARTS = {delay: delayError, first: firstPicture, cpu: viewersCpu, remote: coachRemote};

async function main(args) {
  const unknown = args.filter((arg) => !arg.startsWith('--benchmark_') && !(arg in PARTS));
  if (unknown.length > 0) {
    throw new Error('unknown arguments ' + unknown.join(' ') + ' (parts: ' +
                    Object.keys(PARTS).join(', ') + ')');
  }
  // Parts named on the command line only (for a quick look); all of them by default.
  const chosen = args.filter((arg) => arg in PARTS);
  const figures = {};
  for (const [name, part] of Object.entries(PARTS)) {
    if (chosen.length === 0 || chosen.includes(name)) {
      Object.assign(figures, await part());
    }
  }
  const out = path.join(process.env.TARNVIEW_BENCH_DIR || '.', 'web.summary.json');
  // A part run alone keeps the other parts' last figures.
  const kept = fs.existsSync(out) && chosen.length > 0 ? JSON.parse(fs.readFileSync(out)) : {};
  const rounded = Object.fromEntries(Object.entries(figures).map(([k, v]) => [k, +v.toFixed(2)]));
  fs.writeFileSync(out, JSON.stringify({...kept, ...rounded}, null, 2) + '\n');
  console.log(JSON.stringify(rounded, null, 2));
}

main(process.argv.slice(2)).catch(async (error) => {
  console.error('web: ' + (error.stack || error));
  await stopAll();
  process.exit(1);
});
