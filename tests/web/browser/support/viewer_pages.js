// Viewer pages in the browser: opening one at a delay, and what it shows.
'use strict';

const {masked} = require('./processes');

function viewerAddress(host, delaySeconds) {
  return 'http://127.0.0.1:' + host.port + '/view?t=' + host.token + '&delay=' + delaySeconds;
}

// A page of its own (one browser context each, as separate screens are).
async function openViewer(browser, host, delaySeconds) {
  const context = await browser.newContext();
  const page = await context.newPage();
  page.on('pageerror', (error) => console.error('page error:', error.message));
  const address = viewerAddress(host, delaySeconds);
  await page.goto(address);
  page.label = masked(address);
  return page;
}

// Resolves when the page's notice shows `text` (a substring); rejects after boundMs.
function noticeShows(page, text, boundMs) {
  return page.waitForFunction((wanted) => {
    const notice = document.getElementById('notice');
    return !notice.hidden && notice.textContent.includes(wanted);
  }, text, {timeout: boundMs}).then(() => undefined, () => {
    throw new Error(page.label + ': no notice "' + text + '" within ' + boundMs + ' ms');
  });
}

// Resolves when the picture plays with no notice over it.
function playing(page, boundMs) {
  return page.waitForFunction(() => {
    const video = document.querySelector('video');
    return document.getElementById('notice').hidden && !video.paused && video.readyState >= 2 &&
           video.currentTime > 0;
  }, null, {timeout: boundMs, polling: 100}).then(() => undefined, () => {
    throw new Error(page.label + ': no picture within ' + boundMs + ' ms');
  });
}

// The delay its marker shows, s ("延时 N 秒"); null without one.
async function markedDelay(page) {
  const text = await page.textContent('#marker');
  const found = /^延时 (\d+) 秒$/.exec(text || '');
  return found ? Number(found[1]) : null;
}

module.exports = {viewerAddress, openViewer, noticeShows, playing, markedDelay};
