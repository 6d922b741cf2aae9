'use strict';
// Shared buffers and the pool, from a real host process.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { startXvfb, runHost, assertAborted, assertOk } = require('./harness');

let x;
before(async () => { x = await startXvfb(); });
after(() => x.stop());

const host = (script, args) => runHost(script, args, { display: x.display, nodeArgs: ['--expose-gc'] });

test('ids are handed out from 8 in order across nextBuffer and nextPool', async () => {
  const r = assertOk(await host('bridge-buffers.js', ['ids']));
  assert.deepEqual(r.results[0], { ids: [8, 9, 10, 11, 12], poolLength: 99, slice39: 39, slice0: 0, pairIsArray: true });
  assert.deepEqual(r.results[1], { poolByte60: 77 });
});

test('re-creating a block carries its contents up to the smaller length', async () => {
  const r = assertOk(await host('bridge-buffers.js', ['recreate']));
  assert.deepEqual(r.results[0], {
    second: [1, 2, 3, 4, 0, 0, 0, 42], firstStill: [1, 2, 3, 4], shrunk: [9, 8], id255: 16, zero: 0,
  });
});

test('getBuffer shares the bytes of the existing block', async () => {
  const r = assertOk(await host('bridge-buffers.js', ['share']));
  assert.deepEqual(r.results[0], {
    fromView: 99, fromOwner: 0xdeadbeef, viewLength: 32, nextViewLength: 24, missing: 0, idAsFloat: 32,
  });
});

test('a collected owner frees its block once and logs it; views free nothing', async () => {
  const r = assertOk(await host('bridge-buffers.js', ['finalize']));
  const lines = r.stdout.split('\n');
  const gcAt = lines.findIndex((l) => l.includes('"after":"gc"'));
  const viewAt = lines.findIndex((l) => l.includes('"after":"view gc"'));
  const finalized = lines.map((l, i) => [l, i]).filter(([l]) => /^Finalized buffer: 0x[0-9a-f]+$/.test(l));
  // Exactly one block was freed before the host went on, and none when the view went away.
  assert.equal(finalized.filter(([, i]) => i < gcAt).length, 1, r.stdout);
  assert.equal(finalized.filter(([, i]) => i > gcAt && i < viewAt).length, 0, r.stdout);
  // Every address is freed at most once, also when the process ends.
  const addresses = finalized.map(([l]) => l);
  assert.equal(new Set(addresses).size, addresses.length);
  assert.deepEqual(r.results[1], { after: 'view gc', stillReadable: 64 });
});

test('pool slices outlive a re-created POOL_BUFFER: copied, named by the table, read back', async () => {
  const r = assertOk(await host('bridge-buffers.js', ['poolRecreate']));
  // The old pool's owner was collected before the slices were used.
  const lines = r.stdout.split('\n');
  const gcAt = lines.findIndex((l) => l.includes('"after":"gc"'));
  assert.ok(lines.slice(0, gcAt).some((l) => /^Finalized buffer: 0x[0-9a-f]+$/.test(l)), r.stdout);
  assert.deepEqual(r.results[1], { copied: [1, 2, 3, 4, 5, 6, 7, 8], pair: [1400, 800], viaTable: [1400, 800] });
  // The pair is the host's to write: NaN, infinities and numbers past the integer range are read
  // back without undefined conversions (the sanitized build checks that) and left as written.
  assert.deepEqual(r.results[2], { results: [0, 0, 0, 0, 0], last: [Math.fround(640.9), Math.fround(-480.9)] });
});

test('the pool never hands out its last byte', async () => {
  const r = await host('bridge-abort.js', ['poolOverflow']);
  assert.match(r.stdout, /after 60\n/);
  assert.equal(assertAborted(r, 'lenBuffer(POOL_BUFFER) + len < bufferLength[POOL_BUFFER]'), 'utils');
});

test('ids stop at 255', async () => {
  const r = await host('bridge-abort.js', ['idsExhausted']);
  assert.match(r.stdout, /id 255 handed out\n/);
  assertAborted(r, 'id < bufferCount');
});

test('host mistakes with buffers end in their checks', async () => {
  const expected = {
    initBufferOneArg: 'argc == lengthof(args)',
    initBufferThreeArgs: 'argc == lengthof(args)',
    initBufferStringId: 't == napi_number',
    initBufferId300: 'id < bufferCount',
    getBufferId256: 'id < bufferCount',
    nextBufferNoArg: 'argc == lengthof(args)',
    nextBufferString: 'status == napi_ok',
  };
  for (const [name, text] of Object.entries(expected)) {
    const r = await host('bridge-abort.js', [name]);
    assert.doesNotMatch(r.stdout, /no abort/, name);
    assert.equal(assertAborted(r, text), 'utils', name);
  }
});
