'use strict';
// The host contract drives both sides: every opcode written through the kit lands where the addon's
// own walk runs it (a result at each command's first word and nowhere else), the limits hold at
// their edges on the addon's side, and the kit decodes every record type at the contract's size.
const test = require('node:test');
const assert = require('node:assert/strict');
const contract = require('../../contract/host');
const { startXvfb, assertOk } = require('./harness');
const { startInteractive } = require('./window-helpers');

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());

test('every opcode, limit and record type agrees between the kit and the addon', { timeout: 120000 }, async () => {
  const host = startInteractive('extensions.js', [], { display: xs.display, audio: 'null', env: { LP_NUM_THREADS: '0' } });
  await host.next();
  await host.request({ op: 'setup' });

  // Commands: harmless operands for those that take any (source 0 is no source: an answer of 1).
  const args = { play: [0], playAt: [0], pause: [0], stop: [0], gain: [0, 1], log: [''], text: ['contract', 10, 40],
    textColor: [1, 1, 1, 1], reserved: [0, 0, 0, 0], listener: [[0, 0, 0], [0, 0, -1]], listenerUp: [[0, 1, 0]],
    drawMeshes: [0, 0, 0, -1] };
  const r = await host.request({ op: 'contract', args });
  const expected = [];
  let at = 0;
  for (const c of contract.commands) {
    assert.equal(r.starts[c.name], at, `${c.name} starts where the words before it end`);
    expected.push(at);
    at += c.operands.length + 1;
  }
  assert.equal(r.length, at, 'the kit wrote each command at its contract length');
  assert.deepEqual(r.written, expected, 'the addon wrote a result at each command start and nowhere else');
  await host.request({ op: 'contract', args: {}, only: ['toggleFullscreen'] });  // back out of fullscreen

  // Limits at their edges, through the raw exports.
  const { limits } = contract;
  const raw = (name, ...a) => host.request({ op: 'raw', name, args: a });
  assert.equal(await raw('setWindowTitle', 'é'.repeat(limits.MAX_TITLE_BYTES / 2)), 0);
  assert.equal(await raw('setWindowTitle', 'x'.repeat(limits.MAX_TITLE_BYTES + 1)), -1);
  assert.equal(await raw('setWindowSize', limits.MAX_WINDOW_SIDE + 1, 100), -1);
  assert.equal(await raw('setRenderScale', limits.MIN_RENDER_SCALE), 0);
  assert.equal(await raw('setRenderScale', limits.MIN_RENDER_SCALE * 0.99), -1);
  assert.equal(await raw('setRenderScale', 1), 0);
  assert.equal((await raw('loadImage', limits.IMAGE_COUNT - 1, 'x'.repeat(limits.MAX_IMAGE_PATH + 1)))[0], 2);
  const side = limits.MAX_IMAGE_SIDE;
  // The largest side is no size error (the atlas, partly taken, may have no room for it: 5).
  assert.notEqual((await host.request({ op: 'churn', count: 0, a: [1, 1], b: [1, 1], last: side })).last, 4);
  assert.equal((await host.request({ op: 'churn', count: 0, a: [1, 1], b: [1, 1], last: side + 1 })).last, 4);
  assert.equal(await raw('playMusic', 'x'.repeat(limits.MAX_MUSIC_PATH + 1), 1, -1, 0), -1);
  assert.equal(await raw('releaseMesh', limits.MESH_COUNT - 1), contract.meshStatus.MESH_UNKNOWN);
  assert.equal(await raw('releaseMesh', limits.MESH_COUNT), contract.meshStatus.MESH_UNKNOWN);

  // The kit's addon checks each function's arguments against the contract and names the function.
  for (const [name, args, message] of [['setBuffers', ['7'], 'setBuffers: argument 1 must be a number, got string'],
    ['compileShader', ['a', 1, 'b'], 'compileShader: argument 2 must be a boolean, got number'],
    ['measureText', ['a', 12], 'measureText takes 3 arguments (string, number, number), got 2'],
    ['setImage', [0, [1, 2, 3, 4], 1, 1], 'setImage: argument 2 must be a Uint8Array, got an array']]) {
    assert.deepEqual(await host.request({ op: 'misuse', name, args }), { code: 'ERR_TYPE', message }, name);
  }

  // Records: the addon queues a window-size record on a resize; every type decodes at its size.
  const sized = await host.request({ op: 'size', width: 640, height: 400 });
  assert.deepEqual(sized.seen.at(-1), [640, 400]);
  const { decodeEvents } = require('../../lib/events');
  for (const record of contract.events) {
    const bytes = new Uint8Array(contract.recordSize(record) + 1);
    bytes[0] = record.code & 0xff; bytes[1] = record.code >> 8;
    const events = decodeEvents(bytes, contract.recordSize(record));
    assert.equal(events.length, 1, record.name);
    assert.equal(events[0].type, record.name);
  }
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});
