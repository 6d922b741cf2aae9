'use strict';
// Whole steps and frames of the real addon, with the graphics set up as the tests set them up:
//  layout   text layout through the command stream (one 2,000-character run, mono 48 px, per tick)
//           against a plain JavaScript layout of the same text into the same 54 floats per glyph;
//  allocs   allocations per step (poll, commands, tick) and per frame (render), counted by the
//           preload of tests/harness/alloc-counter (run with LD_PRELOAD and TSM_ALLOC_COUNTS set);
//  rss      resident memory before and after 100,000 steps (and a frame every 1,000 steps, every
//           10,000 with --quick: software GL makes frames slow).
// Usage: node bench/frame/frame.js layout|allocs|rss [--quick]. Prints `@bench` lines.
const fs = require('node:fs');
const { addon, createFixed, COMMAND_BUFFER } = require('../../tests/hosts/common');
const { createTableBlocks, registerAndCompile } = require('../../tests/hosts/graphics');
const { timeRounds, emit } = require('../common');

const mode = process.argv[2];
const quick = process.argv.includes('--quick');

// Characters of the layout paragraph, as the native text benchmark lays out.
const PARAGRAPH_CHARS = 2000;
const WORDS = ['the', 'quick', 'brown', 'fox', 'jumps', 'over', 'a', 'lazy', 'dog;', 'Pack', 'my', 'box', 'with', 'five',
  'dozen', 'liquor', 'jugs.', 'How', 'vexingly', 'daft', 'zebras', 'JUMP!', 'Sphinx', 'of', 'black', 'quartz,', 'judge',
  'vow', '(42)', '#7'];
function paragraph() {
  let s = '';
  for (let i = 0; s.length < PARAGRAPH_CHARS; ++i) s += (s ? ' ' : '') + WORDS[(i * 7) % WORDS.length];
  return s.slice(0, PARAGRAPH_CHARS);
}

// Buffers, the bufferIDs table with its blocks, the test shaders, ready().
function setUp() {
  const fixed = createFixed({ command: 65536, result: 65536 });
  const blocks = createTableBlocks({}, 1000);
  const identity = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1];
  for (const e of [1, 2, 3, 4]) blocks.views[e].set(identity);
  blocks.views[5].set([2 / 1400, 0, 0, 0, 0, -2 / 800, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1]);
  if (registerAndCompile(blocks.tableId) !== 0) throw new Error('shaders failed');
  addon.ready();
  const text = Buffer.from(paragraph());
  fixed.strings.set(text, 0);
  return { fixed, keep: blocks.keep, textBytes: text.length };
}

// Writes one step's commands: a colour and the paragraph laid out (or `runs` shorter runs).
function writeStep(fixed, textBytes, length = textBytes) {
  const c = fixed.commands;
  c[0] = 12; c[1] = 1; c[2] = 1; c[3] = 1; c[4] = 1;
  c[5] = 10; c[6] = 0; c[7] = length; c[8] = 10; c[9] = 100; c[10] = 48; c[11] = 1; c[12] = 0;
  fixed.header[COMMAND_BUFFER] = 13;
}

// A plain JavaScript layout: UTF-8 decoded byte by byte (ASCII here), a metrics table per code,
// a quad per glyph written as 54 floats into three Float32Arrays, the pen moved.
function makeJsLayout() {
  const metrics = [];
  for (let c = 0; c < 128; ++c) {
    metrics.push({ x0: c * 30, y0: 0, x1: c * 30 + 24, y1: 40, left: 2, top: 36, advanceX: 1843, advanceY: 0, pixelSize: 48 });
  }
  const positions = new Float32Array(PARAGRAPH_CHARS * 18);
  const texcoords = new Float32Array(PARAGRAPH_CHARS * 12);
  const colors = new Float32Array(PARAGRAPH_CHARS * 24);
  const color = [1, 1, 1, 1];
  return function layout(bytes, length, x, y, size) {
    let px = x, t = 0;
    const py = y;
    for (let i = 0; i < length; ++i) {
      const g = metrics[bytes[i] & 127];
      const scale = size / g.pixelSize;
      const qx0 = g.left * scale + px, qy0 = py - g.top * scale;
      const qx1 = ((g.x1 - g.x0) + g.left) * scale + px, qy1 = py - (g.top - (g.y1 - g.y0)) * scale;
      const u0 = g.x0 + 0.5, v0 = g.y0 + 0.5, u1 = g.x1 - 0.5, v1 = g.y1 - 0.5;
      let p = 9 * t;
      positions[p] = qx0; positions[p + 1] = qy0; positions[p + 2] = 0;
      positions[p + 3] = qx0; positions[p + 4] = qy1; positions[p + 5] = 0;
      positions[p + 6] = qx1; positions[p + 7] = qy0; positions[p + 8] = 0;
      positions[p + 9] = qx0; positions[p + 10] = qy1; positions[p + 11] = 0;
      positions[p + 12] = qx1; positions[p + 13] = qy0; positions[p + 14] = 0;
      positions[p + 15] = qx1; positions[p + 16] = qy1; positions[p + 17] = 0;
      p = 6 * t;
      texcoords[p] = u0; texcoords[p + 1] = v0; texcoords[p + 2] = u0; texcoords[p + 3] = v1;
      texcoords[p + 4] = u1; texcoords[p + 5] = v0; texcoords[p + 6] = u0; texcoords[p + 7] = v1;
      texcoords[p + 8] = u1; texcoords[p + 9] = v0; texcoords[p + 10] = u1; texcoords[p + 11] = v1;
      p = 12 * t;
      for (let v = 0; v < 6; ++v, p += 4) {
        colors[p] = color[0]; colors[p + 1] = color[1]; colors[p + 2] = color[2]; colors[p + 3] = color[3];
      }
      t += 2;
      px += g.advanceX * 0.015625 * scale;
    }
    return t;
  };
}

