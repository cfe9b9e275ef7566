// The delay a viewer page keeps, read from its picture: the demo camera's
// clock strip (tools/democam/clock_overlay.h) along the bottom of every frame,
// read back in the page from the <video> drawn into a canvas.
'use strict';

// Runs inside the page. Samples each newly shown frame (at most one per
// `everyMs`) for `forMs`: {errors: [ms], steering: [ms], unread: frames}. A
// sample's error is the page's clock at the frame's showing − the strip's
// time (its capture) − the delay; `steering` is the page's own error (against
// the arrival) at that moment.
function sampleInPage({delayMs, forMs, everyMs}) {
  const BLOCKS = 58;
  const VALUE_BITS = 48;
  const video = document.querySelector('video');
  const canvas = document.createElement('canvas');
  const context = canvas.getContext('2d', {willReadFrequently: true});

  // The strip's time in ms since 1970, or null for a damaged or missing strip.
  function stripTime() {
    const width = video.videoWidth;
    const height = video.videoHeight;
    const blockWidth = Math.floor(width / BLOCKS) & ~1;
    const blockHeight = Math.min(height, Math.max(8, Math.floor(height / 24))) & ~1;
    if (blockWidth === 0) {
      return null;
    }
    canvas.width = width;
    canvas.height = blockHeight;
    context.drawImage(video, 0, height - blockHeight, width, blockHeight, 0, 0, width,
                      blockHeight);
    const row = context.getImageData(0, blockHeight >> 1, width, 1).data;
    const bits = [];
    for (let block = 0; block < BLOCKS; ++block) {
      const at = 4 * (block * blockWidth + (blockWidth >> 1));
      bits.push(row[at] + row[at + 1] + row[at + 2] > 3 * 128 ? 1 : 0);
    }
    if (bits[0] !== 1 || bits[BLOCKS - 1] !== 0) {
      return null;
    }
    const number = (from, count) => bits.slice(from, from + count).reduce((n, b) => n * 2 + b, 0);
    let sum = 0;
    for (let byte = 0; byte < VALUE_BITS / 8; ++byte) {
      sum += number(1 + 8 * byte, 8);
    }
    return sum % 256 === number(1 + VALUE_BITS, 8) ? number(1, VALUE_BITS) : null;
  }

  return new Promise((resolve) => {
    const result = {errors: [], steering: [], unread: 0};
    const end = performance.now() + forMs;
    let last = -Infinity;
    const onFrame = (now, frame) => {
      // expectedDisplayTime: when this frame reaches the screen, on performance.now().
      const shownAt = performance.timeOrigin + frame.expectedDisplayTime;
      if (now - last >= everyMs) {
        last = now;
        const captured = stripTime();
        if (captured === null) {
          ++result.unread;
        } else {
          result.errors.push(shownAt - captured - delayMs);
          result.steering.push(window.tarnviewDelayErrorMs);
        }
      }
      if (now < end) {
        video.requestVideoFrameCallback(onFrame);
      } else {
        resolve(result);
      }
    };
    video.requestVideoFrameCallback(onFrame);
    // No frame at all: the picture stopped.
    setTimeout(() => resolve(result), forMs + 2000);
  });
}

// The samples of `page` over forMs; see sampleInPage.
function samplePage(page, delayMs, forMs, everyMs = 100) {
  return page.evaluate(sampleInPage, {delayMs, forMs, everyMs});
}

// The value below which `share` (0..1) of the numbers lie (nearest rank).
function percentile(numbers, share) {
  const sorted = [...numbers].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.max(0, Math.ceil(share * sorted.length) - 1))];
}

module.exports = {samplePage, percentile};
