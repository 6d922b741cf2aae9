'use strict';
// The renderer from a real host, one screenshot check per feature: the blocks `ready` hands out, every pass's pixels,
// per-frame against build-time uniforms, quality levels, the debug thumbnails and a resize made from outside (text on
// screen is the text test's). The test shaders of tests/shaders paint known colours and indicator squares (centre of
// square k at (35 + 50k, 265)) that show uniform values.
const test = require('node:test');
const assert = require('node:assert/strict');
const { startXvfb, assertOk } = require('./harness');
const { startHost, findWindow, xdotool } = require('./window-helpers');
const { screenshot, assertPixel } = require('./render-helpers');

// Sets up a scene host: every block the bufferIDs table names (`overrides`: { entry: bytes | 'missing' }), the camera,
// the light's view (x mirrored, so that the scene's front faces turn away from it and survive the shadow pass's
// front-face culling) and quality levels set before ready (`early`), then ready. state.parts: { part: { entry: values } }.
function setupScene({ overrides, early }, s) {
  s.f = createFixed();
  const g = graphics(), b = g.createTableBlocks(overrides);
  Object.assign(s, b);
  s.fill = (e, v) => s.views[e] && s.views[e].set(v.slice(0, s.views[e].length));
  // Writes what fits and sets the length to all of it, as a host that over-reports would.
  s.put = (e, v) => { s.fill(e, v); s.f.header[s.ids[e]] = v.length; };
  s.uiMatrix = (w, h) => [2 / w, 0, 0, 0, 0, -2 / h, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1];  // pixels, y down
  s.light = (z) => [-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, z, 1];
  s.view = (x) => [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, 0, 0, 1];
  // Two counter-clockwise triangles over a rectangle at depth z, clockwise when `reverse`.
  const quad = (x0, y0, x1, y1, z, reverse) => [[x0, y0, z], [x1, y0, z], [x1, y1, z], [x0, y0, z], [x1, y1, z], [x0, y1, z]][reverse ? 'reverse' : 'slice']().flat();
  const rep = (v, n) => Array(n).fill(v).flat();
  s.parts = {
    // A red and facing +z; B green, its normal tilted to (0, 0.6, 0.8).
    solid: { 8: [...quad(-1, -1, -0.5, 0, 0), ...quad(-0.5, -1, 0, 0, 0)], 9: [...rep([0, 0, 1], 6), ...rep([0, 0.6, 0.8], 6)],
      10: [...rep([1, 0, 0], 6), ...rep([0, 1, 0], 6)], 11: rep([0, 0, 0], 12), 12: rep([0, 0, 0], 12) },
    // Half-transparent white, behind B where they overlap.
    transparent: { 19: quad(-0.25, -1, 0.5, 0, 0.5), 20: rep([0, 0, 1], 6), 21: rep([1, 1, 1, 0.5], 6) },
    // Opaque yellow, wound clockwise: seen only because this pass does not cull.
    unculled: { 22: quad(0.5, -1, 1, -0.5, 0, true), 23: rep([0, 0, 1], 6), 24: rep([1, 1, 0, 1], 6) },
    // Two overlapping lights, half red and half green.
    lights: { 26: [0.75, -0.25, 0.15, 0, 0.85, -0.25, 0.15, 0], 27: [0.5, 0, 0, 1, 0, 0.5, 0, 1], 28: Array(8).fill(0) },
    // An orange interface rectangle at pixels 1000..1200 x 300..380.
    ui: { 15: quad(1000, 300, 1200, 380, 0), 16: rep([1, 0.5, 0, 1], 6) },
  };
  for (const e of [1, 2, 3]) s.fill(e, s.view(0));
  [[4, s.light(0.2)], [5, s.uiMatrix(1400, 800)], [6, [0.2, 0.4, 0.6]], [7, [0.8, 0.6, 0.4]]].forEach(([e, v]) => s.fill(e, v));
  s.put(25, quad(-1, -1, 1, 1, 0));  // the point-light mesh, copied once when its pipeline is built
  const compiled = g.registerAndCompile(b.tableId), lastHostId = Math.max(b.tableId, ...Object.values(b.ids));
  if (early) [addon.setShadowQuality(early[0]), addon.setSsaoQuality(early[1]), addon.setAntialias(early[2])];
  addon.ready();
  const [probe, nextId] = addon.nextBuffer(4);
  s.keep.push(probe);
  const handedOut = Array.from({ length: nextId - lastHostId - 1 }, (_, i) => addon.getBuffer(lastHostId + 1 + i))
    .map((block) => [block.byteLength, block.byteLength <= 32 ? Array.from(new Float32Array(block)) : null]);
  return { compiled, nextId, extra: nextId - lastHostId, handedOut };
}

