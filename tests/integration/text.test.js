'use strict';
// Text from a real Node host with the real fonts: the start-up and shutdown lines, faces that fail
// to open, measureText widths checked against the advance widths the font files declare, and its
// argument checks.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { root, startXvfb, runHost, assertAborted, assertOk, nativeOut, isolatedAddon } = require('./harness');
const { execFileSync } = require('node:child_process');
const { startDriven, fontMetrics, withBrokenGlyph, screenshot } = require('./text-helpers');

const FONT_DIR = path.join(root, 'app', 'assets', 'fonts');
const FACES = {
  mono: { file: 'IBMPlexMono-Regular.ttf', ppem: 48 },
  sans: { file: 'NotoSans-Regular.ttf', ppem: 96 },
  fallback: { file: 'unifont.ttf', ppem: 16 },
};
for (const face of Object.values(FACES)) face.metrics = fontMetrics(path.join(FONT_DIR, face.file));

// FreeType's advance for a code point of a face, in 1/64 pixel: the declared advance width scaled
// to the face's pixel size and rounded to whole pixels by hinting.
function advance64(faceName, cp) {
  const { metrics, ppem } = FACES[faceName];
  return Math.round((metrics.advanceWidth(metrics.glyphIndex(cp)) * ppem) / metrics.unitsPerEm) * 64;
}

// The width measureText should answer: [face, code point] per character, summed in single precision
// in the addon's order.
function expectedWidth(chars, size) {
  const f = Math.fround;
  let w = 0;
  for (const [face, cp] of chars) w = f(w + f(f(f(size) / FACES[face].ppem) * f(advance64(face, cp) * 0.015625)));
  return w;
}
const on = (face, text) => [...text].map((c) => [face, c.codePointAt(0)]);

// Each quad's first vertex and its size on screen.
function quadsOf(vertices) {
  const out = [];
  for (let i = 0; i + 6 <= vertices.length; i += 6) {
    const [x0, y0] = vertices[i].pos, [x1, y1] = vertices[i + 5].pos;
    out.push({ uv: vertices[i].uv, x0, y0, w: x1 - x0, h: y1 - y0 });
  }
  return out;
}

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());

// A fresh working directory holding only the named fonts (the addon opens them by relative path).
function fontsOnly(names) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-fonts-'));
  fs.mkdirSync(path.join(dir, 'app', 'assets', 'fonts'), { recursive: true });
  for (const n of names) fs.copyFileSync(path.join(FONT_DIR, n), path.join(dir, 'app', 'assets', 'fonts', n));
  return dir;
}

async function withHost(options, body) {
  const h = startDriven('text-driver.js', [], { display: xs.display, audio: 'null', ...options });
  const setup = await h.request({ op: 'setup' });
  assert.equal(setup.compiled, 0);
  const value = await body(h);
  await h.request({ op: 'quit' });
  return { result: assertOk(await h.done), value };
}

test('start-up and shutdown lines: FreeType after audio and before SDL, the glyph set at ready', async () => {
  const { result } = await withHost({}, async () => {});
  const out = nativeOut(result).split('\n');
  const at = (line) => out.indexOf(line);
  assert.ok(at('OpenAL initialized OK') >= 0, result.stdout);
  assert.equal(at('FreeType initialized OK'), at('OpenAL initialized OK') + 1);
  assert.equal(at('SDL2 initialized OK'), at('FreeType initialized OK') + 1);
  const fontsReady = at('Fonts initialized OK');
  assert.ok(fontsReady > at('SDL2 initialized OK') && fontsReady < at('Native ready'));
  assert.ok(at('Closing SDL') > at('Quitting Native'));
  assert.equal(out.filter((l) => /Font|FreeType/.test(l)).length, 2);
  assert.doesNotMatch(result.stderr, /FreeType|Unable to open|Error freeing|Not sorted|Out of/);
});

test('run from a folder outside the package, the faces and the icon come from the addon\'s package', async () => {
  const cwd = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-elsewhere-'));
  const { result, value } = await withHost({ cwd }, async (h) => {
    const env = { ...process.env, DISPLAY: xs.display };
    const id = execFileSync('xdotool', ['search', '--name', '^Tessimarke$'], { env, encoding: 'utf8' }).trim();
    const icon = execFileSync('xprop', ['-id', id, '_NET_WM_ICON'], { env, encoding: 'utf8' });
    return { icon, widths: await h.request({ op: 'measure', cases: [['abc', 16, 0], ['abc', 48, 1], ['abc', 48, 2]] }) };
  });
  assert.deepEqual(value.widths, [24, expectedWidth(on('mono', 'abc'), 48), expectedWidth(on('sans', 'abc'), 48)]);
  assert.match(value.icon, /^_NET_WM_ICON\(CARDINAL\) = \s*Icon \(64 x 64\):/);
  assert.doesNotMatch(result.stderr, /Unable to open|Paths tried|Error loading icon/);
  fs.rmSync(cwd, { recursive: true });
});

