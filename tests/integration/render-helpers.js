'use strict';
// Helpers of the renderer tests: screenshots of the window taken from outside with ImageMagick's
// import and decoded here, pixel comparison with a tolerance, and the window's id.
const { execFile } = require('node:child_process');
const { promisify } = require('node:util');
const assert = require('node:assert/strict');

const execFileP = promisify(execFile);

// The id of the window titled exactly "Tessimarke".
async function windowId(display) {
  const { stdout } = await execFileP('xdotool', ['search', '--name', '^Tessimarke$'],
    { env: { ...process.env, DISPLAY: display } });
  const ids = stdout.trim().split('\n').filter(Boolean);
  return ids[ids.length - 1];
}

// Decodes a binary PPM (P6, 8 bits per channel): { width, height, pixel(x, y) -> [r, g, b] }.
function decodePpm(data) {
  // Header: magic, width, height, maximum, each separated by whitespace, then one whitespace byte.
  const fields = [];
  let at = 0;
  while (fields.length < 4) {
    while (/\s/.test(String.fromCharCode(data[at]))) ++at;
    if (data[at] === 0x23) { while (data[at] !== 0x0a) ++at; continue; }
    let field = '';
    while (!/\s/.test(String.fromCharCode(data[at]))) field += String.fromCharCode(data[at++]);
    fields.push(field);
  }
  ++at;
  const [magic, w, h, max] = fields;
  assert.equal(magic, 'P6');
  assert.equal(Number(max), 255);
  const width = Number(w), height = Number(h);
  function pixel(x, y) {
    assert.ok(x >= 0 && x < width && y >= 0 && y < height, `pixel ${x},${y} outside ${width}x${height}`);
    const i = at + (y * width + x) * 3;
    return [data[i], data[i + 1], data[i + 2]];
  }
  return { width, height, pixel };
}

// Screenshot of window `id` on `display`, taken by ImageMagick's import.
async function screenshot(display, id) {
  const { stdout } = await execFileP('import', ['-silent', '-window', id, '-depth', '8', 'ppm:-'], {
    env: { ...process.env, DISPLAY: display }, encoding: 'buffer', maxBuffer: 64 << 20,
  });
  return decodePpm(stdout);
}

// White pixels in the box of the minimal host's line of text (x 40-400, y 30-70).
function textInk(shot) {
  let ink = 0;
  for (let y = 30; y < 70; ++y) for (let x = 40; x < 400; ++x) if (shot.pixel(x, y).every((c) => c > 230)) ++ink;
  return ink;
}

// Screenshots of window `id` until its line of text shows (more than 300 white pixels, see
// textInk) or `limit` ms have passed: the glyphs reach the atlas a frame after their first use, and
// software GL on a loaded machine takes seconds a frame. Resolves with the last screenshot and its ink.
async function waitForText(display, id, limit = 60000) {
  const until = Date.now() + limit;
  let shot = await screenshot(display, id);
  while (textInk(shot) <= 300 && Date.now() < until) {
    await new Promise((r) => setTimeout(r, 500));
    shot = await screenshot(display, id);
  }
  return { shot, ink: textInk(shot) };
}

// Asserts that the pixel at (x, y) is `expected` within `tolerance` per channel.
function assertPixel(shot, x, y, expected, tolerance = 3, what = '') {
  const got = shot.pixel(x, y);
  const ok = got.every((c, i) => Math.abs(c - expected[i]) <= tolerance);
  assert.ok(ok, `${what} pixel ${x},${y}: got [${got}], expected [${expected}] ±${tolerance}`);
}

module.exports = { windowId, decodePpm, screenshot, waitForText, assertPixel };
