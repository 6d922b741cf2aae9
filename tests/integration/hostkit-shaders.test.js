'use strict';
// The reference shaders in small scenes photographed from outside: the sun's shadow falls where it
// should at every shadow level, ambient occlusion darkens a contact and nothing open, a point light
// lights a disc that fades out before its radius (no square of its screen rectangle shows), and the
// post passes keep a hard edge hard (each reads only its own texel).
const test = require('node:test');
const assert = require('node:assert/strict');
const { startXvfb, assertOk } = require('./harness');
const { startInteractive, findWindow } = require('./window-helpers');
const { screenshot } = require('./render-helpers');

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());

const luma = ([r, g, b]) => 0.299 * r + 0.587 * g + 0.114 * b;
// Mean luma over a 5 x 5 square around a point.
function around(shot, [x, y]) {
  let sum = 0;
  for (let dy = -2; dy <= 2; ++dy) for (let dx = -2; dx <= 2; ++dx) sum += luma(shot.pixel(x + dx, y + dy));
  return sum / 25;
}

async function withScenes(setup, fn) {
  const host = startInteractive('hostkit-scene.js', [], { display: xs.display, audio: 'null' });
  await host.next();
  await host.request({ op: 'setup', ...setup });
  const id = await findWindow(xs.display);
  const shoot = async (name, quality) => {
    if (quality) await host.request({ op: 'quality', ...quality });
    const places = await host.request({ op: 'scene', name });
    return { places, shot: await screenshot(xs.display, id) };
  };
  try {
    await fn(shoot);
  } finally {
    await host.request({ op: 'quit' });
  }
  const r = assertOk(await host.done);
  assert.doesNotMatch(r.stderr, /GL ERROR|Unable to compile/);
}

test('shadows fall away from the sun at every shadow level; occlusion darkens only the contact', async () => {
  await withScenes({}, async (shoot) => {
    for (const shadow of [0, 1, 2, 3]) {
      const { places, shot } = await shoot('shadow', { shadow, ssao: 0 });
      const lit = around(shot, places.lit), shade = around(shot, places.shade);
      assert.ok(lit > shade + 40, `shadow ${shadow}: lit floor ${lit.toFixed(0)}, shadowed floor ${shade.toFixed(0)}`);
    }
    const off = await shoot('shadow', { shadow: 2, ssao: 0 });
    const on = await shoot('shadow', { ssao: 4 });
    const contactOff = around(off.shot, off.places.contact), contactOn = around(on.shot, on.places.contact);
    const openOff = around(off.shot, off.places.open), openOn = around(on.shot, on.places.open);
    assert.ok(contactOn < contactOff - 8, `contact darker with occlusion: ${contactOff.toFixed(1)} -> ${contactOn.toFixed(1)}`);
    assert.ok(Math.abs(openOn - openOff) < 3, `open floor unchanged: ${openOff.toFixed(1)} -> ${openOn.toFixed(1)}`);
  });
});

test('a point light lights a disc on the G-buffer surface that fades out inside its radius', async () => {
  await withScenes({ sun: [0, 1, 0] }, async (shoot) => {
    const { places, shot } = await shoot('light');
    const [r, g, b] = shot.pixel(...places.center);
    assert.ok(g > r + 40 && g > b + 20, `green at the middle: ${[r, g, b]}`);
    const floorLevel = places.outside.map((p) => around(shot, p));
    for (const level of floorLevel) assert.ok(Math.abs(level - floorLevel[0]) < 3, `plain floor all round: ${floorLevel}`);
    assert.ok(around(shot, places.center) > floorLevel[0] + 60);
    assert.ok(Math.abs(around(shot, places.edge) - floorLevel[0]) < 6, 'almost nothing left near the radius');
  });
});

test('the post passes keep a hard edge hard with anti-aliasing off', async () => {
  await withScenes({}, async (shoot) => {
    const { places, shot } = await shoot('edge', { aa: 0 });
    const y = places.edge[1];
    const red = (x) => { const [r, g] = shot.pixel(x, y); return r > g + 80; };
    assert.ok(red(places.left[0]) && !red(places.right[0]));
    // From fully red to fully sky within two pixels.
    let first = places.left[0];
    while (red(first + 1)) ++first;
    const inside = shot.pixel(first - 2, y), outside = shot.pixel(first + 3, y);
    assert.ok(Math.abs(luma(shot.pixel(first - 1, y)) - luma(inside)) < 6, 'no blur inside the edge');
    assert.ok(Math.abs(luma(shot.pixel(first + 2, y)) - luma(outside)) < 6, 'no blur outside the edge');
  });
});
