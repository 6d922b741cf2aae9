'use strict';
// The renderer from a real host: start-up log and shared-buffer ids of `ready`, every pass's pixels
// checked by screenshot, per-frame uniforms against build-time ones, quality levels, the debug
// thumbnails, a resize made from outside, and the setters' argument checks. The test shaders under
// tests/shaders paint known colours and small indicator squares that show uniform values.
const test = require('node:test');
const assert = require('node:assert/strict');
const { startXvfb, runHost, nativeOut, assertAborted, assertOk } = require('./harness');
const { startInteractive, xdotool } = require('./window-helpers');
const { windowId, screenshot, assertPixel } = require('./render-helpers');

let xvfb;
test.before(async () => { xvfb = await startXvfb(); });
test.after(() => xvfb.stop());

// Colours of the test scene on a 1400 x 800 drawable (see tests/hosts/render-scene.js).
const BACKGROUND = [0, 0, 102];
const GREY = [26, 26, 26]; // the G-buffer's clear colour in the thumbnails
const ALL_PARTS = ['solid', 'transparent', 'unculled', 'lights', 'ui'];
// Indicator squares (30 x 30, 250..280 below the top edge): centre of square k.
const indicator = (k) => [35 + 50 * k, 265];

// A scene host with a window, set up and ready; `shot()` takes a screenshot of its window.
async function openScene(t, overrides = {}, early = null) {
  const host = startInteractive('render-scene.js', [], { display: xvfb.display, audio: 'null', env: { LP_NUM_THREADS: '0' } });
  await host.next();
  const setup = await host.request({ op: 'setup', overrides, early });
  const id = await windowId(xvfb.display);
  const shot = () => screenshot(xvfb.display, id);
  let exited = false;
  host.done.then(() => { exited = true; });
  t.after(async () => {
    if (!exited) host.request({ op: 'quit' });
    const result = assertOk(await host.done);
    assert.doesNotMatch(result.stderr, /GL ERROR|GL message/, 'no GL debug message during a normal run');
  });
  return { host, setup, id, shot };
}

test('ready logs the sampling data, the drawable size and the sprite warning, then hands out the glyph and quad buffers', async (t) => {
  const { host, setup } = await openScene(t);
  assert.equal(setup.compiled, 0);
  const lines = host.takeLines().join('\n');
  const attempts = [...lines.matchAll(/noiseTile: ((?:\d+ ){16})\n Average: (\d+\.\d{6})/g)];
  assert.ok(attempts.length >= 1);
  attempts.forEach((a, i) => {
    const average = Number(a[2]);
    const accepted = average >= 0.45 && average <= 0.55;
    assert.equal(accepted, i === attempts.length - 1, `attempt ${i} average ${average}`);
    for (const digit of a[1].trim().split(' ')) assert.ok(Number(digit) <= 10);
  });
  const order = ['noiseTile: ', 'init size: 1400.000000, 800.000000\n', 'Native ready\n'];
  let at = -1;
  for (const text of order) {
    const next = lines.indexOf(text, at + 1);
    assert.ok(next > at, `"${text.trim()}" in order`);
    at = next;
  }

  // The host's buffers end at lastHostId; initGFX hands out three glyph blocks per glyph pipeline,
  // then two quad blocks per screen pipeline, and nothing else.
  assert.equal(setup.nextId, setup.lastHostId + 13);
  const glyphs = setup.handedOut.slice(0, 6).map((b) => b.bytes);
  assert.deepEqual(glyphs, [3600000, 2400000, 4800000, 3600000, 2400000, 4800000]);
  const quads = setup.handedOut.slice(6);
  assert.equal(quads.length, 6);
  for (let i = 0; i < 6; ++i) {
    assert.equal(quads[i].bytes, 32);
    assert.deepEqual(quads[i].values, i % 2 === 0 ? [-1, 1, -1, -1, 1, -1, 1, 1] : [0, 1, 0, 0, 1, 0, 1, 1]);
  }
  assert.deepEqual(setup.viewport, [1400, 800]);
});

test('the sprite warning goes to standard error', async () => {
  const h = startInteractive('render-scene.js', [], { display: xvfb.display, audio: 'null', env: { LP_NUM_THREADS: '0' } });
  await h.next();
  await h.request({ op: 'setup' });
  await h.request({ op: 'quit' });
  const result = assertOk(await h.done);
  assert.equal(result.stderr.match(/Warning: .*texture initialized.*\n/g).join(''),
    'Warning: 0.000000x0.000000 texture initialized? PB 0\n');
  assert.doesNotMatch(nativeOut(result), /Warning:/);
});

