'use strict';
// Text layout from a real Node host with the real fonts, read back from the glyph pipelines' shared
// blocks after `tick` and `render`: quads, their vertex order, texture rectangles and colour, scale
// and squeeze, the two batches, malformed UTF-8, command 10's byte range, the full batch, growth of
// the glyph store, the glyphs on screen where the quads say, and no allocation by the addon in steady
// steps and frames.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { root, buildDir, sanitized, startXvfb, assertOk } = require('./harness');
const { startDriven, screenshot, fontMetrics } = require('./text-helpers');

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());

async function withHost(setup, body) {
  const h = startDriven('text-driver.js', [], { display: xs.display, audio: 'null' });
  const s = await h.request({ op: 'setup', ...setup });
  assert.equal(s.compiled, 0);
  assert.equal(s.glyphIds.flat().length, 6, 'glyph blocks not found');
  const value = await body(h);
  await h.request({ op: 'quit' });
  assertOk(await h.done);
  return value;
}

// The batch's vertices as quads, checking the six-vertex order on the way.
function quads(batch) {
  const out = [];
  const v = batch.vertices;
  for (let i = 0; i + 6 <= v.length; i += 6) {
    const [a, b, c, d, e, f] = v.slice(i, i + 6);
    const q = { X0: a.pos[0], Y0: a.pos[1], X1: f.pos[0], Y1: f.pos[1], U0: a.uv[0], V0: a.uv[1], U1: f.uv[0], V1: f.uv[1], rgba: a.rgba };
    assert.deepEqual([b.pos, b.uv], [[q.X0, q.Y1, 0], [q.U0, q.V1]]);
    assert.deepEqual([c.pos, c.uv], [[q.X1, q.Y0, 0], [q.U1, q.V0]]);
    assert.deepEqual([d.pos, d.uv], [b.pos, b.uv]);
    assert.deepEqual([e.pos, e.uv], [c.pos, c.uv]);
    assert.deepEqual([a.pos[2], f.pos[2]], [0, 0]);
    for (const x of [b, c, d, e, f]) assert.deepEqual(x.rgba, q.rgba);
    out.push(q);
  }
  return out;
}
// Texels of a quad's glyph rectangle (the texture rectangle is inset by half a texel on each side).
const texW = (q) => q.U1 - q.U0 + 1;
const texH = (q) => q.V1 - q.V0 + 1;
const MONO_ADVANCE_48 = 29;  // IBM Plex Mono: 600 units of 1000 at 48 px, hinted to whole pixels

test('a run of mono text: two triangles per character, inset texture rectangles, pen advance, colour from command 12', async () => {
  const [first, second] = await withHost({}, async (h) => {
    await h.request({ op: 'step', runs: [{ text: 'll', x: 100, y: 200, size: 48, font: 1 }] });
    const black = await h.request({ op: 'batches', max: 4 });
    const results = await h.request({ op: 'step', color: [1, 0.5, 0.25, 0.75], runs: [{ text: 'lH', x: 100.25, y: 200, size: 48, font: 1 }] });
    assert.deepEqual(results, [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]);
    return [black, await h.request({ op: 'batches', max: 4 })];
  });
  assert.equal(first[0].triangles, 4);
  assert.deepEqual(first[0].lengths, [36, 24, 48]);
  assert.equal(first[1].triangles, 0);
  const [l1, l2] = quads(first[0]);
  // Without command 12 text is opaque black.
  assert.deepEqual(l1.rgba, [0, 0, 0, 1]);
  // Scale 1: the screen rectangle is the glyph's rectangle; the texture one sits half a texel inside.
  assert.equal(l1.X1 - l1.X0, texW(l1));
  assert.equal(l1.Y1 - l1.Y0, texH(l1));
  assert.ok(Number.isInteger(l1.U0 - 0.5) && Number.isInteger(l1.V0 - 0.5) && l1.U0 >= 0.5 && l1.U1 <= 4095.5);
  assert.ok(l1.Y0 < 200 && l1.Y1 >= 200 && l1.X0 >= 100);
  assert.deepEqual(l2, { ...l1, X0: l1.X0 + MONO_ADVANCE_48, X1: l1.X1 + MONO_ADVANCE_48 });
  // The colour stays in force; a new step starts a new batch.
  assert.equal(second[0].triangles, 4);
  const [m1, h1] = quads(second[0]);
  assert.deepEqual(m1.rgba, [1, 0.5, 0.25, 0.75]);
  assert.equal(m1.X0, l1.X0 + 0.25);
  assert.notEqual(h1.U0, m1.U0);
});

