'use strict';
// A screenshot of the game's window as PNG, read back by the addon from the frame it draws (no
// outside program). screenshot(file) draws one frame and writes it; inside a running game,
// game.screenshot(file) asks for the frame the loop is about to draw instead.
const path = require('node:path');
const { native } = require('./native');
const { checkString, checkOptions, kitError } = require('./checks');
const contract = require('../contract/host');

const { SCREENSHOT_WRITTEN, SCREENSHOT_PENDING, SCREENSHOT_NO_GL, SCREENSHOT_BAD_PATH } = contract.screenshotStatus;
const WHY = {
  [SCREENSHOT_NO_GL]: 'there is no window (before the addon opened one, or after quit)',
  [SCREENSHOT_BAD_PATH]: `the path is empty, holds a NUL or is over ${contract.limits.MAX_SCREENSHOT_PATH} bytes`,
};

// Asks for the next frame at `file`; answers the absolute path. Throws when it cannot be taken.
function requestScreenshot(file) {
  checkString(file, 'screenshot: file');
  const out = path.resolve(file);
  const status = native().screenshot(out);
  if (status !== SCREENSHOT_PENDING) throw kitError(Error, 'ERR_STATE', `screenshot ${out}: ${WHY[status] || `status ${status}`}`);
  return out;
}

// The last frame's result: throws when the file was not written.
function checkScreenshot(out) {
  const status = native().screenshotStatus();
  if (status !== SCREENSHOT_WRITTEN) throw kitError(Error, 'ERR_FILE', `screenshot ${out} could not be written`);
  return out;
}

// Draws one frame of what the batches hold and writes it to `file` as PNG; returns the file's
// absolute path. (The options of the former outside-program screenshot are still accepted.)
function screenshot(file, options) {
  checkOptions(options, ['title'], 'screenshot');
  const out = requestScreenshot(file);
  native().render();
  return checkScreenshot(out);
}

module.exports = { screenshot, requestScreenshot, checkScreenshot };
