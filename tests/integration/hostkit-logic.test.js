'use strict';
// The host kit's pure JavaScript, without the addon or a display: misuse named before anything
// would reach the addon, text alignment and wrapping arithmetic, fixed-step accounting, the input
// state's edges and dead zone, and the mesh builders' winding and normals under scaling, rotation
// and mirroring. (What the addon draws from them is checked on screen in hostkit-game.test.js.)
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { mat4, vec3 } = require('gl-matrix');
const kit = require('../../lib/host');

// Stand-ins for the shared blocks: the kit writes them as it would the addon's memory.
function fakeBuffers() {
  return { header: new Uint32Array(256), commandWords: new Float64Array(64), resultWords: new Float64Array(64),
    strings: new Uint8Array(256), events: new Uint8Array(256), sizeListeners: [] };
}
function fakeBatch(Batch, name, specs, capacity = 4096) {
  const attributes = specs.map(([attribute, floats], i) => ({ name: attribute, floats, id: 8 + i, view: new Float32Array(capacity * floats) }));
  return new Batch(fakeBuffers(), name, attributes, capacity);
}
const solidBatch = () => fakeBatch(kit.SolidBatch, 'solid', [['position', 3], ['normal', 3], ['color', 3], ['material', 3], ['extra', 3]]);
const forwardBatch = () => fakeBatch(kit.ForwardBatch, 'transparent', [['position', 3], ['normal', 3], ['color', 4]]);

