'use strict';
// One case of the whole-addon fuzz host (started by addon-fuzz.js): from a case seed it makes the
// fixed blocks at random sizes, a random bufferIDs table over random blocks, readies the graphics,
// and then runs random steps: command streams with wild operands, text and sizes, tables changed
// and registered again before `render`, wild floats and fill lengths in the blocks they name (the
// size pair's among them), wild event offsets before `poll`, buffer calls at edge sizes and ids,
// blocks re-created (fixed ones, made ones, pool slices) and collected, sounds, clipboard and
// quality setters. Then `quit`.
//
//   node --expose-gc addon-fuzz-host.js CASE_SEED MODE STEPS
//
// MODE `safe` stays inside every documented contract of argument types, counts and ids: the case
// must end cleanly. MODE `risky` then goes on past them (wrong types and counts, ids out of range,
// a full pool, calls after quit): it must end cleanly or in exactly one deliberate check.
// Each action is announced on standard output ("~ ...") before it runs, so that the driver can show
// the last ones when a case fails.
const fs = require('node:fs');
const path = require('node:path');

const { addon } = require('../hosts/common');
const { ENTRY_BYTES, TABLE_ENTRIES, VERTEX_SHADERS, FRAGMENT_SHADERS } = require('../hosts/graphics');

const caseSeed = Number(process.argv[2]) >>> 0;
const mode = process.argv[3] || 'safe';
const STEPS = Number(process.argv[4] || 40);

// ---- seeded randomness (xorshift32; the case seed alone decides everything) --------------------
let state = caseSeed || 0x9e3779b9;
function next() {
  state ^= state << 13; state >>>= 0;
  state ^= state >>> 17;
  state ^= state << 5; state >>>= 0;
  return state;
}
const int = (n) => next() % n;                      // 0 .. n-1
const chance = (p) => next() / 4294967296 < p;
const pick = (list) => list[int(list.length)];
const between = (lo, hi) => lo + int(hi - lo + 1);

// Numbers a host could write into a word: small integers and fractions, the edges of the integer
// conversions, huge, tiny, negative zero, infinities and NaN.
function wildNumber() {
  switch (int(12)) {
    case 0: return NaN;
    case 1: return pick([Infinity, -Infinity]);
    case 2: return pick([1e30, -1e30, 3.4e38, 3.5e38, -3.5e38, 1.7976931348623157e308, -1.7976931348623157e308]);
    case 3: return pick([2 ** 31, 2 ** 31 - 1, -(2 ** 31), -(2 ** 31) - 1, 2 ** 32, 2 ** 32 + 1, 2 ** 53, -(2 ** 63), 2 ** 64]);
    case 4: return pick([-0, 5e-324, 1e-310, -1e-40]);
    case 5: return (next() / 65536) - 32768;
    case 6: return -between(0, 300);
    default: return between(0, 300) + (chance(0.3) ? next() / 4294967296 : 0);
  }
}

// Text: ASCII, scripts the faces cover and do not, emoji, lone surrogates, controls; any length.
function wildText(max = 200) {
  const n = chance(0.05) ? between(1000, 5000) : int(max);
  let s = '';
  for (let i = 0; i < n; i++) {
    switch (int(8)) {
      case 0: s += String.fromCharCode(0xd800 + int(0x800)); break;   // a lone surrogate
      case 1: s += String.fromCodePoint(0x1f600 + int(80)); break;
      case 2: s += String.fromCodePoint(pick([0x3b1, 0x416, 0x928, 0x4e2d, 0xfffd, 0xfeff, 0x10ffff])); break;
      case 3: s += String.fromCharCode(int(32)); break;
      case 4: s += String.fromCodePoint(int(0x30000)); break;
      default: s += String.fromCharCode(32 + int(95));
    }
  }
  return s;
}

function announce(text) { process.stdout.write(`~ ${text}\n`); }
const show = (v) => (Object.is(v, -0) ? '-0' : String(v));