function layoutBench() {
  const { fixed, textBytes } = setUp();
  const bytes = fixed.strings;
  const jsLayout = makeJsLayout();
  // Layouts per timed round.
  const REPEAT = 50;
  writeStep(fixed, textBytes);
  addon.tick();
  addon.render();  // the paragraph's glyphs are in the atlas from here on
  const t = timeRounds(quick ? 7 : 21, {
    native: () => { for (let k = 0; k < REPEAT; ++k) addon.tick(); },
    js: () => { for (let k = 0; k < REPEAT; ++k) jsLayout(bytes, textBytes, 10, 100, 48); },
  });
  const perGlyph = 1 / (REPEAT * textBytes);
  emit('layout via command stream, per glyph', t.native, perGlyph, 'ns', t.js, 'speed / plain JS layout');
  emit('plain JavaScript layout, per glyph', t.js, perGlyph, 'ns');
}

// Allocation counters of the preload: a file of four 64-bit counts (addon, node, libraries, calls
// in frees) that it updates in place.
function readCounts(fd) {
  const b = Buffer.alloc(32);
  fs.readSync(fd, b, 0, 32, 0);
  return [Number(b.readBigUInt64LE(0)), Number(b.readBigUInt64LE(8)), Number(b.readBigUInt64LE(16))];
}

function allocBench() {
  const file = process.env.TSM_ALLOC_COUNTS;
  if (!file) throw new Error('TSM_ALLOC_COUNTS is not set: run under the preload of tests/harness/alloc-counter');
  const fd = fs.openSync(file, 'r');
  const s0 = readCounts(fd);
  const { fixed, textBytes } = setUp();
  const s1 = readCounts(fd);
  const steps = quick ? 2000 : 10000;
  const frames = quick ? 20 : 100;
  const step = () => { addon.poll(); writeStep(fixed, textBytes, 200); addon.tick(); };
  for (let i = 0; i < 10; ++i) { step(); addon.render(); }  // warm: every glyph loaded, every pipeline used
  // The window itself: what reading the counters costs, subtracted from both windows.
  const c0 = readCounts(fd);
  const c1 = readCounts(fd);
  for (let i = 0; i < steps; ++i) step();
  const c2 = readCounts(fd);
  for (let i = 0; i < frames; ++i) addon.render();
  const c3 = readCounts(fd);
  const per = (a, b, n) => [0, 1, 2].map((k) => Math.max(0, (b[k] - a[k]) - (c1[k] - c0[k])) / n);
  const s = per(c1, c2, steps);
  const f = per(c2, c3, frames);
  // Shows that the attribution sees the addon: its blocks and tables are allocated at set-up.
  emit('allocations by the addon at set-up (for reference)', [s1[0] - s0[0]], 1, 'count');
  emit('allocations per step from the addon', [s[0]], 1, 'count');
  emit('allocations per step from node', [s[1]], 1, 'count');
  emit('allocations per step from system libraries', [s[2]], 1, 'count');
  emit('allocations per frame from the addon', [f[0]], 1, 'count');
  emit('allocations per frame from node', [f[1]], 1, 'count');
  emit('allocations per frame from system libraries', [f[2]], 1, 'count');
}

function rssBench() {
  const { fixed, textBytes } = setUp();
  const STEPS = 100000;
  const step = () => { addon.poll(); writeStep(fixed, textBytes, 200); addon.tick(); };
  const frameEvery = quick ? 10000 : 1000;
  for (let i = 0; i < 1000; ++i) { step(); if (i % 100 === 0) addon.render(); }
  global.gc?.();
  const before = process.memoryUsage.rss();
  const samples = [];
  for (let i = 0; i < STEPS; ++i) {
    step();
    if (i % frameEvery === 0) addon.render();
    if (i % 10000 === 9999) samples.push(process.memoryUsage.rss());
  }
  global.gc?.();
  const after = process.memoryUsage.rss();
  emit('RSS at start of 100,000 steps', [before], 1 / 1048576, 'MiB');
  emit(`RSS growth over 100,000 steps (${STEPS / frameEvery} frames)`, [after - before], 1 / 1024, 'KiB');
  emit('RSS growth, steps 10,000 to 100,000', [samples[9] - samples[0]], 1 / 1024, 'KiB');
}

({ layout: layoutBench, allocs: allocBench, rss: rssBench })[mode]();
addon.quit();
