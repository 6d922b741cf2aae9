'use strict';
// Shared buffers seen from the host: ids, the pool, re-creation, shared bytes, finalizers.
const { addon, createFixed, report, POOL_BUFFER } = require('./common');

const scenario = process.argv[2];

// Collects garbage, then calls `then` once the addon's finalizers have had their chance: Node may
// run them in a task after the collection, so a loaded machine needs a moment and a second pass.
function afterCollection(then) {
  global.gc();
  setTimeout(() => {
    global.gc();
    setImmediate(then);
  }, 50);
}

if (scenario === 'ids') {
  const fixed = createFixed({ pool: 100 });
  const ids = [];
  ids.push(addon.nextBuffer(16)[1]);
  ids.push(addon.nextPool(60)[1]);
  ids.push(addon.nextBuffer(0)[1]);
  const [slice39, id39] = addon.nextPool(39);
  ids.push(id39);
  const [slice0, id0] = addon.nextPool(0);
  ids.push(id0);
  report({ ids, poolLength: fixed.header[POOL_BUFFER], slice39: slice39.byteLength, slice0: slice0.byteLength,
    pairIsArray: Array.isArray(addon.nextBuffer(1)) });
  // Slices are views of the pool's bytes, back to back.
  const pool = new Uint8Array(fixed.buffers.pool);
  new Uint8Array(slice39)[0] = 77;
  report({ poolByte60: pool[60] });
} else if (scenario === 'recreate') {
  const first = addon.initBuffer(5, 4);
  new Uint8Array(first).set([1, 2, 3, 4]);
  const second = addon.initBuffer(5, 8);
  const shrunk = addon.initBuffer(6, 4);
  new Uint8Array(shrunk).set([9, 8, 7, 6]);
  const shrunkAgain = addon.initBuffer(6, 2);
  new Uint8Array(second)[7] = 42;
  report({
    second: Array.from(new Uint8Array(second)),
    firstStill: Array.from(new Uint8Array(first)),
    shrunk: Array.from(new Uint8Array(shrunkAgain)),
    id255: addon.initBuffer(255, 16).byteLength,
    zero: addon.initBuffer(200, 0).byteLength,
  });
} else if (scenario === 'share') {
  const owned = addon.initBuffer(12, 32);
  const view = addon.getBuffer(12);
  new Uint8Array(owned)[3] = 99;
  const fromView = new Uint8Array(view)[3];
  new Uint32Array(view)[2] = 0xdeadbeef;
  const [, id] = addon.nextBuffer(24);
  const viewOfNext = addon.getBuffer(id);
  report({
    fromView, fromOwner: new Uint32Array(owned)[2], viewLength: view.byteLength,
    nextViewLength: viewOfNext.byteLength, missing: addon.getBuffer(250).byteLength,
    idAsFloat: addon.getBuffer(12.7).byteLength,
  });
} else if (scenario === 'poolRecreate') {
  // Slices outlive the pool block they were carved from: POOL_BUFFER is re-created and its old
  // owner collected, then the slices are copied by initBuffer, hold the viewportSize pair, and the
  // host's own numbers in that pair are read back by a second setBuffers.
  const fixed = createFixed({ pool: 64 });
  const [sliceA, idA] = addon.nextPool(8);
  const [sliceB, idB] = addon.nextPool(8);
  new Uint8Array(sliceA).set([1, 2, 3, 4, 5, 6, 7, 8]);
  const [table, tableId] = addon.nextBuffer(64);
  const entries = new Uint16Array(table);
  fixed.buffers.pool = addon.initBuffer(POOL_BUFFER, 128);
  afterCollection(() => {
    report({ after: 'gc' });
    const copied = Array.from(new Uint8Array(addon.initBuffer(idA, 8)));
    entries[0] = idB;
    addon.setBuffers(tableId);
    const pair = new Float32Array(sliceB);
    report({ copied, pair: Array.from(pair), viaTable: Array.from(new Float32Array(addon.getBuffer(idB))) });
    // The pair stays in the slice when entry 0 names no home; setBuffers reads the host's numbers.
    entries[0] = 0;
    const results = [];
    for (const [w, h] of [[NaN, -NaN], [Infinity, -Infinity], [1e30, -1e30], [-0, 3e9], [640.9, -480.9]]) {
      pair[0] = w;
      pair[1] = h;
      results.push(addon.setBuffers(tableId));
    }
    report({ results, last: Array.from(pair) });
    addon.quit();
  });
} else if (scenario === 'finalize') {
  // The owner of a re-created block goes away: its block is freed and the finalizer says so.
  let first = addon.initBuffer(9, 64);
  const keep = addon.initBuffer(9, 64);
  first = null;
  afterCollection(() => {
    report({ after: 'gc', keepLength: keep.byteLength });
    // A view made by getBuffer owns nothing: dropping it frees nothing.
    let view = addon.getBuffer(9);
    view = null;
    afterCollection(() => {
      report({ after: 'view gc', stillReadable: new Uint8Array(addon.getBuffer(9)).length });
      addon.quit();
    });
  });
}