test('scale, squeeze, and the two batches', async () => {
  const b = await withHost({}, async (h) => {
    const runs = [
      { text: 'l', x: 0, y: 100, size: 48, font: 2 },        // sans at 48: 96-pixel glyphs at scale 0.5
      { text: 'l', x: 0, y: 100, size: 96, font: 2 },
      { text: 'llll', x: 100, y: 300, size: 48, font: 1, maxWidth: 58 },   // measures 116: squeeze 0.5
      { text: 'llll', x: 100, y: 400, size: 48, font: 1, maxWidth: 116 },  // exactly the width: unsqueezed
      { text: 'llll', x: 100, y: 500, size: 48, font: 1, maxWidth: 0 },
      { text: 'Ab', x: 10, y: 600, size: 48, font: 6 },      // sans, outline batch
      { text: 'Ab', x: 10, y: 600, size: 48, font: 2 },
    ];
    await h.request({ op: 'step', runs });
    return h.request({ op: 'batches', max: 64 });
  });
  const plain = quads(b[0]);
  const outline = quads(b[1]);
  assert.equal(b[0].triangles, 2 * (1 + 1 + 4 + 4 + 4 + 2));
  assert.equal(b[1].triangles, 4);
  const [sans48, sans96] = plain;
  assert.equal(sans48.X1 - sans48.X0, texW(sans48) * 0.5);
  assert.equal(sans48.Y1 - sans48.Y0, texH(sans48) * 0.5);
  assert.equal(sans96.Y1 - sans96.Y0, texH(sans96));
  assert.deepEqual([sans48.U0, sans48.V0], [sans96.U0, sans96.V0]);
  const squeezed = plain.slice(2, 6), limitEqual = plain.slice(6, 10), free = plain.slice(10, 14);
  for (let i = 0; i < 4; ++i) {
    // Squeezed glyphs are half as wide and start at the unsqueezed bearing from a pen that moves half as far.
    assert.equal(squeezed[i].X0 - squeezed[0].X0, i * MONO_ADVANCE_48 * 0.5);
    assert.equal(squeezed[i].X1 - squeezed[i].X0, texW(free[i]) * 0.5);
    assert.equal(squeezed[i].Y1 - squeezed[i].Y0, texH(free[i]));
    assert.deepEqual({ ...limitEqual[i], Y0: 0, Y1: 0 }, { ...free[i], Y0: 0, Y1: 0 });
  }
  assert.equal(squeezed[0].X0, free[0].X0);
  // Font word 6 goes to the outline batch with the same glyphs as font word 2.
  assert.deepEqual(outline, plain.slice(14, 16));
});

test('malformed UTF-8, line feeds and fallback glyphs in a run', async () => {
  const b = await withHost({}, async (h) => {
    const runs = [
      { text: '61e282', encoding: 'hex', x: 0, y: 100, size: 48, font: 1 },        // "a" then a cut sequence: only "a"
      { text: '6162f86364', encoding: 'hex', x: 0, y: 100, size: 48, font: 1 },    // 0xF8 ends the run: "ab"
      { text: '8061', encoding: 'hex', x: 100, y: 200, size: 32, font: 2 },        // lone 0x80: fallback missing glyph
      { text: 'a', x: 116, y: 200, size: 32, font: 2 },                            // ... which is 8 x 2 wide
      { text: 'f09f9880', encoding: 'hex', x: 0, y: 300, size: 32, font: 1 },      // U+1F600: fallback at size / 16
      { text: 'a\nb', x: 100, y: 400, size: 48, font: 1 },                         // the pen does not move down
      { text: 'b', x: 100 + 2 * MONO_ADVANCE_48, y: 400, size: 48, font: 1 },
      { text: '', x: 0, y: 0, size: 48, font: 1 },
    ];
    await h.request({ op: 'step', runs });
    return h.request({ op: 'batches', max: 64 });
  });
  const q = quads(b[0]);
  assert.equal(b[0].triangles, 2 * (1 + 2 + 2 + 1 + 1 + 3 + 1));
  const [, , , stray, a1, a2, emoji, , , lineB, aloneB] = q;
  assert.deepEqual(a1, a2);
  assert.equal(stray.Y1 - stray.Y0, texH(stray) * 2);
  assert.equal(emoji.X1 - emoji.X0, texW(emoji) * 2);
  assert.deepEqual([stray.U0, stray.V0, stray.U1, stray.V1], [emoji.U0, emoji.V0, emoji.U1, emoji.V1]);
  assert.deepEqual(lineB, aloneB);
});

