'use strict';
// Screenshots of a window taken from outside with ImageMagick's import, decoded here, and pixels compared with a tolerance.
const { execFile } = require('node:child_process');
const { promisify } = require('node:util');
const assert = require('node:assert/strict');

// Decodes a binary PPM of 8 bits per channel, as ImageMagick writes it: { width, height, pixel(x, y) -> [r, g, b] }.
function decodePpm(data) {
  const m = /^P6\s+(\d+)\s+(\d+)\s+255\s/.exec(data.toString('latin1', 0, 64)), [width, height] = [Number(m?.[1]), Number(m?.[2])];
  assert.ok(m, `not an 8-bit binary PPM: ${data.toString('latin1', 0, 16)}`);
  return { width, height, pixel(x, y) {
    assert.ok(x >= 0 && x < width && y >= 0 && y < height, `pixel ${x},${y} outside ${width}x${height}`);
    return [...data.subarray(m[0].length + (y * width + x) * 3, m[0].length + (y * width + x) * 3 + 3)];
  } };
}

// Screenshot of window `id` on `display`.
async function screenshot(display, id) {
  const { stdout } = await promisify(execFile)('import', ['-silent', '-window', id, '-depth', '8', 'ppm:-'], {
    env: { ...process.env, DISPLAY: display }, encoding: 'buffer', maxBuffer: 64 << 20,
  });
  return decodePpm(stdout);
}

// Asserts that the pixel at (x, y) is `expected` within `tolerance` per channel.
function assertPixel(shot, x, y, expected, tolerance = 3, what = '') {
  const got = shot.pixel(x, y);
  assert.ok(got.every((c, i) => Math.abs(c - expected[i]) <= tolerance),
    `${what} pixel ${x},${y}: got [${got}], expected [${expected}] ±${tolerance}`);
}

module.exports = { decodePpm, screenshot, assertPixel };
