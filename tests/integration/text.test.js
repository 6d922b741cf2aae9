'use strict';
// Text from a real host with the real fonts: measuring, faces, the code map's cap, the glyph batches, the
// screen, no allocation in steady steps. Layout arithmetic, UTF-8 and the glyph store are the unit tests'.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { root, buildDir, sanitized, startXvfb, runFn, assertOk, isolatedAddon } = require('./harness');

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());

// The text host: measures once before `ready` (no glyph set yet), sets up the glyph pipelines, answers
// `requests` in order and quits. Batches come back as vertices [x, y, z, u, v, r, g, b, a].
function textHost({ requests, stringBytes = 65536 }) {
  const { execFileSync } = require('node:child_process'), { createTableBlocks, registerAndCompile } = graphics();
  const early = addon.measureText('abc', 16, 0), fixed = createFixed({ string: stringBytes }), blocks = createTableBlocks({}, 1000);
  for (const e of [1, 2, 3, 4]) blocks.views[e].set([1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]);
  blocks.views[5].set([2 / 1400, 0, 0, 0, 0, -2 / 800, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1]);  // pixels, y down, to clip space
  const compiled = registerAndCompile(blocks.tableId);
  addon.ready();
  // The glyph pipelines' blocks (positions, texcoords, colours; plain batch, then outline) are the
  // first of their sizes made after the table's.
  const ids = [], [, nextId] = addon.nextBuffer(4);
  for (let id = blocks.lastId + 1; id < nextId && ids.length < 6; ++id) if (addon.getBuffer(id).byteLength === [12, 8, 16][ids.length % 3] * 300000) ids.push(id);
  const tools = { encoding: 'utf8', env: { ...process.env, LD_PRELOAD: '' } };
  const ops = {
    // A text given as [first, end] is every code point of that range but the surrogates.
    measure: ({ cases }) => cases.map(([t, ...rest]) => addon.measureText(typeof t === 'string' ? t
      : String.fromCodePoint(...Array.from({ length: t[1] - t[0] }, (_, i) => t[0] + i).filter((c) => c < 0xD800 || c > 0xDFFF)), ...rest)),
    // One tick: the colour (command 12), then `words` after filling STRING_BUFFER with `fill`, or each
    // run written after the last; then `frames` frames. Answers the results.
    step: ({ color, runs = [], words = [], fill, frames = 1 }) => {
      if (fill) fixed.strings.fill(fill.charCodeAt(0));
      if (color) words = [12, ...color, ...words];
      for (let i = 0, at = 0, bytes; i < runs.length; ++i, at += bytes.length) {
        fixed.strings.set((bytes = Buffer.from(runs[i].text)), at);
        words.push(10, at, bytes.length, runs[i].x || 0, runs[i].y || 0, runs[i].size, runs[i].font, 0);
      }
      const results = runCommands(fixed, words);
      for (let i = 0; i < frames; ++i) addon.render();
      return results;
    },
    // Each batch's triangles, its blocks' fill lengths, and the vertices of its first `max` triangles.
    batches: ({ max = 64 }) => [ids.slice(0, 3), ids.slice(3)].map((batch) => {
      const [pos, uv, rgba] = batch.map((id) => new Float32Array(addon.getBuffer(id))), triangles = fixed.header[batch[0]] / 9;
      const vertices = Array.from({ length: 3 * Math.min(triangles, max) },
        (_, v) => [...pos.subarray(3 * v, 3 * v + 3), ...uv.subarray(2 * v, 2 * v + 2), ...rgba.subarray(4 * v, 4 * v + 4)]);
      return { triangles, lengths: batch.map((id) => fixed.header[id]), vertices };
    }),
    shot: ({ file }) => {  // the window as raw RGB in `file`; answers its width
      const id = execFileSync('xdotool', ['search', '--name', '^Tessimarke$'], tools).trim().split('\n').pop();
      execFileSync('import', ['-silent', '-window', id, '-depth', '8', `rgb:${file}`], tools);
      return Number(/Geometry: (\d+)x/.exec(execFileSync('xdotool', ['getwindowgeometry', id], tools))[1]);
    },
    count: ({ file }) => Number(require('node:fs').readFileSync(file).readBigUInt64LE(0)),  // the addon's allocations so far
  };
  const out = requests.map((r) => ops[r.op](r));
  addon.quit();
  return { early, compiled, out };
}