test('a missing first face: one line naming the paths tried, no further face tried, every lookup answers no glyph', async () => {
  const cwd = fontsOnly(['NotoSans-Regular.ttf', 'unifont.ttf']);
  // The addon's own package (an empty folder) lacks the face as well.
  const pkg = isolatedAddon();
  const { result, value } = await withHost({ cwd, env: pkg.env }, async (h) => {
    const widths = await h.request({ op: 'measure', cases: [['abc', 16, 0], ['abc', 48, 1], ['abc', 48, 2], ['', 16, 0]] });
    const results = await h.request({ op: 'step', runs: [{ text: 'abc', size: 16, font: 0 }, { text: 'abc', size: 48, font: 6 }] });
    return { widths, results, batches: await h.request({ op: 'batches', max: 0 }) };
  });
  assert.deepEqual(value.widths, [0, 0, 0, 0]);
  assert.deepEqual(value.results, [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]);
  assert.deepEqual(value.batches.map((b) => b.triangles), [0, 0]);
  assert.match(result.stderr, new RegExp('^Unable to open app/assets/fonts/IBMPlexMono-Regular.ttf: 1\n'
    + `Paths tried: app/assets/fonts/IBMPlexMono-Regular.ttf, ${fs.realpathSync(pkg.dir)}/app/assets/fonts/IBMPlexMono-Regular.ttf\n`, 'm'));
  assert.equal(result.stderr.match(/Unable to open[^\n]*\n/g).join(''),
    'Unable to open app/assets/fonts/IBMPlexMono-Regular.ttf: 1\n');
  assert.doesNotMatch(result.stdout, /FreeType initialized OK/);
  // The glyph set is still built; it just holds nothing.
  assert.match(result.stdout, /Fonts initialized OK/);
  fs.rmSync(cwd, { recursive: true });
  fs.rmSync(pkg.dir, { recursive: true });
});

test('a missing sans face: the mono face still works, and a run ends where it needs a face that did not open', async () => {
  const cwd = fontsOnly(['IBMPlexMono-Regular.ttf', 'unifont.ttf']);
  // The addon runs from a package that is the working directory itself: one place to look.
  const { env } = isolatedAddon(cwd);
  const { result, value } = await withHost({ cwd, env }, async (h) => {
    const widths = await h.request({ op: 'measure', cases: [['ab', 48, 1], ['ab\u{1F600}cd', 48, 1], ['ab', 48, 2], ['ab', 16, 0], ['ab', 16, 3]] });
    await h.request({ op: 'step', runs: [{ text: 'ab\u{1F600}cd', x: 10, y: 100, size: 48, font: 1 }, { text: 'ab', size: 48, font: 6 }] });
    return { widths, batches: await h.request({ op: 'batches', max: 0 }) };
  });
  const ab = expectedWidth(on('mono', 'ab'), 48);
  // The fallback face opens after the sans face, so it was never tried either.
  assert.deepEqual(value.widths, [ab, ab, 0, 0, 0]);
  assert.deepEqual(value.batches.map((b) => b.triangles), [4, 0]);
  assert.equal(result.stderr.match(/Unable to open[^\n]*\n/g).join(''), 'Unable to open app/assets/fonts/NotoSans-Regular.ttf: 1\n');
  assert.match(result.stderr, /^Unable to open [^\n]*\nPaths tried: app\/assets\/fonts\/NotoSans-Regular\.ttf\n/m);
  fs.rmSync(cwd, { recursive: true });
});