test('command 10 lays out only the bytes inside STRING_BUFFER', async () => {
  const { results, batches } = await withHost({ stringBytes: 64 }, async (h) => {
    const words = [
      10, 60, 100, 0, 100, 48, 1, 0,        // 4 of the 100 bytes lie inside
      10, 64, 1, 0, 100, 48, 1, 0,          // starts at the end
      10, 4294967295, 10, 0, 100, 48, 1, 0, // far outside
      10, 0, -5, 0, 100, 48, 1, 0,          // negative length
      10, 4294967298, 2, 0, 100, 48, 1, 0,  // the offset's low 32 bits: 2
    ];
    const r = await h.request({ op: 'step', fill: 'l', words });
    return { results: r, batches: await h.request({ op: 'batches', max: 0 }) };
  });
  assert.deepEqual(results.filter((_, i) => i % 8 === 0), [0, 0, 0, 0, 0]);
  assert.equal(batches[0].triangles, 2 * (4 + 2));
});

test('the 32768th quad of a step is refused in its batch; the pen goes on and the next step starts empty', async () => {
  const { full, last, next } = await withHost({ stringBytes: 40016 }, async (h) => {
    await h.request({ op: 'step', runs: [
      { text: 'l'.repeat(40000), x: 0, y: 100, size: 48, font: 1 },
      { text: 'll', x: 0, y: 200, size: 48, font: 1 },
      { text: 'l', x: 0, y: 300, size: 48, font: 5 },
    ] });
    const b = await h.request({ op: 'batches', max: 2, from: 65532 });
    await h.request({ op: 'step', runs: [{ text: 'l', x: 0, y: 100, size: 48, font: 1 }] });
    return { full: b, last: quads(b[0]), next: await h.request({ op: 'batches', max: 2 }) };
  });
  assert.equal(full[0].triangles, 65534);
  assert.equal(full[1].triangles, 2);
  // The last quad written is the 32767th character's.
  assert.equal(last.length, 1);
  const first = quads(next[0])[0];
  assert.equal(last[0].X0 - first.X0, 32766 * MONO_ADVANCE_48);
  assert.equal(next[0].triangles, 2);
  assert.equal(next[1].triangles, 0);
});

test('the 513th glyph grows the store: glyphs loaded before keep their metrics and draw from their own rectangles', async () => {
  // 400 ideographs from the fallback face on top of the preloaded glyphs: one record per distinct
  // glyph of code points 0-127 in the mono and sans faces (their control characters share one).
  const N = 400;
  const preloaded = ['IBMPlexMono-Regular.ttf', 'NotoSans-Regular.ttf']
    .map((f) => fontMetrics(path.join(root, 'app', 'assets', 'fonts', f)))
    .reduce((n, m) => n + new Set(Array.from({ length: 128 }, (_, c) => m.glyphIndex(c))).size, 0);
  assert.ok(preloaded + 1 <= 512 && preloaded + 1 + N > 512);
  const ideographs = Array.from({ length: N }, (_, i) => String.fromCodePoint(0x4E00 + i)).join('');
  const { before, after, widths, runQuads, newQuad } = await withHost({}, async (h) => {
    await h.request({ op: 'step', runs: [{ text: 'H\u0416', x: 50, y: 100, size: 48, font: 1 }] });
    const b1 = quads((await h.request({ op: 'batches', max: 4 }))[0]);
    const w = await h.request({ op: 'measure', cases: [[ideographs, 16, 0], ['H\u0416', 48, 1]] });
    // Laid out twice: first with unpacked rectangles, then (after the upload) with their places.
    await h.request({ op: 'step', runs: [{ text: ideographs, x: 0, y: 300, size: 32, font: 0 }, { text: 'H\u0416', x: 50, y: 100, size: 48, font: 1 }] });
    await h.request({ op: 'step', runs: [{ text: ideographs, x: 0, y: 300, size: 32, font: 0 }, { text: 'H\u0416', x: 50, y: 100, size: 48, font: 1 }] });
    const all = quads((await h.request({ op: 'batches', max: 2 * N + 4 }))[0]);
    return { before: b1, after: all.slice(N), widths: w, runQuads: all.slice(0, N), newQuad: b1[1] };
  });
  assert.equal(widths[0], N * 16);
  assert.equal(widths[1], 2 * MONO_ADVANCE_48);
  // A glyph first used in a step is laid out with its unpacked rectangle at the atlas origin.
  assert.deepEqual([newQuad.U0, newQuad.V0], [0.5, 0.5]);
  for (let i = 0; i < 2; ++i) {
    assert.deepEqual([after[i].X0, after[i].Y0, after[i].X1, after[i].Y1], [before[i].X0, before[i].Y0, before[i].X1, before[i].Y1]);
    assert.equal(texW(after[i]), texW(before[i]));
  }
  // Every glyph has a rectangle of its own in the atlas.
  const seen = new Set();
  for (const q of [...runQuads, ...after]) {
    if (texW(q) <= 0 || texH(q) <= 0) continue;
    const key = `${q.U0},${q.V0}`;
    assert.ok(!seen.has(key), `two glyphs at ${key}`);
    seen.add(key);
    assert.equal(q.X1 - q.X0, texW(q) * (q.Y0 >= 200 ? 2 : 1));
  }
  assert.ok(seen.size >= N);
});