// ---- blocks -----------------------------------------------------------------------------------
const BUFFER_COUNT = 256;
// Ids the case leaves unspent, so that the table and its blocks always find one.
const RESERVED_IDS = 40;
let nextId = 8;              // the addon hands ids out in order from 8
const keep = [];             // every ArrayBuffer whose id is in use
const madeBlocks = [];       // { buffer, id } of every block made by nextBuffer
const fixed = {};            // the fixed blocks' current ArrayBuffers, by id
const FIXED_IDS = { header: 0, pool: 1, command: 2, result: 3, event: 4, debug: 5, usb: 6, string: 7 };

function blockSize(kind) {
  const sizes = {
    pool: [0, 1, 2, 64, 4096, 65536],
    command: [0, 1, 7, 8, 9, 16, 40, 64, 4096, 65536],
    result: [0, 1, 8, 16, 64, 4096, 65536],
    event: [0, 1, 2, 3, 10, 11, 12, 64, 4096],
    debug: [0, 1, 16],
    usb: [0, 1, 36, 37, 64],
    string: [0, 1, 5, 16, 4096, 65536],
  };
  return kind === 'header' ? 1024 + 4 * int(4) : pick(sizes[kind]);
}

function initFixed(name, size) {
  const id = FIXED_IDS[name];
  announce(`initBuffer(${id}, ${size})`);
  const buffer = addon.initBuffer(id, size);
  if (fixed[id] && chance(0.5)) keep.push(fixed[id]);  // sometimes the old block stays referenced
  fixed[id] = buffer;
  return buffer;
}

const header = () => new DataView(fixed[0]);
const setLen = (id, value) => header().setUint32(4 * id, value >>> 0, true);
const getLen = (id) => header().getUint32(4 * id, true);

function newBlock(size) {
  if (nextId >= BUFFER_COUNT - 1) return null;
  announce(`nextBuffer(${size})`);
  const [buffer, id] = addon.nextBuffer(size);
  // The addon takes ids of its own too (at `ready`): ids only ever go up.
  if (id < nextId) throw new Error(`nextBuffer gave id ${id}, below the next free id ${nextId}`);
  nextId = id + 1;
  keep.push(buffer);
  madeBlocks.push({ buffer, id });
  return { buffer, id };
}

// A pool slice's ArrayBuffer is a view into POOL_BUFFER's block, which a re-created pool may let go:
// the host never writes through it, only the addon reaches it (through the table).
function newSlice(len) {
  const poolBytes = fixed[1].byteLength;
  if (nextId >= BUFFER_COUNT - 1 || getLen(1) + len >= poolBytes) return null;
  announce(`nextPool(${len})`);
  const [buffer, id] = addon.nextPool(len);
  if (id < nextId) throw new Error(`nextPool gave id ${id}, below the next free id ${nextId}`);
  nextId = id + 1;
  keep.push(buffer);
  return { buffer, id };
}

// ---- the bufferIDs table -----------------------------------------------------------------------
const madeIds = [];
function tableEntryValue(entry) {
  switch (int(10)) {
    case 0: return int(8);                          // a fixed block
    case 1: return between(nextId, 255);            // no block (yet)
    case 2: return int(65536);                      // past every id
    case 3: return madeIds.length ? pick(madeIds) : 0;
    default: return entry in blockFor ? blockFor[entry] : int(8);
  }
}
const blockFor = {};

function makeTable() {
  // Blocks for the entries: the size the pipelines expect for a small capacity, or an edge size.
  const capacity = pick([1, 3, 64, 1000]);
  for (const e of Object.keys(ENTRY_BYTES).map(Number)) {
    if (nextId > BUFFER_COUNT - RESERVED_IDS) break;
    const expected = e === 0 ? 8 : e <= 5 ? 64 : e <= 7 ? 12 : e === 25 ? 72 : Math.round(ENTRY_BYTES[e] / 100000 * capacity);
    const size = chance(0.7) ? expected : pick([0, 1, 4, 7, 8, 11, 12, 63, expected - 1, expected + 1, expected * 2]);
    const made = chance(0.15) ? newSlice(Math.max(0, size)) : newBlock(Math.max(0, size));
    if (made) { blockFor[e] = made.id; madeIds.push(made.id); }
  }
  const tableBytes = chance(0.8) ? TABLE_ENTRIES * 2 : pick([0, 1, 3, 20, 57, 64]);
  const table = newBlock(tableBytes);
  if (!table) return null;
  madeIds.push(table.id);
  const view = new DataView(table.buffer);
  for (let e = 0; 2 * e + 1 < tableBytes; e++) view.setUint16(2 * e, chance(0.8) && e in blockFor ? blockFor[e] : tableEntryValue(e), true);
  return { id: table.id, view, bytes: tableBytes };
}