test('measureText: widths follow from the faces\' advances, scaled from each face\'s pixel size', async () => {
  const ascii = Array.from({ length: 95 }, (_, i) => String.fromCharCode(32 + i)).join('');
  const cases = [
    ['abc', 16, 0, 24], ['abc', 32, 0, 48], ['abc', 16, 3, 24], ['', 48, 1, 0], ['', 16, 2, 0],
    [ascii, 48, 1, expectedWidth(on('mono', ascii), 48)],
    [ascii, 48, 2, expectedWidth(on('sans', ascii), 48)],
    [ascii, 96, 2, expectedWidth(on('sans', ascii), 96)],
    [ascii, 13.5, 0, expectedWidth(on('fallback', ascii), 13.5)],
    // Sans at 48 is half its 96-pixel advances.
    ['W', 48, 2, advance64('sans', 0x57) / 64 / 2],
    // Greek: the mono face covers it (row 50), the sans face does not; Devanagari only the fallback.
    ['\u0391\u03a9', 48, 1, expectedWidth(on('mono', '\u0391\u03a9'), 48)],
    ['\u0391\u03a9', 32, 2, expectedWidth(on('fallback', '\u0391\u03a9'), 32)],
    ['\u0915', 32, 2, expectedWidth(on('fallback', '\u0915'), 32)],
    // Cyrillic and Latin Extended from the sans face itself.
    ['\u0416\u0100', 48, 2, expectedWidth(on('sans', '\u0416\u0100'), 48)],
    // U+1F600 lies in no coverage row and not in the fallback face: its missing glyph, scaled by size / 16.
    ['\u{1F600}', 32, 1, expectedWidth([['fallback', 0x1F600]], 32)],
    ['a\u{1F600}b', 48, 2, expectedWidth([['sans', 0x61], ['fallback', 0x1F600], ['sans', 0x62]], 48)],
    // Wide fallback glyphs: 16-pixel cells.
    ['\u6f22\u5b57', 16, 0, 32],
    // A line feed is a character like any other.
    ['a\nb', 48, 1, expectedWidth(on('mono', 'a\nb'), 48)],
    // Only the low 16 bits are the font word, and measurement ignores the outline bit.
    ['abc', 48, 0x10001, expectedWidth(on('mono', 'abc'), 48)],
    ['abc', 48, 5, expectedWidth(on('mono', 'abc'), 48)],
    ['abc', 48, 6, expectedWidth(on('sans', 'abc'), 48)],
  ];
  const { value } = await withHost({}, (h) => h.request({ op: 'measure', cases: cases.map((c) => c.slice(0, 3)) }));
  cases.forEach((c, i) => assert.equal(value[i], c[3], `${JSON.stringify(c.slice(0, 3))}`));
  assert.equal(value[0], 24);
  assert.equal(value[1], 48);
});

test('fallback glyphs never meet the requested face\'s own glyph of the same index', async () => {
  // U+0915 (mono coverage row 40, not in the mono face) is the mono face's missing glyph, index 0;
  // U+1F600 is the fallback face's missing glyph, also index 0, for the same font id 1.
  const order = [['\u0915', 48, 1], ['\u{1F600}', 16, 1], ['\u{1F601}', 16, 1], ['\u0916', 48, 1], ['\u0915\u{1F600}', 48, 1]];
  const { value } = await withHost({}, (h) => h.request({ op: 'measure', cases: order }));
  const mono0 = expectedWidth([['mono', 0x0915]], 48);
  const fallback0 = expectedWidth([['fallback', 0x1F600]], 16);
  assert.notEqual(mono0 / 3, fallback0);
  assert.deepEqual(value, [mono0, fallback0, fallback0, mono0, expectedWidth([['mono', 0x0915], ['fallback', 0x1F600]], 48)]);
});

test('a glyph FreeType fails to load is an empty glyph, not the bitmap of the glyph before it', async () => {
  const cwd = fontsOnly(['NotoSans-Regular.ttf', 'unifont.ttf']);
  fs.writeFileSync(path.join(cwd, 'app', 'assets', 'fonts', FACES.mono.file),
    withBrokenGlyph(path.join(FONT_DIR, FACES.mono.file), 0x41));
  const { value } = await withHost({ cwd }, async (h) => {
    const widths = await h.request({ op: 'measure', cases: [['A', 48, 1], ['@', 48, 1], ['AB', 48, 1], ['A', 48, 2]] });
    await h.request({ op: 'step', runs: [{ text: 'AB', x: 100, y: 500, size: 48, font: 1 }] });
    return { widths, batch: (await h.request({ op: 'batches', max: 4 }))[0] };
  });
  const B = expectedWidth(on('mono', 'B'), 48);
  assert.deepEqual(value.widths, [0, expectedWidth(on('mono', '@'), 48), B, expectedWidth(on('sans', 'A'), 48)]);
  // Its quad covers nothing; the next glyph is where an empty glyph leaves the pen.
  const v = value.batch.vertices;
  assert.equal(value.batch.triangles, 4);
  assert.deepEqual([v[0].pos, v[5].pos], [[100, 500, 0], [100, 500, 0]]);
  assert.ok(v[6].pos[0] >= 100 && v[6].pos[0] < 100 + B);
  fs.rmSync(cwd, { recursive: true });
});

