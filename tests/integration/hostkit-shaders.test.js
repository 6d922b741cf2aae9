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

// The host: the kit's graphics with the reference shaders, a sun along `sun`, the scenes on request.
function shaderHost({ sun }) {
  const { startScene } = require('./kit-scene');
  const kit = require('tessimarke/host');
  const s = startScene({ lightTransform: kit.directionalLight(sun, { extent: 8 }) });
  const { gfx } = s;
  const scenes = {
    // A box on the floor under a sun slanting from +x: its shadow falls towards -x. The contact point
    // lies in that shadow, where only the ambient light (which occlusion darkens) reaches.
    shadow() {
      s.floor();
      kit.box(gfx.solid, [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0.75, 0, 1], { size: [1, 1.5, 1], color: [0.8, 0.2, 0.2] });
      return { lit: [2, 0, 0], shade: [-1.2, 0, 0], contact: [-0.58, 0, 0], open: [0, 0, 2.5] };
    },
    // One green point light low over a floor the sun lights from below (so only the light shows on it).
    light() {
      s.floor();
      gfx.lights.light(0, 0.3, 0, 2, 0.2, 1, 0.3, 3);
      return { center: [0, 0, 0], edge: [1.9, 0, 0], out0: [2.3, 0, 0], out1: [-2.3, 0, 0], out2: [0, 0, 2.3], out3: [0, 0, -2.3] };
    },
    // A red quad filling the lower half of the view beside the sky: an edge the post passes must keep.
    edge() {
      for (const p of [[-20, -1, 0], [0, -1, 0], [0, 20, 0], [-20, -1, 0], [0, 20, 0], [-20, 20, 0]]) gfx.solid.vertex(...p, 0, 0, 1, 0.9, 0.1, 0.1, 0, 0, 1);
      return { left: [-1, 1, 0], right: [1, 1, 0], edge: [0, 1, 0] };
    },
  };
  serveRequests({
    scene({ name, shadow, ssao, aa }) {
      for (const [set, level] of [[kit.addon.setShadowQuality, shadow], [kit.addon.setSsaoQuality, ssao], [kit.addon.setAntialias, aa]]) if (level !== undefined) set(level);
      gfx.clearAll();
      const places = scenes[name]();
      s.step(2);
      return Object.fromEntries(Object.entries(places).map(([k, p]) => [k, s.project(p)]));
    },
    quit: () => kit.addon.quit(),
  });
}

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
// Runs `fn(shoot)` against a host with the sun along `sun`; shoot(request) draws a scene and answers its places and a screenshot.
async function withScenes(sun, fn) {
  const host = startInteractive('run.js', [shaderHost.toString(), JSON.stringify({ sun })], { display: xs.display, audio: 'null' });
  await host.next();
  const id = await findWindow(xs.display);
  await fn(async (request) => ({ places: await host.request({ op: 'scene', ...request }), shot: await screenshot(xs.display, id) }));
  await host.request({ op: 'quit' });
  assert.doesNotMatch(assertOk(await host.done).stderr, /GL ERROR|Unable to compile/);
}

test('shadows fall away from the sun at every level; occlusion darkens only the contact; post passes keep an edge hard', async () => {
  await withScenes([-1, -1.2, 0], async (shoot) => {
    for (const shadow of [0, 1, 2, 3]) {
      const { places, shot } = await shoot({ name: 'shadow', shadow, ssao: 0 });
      const lit = around(shot, places.lit), shade = around(shot, places.shade);
      assert.ok(lit > shade + 40, `shadow ${shadow}: lit floor ${lit.toFixed(0)}, shadowed floor ${shade.toFixed(0)}`);
    }
    const off = await shoot({ name: 'shadow', shadow: 2, ssao: 0 });
    const on = await shoot({ name: 'shadow', ssao: 4 });
    const [contactOff, contactOn, openOff, openOn] = [[off, 'contact'], [on, 'contact'], [off, 'open'], [on, 'open']].map(([r, k]) => around(r.shot, r.places[k]));
    assert.ok(contactOn < contactOff - 8, `contact darker with occlusion: ${contactOff.toFixed(1)} -> ${contactOn.toFixed(1)}`);
    assert.ok(Math.abs(openOn - openOff) < 3, `open floor unchanged: ${openOff.toFixed(1)} -> ${openOn.toFixed(1)}`);
    // With anti-aliasing off the edge goes from fully red to fully sky within two pixels.
    const { places, shot } = await shoot({ name: 'edge', aa: 0 });
    const y = places.edge[1];
    const red = (x) => { const [r, g] = shot.pixel(x, y); return r > g + 80; };
    assert.ok(red(places.left[0]) && !red(places.right[0]));
    let last = places.left[0];
    while (red(last + 1)) ++last;
    assert.ok(Math.abs(luma(shot.pixel(last - 1, y)) - luma(shot.pixel(last - 2, y))) < 6, 'no blur inside the edge');
    assert.ok(Math.abs(luma(shot.pixel(last + 2, y)) - luma(shot.pixel(last + 3, y))) < 6, 'no blur outside the edge');
  });
});

test('a point light lights a disc on the G-buffer surface that fades out inside its radius', async () => {
  await withScenes([0, 1, 0], async (shoot) => {
    const { places, shot } = await shoot({ name: 'light' });
    const [r, g, b] = shot.pixel(...places.center);
    assert.ok(g > r + 40 && g > b + 20, `green at the middle: ${[r, g, b]}`);
    const floor = [0, 1, 2, 3].map((k) => around(shot, places[`out${k}`]));
    for (const level of floor) assert.ok(Math.abs(level - floor[0]) < 3, `plain floor all round: ${floor}`);
    assert.ok(around(shot, places.center) > floor[0] + 60);
    assert.ok(Math.abs(around(shot, places.edge) - floor[0]) < 6, 'almost nothing left near the radius');
  });
});