function mutateTable(table) {
  if (!table || table.bytes < 2) return;
  // Entry 0 (where the size pair lives) more often than the others.
  const e = chance(0.3) ? 0 : int(table.bytes >> 1);
  const value = tableEntryValue(e);
  announce(`table[${e}] = ${value}`);
  table.view.setUint16(2 * e, value, true);
}

// ---- steps ------------------------------------------------------------------------------------
// Words per command by opcode, the opcode included (0: skipped one word at a time).
const COMMAND_WORDS = [0, 7, 2, 2, 3, 1, 1, 1, 1, 3, 8, 0, 5, 5, 0, 7, 4, 7, 5];
const OPS = [1, 2, 3, 4, 5, 6, 7, 9, 10, 12, 13, 11, 0, 14, 15, 16, 17, 18, 18, 19, -1];
// Sources the addon has answered command 1 with: the only ones a host may stop (stopping any other
// is a deliberate check).
const knownSources = [];

// The opcode the command walk reads from a word: truncated toward zero, none outside int32.
function opcodeOf(word) {
  if (!(word > -2147483649 && word < 2147483648)) return 0;
  return Math.trunc(word);
}

// Writes a random step of commands; answers the word indices of its play commands.
function writeCommands() {
  const words = new Float64Array(fixed[2], 0, fixed[2].byteLength >> 3);
  const results = new Float64Array(fixed[3], 0, fixed[3].byteLength >> 3);
  const strings = new Uint8Array(fixed[7]);
  const plays = [];
  let n = 0;
  while (n < words.length && !chance(0.1)) {
    let word = chance(0.85) ? pick(OPS) : wildNumber();
    if (chance(0.1)) word += word < 0 ? -0.5 : 0.5;
    const op = opcodeOf(word);
    const length = op >= 1 && op < COMMAND_WORDS.length && COMMAND_WORDS[op] ? COMMAND_WORDS[op] : 1;
    if (op === 3 && mode !== 'risky' && chance(0.5)) continue;
    if ((op === 1 || op === 17) && n < results.length) { plays.push(n); results[n] = NaN; }
    words[n++] = word;
    for (let k = 1; k < length && n < words.length; k++) {
      let operand;
      if (op === 9 || op === 10) {
        // Offsets and lengths inside the string block most of the time.
        operand = k === 1 ? int(strings.length + 2) : k === 2 ? int(64) : k === 5 ? pick([0, 8, 16, 48, 200, wildNumber()]) : wildNumber();
      } else if (op === 18) {
        // drawMeshes: a made block (its records as wildRecords left them) or a wild id; a range
        // mostly inside it; a palette block, none (-1) or a wild id.
        const madeId = () => (madeBlocks.length ? pick(madeBlocks).id : int(BUFFER_COUNT));
        operand = k === 1 || k === 4 ? (chance(0.8) ? madeId() : k === 4 && chance(0.5) ? -1 : wildNumber())
          : chance(0.7) ? int(k === 2 ? 8 : 40) : wildNumber();
      } else if (op === 3 && k === 1 && mode !== 'risky') {
        operand = knownSources.length && chance(0.8) ? pick(knownSources) : 0;
      } else {
        operand = chance(0.5) ? between(0, 70) : wildNumber();
      }
      words[n++] = operand;
    }
  }
  // A count past the step's words runs what lies after them: words that are skipped.
  words.fill(0, n);
  const count = chance(0.8) ? n : pick([0, 1, n + 1, words.length, words.length + 7, 0xffffffff, 0x80000000]);
  announce(`commands: ${n} words, count ${count}: ${Array.from(words.subarray(0, Math.min(n, 24)), show).join(' ')}`);
  setLen(2, count);
  return plays;
}

