'use strict';
// Helpers of the text tests: a driven host (one JSON request per line, one report each), screenshots
// of the window taken from outside, the metrics a font file itself declares (units per em, character
// map, advance widths), read here independently of the addon to check its widths, and a font with
// one broken glyph.
const fs = require('node:fs');
const { execFile } = require('node:child_process');
const { promisify } = require('node:util');
const { runHost } = require('./harness');

const execFileP = promisify(execFile);

// Starts tests/hosts/<script> and returns { request(cmd) -> report, done -> result, lines() }.
function startDriven(script, args, options) {
  const waiting = [];
  const early = [];
  let child = null;
  const done = runHost(script, args, {
    ...options,
    onLine: (line, c) => {
      child = c;
      if (!line.startsWith('@result ')) return;
      const value = JSON.parse(line.slice(8));
      const next = waiting.shift();
      if (next) next(value); else early.push(value);
    },
  });
  const next = () => new Promise((resolve, reject) => {
    if (early.length) { resolve(early.shift()); return; }
    waiting.push(resolve);
    done.then((r) => reject(new Error(`host ended (${r.code} ${r.signal}):\n${r.stderr}`)));
  });
  const started = next();
  const request = async (cmd) => {
    await started;
    child.stdin.write(JSON.stringify(cmd) + '\n');
    return next();
  };
  return { request, done };
}

// The window titled exactly "Tessimarke" as raw RGB: { width, height, pixel(x, y) -> [r, g, b] }.
async function screenshot(display) {
  const env = { ...process.env, DISPLAY: display };
  const { stdout: ids } = await execFileP('xdotool', ['search', '--name', '^Tessimarke$'], { env });
  const id = ids.trim().split('\n').filter(Boolean).pop();
  const { stdout: geometry } = await execFileP('xdotool', ['getwindowgeometry', id], { env });
  const [, width, height] = /Geometry: (\d+)x(\d+)/.exec(geometry).map(Number);
  const { stdout } = await execFileP('import', ['-silent', '-window', id, '-depth', '8', 'rgb:-'],
    { env, encoding: 'buffer', maxBuffer: 64 << 20 });
  const pixel = (x, y) => Array.from(stdout.subarray((y * width + x) * 3, (y * width + x) * 3 + 3));
  return { width, height, pixel };
}

// Reads a TrueType or OpenType file's tables: unitsPerEm, glyphIndex(codePoint) through the
// Unicode character map (formats 4 and 12), advanceWidth(glyphIndex) in font units.
function fontMetrics(file) {
  const d = fs.readFileSync(file);
  const tables = {};
  const numTables = d.readUInt16BE(4);
  for (let i = 0; i < numTables; ++i) {
    const at = 12 + i * 16;
    tables[d.toString('latin1', at, at + 4)] = d.readUInt32BE(at + 8);
  }
  const unitsPerEm = d.readUInt16BE(tables.head + 18);
  const numberOfHMetrics = d.readUInt16BE(tables.hhea + 34);
  const advanceWidth = (gid) => d.readUInt16BE(tables.hmtx + 4 * Math.min(gid, numberOfHMetrics - 1));
  // The best Unicode subtable: format 12 (full range) if present, else format 4.
  let sub4 = null, sub12 = null;
  const cmap = tables.cmap;
  for (let i = 0; i < d.readUInt16BE(cmap + 2); ++i) {
    const platform = d.readUInt16BE(cmap + 4 + i * 8), encoding = d.readUInt16BE(cmap + 6 + i * 8);
    const at = cmap + d.readUInt32BE(cmap + 8 + i * 8);
    const unicode = platform === 0 || (platform === 3 && (encoding === 1 || encoding === 10));
    if (!unicode) continue;
    const format = d.readUInt16BE(at);
    if (format === 12) sub12 = at; else if (format === 4) sub4 = at;
  }
  function glyphIndex(cp) {
    if (sub12 !== null) {
      const groups = d.readUInt32BE(sub12 + 12);
      for (let g = 0; g < groups; ++g) {
        const at = sub12 + 16 + g * 12;
        const start = d.readUInt32BE(at), end = d.readUInt32BE(at + 4);
        if (cp >= start && cp <= end) return d.readUInt32BE(at + 8) + cp - start;
      }
      return 0;
    }
    if (cp > 0xFFFF) return 0;
    const segX2 = d.readUInt16BE(sub4 + 6);
    const ends = sub4 + 14, starts = ends + segX2 + 2, deltas = starts + segX2, offsets = deltas + segX2;
    for (let s = 0; s < segX2 / 2; ++s) {
      if (cp > d.readUInt16BE(ends + 2 * s)) continue;
      const start = d.readUInt16BE(starts + 2 * s);
      if (cp < start) return 0;
      const delta = d.readInt16BE(deltas + 2 * s);
      const ro = d.readUInt16BE(offsets + 2 * s);
      if (ro === 0) return (cp + delta) & 0xFFFF;
      const g = d.readUInt16BE(offsets + 2 * s + ro + 2 * (cp - start));
      return g === 0 ? 0 : (g + delta) & 0xFFFF;
    }
    return 0;
  }
  return { unitsPerEm, glyphIndex, advanceWidth };
}

// A copy of a TrueType file in which the outline of one code point's glyph claims far more points
// than its data holds, so that FreeType fails to load that glyph (and only that one).
function withBrokenGlyph(file, codePoint) {
  const d = Buffer.from(fs.readFileSync(file));
  const tables = {};
  for (let i = 0; i < d.readUInt16BE(4); ++i) {
    const at = 12 + i * 16;
    tables[d.toString('latin1', at, at + 4)] = d.readUInt32BE(at + 8);
  }
  const gid = fontMetrics(file).glyphIndex(codePoint);
  const longOffsets = d.readInt16BE(tables.head + 50) === 1;
  const offset = longOffsets ? d.readUInt32BE(tables.loca + 4 * gid) : d.readUInt16BE(tables.loca + 2 * gid) * 2;
  const glyph = tables.glyf + offset;
  d.writeInt16BE(1, glyph);               // one contour ...
  d.writeUInt16BE(0xFFFF, glyph + 10);    // ... ending at point 65535
  return d;
}

module.exports = { startDriven, screenshot, fontMetrics, withBrokenGlyph };