test('every pass draws: lit geometry, blended transparency, unculled faces, additive lights, the interface', async (t) => {
  const { host, shot } = await openScene(t);
  await host.request({ op: 'scene', parts: ALL_PARTS });
  await host.request({ op: 'frame' });
  const s = await shot();
  assert.equal(s.width, 1400);
  assert.equal(s.height, 800);
  assertPixel(s, 175, 600, [255, 0, 0], 3, 'solid A lit head-on');
  assertPixel(s, 450, 600, [0, 204, 0], 3, 'solid B lit at 0.8');
  assertPixel(s, 612, 600, [0, 204, 0], 3, 'transparency behind B hidden by the copied depth');
  assertPixel(s, 875, 600, [128, 128, 178], 3, 'half-transparent white over the background');
  assertPixel(s, 1225, 700, [255, 255, 0], 3, 'clockwise unculled quad');
  assertPixel(s, 1150, 500, [128, 0, 102], 3, 'first light added');
  assertPixel(s, 1260, 500, [128, 128, 102], 3, 'both lights added');
  assertPixel(s, 1370, 500, [0, 128, 102], 3, 'second light added');
  assertPixel(s, 1100, 340, [255, 128, 0], 3, 'interface rectangle');
  assertPixel(s, 700, 330, BACKGROUND, 3, 'background');
  // Build-time values seen by the shaders: quality 2, 2, 1; lightTransform's depth 0.2; the
  // viewport; the camera vectors; the shadow map holding the mirrored scene at depth 0.6.
  assertPixel(s, ...indicator(0), [51, 51, 26], 3, 'quality start values');
  assertPixel(s, ...indicator(1), [0, 0, 51], 3, 'lightTransform');
  assertPixel(s, ...indicator(2), [179, 102, 0], 3, 'viewportSize');
  assertPixel(s, ...indicator(3), [51, 102, 153], 3, 'cameraPosition');
  assertPixel(s, ...indicator(4), [204, 153, 102], 3, 'cameraVector');
  assertPixel(s, ...indicator(5), [153, 255, 0], 3, 'shadow map: front faces culled, back faces drawn');
});

test('a frame with nothing written still clears, lights, blits and swaps', async (t) => {
  const { host, shot } = await openScene(t);
  const before = await shot();
  assert.notDeepEqual(before.pixel(700, 600), BACKGROUND);
  await host.request({ op: 'scene', parts: [] });
  await host.request({ op: 'frame' });
  const s = await shot();
  for (const [x, y] of [[5, 5], [175, 600], [875, 600], [1225, 700], [1260, 500], [1100, 340], [1395, 795]]) {
    assertPixel(s, x, y, BACKGROUND, 3, 'empty scene');
  }
  assertPixel(s, ...indicator(0), [51, 51, 26], 3, 'quality start values');
  // Geometry written earlier stays in the GL buffers but draws only while its lengths are set.
  await host.request({ op: 'scene', parts: ALL_PARTS });
  await host.request({ op: 'frame' });
  await host.request({ op: 'scene', parts: [] });
  await host.request({ op: 'frame' });
  assertPixel(await shot(), 175, 600, BACKGROUND, 3, 'lengths back to 0');
});

test('a new view matrix moves the next frame; lightTransform written after ready changes nothing', async (t) => {
  const { host, shot } = await openScene(t);
  await host.request({ op: 'scene', parts: ['solid'] });
  await host.request({ op: 'frame' });
  let s = await shot();
  assertPixel(s, 175, 600, [255, 0, 0], 3, 'A before the move');
  assertPixel(s, 875, 600, BACKGROUND, 3, 'right of B before the move');
  await host.request({ op: 'view', x: 1 });
  await host.request({ op: 'light', z: 0.6 });
  await host.request({ op: 'frame' });
  s = await shot();
  assertPixel(s, 175, 600, BACKGROUND, 3, 'A moved away');
  assertPixel(s, 875, 600, [255, 0, 0], 3, 'A moved here');
  assertPixel(s, ...indicator(1), [0, 0, 51], 3, 'lightTransform as built');
  assertPixel(s, ...indicator(5), [153, 255, 0], 3, 'shadow depth as built');
  await host.request({ op: 'camera', position: [1, 0, 0], vector: [0, 0, 1] });
  await host.request({ op: 'frame' });
  s = await shot();
  assertPixel(s, ...indicator(3), [255, 0, 0], 3, 'cameraPosition each frame');
  assertPixel(s, ...indicator(4), [0, 0, 255], 3, 'cameraVector each frame');
});

