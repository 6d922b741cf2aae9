'use strict';
// The host contract drives both sides: every opcode written through the kit lands where the addon's
// own walk runs it (a result at each command's first word and nowhere else, the result each
// command answers), the file size and mesh limits hold on the addon's side, and the kit decodes
// every record type at the contract's size, a window-size record from the addon among them.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const contract = require('../../contract/host');
const { decodeEvents } = require('../../lib/events');
const { startXvfb, runFn, assertOk } = require('./harness');
const { tempDir } = require('./audio-helpers');

// Every command of the contract once through the kit (with `args` by name), result words preset to
// NaN, after a sound is loaded into id 0; then the raw calls of `calls`. Answers where each command
// began, the words written, the result words the addon wrote, each call's answer, and the window
// sizes the addon queued once asked for a new one.
async function contractHost({ args, calls }) {
  const { startScene, raw } = require('./kit-scene');
  const { kit, buffers, commands: cmd } = startScene();
  kit.addon.initALBuffer(0, Buffer.alloc(4410), kit.addon.AL_FORMAT_MONO16, 22050);
  cmd.results.fill(NaN);
  const starts = {};
  for (const { name } of require('../../contract/host').commands) starts[name] = cmd[name](...(args[name] || []));
  const length = cmd.length;
  cmd.tick();
  const written = [...Array(length + 8).keys()].filter((i) => !Number.isNaN(cmd.results[i]));
  const results = Object.fromEntries(Object.entries(starts).map(([name, at]) => [name, cmd.results[at]]));
  const answers = calls.map(([name, ...a]) => [].concat(raw({ name, args: a }))[0]);
  // Out of fullscreen again; the addon queues a window-size record for a new size.
  cmd.toggleFullscreen();
  cmd.tick();
  kit.addon.setWindowSize(640, 400);
  const events = [];
  for (let i = 0; i < 3000 && !events.some((e) => e.type === 'windowSize' && e.width === 640); ++i) {
    kit.addon.poll();
    kit.readEvents(buffers, events);
    await new Promise((r) => setTimeout(r, 10));
  }
  kit.addon.quit();
  return { starts, length, written, results, answers, sized: events.filter((e) => e.type === 'windowSize').map((e) => [e.width, e.height]) };
}

test('every opcode through the kit, the limits at their edges, every record type decoded at its size', { timeout: 120000 }, async () => {
  const xs = await startXvfb();
  const { limits, meshStatus: { MESH_UNKNOWN } } = contract;
  // A PNG of more than a megabyte (random pixels do not compress), well inside the file size limit.
  const big = path.join(tempDir('tm-contract-'), 'noise.png');
  execFileSync('convert', ['-size', '700x700', 'xc:', '+noise', 'Random', big]);
  // [export, ...arguments, answer]: the file size limit, and the mesh ids' edge (what the other limits
  // hold the extension test checks at their edges).
  const calls = [['loadImage', 3, big, 0], ['releaseMesh', limits.MESH_COUNT - 1, MESH_UNKNOWN], ['releaseMesh', limits.MESH_COUNT, MESH_UNKNOWN]];

  // Harmless operands (source 0 is no source: an answer of 1); the listener faces along y with z up.
  const args = { play: [0], playAt: [0, { x: 2 }], pause: [0], stop: [0], gain: [0, 1], log: [''], text: ['contract', 10, 40],
    textColor: [1, 1, 1, 1], reserved: [0, 0, 0, 0], listener: [[1, 2, 3], [0, 1, 0]], listenerUp: [[0, 0, 1]], drawMeshes: [0, 0, 0, -1] };
  const r = await runFn(contractHost, { args, calls: calls.map((c) => c.slice(0, -1)) }, { display: xs.display, audio: 'null' });
  xs.stop();
  const { starts, length, written, results, answers, sized } = assertOk(r).results.at(-1);
  let at = 0;
  for (const c of contract.commands) {
    assert.equal(starts[c.name], at, `${c.name} starts where the words before it end`);
    at += c.operands.length + 1;
  }
  assert.equal(length, at, 'the kit wrote each command at its contract length');
  assert.deepEqual(written, Object.values(starts), 'the addon wrote a result at each command start and nowhere else');
  assert.ok(results.play > 0 && results.playAt > 0 && results.playAt !== results.play, 'two sources');
  assert.deepEqual({ ...results, play: 0, playAt: 0 }, { play: 0, pause: 1, stop: 1, gain: 0, stopAll: 0, pauseAll: 0, resumeAll: 0,
    toggleFullscreen: 0, log: 0, text: 0, textColor: 0, reserved: 0, listener: 0, listenerUp: 0, playAt: 0, drawMeshes: 0 });
  assert.deepEqual(sized.at(-1), [640, 400], JSON.stringify(sized));
  assert.deepEqual(answers, calls.map((c) => c.at(-1)));
  for (const record of contract.events) {
    const bytes = new Uint8Array(contract.recordSize(record) + 1);
    bytes[0] = record.code & 0xff; bytes[1] = record.code >> 8;
    assert.deepEqual(decodeEvents(bytes, contract.recordSize(record)).map((e) => e.type), [record.name]);
  }
});