// Runs the text host; resolves to { result, out } (the answers to `requests`, in order).
async function text(requests, { stringBytes, ...options } = {}) {
  const result = assertOk(await runFn(textHost, { requests, stringBytes }, { display: xs.display, audio: 'null', ...options }));
  const { early, compiled, out } = result.results.pop();
  assert.deepEqual([early, compiled], [0, 0]);
  return { result, out };
}
// A batch's vertices as quads: screen and texture corners and colour from each quad's first and last vertex.
const quads = ({ vertices: v }) => Array.from({ length: v.length / 6 }, (_, i) => ({ X0: v[6 * i][0], Y0: v[6 * i][1], X1: v[6 * i + 5][0],
  Y1: v[6 * i + 5][1], U0: v[6 * i][3], V0: v[6 * i][4], U1: v[6 * i + 5][3], V1: v[6 * i + 5][4], rgba: v[6 * i].slice(5) }));
const temp = (prefix) => fs.mkdtempSync(path.join(os.tmpdir(), prefix));

const [MONO, SANS, FALLBACK] = ['IBMPlexMono-Regular.ttf', 'NotoSans-Regular.ttf', 'unifont.ttf'], font = (name) => fs.readFileSync(path.join(root, 'app', 'assets', 'fonts', name));

test('measureText: widths from the faces\' advances at each face\'s pixel size, fallback glyphs kept apart; once the code map is full, new characters measure as the first glyph', async () => {
  const ascii = Array.from({ length: 95 }, (_, i) => String.fromCharCode(32 + i)).join(''), all = [0x20, 0x10000];
  // [text, size, font word, width]. Fonts 0 and 3: the fallback face (16 px cells), 1 mono (48 px), 2 sans
  // (96 px); the low 16 bits count, the outline bit (4) does not. U+0915 (missing in mono) and U+1F600
  // (in no face) are both glyph 0 of font 1, each keeping its own record; a line feed is a character.
  const CASES = [
    ['\u0915', 48, 1, 29], ['\u{1F600}', 16, 1, 8], ['\u{1F601}', 16, 1, 8], ['\u0916', 48, 1, 29], ['\u0915\u{1F600}', 48, 1, 53],
    ['abc', 16, 0, 24], ['abc', 32, 0, 48], ['abc', 16, 3, 24], ['', 48, 1, 0], ['', 16, 2, 0],
    [ascii, 48, 1, 2755], [ascii, 48, 2, 2434.5], [ascii, 96, 2, 4869], [ascii, 13.5, 0, 641.25], ['W', 48, 2, 44.5],
    ['\u0391\u03a9', 48, 1, 58], ['\u0391\u03a9', 32, 2, 32], ['\u0915', 32, 2, 32], ['\u0416\u0100', 48, 2, 71.5], ['\u{1F600}', 32, 1, 16],
    ['a\u{1F600}b', 48, 2, 80.5], ['\u6f22\u5b57', 16, 0, 32], ['a\nb', 48, 1, 87], ['abc', 48, 0x10001, 87], ['abc', 48, 5, 87], ['abc', 48, 6, 79.5],
  ];
  // Then U+0429 is mapped, every code point of the plane measured in two fonts (past the map's 65536 keys), and U+042F is new.
  const { result, out: [widths, [before], , after] } = await text([{ op: 'measure', cases: CASES.map((c) => c.slice(0, 3)) }, { op: 'measure', cases: [['\u0429', 48, 2]] },
    { op: 'measure', cases: [[all, 16, 0], [all, 16, 3]] }, { op: 'measure', cases: [['\u0429', 48, 2], ['\u042f', 48, 2], ['\u0429\u042f', 48, 2]] }]);
  assert.deepEqual(widths.map((w, i) => [...CASES[i].slice(0, 3), w]), CASES);
  // The first glyph of the store is the mono face's U+0000, which has no advance.
  assert.deepEqual([before > 0, ...after], [true, before, 0, before]);
  assert.doesNotMatch(result.stderr, /Out of glyph structure memory/);
});