test('quality setters reach the shaders with the next frame, as 32-bit integers', async (t) => {
  const { host, shot } = await openScene(t);
  await host.request({ op: 'quality', shadow: 2 });
  await host.request({ op: 'frame' });
  assertPixel(await shot(), ...indicator(0), [51, 51, 26], 3, 'unchanged');
  await host.request({ op: 'quality', aa: 0 });
  await host.request({ op: 'frame' });
  assertPixel(await shot(), ...indicator(0), [51, 51, 0], 3, 'antialias 0');
  await host.request({ op: 'quality', ssao: 3.9 });
  await host.request({ op: 'frame', frames: 2 });
  assertPixel(await shot(), ...indicator(0), [77, 51, 0], 3, 'ssao 3.9 stored as 3');
  await host.request({ op: 'quality', shadow: 2 ** 32 + 5, aa: -0.5 });
  await host.request({ op: 'frame' });
  assertPixel(await shot(), ...indicator(0), [77, 128, 0], 3, 'shadow keeps the low 32 bits; -0.5 reads 0');
  await host.request({ op: 'quality', ssao: 'NaN' });
  await host.request({ op: 'frame' });
  assertPixel(await shot(), ...indicator(0), [0, 128, 0], 3, 'NaN reads 0');
  await host.request({ op: 'quality', ssao: 4, shadow: 'Infinity' });
  await host.request({ op: 'frame' });
  assertPixel(await shot(), ...indicator(0), [102, 0, 0], 3, 'Infinity reads 0');
});

test('a uniform whose block is missing or too short is never sent; vertex draws stop where a block ends', async (t) => {
  // uiTransform gets 16 bytes, cameraPosition no block at all, solid colours room for 6 vertices.
  const { host, shot } = await openScene(t, { 5: 16, 6: 'missing', 10: 72 });
  await host.request({ op: 'scene', parts: ['solid', 'ui'] });
  await host.request({ op: 'frame' });
  const s = await shot();
  assertPixel(s, 175, 600, [255, 0, 0], 3, 'solid A: its 6 vertices fit every block');
  assertPixel(s, 450, 600, BACKGROUND, 3, 'solid B: past the end of the colour block, not drawn');
  assertPixel(s, 1100, 340, BACKGROUND, 3, 'interface: uiTransform absent, its matrix stays zero');
  assertPixel(s, ...indicator(3), [0, 0, 0], 3, 'cameraPosition absent');
  assertPixel(s, ...indicator(4), [204, 153, 102], 3, 'cameraVector still sent');
});

// Pixels in the rectangle [x0, x1) x [y0, y1) for which `match([r, g, b])` holds.
function countPixels(s, x0, y0, x1, y1, match) {
  let n = 0;
  for (let y = y0; y < y1; ++y) for (let x = x0; x < x1; ++x) if (match(s.pixel(x, y))) ++n;
  return n;
}

test('text laid out in a step is drawn by the glyph and glyph-outline passes of the next frame', async (t) => {
  const { host, shot } = await openScene(t);
  await host.request({ op: 'scene', parts: [] });
  const white = ([r, g, b]) => r > 200 && g > 200 && b > 200;
  const magenta = ([r, g, b]) => r > 200 && g < 60 && b > 150;
  await host.request({ op: 'frame' });
  let s = await shot();
  assert.equal(countPixels(s, 100, 420, 400, 480, white), 0);
  assert.equal(countPixels(s, 100, 520, 400, 580, magenta), 0);
  await host.request({ op: 'text', runs: [
    { text: 'HHHH', x: 100, y: 470, size: 48, font: 0, color: [1, 1, 1, 1] },
    { text: 'HHHH', x: 100, y: 570, size: 48, font: 4, color: [1, 0, 1, 1] },
  ] });
  await host.request({ op: 'frame' });
  s = await shot();
  assert.ok(countPixels(s, 100, 420, 400, 480, white) > 200, 'plain glyphs');
  assert.ok(countPixels(s, 100, 520, 400, 580, magenta) > 200, 'outline glyphs');
  assert.equal(countPixels(s, 100, 520, 400, 580, white), 0, 'each batch in its own pass');
  // The next step lays out nothing: the batches are empty and the text is gone.
  await host.request({ op: 'text', runs: [] });
  await host.request({ op: 'frame' });
  s = await shot();
  assert.equal(countPixels(s, 100, 420, 400, 480, white), 0);
});

test('a level set before ready is overwritten by the start values when the sets are bound', async (t) => {
  const { host, shot } = await openScene(t, {}, { ssao: 5, shadow: 6, aa: 7 });
  await host.request({ op: 'frame' });
  assertPixel(await shot(), ...indicator(0), [51, 51, 26], 3, 'start values');
});

test('a second ready builds nothing again: no new buffers, no new sampling data', async (t) => {
  const { host, setup, shot } = await openScene(t);
  host.takeLines();
  const again = await host.request({ op: 'readyAgain' });
  assert.equal(again.result, 0);
  assert.equal(again.nextId, setup.nextId + 1);
  const lines = host.takeLines().join('\n');
  assert.doesNotMatch(lines, /noiseTile|init size/);
  await host.request({ op: 'scene', parts: ['solid'] });
  await host.request({ op: 'frame' });
  assertPixel(await shot(), 175, 600, [255, 0, 0], 3, 'still drawing');
});