function runStep() {
  const plays = writeCommands();
  announce('tick');
  addon.tick();
  // A play that ran has its source (or 0) in place of the NaN put there.
  const results = new Float64Array(fixed[3], 0, fixed[3].byteLength >> 3);
  for (const i of plays) {
    const r = results[i];
    if (r > 0 && Number.isInteger(r) && !knownSources.includes(r)) knownSources.push(r);
  }
}

function writeStrings() {
  const strings = new Uint8Array(fixed[7]);
  if (chance(0.5)) {
    const { written } = new TextEncoder().encodeInto(wildText(), strings.subarray(int(strings.length + 1)));
    announce(`strings: ${written} bytes of text`);
  } else {
    for (let i = 0; i < strings.length && i < 512; i++) strings[i] = int(256);
    announce('strings: random bytes');
  }
}

// Files the driver makes for a run (TESSIMARKE_FUZZ_FILES): a chain of mono 22.05 kHz then stereo
// 44.1 kHz, and a FIFO nobody writes to. Run alone, the host finds them missing.
const FUZZ_FILES = process.env.TESSIMARKE_FUZZ_FILES || 'no/fuzz/files';
const SOUND_PATHS = ['app/assets/sounds/chime.ogg', 'app/assets/sounds/blip.ogg', 'no/such/file.ogg', 'README.md', 'app', '',
  path.join(FUZZ_FILES, 'chained.ogg'), path.join(FUZZ_FILES, 'nobody.fifo')];

