'use strict';
// The host contract on both sides: every opcode written through the kit, then logs to the end of
// the command buffer, lands where the addon's walk runs it (a result at each command's first word
// and nowhere else); the file size and mesh id limits hold; every record type decodes in the kit as
// the tests' own decoder (which the event and controller tests hold to the addon's records) reads it.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const contract = require('../../contract/host');
const { decodeEvents } = require('../../lib/events');
const { decodeRecords } = require('../hosts/events-records');
const { startXvfb, runFn, assertOk } = require('./harness');
const { tempDir } = require('./audio-helpers');

// After a sound is loaded into id 0 and a cleared step: every command (`args` by name) once, logs
// until the buffer is full, one tick with the result words preset to NaN; then the raw `calls`.
function contractHost({ args, calls }) {
  const { startScene, raw } = require('./kit-scene');
  const { kit, commands: cmd } = startScene();
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
  const answers = calls.map(([name, ...a]) => [].concat(raw({ name, args: a }))[0]);
  kit.addon.quit();
  return { capacity: cmd.capacity, starts, logs, written, results, logResults: logs.map((at) => cmd.results[at]), answers };
}

test('every opcode through the kit, a full buffer run whole, the limits at their edges, every record type decoded alike', { timeout: 120000 }, async () => {
  const xs = await startXvfb();
  const { limits, meshStatus: { MESH_UNKNOWN } } = contract;
  // Random pixels do not compress: a PNG of more than a megabyte, well inside the file size limit.
  const big = path.join(tempDir('tm-contract-'), 'noise.png');
  execFileSync('convert', ['-size', '700x700', 'xc:', '+noise', 'Random', big]);
  // [export, ...arguments, answer]; the extension test checks the other limits at their edges.
  const calls = [['loadImage', 3, big, 0], ['releaseMesh', limits.MESH_COUNT - 1, MESH_UNKNOWN], ['releaseMesh', limits.MESH_COUNT, MESH_UNKNOWN]];
  // Harmless operands (source 0 is no source: an answer of 1); the listener faces along y with z up.
  const args = { play: [0], playAt: [0, { x: 2 }], pause: [0], stop: [0], gain: [0, 1], log: [''], text: ['contract', 10, 40],
    textColor: [1, 1, 1, 1], reserved: [0, 0, 0, 0], listener: [[1, 2, 3], [0, 1, 0]], listenerUp: [[0, 0, 1]], drawMeshes: [0, 0, 0, -1] };
  const r = assertOk(await runFn(contractHost, { args, calls: calls.map((c) => c.slice(0, -1)) }, { display: xs.display, audio: 'null' }));
  xs.stop();
  const { capacity, starts, logs, written, results, logResults, answers } = r.results.at(-1);
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
  assert.deepEqual(answers, calls.map((c) => c.at(-1)));
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