// Thumbnails of position (green marker), albedo (red A) and normals (A's (0.5, 0.5, 1)) along the
// top edge; the scene's solid rectangles fill the lower left quarter of each.
function assertThumbnails(s, tileWidth, tileHeight) {
  const row = tileHeight - 4;
  assertPixel(s, 3, row, [0, 255, 0], 3, 'position thumbnail');
  assertPixel(s, tileWidth - 4, row, GREY, 3, 'position thumbnail, cleared part');
  assertPixel(s, tileWidth + 3, row, [255, 0, 0], 3, 'albedo thumbnail');
  assertPixel(s, 2 * tileWidth - 4, row, GREY, 3, 'albedo thumbnail, cleared part');
  assertPixel(s, 2 * tileWidth + 3, row, [128, 128, 255], 3, 'normals thumbnail');
  assertPixel(s, 3 * tileWidth - 4, row, GREY, 3, 'normals thumbnail, cleared part');
  assertPixel(s, 3, 4, GREY, 3, 'top of the position thumbnail');
  assertPixel(s, 3, tileHeight + 3, BACKGROUND, 3, 'below the thumbnails');
  if (3 * tileWidth + 3 < s.width) assertPixel(s, 3 * tileWidth + 3, row, BACKGROUND, 3, 'right of the thumbnails');
}

test('debug bit 0 draws the G-buffer thumbnails along the top edge, 400 pixels wide at most', async (t) => {
  const { host, shot } = await openScene(t);
  await host.request({ op: 'scene', parts: ['solid'] });
  await host.request({ op: 'debug', on: true });
  await host.request({ op: 'frame' });
  const s = await shot();
  // 1400 / 3 = 466 is over the cap; 800 x 400 / 1400 = 228 rows.
  assertThumbnails(s, 400, 228);
  assertPixel(s, 175, 600, [255, 0, 0], 3, 'the scene below');
  await host.request({ op: 'debug', on: false });
  await host.request({ op: 'frame' });
  assertPixel(await shot(), 3, 4, BACKGROUND, 3, 'thumbnails gone');
});

test('a resize from outside re-allocates the targets: the next frames draw at the new size', async (t) => {
  const { host, id, shot } = await openScene(t);
  await host.request({ op: 'scene', parts: ALL_PARTS });
  await host.request({ op: 'debug', on: true });
  await host.request({ op: 'frame' });
  host.takeLines();
  await xdotool(xvfb.display, 'windowsize', '--sync', id, 900, 600);
  const size = await host.request({ op: 'pollSize', from: [1400, 800] });
  assert.deepEqual(size, [900, 600]);
  assert.ok(host.takeLines().includes('resized 900x600'));
  await host.request({ op: 'frame', frames: 2 });
  const s = await shot();
  assert.equal(s.width, 900);
  assert.equal(s.height, 600);
  // 900 / 3 = 300 wide, 600 x 300 / 900 = 200 rows.
  assertThumbnails(s, 300, 200);
  assertPixel(s, 112, 450, [255, 0, 0], 3, 'solid A at the new size');
  assertPixel(s, 890, 590, [255, 255, 0], 3, 'unculled quad reaching the new corner');
  assertPixel(s, 562, 450, [128, 128, 178], 3, 'transparency at the new size');
  assertPixel(s, ...indicator(2), [115, 77, 0], 3, 'viewportSize re-sent');
});

test('the quality setters take exactly one argument, a number', async () => {
  for (const [mode, expression] of [['shadow-none', 'argc == 1'], ['ssao-two', 'argc == 1'],
    ['antialias-string', 'status == napi_ok']]) {
    const result = await runHost('render-calls.js', [mode], { display: xvfb.display, audio: 'null' });
    assert.equal(assertAborted(result, expression), 'gfx', mode);
  }
});

test('without a window or GL context, ready and render draw nothing and do not crash', async () => {
  // A video driver that does not exist makes SDL's start-up fail: no window, no GL start-up.
  const result = assertOk(await runHost('render-calls.js', ['no-gl'], { audio: 'null', env: { SDL_VIDEODRIVER: 'no-such-driver' } }));
  assert.match(result.stderr, /Error initializing SDL/);
  // setShadowQuality returns undefined, which the report carries as null.
  assert.deepEqual(result.results, [[null, 0, 0, 0]]);
  assert.match(nativeOut(result), /init size: 1400\.000000, 800\.000000\n/);
  assert.match(result.stderr, /initGFX error: no GL context\n/);
  assert.match(nativeOut(result), /Native ready\n/);
});