function step(table) {
  switch (int(21)) {
    case 0: case 1: case 2: runStep(); break;
    case 3: writeStrings(); break;
    case 4: mutateTable(table); break;
    case 5: case 6: announce('render'); addon.render(); break;
    case 7: {
      const offset = chance(0.5) ? 0 : pick([1, 2, 3, fixed[4].byteLength, fixed[4].byteLength + 1, 0xffffffff, int(70000)]);
      announce(`poll with event offset ${offset}`);
      setLen(4, offset);
      addon.poll();
      if (getLen(4) > fixed[4].byteLength && getLen(4) !== offset) throw new Error(`event offset ${getLen(4)} past the block of ${fixed[4].byteLength}`);
      break;
    }
    case 8: announce('pollUSB'); addon.pollUSB(); break;
    case 9: {
      const text = wildText(), size = wildNumber(), font = chance(0.7) ? int(8) : wildNumber();
      announce(`measureText(${text.length} chars, ${show(size)}, ${show(font)})`);
      const w = addon.measureText(text, size, font);
      if (typeof w !== 'number') throw new Error('measureText answered a non-number');
      break;
    }
    case 10: {
      const setter = pick(['setShadowQuality', 'setSsaoQuality', 'setAntialias']);
      const n = chance(0.5) ? int(6) - 1 : wildNumber();
      announce(`${setter}(${show(n)})`);
      addon[setter](n);
      break;
    }
    case 11: {
      const text = wildText(60);
      announce(`copy(${text.length} chars)`);
      addon.copy(text);
      if (chance(0.5)) { announce('paste'); addon.paste(); }
      break;
    }
    case 12: {
      // Re-create a fixed block (never the header smaller than every id needs).
      const name = pick(['pool', 'command', 'result', 'event', 'debug', 'usb', 'string', 'header']);
      initFixed(name, blockSize(name));
      break;
    }
    case 13: {
      const id = int(BUFFER_COUNT);
      announce(`getBuffer(${id})`);
      const view = addon.getBuffer(id);
      if (view.byteLength) new Uint8Array(view)[view.byteLength - 1] ^= 0;
      break;
    }
    case 14: {
      if (nextId < BUFFER_COUNT - RESERVED_IDS / 2) {
        if (chance(0.5)) newBlock(pick([0, 1, 7, 8, 4095, 65536, int(1 << 20)]));
        else newSlice(pick([0, 1, 2, 7, int(300)]));
      }
      break;
    }
    case 15: {
      const id = int(256);
      if (chance(0.5)) {
        const file = pick(SOUND_PATHS), ws = chance(0.7) ? between(0, 3) : wildNumber(), ch = chance(0.7) ? between(0, 3) : wildNumber();
        announce(`loadAudio(${id}, ${file}, ${show(ws)}, ${show(ch)})`);
        addon.loadAudio(id, file, ws, ch);
      } else {
        const data = Buffer.alloc(pick([0, 1, 2, 3, 4, 101, 4096]));
        for (let i = 0; i < data.length; i++) data[i] = int(256);
        const format = chance(0.7) ? between(4352, 4356) : wildNumber(), rate = chance(0.5) ? pick([8000, 44100, 1, 0]) : wildNumber();
        announce(`initALBuffer(${id}, ${data.length} bytes, ${show(format)}, ${show(rate)})`);
        addon.initALBuffer(id, data, format, rate);
      }
      break;
    }
    case 16: {
      // Vertex data, matrices and the size pair are the host's to write: wild floats into a block the
      // table may name, and a wild fill length for it.
      const pairBlock = madeBlocks.find((b) => b.id === blockFor[0]);
      const made = pairBlock && chance(0.3) ? pairBlock : madeBlocks.length ? pick(madeBlocks) : null;
      if (!made || made.buffer.byteLength < 4) break;
      const floats = new Float32Array(made.buffer, 0, made.buffer.byteLength >> 2);
      for (let k = 0; k < 16; k++) floats[int(floats.length)] = wildNumber();
      const fill = chance(0.5) ? int(floats.length + 2) : pick([0xffffffff, 0x80000000, int(1 << 24)]);
      announce(`wild floats into block ${made.id}, fill length ${fill}`);
      setLen(made.id, fill);
      break;
    }
    case 17: {
      // The table registered again (the size pair moves into the block entry 0 names), or another one.
      const id = table && chance(0.8) ? table.id : int(BUFFER_COUNT);
      announce(`setBuffers(${id})`);
      addon.setBuffers(id);
      break;
    }
    case 18: {
      // A block made earlier (a pool slice included) re-created at another size under its id.
      if (nextId <= 8) break;
      const id = between(8, nextId - 1), size = pick([0, 1, 8, 12, 64, int(5000)]);
      announce(`initBuffer(${id}, ${size})`);
      const buffer = addon.initBuffer(id, size);
      keep.push(buffer);
      const made = madeBlocks.find((b) => b.id === id);
      if (made) made.buffer = buffer; else madeBlocks.push({ buffer, id });
      break;
    }
    case 19: extensionCall(); break;
    default:
      if (global.gc) { announce('gc'); global.gc(); }
  }
}

// ---- the extension exports, within their contracts ---------------------------------------------
// Besides the project's own, the driver's damaged and hostile images (image-<n>.png) and its FIFO.
const IMAGE_PATHS = ['app/icons/icon.png', 'app/assets/sounds/chime.ogg', 'no/such/image.png', 'app', '',
  path.join(FUZZ_FILES, 'nobody.fifo'), ...Array.from({ length: 24 }, (_, i) => path.join(FUZZ_FILES, `image-${i}.png`))];

// A window side: mostly small, sometimes wild; never a large in-range one (screen-sized targets).
function windowSide() {
  const v = chance(0.7) ? between(1, 900) : wildNumber();
  return v > 1200 && v <= 8192 ? 1200 : v;
}

