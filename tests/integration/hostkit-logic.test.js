'use strict';
// The host kit's own JavaScript over a stand-in addon (plain ArrayBuffers, no-op calls), without a display: set-up,
// misuse refused before anything reaches the addon, text layout, fixed steps, input edges, event records, the meshes'
// winding, normals, surfaces and texels; the glTF loader on published models (Debian's assimp-testmodels), the player.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs'), os = require('node:os'), path = require('node:path'), inspector = require('node:inspector');
const { execFileSync } = require('node:child_process');
const { mat4, vec3 } = require('gl-matrix');
const contract = require('../../contract/host');

// The stand-in addon: blocks are ArrayBuffers under ids from 8 (their sizes kept); every other export does nothing.
const fake = Object.fromEntries(Object.keys(contract.exportParameters).map((name) => [name, () => 0])), sizes = [];
Object.assign(fake, { initBuffer: (id, size) => new ArrayBuffer(size), nextBuffer: (size) => [new ArrayBuffer(size), sizes.push(size) + 7] });
const index = require.resolve('../../lib/index');
require.cache[index] = { id: index, filename: index, loaded: true, exports: fake };
const kit = require('../../lib/host');

const buffers = kit.createBuffers(), W = new kit.CommandWriter(buffers), IMG = { x: 10, y: 20, width: 100, height: 50 };
// Batches of the kit's own layouts over plain arrays.
const batch = (Batch, name, specs) => new Batch(buffers, name, specs.map(([n, floats], i) =>
  ({ name: n, floats, id: 100 + i, view: new Float32Array(4096 * floats) })), 4096);
const solidBatch = () => batch(kit.SolidBatch, 'solid', [['position', 3], ['normal', 3], ['color', 3], ['material', 3], ['extra', 3]]);
const forwardBatch = () => batch(kit.ForwardBatch, 'transparent', [['position', 3], ['normal', 3], ['color', 4]]);
const uiBatch = () => batch(kit.UiBatch, 'ui', [['position', 3], ['color', 4]]);

test('set-up: shader files named first; table entries, batch lengths, the sun, images and music; the interface follows the window', () => {
  assert.throws(() => kit.setupGraphics(buffers, { shaderDir: '/nonexistent' }), (e) =>
    /^shader files missing: \/nonexistent\/solid\.vert, .*\/nonexistent\/gpost\.frag$/.test(e.message) && e.message.split(', ').length === 19);
  const gfx = kit.setupGraphics(buffers);
  // The viewport pair, a matrix, a vector, the point-light mesh and the first light attribute each under their own entry.
  assert.deepEqual([0, 1, 6, 25, 26].map((entry) => sizes[gfx.table[entry] - 8]), [8, 64, 12, 72, 1600000]);
  // The batches set the fill lengths of all their attributes together; clearAll empties them all.
  const lengths = () => [gfx.ui, gfx.transparent, gfx.solid].map((b) => b.attributes.map((a) => buffers.lenBuffer(a.id)));
  gfx.ui.rect(0, 0, 1, 1, 1, 1, 1);
  gfx.transparent.vertex(0, 0, 0, 0, 0, 1, 1, 1, 1);
  const filled = lengths();
  gfx.clearAll();
  assert.deepEqual([filled, lengths()], [[[18, 24], [3, 3, 4], [0, 0, 0, 0, 0]], [[0, 0], [0, 0, 0], [0, 0, 0, 0, 0]]]);
  // A sun straight down: the middle at the centre of the shadow map, `extent` out at its edge.
  const sun = kit.directionalLight([0, -1, 0], { extent: 5 });
  assert.deepEqual([[0, 0, 0], [5, 0, 0]].map((p) => [...vec3.transformMat4(vec3.create(), p, sun).slice(0, 2)].map((c) => Math.round(Math.abs(c) * 1e6) / 1e6)), [[0, 0], [1, 0]]);
  // Images and music through the stand-in: a place kept by its name, a music source the kit may pause.
  Object.assign(fake, { setImage: () => [0, 1, 1, 2, 2], playMusic: () => 5 });
  assert.deepEqual(kit.textures.fromPixels('dot', new Uint8Array(16), 2, 2), kit.textures.get('dot'));
  assert.deepEqual([kit.textures.get('dot').width, kit.music.play('a.ogg'), W.pause(5)], [2, 5, 0]);
  W.clear();
  // The interface transform follows each window size record the reader decodes.
  gfx.viewportSize.set([1000, 600]);
  const v = new DataView(buffers.events.buffer);
  v.setUint16(0, kit.EVENT.WINDOW_SIZE, true); v.setInt32(3, 1000, true); v.setInt32(7, 600, true);
  buffers.header[kit.EVENT_BUFFER] = 11;
  assert.deepEqual([kit.readEvents(buffers), gfx.uiTransform[0], gfx.uiTransform[5], buffers.header[kit.EVENT_BUFFER]],
    [[{ type: 'windowSize', code: 512, width: 1000, height: 600 }], ...[2 / 1000, -2 / 600].map(Math.fround), 0]);
});