test('misuse is named with the argument and what it takes, before the addon is loaded', () => {
  const writer = new kit.CommandWriter(fakeBuffers());
  const solid = solidBatch();
  const ui = fakeBatch(kit.UiBatch, 'ui', [['position', 3], ['color', 4]]);
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-kit-'));
  kit.setDebugChecks(true);
  const cases = [
    [() => kit.measureText('hi', 24, 'serif'), RangeError, /^font must be one of fallback, mono, sans, got serif$/],
    [() => kit.measureText('hi', 0), RangeError, /^size must be positive, got 0$/],
    [() => kit.measureText(42), TypeError, /^text must be a string, got number$/],
    [() => kit.loadSound(0, path.join(dir, 'missing.ogg')), Error, /^sound file \S+missing\.ogg cannot be read \(\S+\): no such file$/],
    [() => kit.loadSound(0, dir), Error, /is not a regular file/],
    [() => kit.loadSound(256, 'a.ogg'), RangeError, /^sound id must be in 0\.\.255, got 256$/],
    [() => kit.loadSound(0, 'a.ogg', { wordSize: 4 }), RangeError, /^wordSize \(bytes per sample\) must be in 1\.\.2, got 4$/],
    [() => kit.loadSound(0, 'a.ogg', { channel: 2 }), RangeError, /^loadSound: unknown option 'channel' \(options: wordSize, channels\)$/],
    [() => kit.loadPcm(0, Buffer.alloc(3), { format: 'mono16', sampleRate: 22050 }), RangeError, /not whole frames of 2 bytes/],
    [() => kit.loadPcm(0, Buffer.alloc(4), { format: 'quad', sampleRate: 22050 }), RangeError,
      /^format must be one of mono8, mono16, stereo8, stereo16, got quad$/],
    [() => kit.loadPcm(0, [1, 2], { format: 'mono8', sampleRate: 22050 }), TypeError, /Buffer or Uint8Array/],
    [() => kit.setShadowQuality(4), RangeError, /^shadow quality must be in 0\.\.3, got 4$/],
    [() => kit.setSsaoQuality(-1), RangeError, /^ssao quality must be in 0\.\.4, got -1$/],
    [() => kit.setAntialias(1.5), TypeError, /^antialias level must be an integer, got 1\.5$/],
    [() => kit.setQuality({ shadows: 1 }), RangeError, /unknown option 'shadows'/],
    [() => kit.copy(7), TypeError, /^clipboard text must be a string, got number$/],
    [() => writer.play(0, { volume: 1 }), RangeError, /^play: unknown option 'volume' \(options: gain, pitch, x, y, z\)$/],
    [() => writer.text('a', 0, 0, { colour: 1 }), RangeError, /^text: unknown option 'colour'/],
    [() => solid.vertex(NaN, 0, 0, 0, 1, 0, 1, 1, 1), TypeError, /^solid\.vertex: px must be a finite number, got NaN$/],
    [() => solid.vertex(0, 0, 0, 0, '1', 0, 1, 1, 1), TypeError, /^solid\.vertex: ny must be a finite number, got "1"$/],
    [() => solid.vertex(0, 0, 0, 0, 1, 0), TypeError, /^solid\.vertex: r must be a finite number, got undefined$/],
    [() => solid.add({ position: [0, 0, 0], normals: [0, 1, 0] }), RangeError, /^solid\.add: unknown attribute 'normals'/],
    [() => solid.add({ position: [0, NaN, 0] }), TypeError, /^solid\.add: position\[1\] must be a finite number/],
    [() => ui.rect(0, 0, 10, 10), TypeError, /^ui\.rect: r \(the colour is required\) must be a finite number, got undefined$/],
    [() => kit.box(solid, null, { colour: [1, 0, 0] }), RangeError, /^box: unknown option 'colour'/],
    [() => kit.box(solid, [1, 0, 0], {}), RangeError, /^box matrix must hold 16 numbers, got 3$/],
    [() => kit.sphere(solid, null, { rings: 1 }), RangeError, /^sphere rings must be in 2\.\.1024, got 1$/],
    [() => kit.box(forwardBatch(), null, { specular: 1 }), RangeError, /specular and emission are for the solid batch only/],
    [() => kit.box(solid, mat4.fromScaling(mat4.create(), [1, 0, 1])), RangeError, /^box matrix is singular/],
    [() => kit.layoutText('a', 0, 0, { align: 'middle', measure: (t) => t.length }), RangeError,
      /^align must be one of left, center, right, got middle$/],
    [() => kit.directionalLight([0, -1, 0], { extents: 4 }), RangeError, /unknown option 'extents'/],
    [() => new kit.InputState({ deadzone: 0.1 }), RangeError, /^InputState: unknown option 'deadzone' \(options: deadZone\)$/],
    [() => new kit.FixedStep({ step: 0 }), RangeError, /^step must be positive, got 0$/],
    [() => kit.runLoop({ frame: () => {} }), RangeError, /^runLoop: unknown option 'frame'/],
    [() => kit.createBuffers({ size: {} }), RangeError, /^createBuffers: unknown option 'size' \(options: sizes\)$/],
    [() => kit.createBuffers({ sizes: { commands: 8 } }), RangeError, /^createBuffers sizes: unknown option 'commands'/],
    [() => kit.defineEventRecord(kit.EVENT.QUIT, { size: 2, decode: () => ({}) }), Error, /type 256 is defined already/],
  ];
  try {
    for (const [call, type, message] of cases) assert.throws(call, (e) => e instanceof type && message.test(e.message), String(call));
    // Checked calls wrote nothing; with the switch off, a vertex is not checked (documented).
    assert.equal(solid.count, 0);
    kit.setDebugChecks(false);
    solid.vertex(NaN, 0, 0, 0, 1, 0, 1, 1, 1);
    assert.equal(solid.count, 1);
    assert.throws(() => ui.rect(0, 0, 1, 1), /colour is required/, 'a rectangle is checked whatever the switch');
  } finally {
    kit.setDebugChecks(false);
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('text layout: alignment within a box or on an anchor, wrapping between words and inside long ones', () => {
  const measure = (t) => Array.from(t).length * 10;  // 10 pixels a character
  const lines = (text, width) => kit.wrapLines(text, width, measure);
  const wraps = [
    ['one two three four', 75, ['one two', 'three', 'four']],
    ['one two three four', 0, ['one two three four']],
    ['one\n\ntwo three', 100, ['one', '', 'two three']],
    ['abcdefghijkl xy', 50, ['abcde', 'fghij', 'kl xy']],
    ['a  b   c', 30, ['a b', 'c']],
    ['ααα βββ', 30, ['ααα', 'βββ']],
    ['', 40, ['']],
  ];
  for (const [text, width, expected] of wraps) assert.deepEqual(lines(text, width), expected, JSON.stringify(text));
  for (const [text, width] of wraps) for (const l of lines(text, width)) if (width) assert.ok(measure(l) <= width, l);

  const aligns = [
    // align, x, line width, box width -> start
    ['left', 100, 40, 0, 100], ['center', 100, 40, 0, 80], ['right', 100, 40, 0, 60],
    ['left', 100, 40, 200, 100], ['center', 100, 40, 200, 180], ['right', 100, 40, 200, 260],
  ];
  for (const [align, x, w, box, start] of aligns) assert.equal(kit.alignX(align, x, w, box), start, `${align} ${box}`);

  const placed = kit.layoutText('ab cdef', 10, 50, { width: 45, align: 'right', size: 20, measure });
  assert.deepEqual(placed, { lines: [{ text: 'ab', x: 35, y: 50, width: 20 }, { text: 'cdef', x: 15, y: 75, width: 40 }],
    width: 40, height: 50 });
  const centred = kit.layoutText('abc\na', 300, 40, { align: 'center', lineHeight: 30, measure });
  assert.deepEqual(centred.lines.map((l) => [l.x, l.y]), [[285, 40], [295, 70]]);
});

test('fixed steps: real frame times become whole steps, catch-up is capped, alpha is the remainder', () => {
  const step = 0.01;
  const runs = [
    // frame seconds -> steps per frame, with maxSteps 4
    { frames: [0.01, 0.01, 0.01], steps: [1, 1, 1] },
    { frames: [0.004, 0.004, 0.004, 0.004, 0.004], steps: [0, 0, 1, 0, 1] },
    { frames: [0.025, 0.025], steps: [2, 3] },
    { frames: [1, 0.01], steps: [4, 1], dropped: 0.96 },
    { frames: [0, 0, 0.0099999], steps: [0, 0, 0] },
  ];
  for (const { frames, steps, dropped = 0 } of runs) {
    const clock = new kit.FixedStep({ step, maxSteps: 4 });
    const got = frames.map((s) => clock.advance(s));
    assert.deepEqual(got, steps, JSON.stringify(frames));
    const total = frames.reduce((a, b) => a + b, 0);
    // Nothing is lost: run + dropped + still to run = all the time that passed.
    assert.ok(Math.abs(clock.steps * step + clock.dropped + clock.accumulated - total) < 1e-9);
    assert.ok(Math.abs(clock.dropped - dropped) < 1e-9, `dropped ${clock.dropped}`);
    assert.ok(Math.abs(clock.alpha - clock.accumulated / step) < 1e-9 && clock.alpha >= 0 && clock.alpha < 1);
  }
  // Sixty steps of 1/60 s sum to a hair under one second; they still count as sixty.
  const sixty = new kit.FixedStep();
  let n = 0;
  for (let i = 0; i < 600; ++i) n += sixty.advance(1 / 600);
  assert.equal(n, 60);

  // The runner on a fake clock: 10 ms frames with a 25 ms step, then a stall; update and draw see
  // the right counts; realTime false runs one step a frame whatever the clock says.
  const times = [0, 0.01, 0.02, 0.03, 0.04, 0.05, 0.06, 2.06, 2.07];
  const seen = [];
  let t = 0;
  const loop = kit.runLoop({ step: 0.025, maxSteps: 3, frames: 8, now: () => times[Math.min(t, times.length - 1)],
    update: (dt, l) => seen.push(['u', dt, l.frame]), draw: (alpha, l) => { seen.push(['d', Math.round(alpha * 100), l.frame]); t += 1; } });
  assert.deepEqual(seen.filter((s) => s[0] === 'u').map((s) => s[2]), [3, 5, 7, 7, 7]);
  assert.deepEqual(seen.filter((s) => s[0] === 'd').map((s) => s[1]), [0, 40, 80, 20, 60, 0, 40, 40]);
  assert.equal(loop.steps, 5);
  assert.ok(Math.abs(loop.dropped - 77 * 0.025) < 1e-9, `dropped ${loop.dropped}`);
  const fixed = kit.runLoop({ frames: 5, realTime: false, now: () => 0 });
  assert.deepEqual([fixed.frame, fixed.steps, fixed.time], [5, 5, 5 / 60]);
});

test('input state: held, pressed and released edges per step, mouse, controllers with a dead zone', () => {
  const input = new kit.InputState({ deadZone: 0.2 });
  const key = (type, scancode, repeat = false) => ({ type, code: type === 'keyDown' ? 768 : 769, scancode, key: 0, mod: 0, repeat });
  input.feed([key('keyDown', kit.KEY.W), key('keyDown', kit.KEY.SPACE), key('keyUp', kit.KEY.SPACE)]);
  // A tap between two steps is seen as pressed and released, and not held.
  assert.deepEqual([input.isDown(kit.KEY.W), input.wasPressed(kit.KEY.W), input.wasReleased(kit.KEY.W)], [true, true, false]);
  assert.deepEqual([input.isDown(kit.KEY.SPACE), input.wasPressed(kit.KEY.SPACE), input.wasReleased(kit.KEY.SPACE)], [false, true, true]);
  input.endStep();
  input.feed([key('keyDown', kit.KEY.W, true)]);
  assert.deepEqual([input.isDown(kit.KEY.W), input.wasPressed(kit.KEY.W)], [true, false], 'a repeat is no new press');
  input.feed([key('keyUp', kit.KEY.W)]);
  assert.deepEqual([input.isDown(kit.KEY.W), input.wasReleased(kit.KEY.W)], [false, true]);
  assert.throws(() => input.isDown(512), /scancode must be in 0\.\.511/);

  input.feed([{ type: 'mouseMove', x: 10, y: 20 }, { type: 'mouseDown', x: 12, y: 22, button: kit.MOUSE_BUTTON.LEFT },
    { type: 'textInput', text: 'hé' }]);
  assert.deepEqual([input.mouse.x, input.mouse.y, input.mouseDown(1), input.mousePressed(1), input.text], [12, 22, true, true, 'hé']);
  assert.deepEqual([input.mouse.dx, input.mouse.dy], [0, 0], 'the first position known is no motion');
  input.feed([{ type: 'mouseMove', x: 15, y: 18 }, { type: 'mouseMove', x: 20, y: 10 }]);
  assert.deepEqual([input.mouse.dx, input.mouse.dy], [8, -12]);
  input.endStep();
  assert.deepEqual([input.mouseDown(1), input.mousePressed(1), input.text, input.mouse.dx], [true, false, '', 0]);

  const axis = (controller, a, value) => ({ type: 'controllerAxis', controller, axis: a, value });
  input.feed([{ type: 'controllerAdded', controller: 3 }, axis(3, kit.CONTROLLER_AXIS.LEFT_X, 0.1),
    axis(3, kit.CONTROLLER_AXIS.LEFT_Y, -0.6), { type: 'controllerAdded', controller: 5 }, axis(5, kit.CONTROLLER_AXIS.LEFT_Y, 0.9),
    { type: 'controllerButtonDown', controller: 5, button: kit.CONTROLLER_BUTTON.A, pressed: true }]);
  assert.deepEqual(input.added, [3, 5]);
  assert.equal(input.axis(kit.CONTROLLER_AXIS.LEFT_X), 0, 'inside the dead zone');
  assert.ok(Math.abs(input.axis(kit.CONTROLLER_AXIS.LEFT_Y, 3) - -0.5) < 1e-6, 'stretched from the zone edge');
  assert.ok(Math.abs(input.axis(kit.CONTROLLER_AXIS.LEFT_Y) - 0.875) < 1e-6, 'the strongest controller without an id');
  assert.deepEqual([input.buttonPressed(kit.CONTROLLER_BUTTON.A), input.buttonPressed(kit.CONTROLLER_BUTTON.A, 3)], [true, false]);
  input.endStep();
  input.feed([{ type: 'controllerRemoved', controller: 5 }, { type: 'quit' }]);
  assert.deepEqual([input.removed, [...input.controllers.keys()], input.buttonDown(0), input.quit], [[5], [3], false, true]);
  assert.ok(Math.abs(input.axis(kit.CONTROLLER_AXIS.LEFT_Y) - -0.5) < 1e-6);
});

test('events: a module registers a new record type; a window size record reaches the size listeners', () => {
  const CODE = 0x7ff0;
  kit.defineEventRecord(CODE, { size: 6, decode: (v, o, b, code) => ({ type: 'probe', code, value: v.getInt32(o + 2, true) }) });
  const buffers = fakeBuffers();
  const sizes = [];
  buffers.sizeListeners.push((w, h) => sizes.push([w, h]));
  const v = new DataView(buffers.events.buffer);
  v.setUint16(0, CODE, true); v.setInt32(2, -7, true);
  v.setUint16(6, kit.EVENT.WINDOW_SIZE, true); v.setUint8(8, 6); v.setInt32(9, 640, true); v.setInt32(13, 360, true);
  buffers.header[kit.EVENT_BUFFER] = 17;
  assert.deepEqual(kit.readEvents(buffers), [{ type: 'probe', code: CODE, value: -7 },
    { type: 'windowSize', code: 512, width: 640, height: 360 }]);
  assert.deepEqual(sizes, [[640, 360]]);
  assert.equal(buffers.header[kit.EVENT_BUFFER], 0);
});

test('meshes: counter-clockwise outside and normals perpendicular to the surface through any matrix', () => {
  const matrices = {
    identity: mat4.create(),
    'rotated, stretched, moved': (() => {
      const m = mat4.fromTranslation(mat4.create(), [2, -1, 3]);
      mat4.rotate(m, m, 0.7, [1, 2, 0.5]);
      return mat4.scale(m, m, [3, 0.5, 1.5]);
    })(),
    'turned, then stretched': mat4.rotateY(mat4.create(), mat4.fromScaling(mat4.create(), [3, 1, 0.5]), 0.6),
    mirrored: mat4.fromScaling(mat4.create(), [-1, 2, 1]),
  };
  const meshes = {
    box: (b, m) => kit.box(b, m, { size: [1, 2, 0.5] }),
    sphere: (b, m) => kit.sphere(b, m, { radius: 0.8, rings: 6, segments: 8 }),
    cylinder: (b, m) => kit.cylinder(b, m, { radius: 0.5, height: 1.2, segments: 7 }),
    plane: (b, m) => kit.plane(b, m, { size: [2, 3] }),
  };
  for (const [matrixName, m] of Object.entries(matrices)) {
    const center = vec3.transformMat4(vec3.create(), [0, 0, 0], m);
    for (const [meshName, write] of Object.entries(meshes)) {
      for (const batch of [solidBatch(), forwardBatch()]) {
        const first = write(batch, m);
        const count = batch.count - first;
        assert.ok(count > 0 && count % 3 === 0);
        const p = (i) => vec3.fromValues(...batch.position.subarray(i * 3, i * 3 + 3));
        const n = (i) => vec3.fromValues(...batch.normal.subarray(i * 3, i * 3 + 3));
        for (let t = first; t < batch.count; t += 3) {
          const face = vec3.cross(vec3.create(), vec3.sub(vec3.create(), p(t + 1), p(t)), vec3.sub(vec3.create(), p(t + 2), p(t)));
          assert.ok(vec3.length(face) > 1e-6, `${meshName} ${matrixName}: triangle ${t} has an area`);
          vec3.normalize(face, face);
          const what = `${meshName} ${matrixName} triangle ${(t - first) / 3}`;
          // Outward: away from the centre (the plane: towards the transformed +y side).
          const centroid = vec3.scale(vec3.create(), vec3.add(vec3.create(), vec3.add(vec3.create(), p(t), p(t + 1)), p(t + 2)), 1 / 3);
          const out = meshName === 'plane' ? n(t) : vec3.sub(vec3.create(), centroid, center);
          assert.ok(vec3.dot(face, out) > 0, `${what} winds counter-clockwise seen from outside`);
          for (let k = 0; k < 3; ++k) {
            assert.ok(Math.abs(vec3.length(n(t + k)) - 1) < 1e-5, `${what}: unit normal`);
            // Outward from the centre: n . (p - c) keeps its sign through M when n goes through
            // M's inverse transpose.
            const outward = meshName === 'plane' ? face : vec3.sub(vec3.create(), p(t + k), center);
            assert.ok(vec3.dot(n(t + k), outward) > 0, `${what}: normal on the outside`);
          }
          // Flat faces: the vertex normal is the face's own normal, whatever the stretch.
          if (meshName === 'box' || meshName === 'plane') assert.ok(vec3.dot(n(t), face) > 0.9999, `${what}: normal perpendicular`);
        }
      }
    }
  }
  // Colour and material land in the batch's own layout.
  const s = solidBatch();
  kit.box(s, null, { color: [0.1, 0.2, 0.3], specular: 0.5, emission: 2 });
  assert.deepEqual([...s.color.subarray(0, 3), ...s.material.subarray(0, 3)].map((x) => Math.round(x * 10) / 10), [0.1, 0.2, 0.3, 0.5, 0, 2]);
  const f = forwardBatch();
  kit.sphere(f, null, { color: [1, 0.5, 0, 0.25] });
  assert.deepEqual([...f.color.subarray(4, 8)], [1, 0.5, 0, 0.25]);
  assert.deepEqual([...kit.box(solidBatch(), null) === 0 ? [0.8] : []], [0.8]);
});

test('textured meshes: the image tiles by world size or repeat count, wraps a sphere once, and misuse is named', () => {
  const img = { x: 10, y: 20, width: 100, height: 50 };
  const s = solidBatch();
  // A 4 x 2 plane with one image every 1.5 units: each corner's texel follows from its place.
  kit.plane(s, null, { image: img, size: [4, 2], tile: 1.5 });
  for (let t = 0; t < s.count; t += 3) {
    const at = (k, axis) => s.position[(t + k) * 3 + axis];
    const u = (k) => (at(k, 0) + 2) / 1.5, v = (k) => (at(k, 2) + 1) / 1.5;  // the image's top at the far edge
    const tileU = Math.floor((u(0) + u(1) + u(2)) / 3), tileV = Math.floor((v(0) + v(1) + v(2)) / 3);
    for (let k = 0; k < 3; ++k) {
      assert.ok(Math.abs(s.extra[(t + k) * 3] - (img.x + (u(k) - tileU) * img.width)) < 1e-3, `plane s at vertex ${t + k}`);
      assert.ok(Math.abs(s.extra[(t + k) * 3 + 1] - (img.y + (v(k) - tileV) * img.height)) < 1e-3, `plane t at vertex ${t + k}`);
      assert.equal(s.extra[(t + k) * 3 + 2], 1);
    }
  }
  // A planet: the picture once around, u from the angle about y, v from the top pole down.
  const p = solidBatch();
  kit.sphere(p, null, { image: img, radius: 1, rings: 8, segments: 16 });
  for (let i = 0; i < p.count; ++i) {
    const [x, y, z] = p.position.subarray(i * 3, i * 3 + 3);
    if (Math.abs(y) > 0.999) continue;  // the poles take their segment's middle
    const u = ((Math.atan2(-z, x) / (2 * Math.PI)) + 1) % 1;
    const s0 = (p.extra[i * 3] - img.x) / img.width, t0 = (p.extra[i * 3 + 1] - img.y) / img.height;
    assert.ok(Math.abs(s0 - u) < 1e-4 || (u < 1e-4 && Math.abs(s0 - 1) < 1e-4), `sphere u at vertex ${i}: ${s0} vs ${u}`);
    assert.ok(Math.abs(t0 - Math.acos(y) / Math.PI) < 1e-4, `sphere v at vertex ${i}`);
  }
  // A forward batch carries the texel in its colour; white unless a colour is given.
  const f = forwardBatch();
  kit.box(f, null, { image: img, color: [1, 1, 1, 0.5] });
  assert.ok(f.color[0] <= -1 - img.x && f.color[3] === 0.5);
  const untextured = solidBatch();
  kit.cylinder(untextured, null, {});
  assert.ok(untextured.extra.subarray(0, untextured.count * 3).every((v) => v === 0));
  for (const [f2, options, code] of [[kit.sphere, { image: img, repeat: 1.5 }, 'ERR_RANGE'], [kit.box, { image: {} }, 'ERR_TYPE'],
    [kit.plane, { image: img, tile: 1, repeat: 2 }, 'ERR_OPTION'], [kit.plane, { image: img, tile: 0 }, 'ERR_RANGE']]) {
    assert.throws(() => f2(solidBatch(), null, options), (e) => e.code === code, JSON.stringify(options));
  }
});