const BG = [0, 0, 102], GREY = [26, 26, 26], ALL = ['solid', 'transparent', 'unculled', 'lights', 'ui'];
const at = (k) => [35 + 50 * k, 265];
// Quality indicator at the start values 2, 2, 1; lightTransform's depth 0.2; the shadow map holding the mirrored scene
// at depth 0.6 (front faces culled, back faces drawn).
const START = [...at(0), [51, 51, 26], 'quality start values'], LIGHT = [...at(1), [0, 0, 51], 'lightTransform as built'];
const SHADOW = [...at(5), [153, 255, 0], 'shadow map'];
let xs, s;
test.before(async () => { xs = await startXvfb(); });
test.after(async () => { if (s) await s.close(); xs.stop(); });

// A scene host with its window: scene(parts) writes the named parts and sets every other part's lengths to 0; frame(n)
// renders n frames with uiTransform in pixels; expect(pixels) checks a screenshot against [x, y, rgb, what] rows.
async function openScene(options = {}) {
  const host = await startHost({ display: xs.display, audio: 'null', env: { LP_NUM_THREADS: '0' }, timeout: 600000 });
  const setup = await host.run(setupScene, options);
  const id = await findWindow(xs.display);
  const scene = (names) => host.run((n, s) => Object.entries(s.parts).forEach(([part, entries]) => Object.entries(entries)
    .forEach(([e, v]) => (n.includes(part) ? s.put(e, v) : (s.f.header[s.ids[e]] = 0)))), names);
  const frame = (n = 1) => host.run((k, st) => { st.fill(5, st.uiMatrix(st.views[0][0] || 1, st.views[0][1] || 1)); for (let i = 0; i < k; ++i) addon.render(); }, n);
  const expect = async (pixels) => {
    const shot = await screenshot(xs.display, id);
    for (const [x, y, rgb, what] of pixels) assertPixel(shot, x, y, rgb, 3, what);
    return shot;
  };
  const close = async () => {
    await host.quit();
    assert.doesNotMatch(assertOk(await host.done).stderr, /GL ERROR|GL message/, 'no GL debug message during a normal run');
  };
  return { host, setup, id, scene, frame, expect, close };
}

test('ready hands out three glyph blocks per glyph pipeline, then two quad blocks per screen pipeline, and nothing else', async () => {
  s = await openScene();
  assert.equal(s.setup.compiled, 0);
  assert.deepEqual(s.setup.handedOut, [3600000, 2400000, 4800000, 3600000, 2400000, 4800000].map((b) => [b, null])
    .concat(Array(3).fill([[32, [-1, 1, -1, -1, 1, -1, 1, 1]], [32, [0, 1, 0, 0, 1, 0, 1, 1]]]).flat()));
  assert.equal(s.setup.extra, 13);
});

test('every pass draws: lit geometry, blended transparency, unculled faces, additive lights, the interface', async () => {
  await s.scene(ALL);
  await s.frame();
  const shot = await s.expect([[175, 600, [255, 0, 0], 'solid A lit head-on'], [450, 600, [0, 204, 0], 'solid B lit at 0.8'],
    [612, 600, [0, 204, 0], 'transparency behind B hidden by the copied depth'], [875, 600, [128, 128, 178], 'half-transparent white'],
    [1225, 700, [255, 255, 0], 'clockwise unculled quad'], [1150, 500, [128, 0, 102], 'first light added'],
    [1260, 500, [128, 128, 102], 'both lights added'], [1370, 500, [0, 128, 102], 'second light added'],
    [1100, 340, [255, 128, 0], 'interface rectangle'], [700, 330, BG, 'background'], START, LIGHT,
    [...at(2), [179, 102, 0], 'viewportSize'], [...at(3), [51, 102, 153], 'cameraPosition'], [...at(4), [204, 153, 102], 'cameraVector'], SHADOW]);
  assert.deepEqual([shot.width, shot.height], [1400, 800]);
});

test('a frame with nothing written still clears, lights, blits and swaps; written geometry draws only while its lengths are set', async () => {
  await s.scene([]);
  await s.frame();
  await s.expect([[5, 5], [175, 600], [875, 600], [1225, 700], [1260, 500], [1100, 340], [1395, 795]].map(([x, y]) => [x, y, BG, 'empty'])
    .concat([START]));
});

test('a new view matrix and camera reach the next frame; lightTransform written after ready changes nothing', async () => {
  await s.scene(['solid']);
  await s.host.run((_, st) => { st.fill(1, st.view(1)); st.fill(4, st.light(0.6)); st.fill(6, [1, 0, 0]); st.fill(7, [0, 0, 1]); });
  await s.frame();
  await s.expect([[175, 600, BG, 'A moved away'], [875, 600, [255, 0, 0], 'A moved here'], LIGHT, SHADOW,
    [...at(3), [255, 0, 0], 'cameraPosition'], [...at(4), [0, 0, 255], 'cameraVector']]);
  await s.host.run((_, st) => [[1, st.view(0)], [6, [0.2, 0.4, 0.6]], [7, [0.8, 0.6, 0.4]]].forEach(([e, v]) => st.fill(e, v)));
});

