'use strict';
// The host kit against the real addon: every command method through tick with its result read
// back, every event type decoded from what the real event pump, controller harness and emulated
// adapter queued, and the errors the kit throws for the host's own misuse before the addon sees it.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { startXvfb, runHost, assertOk, buildDir } = require('./harness');
const { startInteractive, findWindow, xdotool, x } = require('./window-helpers');
const { runEmulated, emulatedReport } = require('./usb-helpers');
const { decodeRecords } = require('../hosts/events-records');
const { screenshot, assertPixel } = require('./render-helpers');
const kit = require('../../lib/host');

let xs;
test.before(async () => {
  xs = await startXvfb({ wm: true });
  // A spare keycode bound to é, so that xdotool sends it without rebinding the keymap mid-stream.
  await x(xs.display, 'xmodmap', ['-e', 'keycode 93 = eacute']);
});
test.after(() => xs.stop());

// The command host runs once; two tests read its report.
let commandRun = null;
const commands = () => (commandRun ||= runHost('hostkit-commands.js', [], { display: xs.display, audio: 'null' }));

test('every command method: written, run by tick, its result read back by index', async () => {
  const r = assertOk(await commands());
  const out = r.results[0];
  // require('tessimarke') is the addon's 26 exports, as its typings declare them.
  const typed = fs.readFileSync(path.join(__dirname, '..', '..', 'lib', 'index.d.ts'), 'utf8');
  assert.deepEqual(out.exports, [...typed.matchAll(/^export (?:function|const) (\w+)/gm)].map((m) => m[1]).sort());
  assert.equal(out.exports.length, 26);
  assert.equal(out.capacity, 8192);
  assert.deepEqual(out.viewport, [1400, 800]);
  assert.equal(out.load, 0);

  // play: 7 words, the result is the source it took.
  assert.deepEqual(out.play.indices, [0]);
  assert.equal(out.play.words, 7);
  assert.ok(out.play.results[0] > 0, 'play got a source');
  // pause (2 words), gain (3), resume all (1), stop (2): all succeed on a playing source.
  assert.deepEqual(out.source.indices, [0, 2, 5, 6]);
  assert.deepEqual(out.source.results, [0, 0, 0, 0]);
  assert.equal(out.source.words, 8);
  // play, pause all, resume all, stop all.
  assert.deepEqual(out.all.indices, [0, 7, 8, 9]);
  assert.ok(out.all.results[0] > 0);
  assert.deepEqual(out.all.results.slice(1), [0, 0, 0]);
  // Source 0 is an error for pause and stop.
  assert.deepEqual(out.stopZero.results, [1, 1]);
  // log: 3 words each; the text reaches standard output as written, UTF-8 included.
  assert.deepEqual(out.log.indices, [0, 3]);
  assert.deepEqual(out.log.results, [0, 0]);
  assert.match(r.stdout, /^hostkit: first line\nhostkit: ünïcödé λ 漢字\n/m);
  // text colour (5 words) then five text commands (8 words each), all results 0.
  assert.deepEqual(out.text.indices, [0, 5, 13, 21, 29, 37]);
  assert.deepEqual(out.text.results, [0, 0, 0, 0, 0, 0]);
  assert.equal(out.text.words, 45);
  // The plain batch got the four plain runs; the outlined batch exactly "outlined": 8 glyphs, 16
  // triangles, so 9, 6 and 12 floats per triangle in its three blocks.
  const [p, t, c, op, ot, oc] = out.glyphLengths;
  assert.ok(p > 0);
  assert.equal(p / 9, t / 6);
  assert.equal(p / 9, c / 12);
  assert.deepEqual([op, ot, oc], [144, 96, 192]);
  // toggle fullscreen: the window manager allows it; 0 each time.
  assert.deepEqual(out.fullscreen.results, [0, 0]);
});