// Instance records (mesh ids mostly among the first few, any batch, palette ranges near and past the
// palette, wild matrices) or a mesh block (a header whose count and flags mostly fit the block,
// then wild sections) written over a made block.
function wildMeshData(made) {
  const u = new Uint32Array(made.buffer, 0, made.buffer.byteLength >> 2);
  const f = new Float32Array(made.buffer, 0, u.length);
  if (u.length < 16) return;
  if (chance(0.5)) {
    for (let r = 0; r + 24 <= u.length && r < 24 * 16; r += 24) {
      u[r] = chance(0.8) ? int(6) : next(); u[r + 1] = chance(0.8) ? int(4) : next();
      u[r + 2] = chance(0.7) ? int(8) : next(); u[r + 3] = chance(0.7) ? int(300) : next();
      for (let k = 4; k < 24; k++) f[r + k] = chance(0.8) ? (k % 5 === 4 ? 1 : next() / 4294967296) : wildNumber();
    }
    return;
  }
  const flags = chance(0.9) ? int(16) : next();
  const perVertex = 3 + (flags & 1 ? 3 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 2 : 0) + (flags & 8 ? 6 : 0);
  const fits = Math.floor((u.length - 16) / perVertex);
  u[0] = chance(0.8) ? fits - (fits % 3) : chance(0.5) ? fits + 1 : next();
  u[1] = flags;
  for (let k = 2; k < 8; k++) f[k] = chance(0.7) ? int(64) : wildNumber();
  for (let k = 16; k < u.length && k < 16 + 4096; k++) if (chance(0.2)) f[k] = wildNumber();
}

// Mesh ids the addon answered createMesh with.
const meshIds = [];

function extensionCall() {
  switch (int(10)) {
    case 7: {
      const made = madeBlocks.length ? pick(madeBlocks) : null;
      if (made && chance(0.8)) wildMeshData(made);
      const id = made && chance(0.9) ? made.id : wildNumber();
      announce(`createMesh(${show(id)})`);
      const r = addon.createMesh(id);
      if (!Number.isInteger(r) || r < -3 || r >= 1024) throw new Error(`createMesh answered ${r}`);
      if (r >= 0) meshIds.push(r);
      break;
    }
    case 8: {
      if (chance(0.5) && madeBlocks.length) {
        const made = pick(madeBlocks);
        announce(`wild mesh data into block ${made.id}`);
        wildMeshData(made);
        break;
      }
      const id = meshIds.length && chance(0.7) ? meshIds.splice(int(meshIds.length), 1)[0] : chance(0.5) ? int(1024) : wildNumber();
      announce(`releaseMesh(${show(id)})`);
      const r = addon.releaseMesh(id);
      if (r !== 0 && r !== -4) throw new Error(`releaseMesh answered ${r}`);
      break;
    }
    case 0: {
      const title = wildText(chance(0.1) ? 3000 : 60);
      announce(`setWindowTitle(${title.length} characters)`);
      addon.setWindowTitle(title);
      break;
    }
    case 1: {
      const w = windowSide(), h = windowSide();
      announce(`setWindowSize(${show(w)}, ${show(h)})`);
      addon.setWindowSize(w, h);
      break;
    }
    case 2: {
      const scale = chance(0.6) ? pick([0.25, 0.5, 0.75, 1]) : wildNumber();
      announce(`setRenderScale(${show(scale)})`);
      addon.setRenderScale(scale);
      break;
    }
    case 3: {
      const type = chance(0.7) ? 1027 : wildNumber(), on = chance(0.5);
      announce(`enableEvent(${show(type)}, ${on})`);
      addon.enableEvent(type, on);
      break;
    }
    case 4: {
      if (chance(0.3)) { announce('stopMusic'); addon.stopMusic(); break; }
      const file = pick(SOUND_PATHS), gain = chance(0.7) ? next() / 4294967296 : wildNumber();
      const start = chance(0.5) ? -1 : wildNumber(), end = chance(0.5) ? 0 : wildNumber();
      announce(`playMusic(${file}, ${show(gain)}, ${show(start)}, ${show(end)})`);
      addon.playMusic(file, gain, start, end);
      break;
    }
    case 5: {
      const id = int(256), file = pick(IMAGE_PATHS);
      announce(`loadImage(${id}, ${file})`);
      addon.loadImage(id, file);
      break;
    }
    default: {
      const id = int(256);
      const w = chance(0.7) ? between(0, 64) : wildNumber(), h = chance(0.7) ? between(0, 64) : wildNumber();
      const exact = w >= 0 && h >= 0 && w * h * 4 <= 1 << 16 && chance(0.7);
      const pixels = Buffer.alloc(exact ? Math.trunc(w) * Math.trunc(h) * 4 : pick([0, 1, 3, 4, 4096, int(1 << 16)]));
      for (let i = 0; i < pixels.length; i += 97) pixels[i] = int(256);
      announce(`setImage(${id}, ${pixels.length} bytes, ${show(w)}, ${show(h)})`);
      addon.setImage(id, pixels, w, h);
    }
  }
}