test('a second ready builds nothing again: no new buffers, no new sampling data', async () => {
  s.host.takeLines();
  assert.deepEqual(await s.host.run(() => [addon.ready(), addon.nextBuffer(4)[1]]), [0, s.setup.nextId + 1]);
  assert.doesNotMatch(s.host.takeLines().join('\n'), /noiseTile|init size/);
});

// Thumbnails of position (green marker), albedo (red A) and normals (A's (0.5, 0.5, 1)) along the top edge, `w` wide and
// `h` high each on a window `width` wide; the scene's solid rectangles fill the lower left quarter of each.
const thumbnails = (w, h, width) => [[3, h - 4, [0, 255, 0], 'position'], [w - 4, h - 4, GREY, 'position, cleared'],
  [w + 3, h - 4, [255, 0, 0], 'albedo'], [2 * w - 4, h - 4, GREY, 'albedo, cleared'], [2 * w + 3, h - 4, [128, 128, 255], 'normals'],
  [3 * w - 4, h - 4, GREY, 'normals, cleared'], [3, 4, GREY, 'top of position'], [3, h + 3, BG, 'below'], [3 * w + 3, h - 4, BG, 'right']].filter(([x]) => x < width);

test('debug bit 0 draws the G-buffer thumbnails along the top edge, 400 pixels wide at most; a resize from outside re-allocates the targets', async () => {
  await s.scene(ALL);
  const debug = (on) => s.host.run((bit, st) => { new Uint8Array(st.f.buffers.debug)[0] = bit; }, on);
  await debug(1);
  await s.frame();
  // 1400 / 3 = 466 is over the cap; 800 x 400 / 1400 = 228 rows.
  await s.expect([...thumbnails(400, 228, 1400), [175, 600, [255, 0, 0], 'the scene below']]);
  s.host.takeLines();
  await xdotool(xs.display, 'windowsize', '--sync', s.id, 900, 600);
  // Pumps events until the viewport pair changes (for up to a minute).
  assert.deepEqual(await s.host.run(async (_, st) => {
    for (let i = 0; i < 6000 && st.views[0][0] === 1400; ++i) { addon.poll(); await new Promise((r) => setTimeout(r, 10)); }
    return Array.from(st.views[0]);
  }), [900, 600]);
  assert.ok(s.host.takeLines().includes('resized 900x600'));
  await s.frame(2);
  // The next frames draw at the new size: 900 / 3 = 300 wide, 600 x 300 / 900 = 200 rows.
  const shot = await s.expect([...thumbnails(300, 200, 900), [112, 450, [255, 0, 0], 'solid A'], [890, 590, [255, 255, 0], 'unculled quad in the corner'],
    [562, 450, [128, 128, 178], 'transparency'], [...at(2), [115, 77, 0], 'viewportSize re-sent']]);
  assert.deepEqual([shot.width, shot.height], [900, 600]);
  await debug(0);
  await s.frame();
  await s.expect([[3, 4, BG, 'thumbnails gone']]);
});

test('quality setters reach the shaders with the next frame, as 32-bit integers', async () => {
  // [shadow, ssao, antialias] (null: not set), the indicator then: -0.5, NaN and Infinity read 0; 3.9 is stored as 3;
  // 2^32 + 5 keeps its low 32 bits.
  const steps = [[[2], [51, 51, 26]], [[, , 0], [51, 51, 0]], [[, 3.9], [77, 51, 0]], [[2 ** 32 + 5, , -0.5], [77, 128, 0]],
    [[, 'NaN'], [0, 128, 0]], [['Infinity', 4], [102, 0, 0]]];
  for (const [levels, rgb] of steps) {
    await s.host.run((l) => ['setShadowQuality', 'setSsaoQuality', 'setAntialias'].forEach((f, i) => l[i] != null && addon[f](Number(l[i]))), levels);
    await s.frame(2);
    await s.expect([[...at(0), rgb, JSON.stringify(levels)]]);
  }
});

test('levels set before ready give way to the start values; a uniform whose block is missing or short is never sent', async () => {
  // uiTransform gets 16 bytes, cameraPosition no block, the solid colours room for 6 vertices: draws stop where a block ends.
  await s.close();
  s = await openScene({ overrides: { 5: 16, 6: 'missing', 10: 72 }, early: [6, 5, 7] });
  await s.scene(['solid', 'ui']);
  await s.frame();
  await s.expect([START, [175, 600, [255, 0, 0], 'solid A: its 6 vertices fit'], [450, 600, BG, 'solid B: past the colour block'],
    [1100, 340, BG, 'interface: uiTransform stays zero'], [...at(3), [0, 0, 0], 'cameraPosition absent'],
    [...at(4), [204, 153, 102], 'cameraVector still sent']]);
});