test('text on screen: glyph pixels inside the quads, background outside, in both batches', async () => {
  const { shot, plain, outline } = await withHost({}, async (h) => {
    const runs = [
      { text: '\u2588', x: 400, y: 550, size: 64, font: 0 },   // a full block: 8 x 16 pixels at scale 4
      { text: 'Hello', x: 600, y: 550, size: 48, font: 1 },
      { text: '\u2588', x: 1000, y: 550, size: 64, font: 4 },  // the outline batch
    ];
    await h.request({ op: 'step', color: [1, 1, 1, 1], runs });
    // The second step lays out with the rectangles the upload gave the new glyphs.
    await h.request({ op: 'step', runs });
    await h.request({ op: 'render', frames: 2 });
    const b = await h.request({ op: 'batches', max: 16 });
    return { shot: await screenshot(xs.display), plain: quads(b[0]), outline: quads(b[1]) };
  });
  const background = shot.pixel(700, 700);
  const white = (p) => p.every((c) => c >= 250);
  const near = (p, q) => p.every((c, i) => Math.abs(c - q[i]) <= 3);
  const [block, ...hello] = plain;
  for (const q of [block, outline[0]]) {
    assert.equal(q.X1 - q.X0, 32);
    assert.equal(q.Y1 - q.Y0, 64);
    // Inside the block, away from its edges: full coverage; around it: the background.
    for (const [x, y] of [[q.X0 + 4, q.Y0 + 4], [q.X1 - 4, q.Y1 - 4], [(q.X0 + q.X1) / 2, (q.Y0 + q.Y1) / 2]]) {
      assert.ok(white(shot.pixel(Math.floor(x), Math.floor(y))), `inside ${x},${y}: ${shot.pixel(Math.floor(x), Math.floor(y))}`);
    }
    for (const [x, y] of [[q.X0 - 6, q.Y0 + 20], [q.X1 + 6, q.Y0 + 20], [q.X0 + 10, q.Y0 - 6], [q.X0 + 10, q.Y1 + 6]]) {
      assert.ok(near(shot.pixel(x, y), background), `outside ${x},${y}: ${shot.pixel(x, y)}`);
    }
  }
  // "Hello": every pixel that is not background lies in a quad, and every quad shows glyph pixels.
  const inQuad = (x, y) => hello.some((q) => x >= Math.floor(q.X0) - 1 && x <= q.X1 + 1 && y >= Math.floor(q.Y0) - 1 && y <= q.Y1 + 1);
  const lit = new Array(hello.length).fill(0);
  for (let y = 480; y < 570; ++y) {
    for (let x = 590; x < 760; ++x) {
      const p = shot.pixel(x, y);
      if (near(p, background)) continue;
      assert.ok(inQuad(x, y), `glyph pixel ${x},${y} outside every quad`);
      hello.forEach((q, i) => { if (x >= q.X0 && x < q.X1 && y >= q.Y0 && y < q.Y1 && white(p)) lit[i] += 1; });
    }
  }
  for (const [i, n] of lit.entries()) assert.ok(n > 20, `glyph ${i} of "Hello" shows ${n} white pixels`);
});

test('steps and frames allocate nothing from the addon (allocations counted by their caller)', {
  skip: sanitized && 'the sanitizer runtime owns malloc, so the counter cannot see the calls',
}, async () => {
  const counter = path.join(buildDir, 'libcountalloc.so');
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tm-alloc-')), 'counts');
  // Addon, node, libraries: the first three counts of the counter's file.
  const addonCount = () => Number(fs.readFileSync(file).readBigUInt64LE(0));
  const h = startDriven('text-driver.js', [], { display: xs.display, audio: 'null', env: { LD_PRELOAD: counter, TSM_ALLOC_COUNTS: file } });
  await h.request({ op: 'setup' });
  // Set-up allocates the blocks and tables: the counter does see the addon.
  assert.ok(addonCount() > 0);
  const runs = [{ text: 'Steps and frames \u00e9\u4e00', x: 10, y: 100, size: 32, font: 1 }, { text: 'outline', size: 20, font: 6 }];
  // The first steps load and upload the glyphs (which allocates); after them nothing may.
  for (let i = 0; i < 3; ++i) await h.request({ op: 'step', color: [1, 0, 0, 1], runs });
  const before = addonCount();
  for (let i = 0; i < 20; ++i) await h.request({ op: 'step', color: [0, 1, 0, 1], runs });
  await h.request({ op: 'render', frames: 10 });
  assert.equal(addonCount() - before, 0);
  await h.request({ op: 'quit' });
  assertOk(await h.done);
});