// The mono face with 'A' (glyph 30) claiming far more points than its data holds: FreeType fails on it alone.
function monoWithBrokenA() {
  const d = font(MONO), tables = {};
  for (let i = 0; i < d.readUInt16BE(4); ++i) tables[d.toString('latin1', 12 + i * 16, 16 + i * 16)] = d.readUInt32BE(20 + i * 16);
  const glyph = tables.glyf + (d.readInt16BE(tables.head + 50) ? d.readUInt32BE(tables.loca + 4 * 30) : d.readUInt16BE(tables.loca + 60) * 2);
  d.writeInt16BE(1, glyph);             // one contour ...
  d.writeUInt16BE(0xFFFF, glyph + 10);  // ... ending at point 65535
  return d;
}
// [case, fonts of the working directory, the addon's package (null: the project's, 'cwd', or 'empty'),
// texts measured, runs laid out, widths, triangles of the two batches, lines on standard error]
const abc = [['abc', 16, 0], ['abc', 48, 1], ['abc', 48, 2]];
const tried = (name, ...places) => `Unable to open app/assets/fonts/${name}: 1\nPaths tried: ${places.map((p) => `${p}app/assets/fonts/${name}`).join(', ')}\n`;
const FACE_CASES = [
  ['faces from the addon\'s package when run from elsewhere', null, null, abc, [], [24, 87, 79.5], [0, 0], ''],
  ['no mono face: no further face tried, every lookup answers no glyph', { [SANS]: font(SANS), [FALLBACK]: font(FALLBACK) }, 'empty',
    [...abc, ['', 16, 0]], [{ text: 'abc', size: 16, font: 0 }, { text: 'abc', size: 48, font: 6 }], [0, 0, 0, 0], [0, 0], (pkg) => tried(MONO, '', `${pkg}/`)],
  ['no sans face: mono works, a run ends where it needs a face that did not open', { [MONO]: font(MONO), [FALLBACK]: font(FALLBACK) }, 'cwd',
    [['ab', 48, 1], ['ab\u{1F600}cd', 48, 1], ['ab', 48, 2], ['ab', 16, 0], ['ab', 16, 3]],
    [{ text: 'ab\u{1F600}cd', size: 48, font: 1 }, { text: 'ab', size: 48, font: 6 }], [58, 58, 0, 0, 0], [4, 0], () => tried(SANS, '')],
  ['a glyph FreeType fails to load is empty, not the bitmap of the glyph before it', { [MONO]: monoWithBrokenA(), [SANS]: font(SANS),
    [FALLBACK]: font(FALLBACK) }, null, [['A', 48, 1], ['@', 48, 1], ['AB', 48, 1], ['A', 48, 2]], [{ text: 'AB', x: 100, y: 500, size: 48, font: 1 }],
  [0, 29, 29, 30.5], [4, 0], ''],
];
for (const [name, files, pkgPlace, cases, runs, widths, triangles, err] of FACE_CASES) test(`faces: ${name}`, async () => {
  const cwd = temp('tm-fonts-');
  fs.mkdirSync(path.join(cwd, 'app', 'assets', 'fonts'), { recursive: true });
  for (const [file, bytes] of Object.entries(files ?? {})) fs.writeFileSync(path.join(cwd, 'app', 'assets', 'fonts', file), bytes);
  const pkg = pkgPlace === 'cwd' ? isolatedAddon(cwd) : pkgPlace === 'empty' ? isolatedAddon() : { env: {} };
  const { result, out: [measured, results, batches] } = await text([{ op: 'measure', cases }, { op: 'step', runs }, { op: 'batches', max: 4 }],
    { cwd, env: pkg.env });
  assert.deepEqual([measured, results.every((r) => r === 0), batches.map((b) => b.triangles)], [widths, true, triangles]);
  assert.equal(result.stderr.replace(/^(?!Unable to open|Paths tried).*\n/gm, ''), typeof err === 'function' ? err(pkg.dir && fs.realpathSync(pkg.dir)) : err);
  // FreeType is reported ready only with every face open; the glyph set is built either way.
  assert.deepEqual([/FreeType initialized OK/.test(result.stdout), /Fonts initialized OK/.test(result.stdout)], [!err, true]);
  // The broken glyph's quad covers nothing; the next glyph is where an empty glyph leaves the pen.
  const v = batches[0].vertices;
  if (name.startsWith('a glyph')) assert.deepEqual([v[0].slice(0, 3), v[5].slice(0, 3), v[6][0] >= 100 && v[6][0] < 100 + 29], [[100, 500, 0], [100, 500, 0], true]);
  for (const d of [cwd, pkgPlace === 'empty' && pkg.dir]) if (d) fs.rmSync(d, { recursive: true });
});

