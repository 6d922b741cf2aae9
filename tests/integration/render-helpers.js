'use strict';
// Screenshots of a window taken from outside with ImageMagick's import, decoded here, and pixels compared with a tolerance.
const { execFile } = require('node:child_process');
const { promisify } = require('node:util');
const assert = require('node:assert/strict');

// Decodes a binary PPM (P6, 8 bits per channel): { width, height, pixel(x, y) -> [r, g, b] }.
function decodePpm(data) {
  // Magic, width, height and maximum, separated by whitespace or comments, then one whitespace byte.
  const fields = [];
  let at = 0;
  const space = () => /\s/.test(String.fromCharCode(data[at]));
  while (fields.length < 4) {
    while (space()) ++at;
    if (data[at] === 0x23) { while (data[at] !== 0x0a) ++at; continue; }
    let field = '';
    while (!space()) field += String.fromCharCode(data[at++]);
    fields.push(field);
  }
  ++at;
  const [magic, width, height, max] = [fields[0], ...fields.slice(1).map(Number)];
  assert.deepEqual([magic, max], ['P6', 255]);
  return { width, height, pixel(x, y) {
    assert.ok(x >= 0 && x < width && y >= 0 && y < height, `pixel ${x},${y} outside ${width}x${height}`);
    return [...data.subarray(at + (y * width + x) * 3, at + (y * width + x) * 3 + 3)];
  } };
}

// Screenshot of window `id` on `display`.
async function screenshot(display, id) {
  const { stdout } = await promisify(execFile)('import', ['-silent', '-window', id, '-depth', '8', 'ppm:-'], {
    env: { ...process.env, DISPLAY: display }, encoding: 'buffer', maxBuffer: 64 << 20,
  });
  return decodePpm(stdout);
}

// Screenshots of window `id` until the minimal host's line of text shows (over 300 white pixels in x 40-400, y 30-70)
// or `limit` ms have passed: the glyphs reach the atlas a frame after their first use, and software GL on a loaded
// machine takes seconds a frame. Resolves with the last screenshot and its ink.
async function waitForText(display, id, limit = 60000) {
  const until = Date.now() + limit;
  for (;;) {
    const shot = await screenshot(display, id);
    let ink = 0;
    for (let y = 30; y < 70; ++y) for (let x = 40; x < 400; ++x) if (shot.pixel(x, y).every((c) => c > 230)) ++ink;
    if (ink > 300 || Date.now() >= until) return { shot, ink };
    await new Promise((r) => setTimeout(r, 500));
  }
}

// Asserts that the pixel at (x, y) is `expected` within `tolerance` per channel.
function assertPixel(shot, x, y, expected, tolerance = 3, what = '') {
  const got = shot.pixel(x, y);
  assert.ok(got.every((c, i) => Math.abs(c - expected[i]) <= tolerance),
    `${what} pixel ${x},${y}: got [${got}], expected [${expected}] ±${tolerance}`);
}

module.exports = { decodePpm, screenshot, waitForText, assertPixel };