test('misuse throws, naming the argument and what it takes, and leaves the blocks as they were', () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-kit-'));
  const solid = solidBatch(), ui = uiBatch();
  const writer = Object.create(kit.CommandWriter.prototype);
  const long = 'x'.repeat(65537);
  W.log('y'.repeat(40000));  // what this step left of STRING_BUFFER: 25536 bytes
  buffers.strings.fill(0xA5, 40000, 40064);
  kit.setDebugChecks(true);
  const cases = [
    [() => W.log(long), RangeError, /^log text of 65537 bytes is longer than STRING_BUFFER \(65536 bytes\)$/],
    [() => W.log('z'.repeat(30000)), RangeError, /^log text of 30000 bytes does not fit in STRING_BUFFER: 25536 of 65536 bytes left this step$/],
    [() => W.play(256), RangeError, /^sound id must be in 0\.\.255, got 256$/], [() => W.play(0, { volume: 1 }), RangeError, /^play: unknown option 'volume' \(options: gain, pitch, x, y, z\)$/],
    [() => W.text('a', 0, 0, { font: 'serif' }), RangeError, /^font must be one of fallback, mono, sans, got serif$/],
    [() => W.text('a', 0, 0, { colour: 1 }), RangeError, /^text: unknown option 'colour'/], [() => W.textColor(NaN, 0, 0), TypeError, /^textColor: red must be a finite number, got NaN$/],
    [() => W.log(42), TypeError, /^log text must be a string, got number$/], [() => W.result(5), RangeError, /^no command of the last tick starts at word 5$/],
    [() => W.pause(7), RangeError, /^source 7 was not handed out by a play command or music/], [() => writer.listener([0, 0, 0], [0, 0, 0]), RangeError, /direction must not be zero/],
    [() => writer.listener([0, NaN, 0], [0, 0, 1]), TypeError, /position must hold 3 finite numbers/], [() => writer.listenerUp([0, 0, 0]), RangeError, /^listener up must not be zero$/],
    [() => kit.createBuffers(), Error, /^the fixed blocks 0-7 exist already: create the shared buffers once per process$/],
    [() => kit.createBuffers({ size: {} }), RangeError, /^createBuffers: unknown option 'size' \(options: sizes\)$/],
    [() => kit.createBuffers({ sizes: { commands: 8 } }), RangeError, /^createBuffers sizes: unknown option 'commands'/],
    [() => kit.setupGraphics(buffers), Error, /^the graphics are set up already: the addon builds its pipelines once per process$/],
    [() => buffers.lenBuffer(256), RangeError, /^buffer id must be in 0\.\.255, got 256$/], [() => ui.reserve(4097), RangeError, /^ui batch full: 4097 vertices asked for, 4096 of 4096 left$/],
    [() => ui.add({ position: [0, 0, 0], color: [1, 1, 1, 1, 0, 0, 0, 1] }), RangeError, /attributes disagree on the vertex count/],
    [() => solid.vertex(NaN, 0, 0, 0, 1, 0, 1, 1, 1), TypeError, /^solid\.vertex: px must be a finite number, got NaN$/],
    [() => solid.vertex(0, 0, 0, 0, '1', 0, 1, 1, 1), TypeError, /^solid\.vertex: ny must be a finite number, got "1"$/],
    [() => solid.vertex(0, 0, 0, 0, 1, 0, 1, NaN, 1), TypeError, /^solid\.vertex: g must be a finite number/],
    [() => solid.vertex(0, 0, 0, 0, 1, 0), TypeError, /^solid\.vertex: r must be a finite number, got undefined$/],
    [() => forwardBatch().vertex(0, 0, 0, 0, 1, 0, 1, 1, NaN), TypeError, /^transparent\.vertex: b must be/],
    [() => batch(kit.LightBatch, 'lights', [['place', 4], ['color', 4], ['extra', 4]]).light(0, 0, 0, 1, 1, 1, NaN), TypeError, /lights\.light: b must/],
    [() => solid.add({ position: [0, 0, 0], normals: [0, 1, 0] }), RangeError, /^solid\.add: unknown attribute 'normals'/],
    [() => solid.add({ position: [0, NaN, 0] }), TypeError, /^solid\.add: position\[1\] must be a finite number/],
    [() => ui.rect(0, 0, 10, 10), TypeError, /^ui\.rect: r \(the colour is required\) must be a finite number, got undefined$/],
    [() => kit.directionalLight([0, -1, 0], { extents: 4 }), RangeError, /unknown option 'extents'/], [() => kit.box(solid, null, { colour: [1, 0, 0] }), RangeError, /^box: unknown option 'colour'/],
    [() => kit.box(solid, null, { color: null }), RangeError, /^box color must hold 3 or 4 numbers$/], [() => kit.box(solid, [1, 0, 0], {}), RangeError, /^box matrix must hold 16 numbers, got 3$/],
    [() => kit.sphere(solid, null, { rings: 1 }), RangeError, /^sphere rings must be in 2\.\.1024, got 1$/],
    [() => kit.box(forwardBatch(), null, { specular: 1 }), RangeError, /specular and emission are for the solid batch only/],
    [() => kit.box(solid, mat4.fromScaling(mat4.create(), [1, 0, 1])), RangeError, /^box matrix is singular/], [() => kit.sphere(solid, null, { image: IMG, repeat: 1.5 }), RangeError, 'ERR_RANGE'],
    [() => kit.box(solid, null, { image: {} }), TypeError, 'ERR_TYPE'], [() => kit.plane(solid, null, { image: IMG, tile: 1, repeat: 2 }), RangeError, 'ERR_OPTION'],
    [() => kit.plane(solid, null, { image: IMG, tile: 0 }), RangeError, 'ERR_RANGE'], [() => kit.measureText('hi', 24, 'serif'), RangeError, /^font must be one of fallback, mono, sans, got serif$/],
    [() => kit.measureText('hi', 0), RangeError, /^size must be positive, got 0$/], [() => kit.measureText(42), TypeError, /^text must be a string, got number$/],
    [() => kit.layoutText('a', 0, 0, { align: 'middle', measure: (t) => t.length }), RangeError, /^align must be one of left, center, right, got middle$/],
    [() => new kit.FixedStep({ step: 0 }), RangeError, /^step must be positive, got 0$/], [() => kit.runLoop({ frame: () => {} }), RangeError, /^runLoop: unknown option 'frame'/],
    [() => kit.runLoop({ input: new kit.InputState() }), TypeError, /^runLoop: input and onEvent need buffers/],
    [() => new kit.InputState({ deadzone: 0.1 }), RangeError, /^InputState: unknown option 'deadzone' \(options: deadZone\)$/],
    [() => new kit.InputState().isDown(512), RangeError, /scancode must be in 0\.\.511/],
    [() => kit.defineEventRecord(kit.EVENT.QUIT, { size: 2, decode: () => ({}) }), Error, /type 256 is defined already/],
    [() => kit.decodeEvents(Uint8Array.from([0x34, 0x12])), Error, /^unknown event record type 4660 at byte 0$/],
    [() => kit.decodeEvents(Uint8Array.from([0, 3, 4, 0, 97, 0, 0, 0, 0, 0, 0]), 6), RangeError, /type 768 at byte 0 cut off by the queue length 6/],
    [() => kit.decodeEvents(new Uint8Array(11), 12), RangeError, /past the block/],
    [() => kit.loadSound(0, path.join(dir, 'missing.ogg')), Error, /^sound file \S+missing\.ogg cannot be read \(\S+\): no such file$/], [() => kit.loadSound(0, dir), Error, /is not a regular file/],
    [() => kit.loadSound(256, 'a.ogg'), RangeError, /^sound id must be in 0\.\.255, got 256$/],
    [() => kit.loadSound(0, 'a.ogg', { wordSize: 4 }), RangeError, /^wordSize \(bytes per sample\) must be in 1\.\.2, got 4$/],
    [() => kit.loadSound(0, 'a.ogg', { channel: 2 }), RangeError, /^loadSound: unknown option 'channel' \(options: wordSize, channels\)$/],
    [() => kit.loadPcm(0, Buffer.alloc(3), { format: 'mono16', sampleRate: 22050 }), RangeError, /not whole frames of 2 bytes/],
    [() => kit.loadPcm(0, Buffer.alloc(4), { format: 'quad', sampleRate: 22050 }), RangeError, /^format must be one of mono8, mono16, stereo8, stereo16, got quad$/],
    [() => kit.loadPcm(0, [1, 2], { format: 'mono8', sampleRate: 22050 }), TypeError, /Buffer or Uint8Array/], [() => kit.setShadowQuality(4), RangeError, /^shadow quality must be in 0\.\.3, got 4$/],
    [() => kit.setSsaoQuality(-1), RangeError, /^ssao quality must be in 0\.\.4, got -1$/], [() => kit.setAntialias(1.5), TypeError, /^antialias level must be an integer, got 1\.5$/],
    [() => kit.setQuality({ shadows: 1 }), RangeError, /unknown option 'shadows'/], [() => kit.copy(7), TypeError, /^clipboard text must be a string, got number$/],
    [() => kit.window.setTitle(5), TypeError, /title must be a string/], [() => kit.window.setTitle('a\0b'), RangeError, /NUL/],
    [() => kit.window.setTitle('é'.repeat(513)), RangeError, /at most 1024 bytes of UTF-8, got 1026/], [() => kit.window.setSize(0, 10), RangeError, /^width must be in 1\.\.8192, got 0$/],
    [() => kit.window.setSize(10, 8193), RangeError, /^height must be in 1\.\.8192, got 8193$/], [() => kit.window.setSize(10, 1.5), TypeError, /height must be an integer/],
    [() => kit.window.setRenderScale(0.1), RangeError, /render scale must be in 0\.25\.\.1/],
    [() => kit.music.play('a.ogg', { loopStart: 2, loopEnd: 1 }), RangeError, /loop end 1 must come after loop start 2/], [() => kit.music.play('a.ogg', { gain: -1 }), RangeError, /gain/],
    [() => kit.music.play('x'.repeat(4097)), RangeError, /at most 4096 bytes/], [() => kit.textures.fromPixels('a', new Uint8Array(15), 2, 2), RangeError, /16 bytes/],
    [() => kit.textures.fromPixels('a', new Uint8Array(0), 0, 2), RangeError, /width must be in 1\.\.2046/], [() => kit.textures.load('', 'a.png'), TypeError, /non-empty string/],
    [() => kit.textures.load('a', 'x'.repeat(4097)), RangeError, /^image path must be at most 4096 bytes$/], [() => kit.textures.texel('nothing', 0, 0), RangeError, /no image named nothing/],
    [() => kit.addon.setBuffers('7'), TypeError, /^setBuffers: argument 1 must be a number, got string$/],
    [() => kit.addon.compileShader('a', 1, 'b'), TypeError, /^compileShader: argument 2 must be a boolean, got number$/],
    [() => kit.addon.measureText('a', 12), TypeError, /^measureText takes 3 arguments \(string, number, number\), got 2$/],
    [() => kit.addon.setImage(0, [1, 2, 3, 4], 1, 1), TypeError, /^setImage: argument 2 must be a Uint8Array, got an array$/],
  ];
  const state = () => JSON.stringify([W.length, W.stringEnd, buffers.header[kit.COMMAND_BUFFER], [...buffers.strings.subarray(40000, 40064)], solid.count, ui.count]);
  try {
    const before = state();
    for (const [call, type, message] of cases) {
      assert.throws(call, (e) => e instanceof type && (typeof message === 'string' ? e.code === message : message.test(e.message)), String(call));
      assert.equal(state(), before, `${call} left the blocks as they were`);
    }
    // A valid vertex passes the checks; with the switch off a vertex is not checked (documented), a rectangle is.
    solid.vertex(0, 0, 0, 0, 1, 0, 1, 1, 1), kit.setDebugChecks(false), solid.vertex(NaN, 0, 0, 0, 1, 0, 1, 1, 1);
    assert.equal(solid.count, 2);
    assert.throws(() => ui.rect(0, 0, 1, 1), /colour is required/);
    // 8192 words hold 2730 three-word log commands; the next one throws and takes nothing.
    W.clear();
    let written = 0;
    assert.throws(() => { for (;;) { W.log('.'); ++written; } }, { message: 'command buffer full: log needs 3 words, 2 of 8192 left this step' });
    assert.deepEqual([written, W.length], [2730, 8190]);
  } finally {
    kit.setDebugChecks(false);
    W.clear();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('text layout: alignment within a box or on an anchor, wrapping between words and inside long ones', () => {
  const measure = (t) => Array.from(t).length * 10;  // 10 pixels a character
  for (const [text, width, expected] of [['one two three four', 75, ['one two', 'three', 'four']], ['one two three four', 0, ['one two three four']],
    ['one\n\ntwo three', 100, ['one', '', 'two three']], ['abcdefghijkl xy', 50, ['abcde', 'fghij', 'kl xy']],
    ['a  b   c', 30, ['a b', 'c']], ['ααα βββ', 30, ['ααα', 'βββ']], ['', 40, ['']]]) {
    assert.deepEqual(kit.wrapLines(text, width, measure), expected, JSON.stringify(text));
  }
  // align, box width -> start of a 40 px line at x 100
  for (const [align, box, start] of [['left', 0, 100], ['center', 0, 80], ['right', 0, 60], ['left', 200, 100], ['center', 200, 180], ['right', 200, 260]]) {
    assert.equal(kit.alignX(align, 100, 40, box), start, `${align} ${box}`);
  }
  assert.deepEqual(kit.layoutText('ab cdef', 10, 50, { width: 45, align: 'right', size: 20, measure }),
    { lines: [{ text: 'ab', x: 35, y: 50, width: 20 }, { text: 'cdef', x: 15, y: 75, width: 40 }], width: 40, height: 50 });
  assert.deepEqual(kit.layoutText('abc\na', 300, 40, { align: 'center', lineHeight: 30, measure }).lines.map((l) => [l.x, l.y]), [[285, 40], [295, 70]]);
});

test('fixed steps: frame times become whole steps, catch-up is capped, alpha is the remainder', () => {
  const near = (a, b) => Math.abs(a - b) < 1e-9;
  for (const [frames, steps, dropped = 0] of [[[0.01, 0.01, 0.01], [1, 1, 1]], [[0.004, 0.004, 0.004, 0.004, 0.004], [0, 0, 1, 0, 1]],
    [[0.025, 0.025], [2, 3]], [[1, 0.01], [4, 1], 0.96], [[0, 0, 0.0099999], [0, 0, 0]]]) {
    const clock = new kit.FixedStep({ step: 0.01, maxSteps: 4 });
    assert.deepEqual(frames.map((s) => clock.advance(s)), steps, JSON.stringify(frames));
    // Nothing is lost: run + dropped + still to run = all the time that passed.
    assert.ok(near(clock.steps * 0.01 + clock.dropped + clock.accumulated, frames.reduce((a, b) => a + b, 0)) && near(clock.dropped, dropped));
    assert.ok(near(clock.alpha, clock.accumulated / 0.01) && clock.alpha >= 0 && clock.alpha < 1);
  }
  // Steps of 1/60 s summed over a second are a hair short of it; they still count as sixty.
  const sixty = new kit.FixedStep();
  assert.equal([...Array(600)].reduce((n) => n + sixty.advance(1 / 600), 0), 60);
  // The runner on a fake clock: 10 ms frames with a 25 ms step, then a stall.
  const times = [0, 0.01, 0.02, 0.03, 0.04, 0.05, 0.06, 2.06, 2.07], seen = { u: [], d: [] };
  let t = 0;
  const loop = kit.runLoop({ step: 0.025, maxSteps: 3, frames: 8, now: () => times[Math.min(t, times.length - 1)],
    update: (dt, l) => seen.u.push(l.frame), draw: (alpha) => { seen.d.push(Math.round(alpha * 100)); t += 1; } });
  assert.deepEqual([seen.u, seen.d, loop.steps], [[3, 5, 7, 7, 7], [0, 40, 80, 20, 60, 0, 40, 40], 5]);
  assert.ok(near(loop.dropped, 77 * 0.025), `dropped ${loop.dropped}`);
  const fixed = kit.runLoop({ frames: 5, realTime: false, now: () => 0 });
  assert.deepEqual([fixed.frame, fixed.steps, fixed.time], [5, 5, 5 / 60]);
});

test('input state: held, pressed and released edges per step, mouse, controllers with a dead zone', () => {
  const { KEY, CONTROLLER_AXIS: AXIS, CONTROLLER_BUTTON: BUTTON } = kit;
  const input = new kit.InputState({ deadZone: 0.2 });
  const key = (type, scancode, repeat = false) => ({ type, scancode, repeat });
  const edges = (k) => [input.isDown(k), input.wasPressed(k), input.wasReleased(k)];
  input.feed([key('keyDown', KEY.W), key('keyDown', KEY.SPACE), key('keyUp', KEY.SPACE)]);
  // A tap between two steps is seen as pressed and released, and not held.
  assert.deepEqual([edges(KEY.W), edges(KEY.SPACE)], [[true, true, false], [false, true, true]]);
  input.endStep();
  input.feed([key('keyDown', KEY.W, true)]);
  assert.deepEqual(edges(KEY.W), [true, false, false], 'a repeat is no new press');
  input.feed([key('keyUp', KEY.W)]);
  assert.deepEqual(edges(KEY.W), [false, false, true]);
  input.feed([{ type: 'mouseMove', x: 10, y: 20 }, { type: 'mouseDown', x: 12, y: 22, button: kit.MOUSE_BUTTON.LEFT }, { type: 'textInput', text: 'hé' }]);
  assert.deepEqual([input.mouse.x, input.mouse.y, input.mouse.dx, input.mouseDown(1), input.mousePressed(1), input.text], [12, 22, 0, true, true, 'hé']);
  input.feed([{ type: 'mouseMove', x: 15, y: 18 }, { type: 'mouseMove', x: 20, y: 10 }]);
  assert.deepEqual([input.mouse.dx, input.mouse.dy], [8, -12]);
  input.endStep();
  assert.deepEqual([input.mouseDown(1), input.mousePressed(1), input.text, input.mouse.dx], [true, false, '', 0]);
  const axis = (controller, a, value) => ({ type: 'controllerAxis', controller, axis: a, value });
  input.feed([{ type: 'controllerAdded', controller: 3 }, axis(3, AXIS.LEFT_X, 0.1), axis(3, AXIS.LEFT_Y, -0.6),
    { type: 'controllerAdded', controller: 5 }, axis(5, AXIS.LEFT_Y, 0.9), { type: 'controllerButtonDown', controller: 5, button: BUTTON.A }]);
  // Inside the dead zone; stretched from its edge; the strongest controller when none is named.
  assert.deepEqual([input.added, ...[AXIS.LEFT_X, [AXIS.LEFT_Y, 3], AXIS.LEFT_Y].map((a) => Math.round(input.axis(...[a].flat()) * 1e6) / 1e6)], [[3, 5], 0, -0.5, 0.875]);
  assert.deepEqual([input.buttonPressed(BUTTON.A), input.buttonPressed(BUTTON.A, 3)], [true, false]);
  input.endStep();
  input.feed([{ type: 'controllerRemoved', controller: 5 }, { type: 'quit' }]);
  assert.deepEqual([input.removed, [...input.controllers.keys()], input.buttonDown(0), input.quit, Math.round(input.axis(AXIS.LEFT_Y) * 1e6)], [[5], [3], false, true, -500000]);
});

test('event records: a module registers a new type; text is read by its length', () => {
  kit.defineEventRecord(0x7ff0, { size: 6, decode: (v, o, b, code) => ({ type: 'probe', code, value: v.getInt32(o + 2, true) }) });
  assert.deepEqual(kit.decodeEvents(Uint8Array.from([0xf0, 0x7f, 0xf9, 0xff, 0xff, 0xff, 3, 3, 2, 0xc3, 0xa9])),
    [{ type: 'probe', code: 0x7ff0, value: -7 }, { type: 'textInput', code: 771, text: 'é' }]);
  assert.deepEqual(kit.decodeEvents(Uint8Array.from([3, 3, 2, 0xc3, 0xa9]), 0), []);
});

test('meshes: outward winding, normals perpendicular through any matrix, vertices on their surfaces', () => {
  const rotated = mat4.fromTranslation(mat4.create(), [2, -1, 3]);
  mat4.scale(mat4.rotate(rotated, rotated, 0.7, [1, 2, 0.5]), rotated, [3, 0.5, 1.5]);
  const near = (a, b) => Math.abs(a - b) < 1e-6;
  // Each mesh, and where its vertices lie in its own space (the identity).
  const meshes = {
    box: [(b, m) => kit.box(b, m, { size: [1, 2, 0.5] }), ([x, y, z]) => near(Math.abs(x), 0.5) && near(Math.abs(y), 1) && near(Math.abs(z), 0.25)],
    sphere: [(b, m) => kit.sphere(b, m, { radius: 0.8, rings: 6, segments: 8 }), (p) => near(vec3.length(p), 0.8)],
    cylinder: [(b, m) => kit.cylinder(b, m, { radius: 0.5, height: 1.2, segments: 7 }),
      ([x, y, z]) => [0, 0.5].some((r) => near(Math.hypot(x, z), r)) && Math.abs(y) < 0.6 + 1e-6 && (near(Math.abs(y), 0.6) || near(Math.hypot(x, z), 0.5))],
    plane: [(b, m) => kit.plane(b, m, { size: [2, 3] }), ([x, y, z]) => near(Math.abs(x), 1) && y === 0 && near(Math.abs(z), 1.5)],
  };
  const v = (view, i) => vec3.fromValues(...view.subarray(i * 3, i * 3 + 3)), sub = (a, b) => vec3.sub(vec3.create(), a, b);
  for (const [matrixName, m] of Object.entries({ identity: mat4.create(), 'rotated, stretched, moved': rotated, mirrored: mat4.fromScaling(mat4.create(), [-1, 2, 1]) })) {
    const center = vec3.transformMat4(vec3.create(), [0, 0, 0], m);
    for (const [meshName, [write, onSurface]] of Object.entries(meshes)) {
      for (const b of [solidBatch(), forwardBatch()]) {
        const first = write(b, m);
        assert.ok(b.count > first && (b.count - first) % 3 === 0);
        for (let t = first; t < b.count; t += 3) {
          const what = `${meshName} ${matrixName} triangle ${(t - first) / 3}`;
          const [p0, p1, p2] = [0, 1, 2].map((k) => v(b.position, t + k));
          const face = vec3.cross(vec3.create(), sub(p1, p0), sub(p2, p0));
          assert.ok(vec3.length(face) > 1e-6, `${what} has an area`);
          vec3.normalize(face, face);
          const centroid = vec3.scale(vec3.create(), vec3.add(vec3.create(), vec3.add(vec3.create(), p0, p1), p2), 1 / 3);
          assert.ok(vec3.dot(face, meshName === 'plane' ? v(b.normal, t) : sub(centroid, center)) > 0, `${what} winds counter-clockwise seen from outside`);
          for (let k = 0; k < 3; ++k) {
            const n = v(b.normal, t + k);
            assert.ok(Math.abs(vec3.length(n) - 1) < 1e-5, `${what}: unit normal`);
            // n . (p - c) keeps its sign through M when n goes through M's inverse transpose.
            assert.ok(vec3.dot(n, meshName === 'plane' ? face : sub(v(b.position, t + k), center)) > 0, `${what}: normal outside`);
            if (matrixName === 'identity') assert.ok(onSurface(v(b.position, t + k)), `${what}: vertex ${k} on the surface`);
          }
          if (meshName === 'box' || meshName === 'plane') assert.ok(vec3.dot(v(b.normal, t), face) > 0.9999, `${what}: normal perpendicular`);
        }
      }
    }
  }
  // Colour and material land in each batch's own layout; grey by default.
  const s = solidBatch(), f = forwardBatch();
  kit.box(s, null, { color: [0.1, 0.2, 0.3], specular: 0.5, emission: 2 }), kit.box(s, null);
  assert.deepEqual([...s.color.subarray(0, 3), ...s.material.subarray(0, 3), s.color[36 * 3]].map((x) => Math.round(x * 10) / 10), [0.1, 0.2, 0.3, 0.5, 0, 2, 0.8]);
  kit.sphere(f, null, { color: [1, 0.5, 0, 0.25] }), f.vertex(0, 0, 0, 0, 1, 0, 0.1, 0.2, 0.3, 0.4);
  assert.deepEqual([...f.color.subarray(4, 8), ...f.color.subarray(f.count * 4 - 4, f.count * 4)].map(Math.fround), [1, 0.5, 0, 0.25, 0.1, 0.2, 0.3, 0.4].map(Math.fround));
});

test('textures: tiles by world size, wraps a sphere once with its poles mid-segment, caps and sprites map their texels', () => {
  const near = (a, b, eps = 1e-4) => Math.abs(a - b) < eps;
  const extra = (b, i) => [(b.extra[i * 3] - IMG.x) / IMG.width, (b.extra[i * 3 + 1] - IMG.y) / IMG.height, b.extra[i * 3 + 2]];
  // A 4 x 2 plane with one image every 1.5 units: each corner's texel follows from its place.
  const s = solidBatch();
  kit.plane(s, null, { image: IMG, size: [4, 2], tile: 1.5 });
  for (let t = 0; t < s.count; t += 3) {
    const u = (k) => (s.position[(t + k) * 3] + 2) / 1.5, v = (k) => (s.position[(t + k) * 3 + 2] + 1) / 1.5;
    const tileU = Math.floor((u(0) + u(1) + u(2)) / 3), tileV = Math.floor((v(0) + v(1) + v(2)) / 3);
    for (let k = 0; k < 3; ++k) {
      const [su, tv, on] = extra(s, t + k);
      assert.ok(near(su, u(k) - tileU, 1e-5) && near(tv, v(k) - tileV, 1e-5) && on === 1, `plane vertex ${t + k}`);
    }
  }
  // A planet: u from the angle about y, v from the top pole down; a pole takes its segment's middle.
  const p = solidBatch();
  kit.sphere(p, null, { image: IMG, radius: 1, rings: 8, segments: 16 });
  for (let i = 0; i < p.count; ++i) {
    const [x, y, z] = p.position.subarray(i * 3, i * 3 + 3), [su, tv] = extra(p, i);
    if (Math.abs(y) > 0.999) {
      const others = [0, 1, 2].map((k) => i - (i % 3) + k).filter((j) => j !== i).map((j) => extra(p, j)[0]);
      assert.ok(near(su, (others[0] + others[1]) / 2), `pole at vertex ${i}`);
      continue;
    }
    const u = ((Math.atan2(-z, x) / (2 * Math.PI)) + 1) % 1;
    assert.ok(near(su, u) || (u < 1e-4 && near(su, 1)), `sphere u at vertex ${i}: ${su} vs ${u}`);
    assert.ok(near(tv, Math.acos(y) / Math.PI), `sphere v at vertex ${i}`);
  }
  // A cylinder's caps show the image once, from its place across the cap; no image, no texel.
  const c = solidBatch(), plain = solidBatch();
  kit.cylinder(c, null, { image: IMG, radius: 2, segments: 6 });
  for (let i = 0; i < c.count; ++i) {
    if (Math.abs(c.normal[i * 3 + 1]) < 0.5) continue;
    const want = [0.5 + c.position[i * 3] / 4, 0.5 + c.position[i * 3 + 2] / 4, 1];
    assert.ok(extra(c, i).every((q, k) => near(q, want[k])), `cap vertex ${i}`);
  }
  kit.cylinder(plain, null, {});
  assert.ok(plain.extra.subarray(0, plain.count * 3).every((q) => q === 0));
  // A forward batch and the interface carry the texel in the colour: red -1 - s, then t.
  const f = forwardBatch(), ui = uiBatch();
  kit.box(f, null, { image: IMG, color: [1, 1, 1, 0.5] });
  assert.ok(f.color[0] <= -1 - IMG.x && f.color[3] === 0.5);
  kit.textures.uiSprite(ui, IMG, 0, 0, 64, 32);
  for (let i = 0; i < 6; ++i) {
    const [x, y] = ui.position.subarray(i * 3, i * 3 + 2);
    assert.deepEqual([-1 - ui.color[i * 4], ui.color[i * 4 + 1]], [IMG.x + (x / 64) * IMG.width, IMG.y + (y / 32) * IMG.height], `sprite corner ${i}`);
  }
});

const { loadModel, imageFile } = require('../../lib/gltf');
const { AnimationPlayer, sampleChannel } = require('../../lib/animation');

const model = (p) => path.join('/usr/share/assimp/models/glTF2', p);
const skip = fs.existsSync(model('')) ? false : 'assimp-testmodels is not installed (scripts/setup.sh --tests installs it)';
const BOX = ['BoxTextured-glTF/BoxTextured.gltf', 'BoxTextured-glTF-Binary/BoxTextured.glb', 'BoxTextured-glTF-Embedded/BoxTextured.gltf'];
const SKIN = 'simple_skin/simple_skin.gltf';

// The JSON of a .gltf or of a .glb's first chunk, read here without the loader.
function jsonOf(file) {
  const bytes = fs.readFileSync(model(file));
  return JSON.parse(bytes.toString('latin1', 0, 4) === 'glTF' ? bytes.toString('utf8', 20, 20 + bytes.readUInt32LE(12)) : bytes.toString('utf8'));
}
const assertNear = (got, want, eps, what) => want.forEach((w, i) => assert.ok(Math.abs(got[i] - w) <= eps, `${what}[${i}]: ${got[i]} != ${w}`));

test('published models load with the counts their JSON gives; the textured box alike from .gltf, .glb and data URIs', { skip }, async () => {
  const png = fs.readFileSync(model('BoxTextured-glTF/CesiumLogoFlat.png'));
  const boxes = [];
  for (const f of [...BOX, '2CylinderEngine-glTF-Binary/2CylinderEngine.glb', SKIN, 'glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf']) {
    const json = jsonOf(f), m = await loadModel(model(f)), prims = m.meshes.flatMap((mesh) => mesh.primitives);
    for (const key of ['nodes', 'meshes', 'skins', 'animations']) assert.equal(m[key].length, (json[key] || []).length, `${f} ${key}`);
    // Triangle corners the JSON's primitives draw (indices or vertices; whole triangles of a list, or a strip's).
    const corners = json.meshes.flatMap((mesh) => mesh.primitives).reduce((n, p) => {
      const count = json.accessors[p.indices ?? p.attributes.POSITION].count;
      return n + ((p.mode ?? 4) === 4 ? count - (count % 3) : Math.max(0, count - 2) * 3);
    }, 0);
    assert.equal(prims.reduce((n, p) => n + p.vertexCount, 0), corners, `${f} triangle corners`);
    for (const p of prims) {
      assert.deepEqual([p.positions.length, p.normals.length], [3 * p.vertexCount, 3 * p.vertexCount]);
      for (let v = 0; v < p.vertexCount; v += 97) assert.ok(Math.abs(Math.hypot(...p.normals.subarray(3 * v, 3 * v + 3)) - 1) < 1e-3, `${f}: normal ${v}`);
    }
    // Parents and children agree, and the scene's roots have no parent.
    for (const [i, n] of m.nodes.entries()) for (const c of n.children) assert.equal(m.nodes[c].parent, i);
    for (const r of m.roots) assert.equal(m.nodes[r].parent, -1);
    if (!BOX.includes(f)) continue;
    // The image as a file: its own for the .gltf, the bytes written out for the others.
    assert.deepEqual([prims[0].material, m.materials[0].texture, m.images[0].mimeType, prims[0].uvs.length], [0, 0, 'image/png', 2 * prims[0].vertexCount], f);
    assert.deepEqual([Buffer.from(m.images[0].bytes), fs.readFileSync(imageFile(m, 0))], [png, png], f);
    if (f === BOX[0]) assert.equal(imageFile(m, 0), model('BoxTextured-glTF/CesiumLogoFlat.png'));
    boxes.push(m);
  }
  // The same vertices from each form; the root's matrix (a quarter turn about x) kept as the file writes it.
  for (const m of boxes) {
    for (const key of ['positions', 'uvs']) assert.deepEqual(m.meshes[0].primitives[0][key], boxes[0].meshes[0].primitives[0][key]);
    assert.deepEqual(m.nodes.map((n) => Array.from(n.matrix)), boxes[0].nodes.map((n) => Array.from(n.matrix)));
  }
  assert.deepEqual(Array.from(boxes[0].nodes[0].matrix), jsonOf(BOX[0]).nodes[0].matrix);
  // The simple skin: joints, inverse bind matrices (the accessor's min and max are both that one) and its rotation channel.
  const json = jsonOf(SKIN), m = await loadModel(model(SKIN)), c = m.animations[0].channels[0], p = m.meshes[0].primitives[0];
  assert.deepEqual(Array.from(m.skins[0].joints), json.skins[0].joints);
  assertNear(m.skins[0].inverseBindMatrices.subarray(16, 32), json.accessors[json.skins[0].inverseBindMatrices].max, 1e-6, 'inverse bind 1');
  assert.deepEqual([c.node, c.path, c.interpolation, c.times.length, m.animations[0].duration, p.joints.length, p.weights.length],
    [2, 'rotation', 'LINEAR', json.accessors[json.animations[0].samplers[0].input].count, 5.5, 4 * p.vertexCount, 4 * p.vertexCount]);
});

test('damaged, inconsistent and unsupported files each give their coded error, naming the file', { skip }, async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-models-'));
  execFileSync('mkfifo', [path.join(dir, 'pipe.gltf')]);
  fs.writeFileSync(path.join(dir, 'text.gltf'), 'not a model');
  // The simple skin with its key times read as pairs.
  const pairs = jsonOf(SKIN), times = pairs.accessors[pairs.animations[0].samplers[0].input];
  Object.assign(times, { type: 'VEC2', count: times.count >> 1 });
  delete times.min; delete times.max;
  fs.writeFileSync(path.join(dir, 'pairs.gltf'), JSON.stringify(pairs));
  for (const [f, code, message] of [
    ['wrongTypes/badArray.gltf', 'EMODEL_SCHEMA', /primitives must be a non-empty array/], ['wrongTypes/badString.gltf', 'EMODEL_SCHEMA', /scenes\[0\]\.name must be a string/],
    ['wrongTypes/badExtension.gltf', 'EMODEL_SCHEMA', /KHR_texture_transform must be an object/],
    ['wrongTypes/badNumber.gltf', 'EMODEL_SCHEMA', /normalTexture\.scale must be a number/], ['wrongTypes/badObject.gltf', 'EMODEL_SCHEMA', /pbrMetallicRoughness must be an object/],
    ['wrongTypes/badUint.gltf', 'EMODEL_SCHEMA', /baseColorTexture\.index must be an index, got -1/], ['SchemaFailures/sceneWrongType.gltf', 'EMODEL_SCHEMA', /scene must be an index/],
    ['IndexOutOfRange/IndexOutOfRange.gltf', 'EMODEL_RANGE', /index 255 .* past its 24 vertices/], ['IndexOutOfRange/AllIndicesOutOfRange.gltf', 'EMODEL_RANGE', /past its 24 vertices/],
    ['IncorrectVertexArrays/Cube.gltf', 'EMODEL_UNSUPPORTED', /points or lines/], ['RecursiveNodes/RecursiveNodes.gltf', 'EMODEL_CYCLE', /its own ancestor/],
    ['BoxWithInfinites-glTF-Binary/BoxWithInfinites.glb', 'EMODEL_NONFINITE', /POSITION holds -?Infinity/],
    ['MissingBin/BoxTextured.gltf', 'EMODEL_READ', /BoxTextured0\.bin cannot be read \(no such file\)/],
    ['TestNoRootNode/NoScene.gltf', 'EMODEL_RANGE', /scene 0 is past the 0 scenes/], ['TestNoRootNode/SceneWithoutNodes.gltf', 'EMODEL_EMPTY', /scene holds no nodes/],
    ['draco/2CylinderEngine.gltf', 'EMODEL_UNSUPPORTED', /requires the extension KHR_draco_mesh_compression/],
    [path.join(dir, 'missing.glb'), 'EMODEL_READ', /no such file/], [path.join(dir, 'pipe.gltf'), 'EMODEL_READ', /not a regular file/],
    [dir, 'EMODEL_READ', /not a regular file/], [path.join(dir, 'pairs.gltf'), 'EMODEL_SCHEMA', /key times must be float scalars/], [path.join(dir, 'text.gltf'), 'EMODEL_SYNTAX', /neither GLB nor JSON/],
  ]) {
    const file = path.isAbsolute(f) ? f : model(f);
    await assert.rejects(loadModel(file), (e) => e.code === code && message.test(e.message) && e.message.includes(file), f);
  }
  fs.rmSync(dir, { recursive: true });
});

test('channels sample as their interpolation says', () => {
  const steps = { path: 'translation', interpolation: 'STEP', times: Float32Array.of(0, 1, 2), values: Float32Array.of(0, 0, 0, 4, 5, 6, 8, 8, 8) };
  const linear = { ...steps, interpolation: 'LINEAR' };
  // Cubic keys: in tangent, value, out tangent (x only matters here).
  const cubic = { path: 'translation', interpolation: 'CUBICSPLINE', times: Float32Array.of(1, 3), values: Float32Array.of(9, 9, 9, 2, 0, 0, 1, 0, 0, 3, 0, 0, 6, 0, 0, 9, 9, 9) };
  // A quarter turn about z, from the identity.
  const turn = { path: 'rotation', interpolation: 'LINEAR', times: Float32Array.of(0, 2), values: Float32Array.of(0, 0, 0, 1, 0, 0, Math.SQRT1_2, Math.SQRT1_2) };
  for (const [channel, t, want] of [
    [steps, 0.99, [0, 0, 0]], [steps, 1, [4, 5, 6]], [steps, 1.5, [4, 5, 6]], [steps, -1, [0, 0, 0]], [steps, 9, [8, 8, 8]],
    [linear, 0.5, [2, 2.5, 3]], [linear, 1.25, [5, 5.75, 6.5]], [linear, 2, [8, 8, 8]], [linear, 7, [8, 8, 8]],
    // At a key the value itself; halfway the Hermite weights are 1/2, dt/8, 1/2, -dt/8 (dt = 2): 1 + 0.25 + 3 - 0.75 = 3.5.
    [cubic, 1, [2, 0, 0]], [cubic, 3, [6, 0, 0]], [cubic, 2, [3.5, 0, 0]], [cubic, 0, [2, 0, 0]], [cubic, 4, [6, 0, 0]],
    // Halfway along a quarter turn: an eighth of a turn.
    [turn, 1, [0, 0, Math.sin(Math.PI / 8), Math.cos(Math.PI / 8)]], [turn, 2, [0, 0, Math.SQRT1_2, Math.SQRT1_2]],
  ]) assertNear(sampleChannel(channel, t, new Float32Array(4)), want, 1e-6, `${channel.interpolation} ${channel.path} at ${t}`);
});

test('a rigged bar bends, slides, cross-fades and loops', () => {
  // Bones 0 and 1 along +y; 'bend' turns joint 1 a quarter about z in 1 s, 'slide' moves joint 0 to x = 10 in 2 s.
  const node = (translation, children, parent) => ({ translation, rotation: [0, 0, 0, 1], scale: [1, 1, 1], matrix: [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, ...translation, 1], children, parent });
  const channel = (name, duration, node, path, values) => ({ name, duration, channels: [{ node, path, interpolation: 'LINEAR', times: Float32Array.of(0, duration), values: Float32Array.from(values) }] });
  const m = { nodes: [node([0, 0, 0], [1], -1), node([0, 1, 0], [], 0)], skins: [{ joints: [0, 1], inverseBindMatrices: Float32Array.of(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1) }],
    animations: [channel('bend', 1, 1, 'rotation', [0, 0, 0, 1, 0, 0, Math.SQRT1_2, Math.SQRT1_2]), channel('slide', 2, 0, 'translation', [0, 0, 0, 10, 0, 0])] };
  const player = new AnimationPlayer(m);
  const palette = (j) => player.palettes[0].subarray(16 * j, 16 * j + 16);
  const tip = (j = 1) => [0, 1, 2].map((r) => palette(j)[4 + r] * 2 + palette(j)[12 + r]);  // (0, 2, 0) through the palette
  const x0 = () => player.worldOf[m.skins[0].joints[0]].subarray(12, 15);
  assertNear(tip(), [0, 2, 0], 1e-6, 'rest');
  // Bent all the way the tip turns a quarter about (0, 1, 0) to (-1, 1, 0); not looping, it holds there.
  player.play('bend', { loop: false });
  player.update(1);
  assertNear([...tip(), ...tip(0)], [-1, 1, 0, 0, 2, 0], 1e-6, 'bent tip, bone 0 stays');
  player.update(5);
  assertNear([player.time, ...tip()], [1, -1, 1, 0], 1e-6, 'held');
  // Looping: 2.5 s into a 2 s clip is 0.5 s in; a negative speed runs back and wraps the other way.
  player.play('slide');
  player.update(2.5);
  assertNear([player.time, ...x0()], [0.5, 2.5, 0, 0], 1e-5, 'slide after wrap');
  player.setSpeed(-1);
  player.update(1);
  assertNear([player.time], [1.5], 1e-6, 'time');
  // Cross-fade from 'slide' held at x = 5 into the full bend held, over one second.
  player.play('slide', { time: 1 });
  player.setSpeed(0);
  player.update(0);
  player.play('bend', { fade: 1, loop: false, speed: 0, time: 1 });
  for (const [dt, weight] of [[0.25, 0.25], [0.25, 0.5], [0.5, 1], [1, 1]]) {
    player.update(dt);
    // Translation blends linearly; the bend's angle along the arc (weight w turns the tip by w quarter turns).
    const angle = weight * Math.PI / 2;
    assertNear([player.weight, ...x0(), ...tip()], [weight, 5 * (1 - weight), 0, 0, 5 * (1 - weight) - Math.sin(angle), 1 + Math.cos(angle), 0], 1e-5, `weight ${weight}`);
  }
  player.stop();
  player.update(0);
  assertNear(tip(), [0, 2, 0], 1e-6, 'stopped: rest pose');
  assert.throws(() => player.play('walk'), /no animation named walk \(animations: bend, slide\)/);
});

test('a frame of the player allocates nothing', { skip }, async () => {
  const m = await loadModel(model(SKIN)), player = new AnimationPlayer(m), name = m.animations[0].name;
  // Warmed up (optimised code, cross-fades started and ended), then a cross-fade in flight throughout.
  for (let i = 0; i < 20000; ++i) {
    if (i % 500 === 0) player.play(name, { fade: 0.3 });
    player.update(1 / 60);
  }
  player.play(name, { fade: 1e6 });
  // Every allocation under the player's code is sampled; the engine's own work comes and goes: the lesser of two runs counts.
  const session = new inspector.Session();
  session.connect();
  const post = (method, params = {}) => new Promise((resolve, reject) => session.post(method, params, (e, r) => (e ? reject(e) : resolve(r))));
  const sampled = async () => {
    await post('HeapProfiler.startSampling', { samplingInterval: 16, includeObjectsCollectedByMajorGC: true, includeObjectsCollectedByMinorGC: true });
    for (let i = 0; i < 20000; ++i) player.update(1 / 60);
    const walk = (node, inPlayer) => {
      const here = inPlayer || /lib[\\/]animation\.js$/.test(node.callFrame.url);
      return (here ? node.selfSize : 0) + node.children.reduce((sum, child) => sum + walk(child, here), 0);
    };
    return walk((await post('HeapProfiler.stopSampling')).profile.head, false);
  };
  const bytes = Math.min(await sampled(), await sampled());
  session.disconnect();
  // 20,000 frames of even 16 bytes each would be 320 KB; the engine's own work is a few tens of KB at most.
  assert.ok(bytes < 160 * 1024, `the player's frames allocated about ${bytes} bytes over 20,000 frames`);
});