test('a run of mono text: two triangles per character, inset texture rectangles, pen advance, colour from command 12, outline batch; command 10 clipped to STRING_BUFFER', async () => {
  // Then runs of 4 of 64 bytes inside, from the end, far outside, a negative length, an offset whose low 32 bits are 2.
  const words = [[60, 100], [64, 1], [4294967295, 10], [0, -5], [4294967298, 2]].flatMap(([at, length]) => [10, at, length, 0, 100, 48, 1, 0]);
  const { out: [, first, results, second, , third, clipped, [fourth]] } = await text([
    { op: 'step', runs: [{ text: 'll', x: 100, y: 200, size: 48, font: 1 }] }, { op: 'batches', max: 4 },
    { op: 'step', color: [1, 0.5, 0.25, 0.75], runs: [{ text: 'lH', x: 100.25, y: 200, size: 48, font: 1 }] }, { op: 'batches', max: 4 },
    { op: 'step', runs: [{ text: 'Ab', x: 10, y: 600, size: 48, font: 6 }, { text: 'Ab', x: 10, y: 600, size: 48, font: 2 }] }, { op: 'batches' },
    { op: 'step', fill: 'l', words }, { op: 'batches' }], { stringBytes: 64 });
  assert.deepEqual(results, new Array(13).fill(0));
  assert.deepEqual([first[0].triangles, first[0].lengths, first[1].triangles, second[0].triangles], [4, [36, 24, 48], 0, 4]);
  // Without command 12 text is opaque black; at scale 1 the screen rectangle is the glyph's own, its
  // texture rectangle inset by half a texel; the mono face advances 29 px at 48 px.
  const [l1, l2] = quads(first[0]), [m1, h1] = quads(second[0]);
  assert.deepEqual([l1.rgba, l1.X1 - l1.X0, l1.Y1 - l1.Y0, l2], [[0, 0, 0, 1], l1.U1 - l1.U0 + 1, l1.V1 - l1.V0 + 1, { ...l1, X0: l1.X0 + 29, X1: l1.X1 + 29 }]);
  assert.ok(Number.isInteger(l1.U0 - 0.5) && Number.isInteger(l1.V0 - 0.5) && l1.U0 >= 0.5 && l1.U1 <= 4095.5 && l1.Y0 < 200 && l1.Y1 >= 200 && l1.X0 >= 100);
  // The colour stays in force; a new step starts a new batch; the outline bit (font word 6) sends the
  // same glyphs as font word 2 to the outline batch.
  assert.deepEqual([m1.rgba, m1.X0, h1.U0 !== m1.U0], [[1, 0.5, 0.25, 0.75], l1.X0 + 0.25, true]);
  assert.deepEqual([third[0].triangles, third[1].vertices], [4, third[0].vertices]);
  assert.deepEqual([clipped.filter((_, i) => i % 8 === 0), fourth.triangles], [[0, 0, 0, 0, 0], 12]);
});

