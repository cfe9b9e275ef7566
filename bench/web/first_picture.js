// web_first_picture_ms: from the viewer page's load (its navigation start) to
// the first picture it shows, on a session whose history holds the delay;
// the median of several loads, each in a browser context of its own (no
// cached scripts, as a screen switched on).
'use strict';

const {startHost, startChromium, stopAll} = require('../../tests/web/browser/support/processes');
const {percentile} = require('../../tests/web/browser/support/picture_clock');
const {playing, viewerAddress} = require('../../tests/web/browser/support/viewer_pages');

const CAMERA = ['--size', '1280x720', '--clock', 'text'];
const DELAY_S = 5;
const LOADS = 7;
const HISTORY_WAIT_MS = 12000;  // the delay and two key-frame groups of history
const PLAY_BOUND_MS = 20000;

// Before the page's own scripts: the first frame's showing, ms from navigation start.
function watchFirstFrame() {
  document.addEventListener('DOMContentLoaded', () => {
    const video = document.querySelector('video');
    video.requestVideoFrameCallback((now, frame) => {
      window.firstPictureMs = frame.expectedDisplayTime;
    });
  });
}

async function firstPicture() {
  const host = await startHost(CAMERA, 'web_host');
  const browser = await startChromium();
  await host.start(1);
  await new Promise((resolve) => setTimeout(resolve, HISTORY_WAIT_MS));
  const times = [];
  for (let load = 0; load < LOADS; ++load) {
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.addInitScript(watchFirstFrame);
    await page.goto(viewerAddress(host, DELAY_S));
    await playing(page, PLAY_BOUND_MS);
    await page.waitForFunction(() => window.firstPictureMs !== undefined);
    times.push(await page.evaluate(() => window.firstPictureMs));
    await context.close();
  }
  await stopAll();
  console.log('first picture after the page\'s load, ms: ' + times.map((t) => t.toFixed(0)).join(', '));
  return {web_first_picture_ms: percentile(times, 0.5), web_first_picture_ms_max: Math.max(...times)};
}

module.exports = {firstPicture};