test('misuse throws a clear error before anything reaches the blocks or the addon', async () => {
  const r = assertOk(await commands());
  const { errors, fill } = r.results[0];
  const expect = {
    longLog: ['RangeError', /^log text of 65537 bytes is longer than STRING_BUFFER \(65536 bytes\)$/],
    longText: ['RangeError', /^text of 65537 bytes is longer than STRING_BUFFER/],
    notLeft: ['RangeError', /^log text of 30000 bytes does not fit in STRING_BUFFER: 25536 of 65536 bytes left this step$/],
    badSound: ['RangeError', /sound id must be in 0\.\.255, got 256/],
    badFont: ['RangeError', /font must be one of fallback, mono, sans, got serif/],
    notANumber: ['TypeError', /red must be a finite number, got NaN/],
    stringType: ['TypeError', /log text must be a string, got number/],
    unran: ['RangeError', /no command of the last tick starts at word 5/],
    overCapacity: ['RangeError', /ui batch full: 100001 vertices asked for, 100000 of 100000 left/],
    viewCount: ['RangeError', /attributes disagree on the vertex count/],
    badId: ['RangeError', /buffer id must be in 0\.\.255, got 256/],
    secondBuffers: ['Error', /^the fixed blocks 0-7 exist already: create the shared buffers once per process$/],
    secondGraphics: ['Error', /^the graphics are set up already: the addon builds its pipelines once per process$/],
  };
  for (const [name, [type, message]] of Object.entries(expect)) {
    assert.ok(errors[name], `${name} threw`);
    assert.equal(errors[name].name, type, name);
    assert.match(errors[name].message, message, name);
    assert.equal(errors[name].unchanged, true, `${name} left the blocks as they were`);
  }
  // 8192 words hold 2730 three-word log commands; the next one throws, and the full buffer still runs.
  assert.equal(fill.written, 2730);
  assert.equal(fill.length, 8190);
  assert.match(fill.full.message, /^command buffer full: log needs 3 words, 2 of 8192 left this step$/);
  assert.equal(fill.full.unchanged, true);
  assert.equal(fill.lastResult, 0);
  assert.equal(fill.afterTick, 0);
  assert.ok(r.stdout.includes('.'.repeat(2730)));
  assert.ok(!r.stdout.includes('y'.repeat(100)), 'a cleared step runs nothing');
});

test('window events from the real pump: keys, text, mouse, size, quit, each as a named object', async () => {
  const host = startInteractive('hostkit-events.js', [], { display: xs.display, audio: 'null' });
  await host.next();
  await host.request({ op: 'setup' });
  const id = await findWindow(xs.display);
  await xdotool(xs.display, 'windowactivate', '--sync', id);
  await host.request({ op: 'poll', max: 20 });

  await xdotool(xs.display, 'key', '--window', id, 'a', 'eacute');
  await xdotool(xs.display, 'mousemove', '--window', id, '100', '120', 'click', '1');
  await xdotool(xs.display, 'windowsize', id, '900', '600');
  const first = await host.request({ op: 'poll', until: 'windowSize' });
  assert.equal(first.left, 0, 'the reader empties the queue');
  const events = first.events;
  const of = (type) => events.filter((e) => e.type === type);
  assert.deepEqual(of('keyDown')[0], { type: 'keyDown', code: 768, scancode: 4, key: 97, mod: 0, repeat: false });
  assert.deepEqual(of('keyUp')[0], { type: 'keyUp', code: 769, scancode: 4, key: 97, mod: 0, repeat: false });
  assert.deepEqual(of('textInput').map((e) => e.text), ['a', 'é']);
  assert.deepEqual(of('mouseDown')[0], { type: 'mouseDown', code: 1025, x: 100, y: 120, button: 1 });
  assert.deepEqual(of('mouseUp')[0], { type: 'mouseUp', code: 1026, x: 100, y: 120, button: 1 });
  assert.ok(of('mouseMove').some((e) => e.x === 100 && e.y === 120));
  assert.ok(of('windowSize').some((e) => e.width === 900 && e.height === 600 && e.code === 512));

  // The window manager's close key asks the window to close: a quit request. The window is made
  // active again so that the key reaches the manager (see closeWindow).
  await xdotool(xs.display, 'windowactivate', '--sync', id);
  await xdotool(xs.display, 'key', '--window', id, 'alt+F4');
  const second = await host.request({ op: 'poll', until: 'quit' });
  assert.deepEqual(second.events.filter((e) => e.code === 256), [{ type: 'quit', code: 256 }]);
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});