test('text on screen: glyph pixels inside the quads, background outside, in both batches; gone after a step without runs', async () => {
  const dir = temp('tm-shot-'), [before, after] = ['before', 'after'].map((name) => path.join(dir, `${name}.rgb`));
  // Full blocks (8 x 16 pixels at scale 4) in each batch and "Hello"; the second step lays out with
  // the rectangles the upload gave the new glyphs.
  const runs = [{ text: '\u2588', x: 400, y: 550, size: 64, font: 0 }, { text: 'Hello', x: 600, y: 550, size: 48, font: 1 }, { text: '\u2588', x: 1000, y: 550, size: 64, font: 4 }];
  const { out: [, , b, width] } = await text([{ op: 'step', color: [1, 1, 1, 1], runs }, { op: 'step', runs, frames: 3 }, { op: 'batches', max: 16 },
    { op: 'shot', file: before }, { op: 'step' }, { op: 'shot', file: after }]);
  const [shot, empty] = [before, after].map((f) => fs.readFileSync(f)), at = (x, y) => (Math.floor(y) * width + Math.floor(x)) * 3;
  const pixel = (x, y, from = shot) => [...from.subarray(at(x, y), at(x, y) + 3)], background = pixel(700, 700), white = (x, y) => pixel(x, y).every((c) => c >= 250);
  const near = (x, y, from) => pixel(x, y, from).every((c, i) => Math.abs(c - background[i]) <= 3);
  const [[block, ...hello], [outline]] = b.map(quads);
  for (const q of [block, outline]) {
    assert.deepEqual([q.X1 - q.X0, q.Y1 - q.Y0], [32, 64]);
    for (const [x, y] of [[q.X0 + 4, q.Y0 + 4], [q.X1 - 4, q.Y1 - 4], [(q.X0 + q.X1) / 2, (q.Y0 + q.Y1) / 2]]) assert.ok(white(x, y) && near(x, y, empty), `inside ${x},${y}: ${pixel(x, y)}, then ${pixel(x, y, empty)}`);
    for (const [x, y] of [[q.X0 - 6, q.Y0 + 20], [q.X1 + 6, q.Y0 + 20], [q.X0 + 10, q.Y0 - 6], [q.X0 + 10, q.Y1 + 6]]) assert.ok(near(x, y), `outside ${x},${y}: ${pixel(x, y)}`);
  }
  // Each glyph of "Hello" shows its pixels inside its quad.
  const lit = hello.map((q) => { let n = 0; for (let y = Math.ceil(q.Y0); y < q.Y1; ++y) for (let x = Math.ceil(q.X0); x < q.X1; ++x) n += white(x, y); return n; });
  assert.ok(lit.every((n) => n > 20), `white pixels of each glyph of "Hello": ${lit}`);
  fs.rmSync(dir, { recursive: true });
});

test('steps and frames allocate nothing from the addon (allocations counted by their caller)', { skip: sanitized && 'the sanitizer owns malloc' }, async () => {
  const file = path.join(temp('tm-alloc-'), 'counts');
  const runs = [{ text: 'Steps and frames \u00e9\u4e00', x: 10, y: 100, size: 32, font: 1 }, { text: 'outline', size: 20, font: 6 }];
  // The first steps load and upload the glyphs (which allocates); after them nothing may.
  const { out } = await text([...new Array(3).fill({ op: 'step', color: [1, 0, 0, 1], runs }), { op: 'count', file },
    ...new Array(20).fill({ op: 'step', color: [0, 1, 0, 1], runs }), { op: 'step', color: [0, 1, 0, 1], runs, frames: 10 }, { op: 'count', file }],
  { env: { LD_PRELOAD: path.join(buildDir, 'libcountalloc.so'), TSM_ALLOC_COUNTS: file } });
  // Set-up allocated the blocks and tables: the counter does see the addon.
  assert.ok(out[3] > 0 && out[25] === out[3], `${out[25] - out[3]} allocations after the first steps`);
});
