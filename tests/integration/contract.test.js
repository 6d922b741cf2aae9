'use strict';
// The host contract on both sides: commands written by the kit run where the addon's walk finds them,
// with their results; every record type decodes in the kit as the tests' own decoder reads it.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs'), path = require('node:path');
const { execFileSync } = require('node:child_process');
const contract = require('../../contract/host');
const { decodeEvents } = require('../../lib/events');
const { decodeRecords } = require('../hosts/events-records');
const { startXvfb, runFn, assertOk } = require('./harness');
const { tempDir } = require('./audio-helpers');

// After a cleared step: every command once (`args` by name), logs to the end of the buffer, one tick
// (results preset to NaN); `big` loaded as an image; a playing source's commands, logs and text faces.
function contractHost({ args, big }) {
  const kit = require('tessimarke/host'), buffers = kit.createBuffers(), gfx = kit.setupGraphics(buffers), cmd = new kit.CommandWriter(buffers);
  kit.addon.initALBuffer(0, Buffer.alloc(4410), kit.addon.AL_FORMAT_MONO16, 22050);
  cmd.log('y'.repeat(100));
  cmd.clear();
  const starts = {}, logs = [];
  for (const { name } of require('../../contract/host').commands) starts[name] = cmd[name](...(args[name] || []));
  while (cmd.length + 3 <= cmd.capacity) logs.push(cmd.log('.'));
  cmd.results.fill(NaN);
  cmd.tick();
  const written = [...Array(cmd.capacity).keys()].filter((i) => !Number.isNaN(cmd.results[i]));
  const results = Object.fromEntries(Object.entries(starts).map(([name, at]) => [name, cmd.results[at]]));
  const run = (write) => { const at = write(); cmd.tick(); return at.map((i) => cmd.result(i)); };
  const out = { big: kit.addon.loadImage(3, big)[0], unknownMesh: kit.addon.releaseMesh(require('../../contract/host').limits.MESH_COUNT - 1), load: kit.addon.initALBuffer(3, Buffer.alloc(13230), kit.addon.AL_FORMAT_MONO16, 22050) };
  out.exports = Object.getOwnPropertyNames(require('tessimarke')).sort();
  out.play = run(() => [cmd.play(3, { gain: 0.5, pitch: 1.2, x: 1, z: -1 })]);
  out.source = run(() => [cmd.pause(out.play[0]), cmd.gain(out.play[0], 0.25), cmd.resumeAll(), cmd.stop(out.play[0])]);
  out.log = run(() => [cmd.log('contract: first line\n'), cmd.log('contract: ünïcödé λ 漢字\n')]);
  out.text = run(() => [cmd.textColor(1, 0.5, 0, 1), cmd.text('plain sans', 100, 100, { size: 32 }), cmd.text('mono', 100, 150, { font: 'mono' }),
    cmd.text('outlined', 100, 200, { size: 40, outline: true }), cmd.text('squeezed into forty pixels', 100, 250, { maxWidth: 40 }),
    cmd.text('Ω', 100, 300, { font: 'fallback' })]);
  gfx.render();
  const last = Math.max(...gfx.table), probe = buffers.nextBuffer(4);
  out.glyphs = Array.from({ length: probe.id - last - 1 }, (_, k) => last + 1 + k).filter((id) => kit.addon.getBuffer(id).byteLength >= 2400000)
    .map((id) => buffers.lenBuffer(id));
  kit.addon.quit();
  return { capacity: cmd.capacity, starts, logs, written, results, logResults: logs.map((at) => cmd.results[at]), out };
}