test('controller records from the real pump decode to the same fields as the reference decoder', () => {
  const r = spawnSync(path.join(buildDir, 'virtual_joystick'), [], { encoding: 'utf8', timeout: 30000 });
  assert.equal(r.status, 0, r.stdout + r.stderr);
  const seen = new Set();
  for (const line of r.stdout.split('\n')) {
    if (!line.startsWith('@records ')) continue;
    const bytes = Uint8Array.from(Buffer.from(line.slice(9), 'hex'));
    const ours = kit.decodeEvents(bytes, bytes.length);
    const reference = decodeRecords(bytes, bytes.length);
    assert.equal(ours.length, reference.length);
    ours.forEach((e, i) => {
      const ref = reference[i];
      seen.add(e.type);
      assert.equal(e.code, ref.type);
      if (e.controller !== undefined) assert.equal(e.controller, ref.id);
      if (e.type === 'controllerAxis') { assert.equal(e.axis, ref.axis); assert.equal(e.value, ref.value); }
      if (e.type.startsWith('controllerButton')) {
        assert.equal(e.button, ref.button);
        assert.equal(e.pressed, ref.state === 1);
      }
    });
  }
  for (const type of ['controllerAdded', 'controllerAxis', 'controllerButtonDown', 'controllerButtonUp', 'controllerRemoved']) {
    assert.ok(seen.has(type), `saw ${type}`);
  }
});

test('the adapter is announced once; reports are read only after the announcement', async () => {
  const r = await runEmulated('adapter', 'hostkit-usb.js', [], { display: xs.display });
  assert.equal(r.code, 0, r.stdout + r.stderr);
  const { events, reports } = r.results[0];
  assert.deepEqual(events.filter((e) => e.code === 32768), [{ type: 'adapterConnected', code: 32768 }]);
  assert.equal(reports.length, 4);
  reports.forEach((bytes, i) => assert.deepEqual(bytes, emulatedReport(i + 1)));
});

test('the decoder refuses what it cannot walk: unknown types and records cut off by the length', () => {
  assert.throws(() => kit.decodeEvents(Uint8Array.from([0x34, 0x12])), /unknown event record type 4660 at byte 0/);
  // A key record (11 bytes) with a queue length of 6.
  const key = Uint8Array.from([0, 3, 4, 0, 97, 0, 0, 0, 0, 0, 0]);
  assert.throws(() => kit.decodeEvents(key, 6), /type 768 at byte 0 cut off by the queue length 6/);
  assert.throws(() => kit.decodeEvents(key, 12), /past the block/);
  // Text input: n bytes of UTF-8 after the count.
  const text = Uint8Array.from([3, 3, 2, 0xc3, 0xa9]);
  assert.deepEqual(kit.decodeEvents(text), [{ type: 'textInput', code: 771, text: 'é' }]);
  assert.deepEqual(kit.decodeEvents(text, 0), []);
});

test('graphics set-up: every table block at the size its pipeline expects; the writers reach the frame', async () => {
  const host = startInteractive('hostkit-graphics.js', [], { display: xs.display, audio: 'null' });
  await host.next();
  const setup = await host.request({ op: 'setup', shaderDir: path.join(__dirname, '..', 'shaders') });
  assert.equal(setup.table.length, 29);
  assert.deepEqual(setup.viewport, [1400, 800]);
  assert.deepEqual(setup.blocks, {
    0: 8, 1: 64, 2: 64, 3: 64, 4: 64, 5: 64, 6: 12, 7: 12, 8: 1200000, 15: 1200000, 16: 1600000,
    19: 1200000, 21: 1600000, 25: 72, 26: 1600000, 28: 1600000,
  });
  assert.equal(setup.meshLength, 18);
  assert.deepEqual(setup.ui, [2 / 1400, 0, 0, 0, 0, -2 / 800, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1].map(Math.fround));
  const drawn = await host.request({ op: 'scene' });
  // Lengths of all a batch's attributes are set together, in floats.
  assert.deepEqual(drawn, { solid: [18, 18, 18, 18, 18], transparent: [18, 18, 24], unculled: [0, 0, 0],
    lights: [4, 4, 4], ui: [18, 24] });
  const id = await findWindow(xs.display);
  let shot = await screenshot(xs.display, id);
  assertPixel(shot, 175, 600, [255, 0, 0], 3, 'solid');
  assertPixel(shot, 875, 600, [128, 128, 179], 3, 'transparent over the background');
  assertPixel(shot, 1225, 200, [0, 128, 102], 3, 'light added to the background');
  assertPixel(shot, 1100, 340, [255, 128, 0], 3, 'interface rectangle');
  assert.deepEqual(await host.request({ op: 'clear' }), { solid: [0, 0, 0, 0, 0], ui: [0, 0] });
  shot = await screenshot(xs.display, id);
  assertPixel(shot, 175, 600, [0, 0, 102], 3, 'cleared');
  await host.request({ op: 'quit' });
  const r = assertOk(await host.done);
  assert.doesNotMatch(r.stderr, /capacity modified|GL ERROR/);
});