test('the code map takes 65537 keys and the atlas 2048 rows; after that new characters are the first glyph or draw nothing, and what was placed keeps drawing', async () => {
  // Code points the fallback face maps, each to a glyph of its own.
  const fallback = FACES.fallback.metrics;
  const mapped = [];
  const gids = new Set();
  for (let cp = 0x20; cp < 0x10000; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const gid = fallback.glyphIndex(cp);
    if (gid !== 0 && !gids.has(gid)) { gids.add(gid); mapped.push(cp); }
  }
  const text = String.fromCodePoint(...mapped);
  const block = { text: '\u2588', x: 400, y: 550, size: 64, font: 0 };
  const { result, value } = await withHost({}, async (h) => {
    await h.request({ op: 'step', color: [1, 1, 1, 1], runs: [block] });
    await h.request({ op: 'step', runs: [block] });
    const before = (await h.request({ op: 'batches', max: 2 }))[0].vertices[0];
    // Font 0 then font 3: the 256 preloaded code keys plus these fill the code map during the second.
    const widths = await h.request({ op: 'measure', cases: [[text, 16, 0], [text, 16, 3], ['\u{E000}', 48, 1]] });
    await h.request({ op: 'render', frames: 2 });
    await h.request({ op: 'step', runs: [block, { text: text.slice(-3000), x: 0, y: 700, size: 16, font: 0 }] });
    await h.request({ op: 'render', frames: 1 });
    const batch = await h.request({ op: 'batches', max: 3002 });
    return { widths, before, batch, shot: await screenshot(xs.display) };
  });
  // Font 3 code points that still got a key of their own: the map holds at most 65537 keys.
  const full = 65537 - 256 - mapped.length;
  assert.ok(full > 0 && full < mapped.length);
  const first = [['mono', 0]];  // the first record of the store: the mono face's U+0000
  assert.equal(value.widths[0], expectedWidth(mapped.map((cp) => ['fallback', cp]), 16));
  assert.equal(value.widths[1], expectedWidth([...mapped.slice(0, full).map((cp) => ['fallback', cp]),
    ...mapped.slice(full).map(() => first[0])], 16));
  assert.equal(value.widths[2], expectedWidth(first, 48));
  // The store itself never fills: the preload's shared code keys keep the map ahead of it.
  assert.doesNotMatch(result.stderr, /Out of glyph structure memory/);
  assert.equal(result.stderr.split('Error: Out of height for font atlas!\n').length, 2);
  // The block placed before keeps its rectangle and its pixels.
  const q = quadsOf(value.batch[0].vertices);
  assert.deepEqual(q[0].uv, [value.before.uv[0], value.before.uv[1]]);
  assert.deepEqual([q[0].w, q[0].h], [32, 64]);
  for (const [dx, dy] of [[4, 4], [16, 32], [28, 60]]) assert.deepEqual(value.shot.pixel(q[0].x0 + dx, q[0].y0 + dy), [255, 255, 255]);
  // Glyphs that found no room draw nothing; others were placed beside them.
  const sizes = q.slice(1).map((g) => g.w * g.h);
  assert.ok(sizes.some((a) => a === 0) && sizes.some((a) => a > 0));
});

test('measureText checks its arguments', async () => {
  const r1 = await runHost('text-measure-args.js', ['count'], { display: xs.display, audio: 'null' });
  assert.equal(assertAborted(r1, 'argc == lengthof(args)'), 'gfx');
  const r2 = await runHost('text-measure-args.js', ['not-string'], { display: xs.display, audio: 'null' });
  assert.equal(assertAborted(r2, 'status == napi_ok'), 'gfx');
  const r3 = await runHost('text-measure-args.js', ['size-string'], { display: xs.display, audio: 'null' });
  assert.equal(assertAborted(r3, 'status == napi_ok'), 'gfx');
  // Before `ready` there is no glyph set: nothing to measure with.
  const r4 = assertOk(await runHost('text-measure-args.js', ['before-ready'], { display: xs.display, audio: 'null' }));
  assert.deepEqual(r4.results, [0]);
});
