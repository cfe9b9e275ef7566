// web_delay_error_ms_p95 at 5, 30 and 90 s: three viewer pages at once in
// headless Chromium (as three screens at a pool), each sampled for 60 s from
// the camera's clock strip once it has settled.
'use strict';

const {startHost, startChromium, stopAll} = require('../../tests/web/browser/support/processes');
const {samplePage, percentile} = require('../../tests/web/browser/support/picture_clock');
const {openViewer, playing} = require('../../tests/web/browser/support/viewer_pages');

const CAMERA = ['--size', '1280x720', '--clock', 'both'];  // the demo camera's own size and rate
const DELAYS_S = [5, 30, 90];
const SAMPLE_MS = 60000;
const SAMPLE_EVERY_MS = 100;
const SETTLE_MS = 6000;   // from the last page's first picture
const SHARE = 0.95;       // robust to a frame the shared machine showed late
const PLAY_BOUND_MS = 20000;

async function delayError() {
  const host = await startHost(CAMERA, 'web_host');
  const browser = await startChromium();
  const pages = [];
  for (const delay of DELAYS_S) {
    pages.push(await openViewer(browser, host, delay));
  }
  await host.start(1);
  await Promise.all(pages.map((page, i) => playing(page, DELAYS_S[i] * 1000 + PLAY_BOUND_MS)));
  await new Promise((resolve) => setTimeout(resolve, SETTLE_MS));
  const samples = await Promise.all(pages.map((page, i) =>
    samplePage(page, DELAYS_S[i] * 1000, SAMPLE_MS, SAMPLE_EVERY_MS)));
  await stopAll();

  const figures = {};
  const arrivals = [];
  samples.forEach((sample, i) => {
    const errors = sample.errors;
    const p95 = percentile(errors.map(Math.abs), SHARE);
    arrivals.push(...errors.map((error, k) => error - sample.steering[k]));
    figures['web_delay_error_ms_p95_' + DELAYS_S[i] + 's'] = p95;
    console.log('delay ' + DELAYS_S[i] + ' s: ' + errors.length + ' pictures read (' +
                sample.unread + ' unreadable), error p50 ' + percentile(errors, 0.5).toFixed(0) +
                ' ms, |error| p95 ' + p95.toFixed(0) + ' ms, max ' +
                Math.max(...errors.map(Math.abs)).toFixed(0) + ' ms; the page\'s own error ' +
                'p50 ' + percentile(sample.steering, 0.5).toFixed(0) + ' ms');
  });
  figures.web_delay_error_ms_p95 = Math.max(
    ...DELAYS_S.map((delay) => figures['web_delay_error_ms_p95_' + delay + 's']));
  figures.web_capture_to_arrival_ms_p50 = percentile(arrivals, 0.5);
  return figures;
}

module.exports = {delayError};