test('graphics set-up names missing shader files before compiling anything', async () => {
  const host = startInteractive('hostkit-graphics.js', [], { display: xs.display, audio: 'null' });
  await host.next();
  const setup = await host.request({ op: 'setup', shaderDir: '/nonexistent' });
  assert.match(setup.error, /^shader files missing: \/nonexistent\/solid\.vert, .*\/nonexistent\/gpost\.frag$/);
  assert.equal(setup.error.split(', ').length, 19);
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});

test('the kit\'s helpers on screen: meshes wind outward with true normals, text aligns, the interface follows the window', async () => {
  const host = startInteractive('hostkit-graphics.js', [], { display: xs.display, audio: 'null' });
  await host.next();
  await host.request({ op: 'setup', shaderDir: path.join(__dirname, '..', 'shaders') });
  const id = await findWindow(xs.display);
  assert.equal(await host.request({ op: 'meshes' }), 36 + 64 * 3 * 2 + 64 * 30 * 6 + 6);
  let shot = await screenshot(xs.display, id);
  // The test shaders give albedo times the normal's z. Both visible faces of the stretched box lean
  // 45 degrees, which the stretch steepens: the inverse transpose gives z = 2 / sqrt(5) (228), a
  // plain transform of the normals 1 / sqrt(5) (114); inward winding would show the back faces (0).
  assertPixel(shot, 230, 400, [228, 228, 228], 4, 'box, left face');
  assertPixel(shot, 470, 400, [228, 228, 228], 4, 'box, right face');
  // The sphere faces the viewer in its middle and leans away two thirds of the way out.
  assertPixel(shot, 1050, 400, [255, 255, 255], 3, 'sphere middle');
  assertPixel(shot, 1190, 400, [190, 190, 190], 5, 'sphere, two thirds out');
  // The mirrored plane still winds towards the viewer.
  assertPixel(shot, 700, 160, [255, 128, 0], 3, 'mirrored plane');
  assertPixel(shot, 700, 600, [0, 0, 102], 3, 'background');

  const widths = await host.request({ op: 'text' });
  shot = await screenshot(xs.display, id);
  const inkColumns = (y0, y1) => {
    const columns = [];
    for (let x = 0; x < shot.width; ++x) {
      for (let y = y0; y < y1; ++y) if (shot.pixel(x, y)[0] > 128) { columns.push(x); break; }
    }
    return columns;
  };
  const right = inkColumns(610, 662);
  assert.ok(Math.abs(right.at(-1) - 1300) <= 4, `right-aligned ink ends at ${right.at(-1)}`);
  assert.ok(Math.abs(right[0] - (1300 - widths.right)) <= 6, `and starts one measured width before: ${right[0]}, ${widths.right}`);
  const centred = inkColumns(710, 762);
  assert.ok(Math.abs((centred[0] + centred.at(-1)) / 2 - 700) <= 4, `centred ink spans ${centred[0]}..${centred.at(-1)}`);

  await xdotool(xs.display, 'windowsize', '--sync', id, '1000', '600');
  const resized = await host.request({ op: 'resize' });
  assert.deepEqual(resized, { size: [1000, 600], ui: [2 / 1000, -2 / 600].map(Math.fround), uiSize: [1000, 600] });
  await host.request({ op: 'quit' });
  const r = assertOk(await host.done);
  assert.doesNotMatch(r.stderr, /GL ERROR/);
});