// ---- past the contracts (risky cases only) ----------------------------------------------------
function beyondContracts(afterQuit) {
  const calls = [
    () => addon.render(), () => addon.tick(), () => addon.poll(), () => addon.pollUSB(),
    () => addon.measureText(wildText(20), wildNumber(), int(4)), () => addon.loadAudio(int(256), SOUND_PATHS[0], 2, 1),
    () => addon.initALBuffer(int(256), Buffer.alloc(16), 4353, 8000), () => addon.copy('after'), () => addon.paste(),
    () => addon.setShadowQuality(int(4)), () => addon.setSsaoQuality(int(5)), () => addon.setAntialias(int(3)),
    () => addon.ready(), () => addon.quit(), () => addon.getBuffer(int(8)), () => addon.checkShaders(),
    () => extensionCall(),
  ];
  const wrong = [
    () => addon.initBuffer(256 + int(1000), 16), () => addon.getBuffer(wildNumber()), () => addon.nextPool(1 << 30),
    () => addon.setBuffers(300), () => addon.measureText(5, 5, 5), () => addon.copy(5), () => addon.initBuffer('2', 16),
    () => addon.tick(1), () => addon.loadAudio(int(256), 5, 2, 1), () => addon.createMesh('3'), () => addon.releaseMesh(), () => addon.initALBuffer(0, 'x', 4353, 8000),
    () => addon.initBuffer(0, 4), () => addon.nextBuffer(-1), () => addon.setShadowQuality('3'),
  ];
  for (let i = 0; i < 8; i++) {
    const useWrong = !afterQuit || chance(0.2);
    const k = useWrong ? int(wrong.length) : int(calls.length);
    announce(`beyond contracts: ${useWrong ? 'wrong' : 'after quit'} #${k}`);
    (useWrong ? wrong : calls)[k]();
  }
}

// ---- the case ---------------------------------------------------------------------------------
announce(`case ${caseSeed} ${mode}`);
for (const name of Object.keys(FIXED_IDS)) initFixed(name, blockSize(name));
const table = makeTable();
const firstTable = chance(0.9) && table ? table.id : int(BUFFER_COUNT);
announce(`setBuffers(${firstTable})`);
addon.setBuffers(firstTable);
const shaderDir = path.join(__dirname, '..', 'shaders');
for (const name of VERTEX_SHADERS) addon.compileShader(name, true, fs.readFileSync(path.join(shaderDir, name + '.vert'), 'utf8'));
for (const name of FRAGMENT_SHADERS) addon.compileShader(name, false, fs.readFileSync(path.join(shaderDir, name + '.frag'), 'utf8'));
addon.checkShaders();
for (let i = 0; i < 3; i++) if (chance(0.3)) mutateTable(table);
if (chance(0.2)) { announce('setShadowQuality before ready'); addon.setShadowQuality(wildNumber()); }
announce('ready');
addon.ready();
addon.startTicking(() => {
  try {
    for (let s = 0; s < STEPS; s++) step(table);
    if (mode === 'risky' && chance(0.3)) beyondContracts(false);
    announce('quit');
    addon.quit();
    if (mode === 'risky') beyondContracts(true);
  } catch (e) {
    // Thrown inside the addon's call of this function, an exception would end in the addon's check
    // on that call: say what it was and end here instead.
    process.stderr.write(`addon-fuzz-host: exception: ${e && e.stack}\n`);
    process.exit(3);
  }
});
announce('end');