test('every opcode through the kit, a full buffer run whole, commands on a playing source, a large image, every record type decoded alike', { timeout: 120000 }, async () => {
  const xs = await startXvfb();
  // Random pixels do not compress: a PNG of more than a megabyte loads, well inside the file size limit.
  const big = path.join(tempDir('tm-contract-'), 'noise.png');
  execFileSync('convert', ['-size', '700x700', 'xc:', '+noise', 'Random', big]);
  // Harmless operands (source 0 is no source: an answer of 1); the listener faces along y with z up.
  const args = { play: [0], playAt: [0, { x: 2 }], pause: [0], stop: [0], gain: [0, 1], log: [''], text: ['contract', 10, 40],
    textColor: [1, 1, 1, 1], reserved: [0, 0, 0, 0], listener: [[1, 2, 3], [0, 1, 0]], listenerUp: [[0, 0, 1]], drawMeshes: [0, 0, 0, -1] };
  const r = await runFn(contractHost, { args, big }, { display: xs.display, audio: 'null' });
  xs.stop();
  assertOk(r);
  assert.doesNotMatch(r.stderr, /capacity modified|GL ERROR/);
  const { capacity, starts, logs, written, results, logResults, out } = r.results.at(-1);
  let at = 0;
  for (const c of contract.commands) {
    assert.equal(starts[c.name], at, `${c.name} starts where the words before it end`);
    at += c.operands.length + 1;
  }
  assert.deepEqual([logs[0], logs.length], [at, Math.floor((capacity - at) / 3)], 'logs to the end of the buffer');
  assert.deepEqual(written, [...Object.values(starts), ...logs], 'a result at each command start and nowhere else');
  assert.ok(logResults.every((v) => v === 0) && !r.stdout.includes('y'.repeat(100)), 'the full buffer ran whole, the cleared step not at all');
  assert.ok(results.play > 0 && results.playAt > 0 && results.playAt !== results.play, 'two sources');
  assert.deepEqual({ ...results, play: 0, playAt: 0 }, { play: 0, pause: 1, stop: 1, gain: 0, stopAll: 0, pauseAll: 0, resumeAll: 0,
    toggleFullscreen: 0, log: 0, text: 0, textColor: 0, reserved: 0, listener: 0, listenerUp: 0, playAt: 0, drawMeshes: 0 });
  // require('tessimarke') is the addon's 26 exports, as its typings declare them.
  const typed = fs.readFileSync(path.join(__dirname, '..', '..', 'lib', 'index.d.ts'), 'utf8');
  assert.deepEqual(out.exports, [...typed.matchAll(/^export (?:function|const) (\w+)/gm)].map((m) => m[1]).sort());
  assert.ok(out.exports.length === 26 && out.play[0] > 0, 'play got a source');
  assert.deepEqual([out.big, out.unknownMesh, out.load, out.source, out.log, out.text], [0, contract.meshStatus.MESH_UNKNOWN, 0, [0, 0, 0, 0], [0, 0], [0, 0, 0, 0, 0, 0]]);
  assert.match(r.stdout, /contract: first line\ncontract: ünïcödé λ 漢字$/m);
  // Glyph blocks (the six after the table's last): the outlined batch exactly "outlined", 16 triangles.
  const [p, t, c, ...outlined] = out.glyphs;
  assert.ok(p > 0 && p / 9 === t / 6 && p / 9 === c / 12, String(out.glyphs));
  assert.deepEqual(outlined, [144, 96, 192]);
  // Each record written field by field from the contract, with a value of its own in each field.
  const REFERENCE_NAME = { key: 'keycode', controller: 'id', pressed: 'state' };
  for (const record of contract.events) {
    const bytes = new Uint8Array(64), v = new DataView(bytes.buffer);
    let at = 2;
    v.setUint16(0, record.code, true);
    for (const [k, [, type]] of record.fields.entries()) {
      if (type === 'text') bytes.set([2, 0xc3, 0xa9], at);
      else ({ u8: () => v.setUint8(at, 7 + k), bool: () => v.setUint8(at, 1), u16: () => v.setUint16(at, 4000 + k, true),
        i32: () => v.setInt32(at, -70000 - k, true), u32: () => v.setUint32(at, 99, true), f32: () => v.setFloat32(at, 0.5 + k, true) })[type]();
      at += type === 'text' ? 3 : contract.FIELD_BYTES[type];
    }
    const [event, ...more] = decodeEvents(bytes, at);
    assert.deepEqual([event.type, event.code, more], [record.name, record.code, []]);
    if (record.name === 'mouseWheel') continue;  // the extension test reads it from the addon
    const [reference] = decodeRecords(bytes, at);
    for (const [name, value] of Object.entries(event).slice(2)) {
      assert.deepEqual(typeof value === 'boolean' ? Number(value) : value, reference[REFERENCE_NAME[name] || name], `${record.name}.${name}`);
    }
  }
});
