'use strict';
// One case of the whole-addon fuzz run (node --expose-gc addon-fuzz-host.js CASE_SEED safe|risky STEPS): from
// its seed, random blocks and table, then random steps through every export with wild arguments, and `quit`.
// A safe case keeps to the contracts; a risky one then goes past them. Each action is announced ("~ ...") first.
const path = require('node:path');
const { addon } = require('../hosts/common');
const { ENTRY_BYTES, TABLE_ENTRIES, registerAndCompile } = require('../hosts/graphics');

const seed = Number(process.argv[2]) >>> 0, risky = process.argv[3] === 'risky', STEPS = Number(process.argv[4] || 40);
let state = seed || 0x9e3779b9;  // xorshift32: the case seed alone decides everything
const next = () => { state ^= state << 13; state >>>= 0; state ^= state >>> 17; state ^= state << 5; return (state >>>= 0); };
const int = (n) => next() % n, unit = () => next() / 4294967296, chance = (p) => unit() < p;
const pick = (list) => list[int(list.length)], between = (lo, hi) => lo + int(hi - lo + 1);
const bytes = (n) => Buffer.from(Array.from({ length: n }, () => int(256)));
// Numbers a host could write: the ends of the integer conversions, huge, tiny, -0, infinities, NaN, or small.
const WILD = [[NaN], [Infinity, -Infinity], [1e30, -1e30, 3.4e38, 3.5e38, -3.5e38, Number.MAX_VALUE, -Number.MAX_VALUE],
  [2 ** 31, 2 ** 31 - 1, -(2 ** 31), -(2 ** 31) - 1, 2 ** 32, 2 ** 32 + 1, 2 ** 53, -(2 ** 63), 2 ** 64], [-0, 5e-324, 1e-310, -1e-40]];
const wild = () => [...WILD.map((l) => () => pick(l)), () => next() / 65536 - 32768, () => -between(0, 300)][int(12)]?.()
  ?? between(0, 300) + (chance(0.3) ? unit() : 0);
const mostly = (p, value) => (chance(p) ? value() : wild());
// ASCII, scripts the faces cover and do not, emoji, lone surrogates, controls; any length.
const CHARS = [() => 0xd800 + int(0x800), () => 0x1f600 + int(80), () => pick([0x3b1, 0x416, 0x928, 0x4e2d, 0xfffd, 0xfeff, 0x10ffff]),
  () => int(32), () => int(0x30000), () => 32 + int(95)];
const wildText = (max = 200) => Array.from({ length: chance(0.05) ? between(1000, 5000) : int(max) },
  () => String.fromCodePoint(CHARS[Math.min(int(8), 5)]())).join('');

const show = (v) => (typeof v === 'string' ? (v.length > 40 ? `${v.length} chars` : JSON.stringify(v))
  : Buffer.isBuffer(v) ? `${v.length} bytes` : Object.is(v, -0) ? '-0' : String(v));
const announce = (text) => process.stdout.write(`~ ${text}\n`);
const call = (name, ...args) => (announce(`${name}(${args.map(show).join(', ')})`), addon[name](...args));
// A call from a list: [name, ...arguments, each a value or a function that makes one], or a function.
const act = (e) => (typeof e === 'function' ? e() : call(e[0], ...e.slice(1).map((a) => (typeof a === 'function' ? a() : a))));

const BUFFER_COUNT = 256, RESERVED_IDS = 40;  // ids left unspent, so that the table always finds some
let nextId = 8;
// ArrayBuffers in use, made blocks, blocks 0-7, ids by table entry, meshes, and the sources command 1 answered.
const keep = [], made = [], fixed = [], blockFor = {}, madeIds = [], meshIds = [], sources = [];
const SIZES = [[1024, 1028, 1032, 1036], [0, 1, 2, 64, 4096, 65536], [0, 1, 7, 8, 9, 16, 40, 64, 4096, 65536],
  [0, 1, 8, 16, 64, 4096, 65536], [0, 1, 2, 3, 10, 11, 12, 64, 4096], [0, 1, 16], [0, 1, 36, 37, 64], [0, 1, 5, 16, 4096, 65536]];
const initFixed = (id) => { if (fixed[id] && chance(0.5)) keep.push(fixed[id]); fixed[id] = call('initBuffer', id, pick(SIZES[id])); };
const getLen = (id) => new DataView(fixed[0]).getUint32(4 * id, true);
const setLen = (id, value) => (announce(`length[${id}] = ${value}`), new DataView(fixed[0]).setUint32(4 * id, value >>> 0, true));
// A block or a pool slice (only the addon reaches it); null past the ids or the pool. Ids only ever go up.
function newBlock(size, slice = false) {
  if (nextId >= BUFFER_COUNT - 1 || (slice && getLen(1) + size >= fixed[1].byteLength)) return null;
  const [buffer, id] = call(slice ? 'nextPool' : 'nextBuffer', size);
  if (id < nextId) throw new Error(`id ${id} handed out below the next free id ${nextId}`);
  nextId = id + 1;
  keep.push(buffer);
  if (!slice) made.push({ buffer, id });
  return { buffer, id };
}

// A table entry: a fixed block, no block (yet), past every id, any made block, or the entry's own.
const entryValue = (e) => [() => int(8), () => between(nextId, 255), () => int(65536), () => (madeIds.length ? pick(madeIds) : 0)][int(10)]?.()
  ?? blockFor[e] ?? int(8);
function makeTable() {
  const capacity = pick([1, 3, 64, 1000]);
  for (const e of Object.keys(ENTRY_BYTES).map(Number)) {
    if (nextId > BUFFER_COUNT - RESERVED_IDS) break;
    const want = e === 0 ? 8 : e <= 5 ? 64 : e <= 7 ? 12 : e === 25 ? 72 : Math.round(ENTRY_BYTES[e] / 100000 * capacity);
    const block = newBlock(Math.max(0, chance(0.7) ? want : pick([0, 1, 4, 7, 8, 11, 12, 63, want - 1, want + 1, want * 2])), chance(0.15));
    if (block) madeIds.push(blockFor[e] = block.id);
  }
  const size = chance(0.8) ? TABLE_ENTRIES * 2 : pick([0, 1, 3, 20, 57, 64]), block = newBlock(size);
  if (!block) return null;
  madeIds.push(block.id);
  const view = new DataView(block.buffer);
  for (let e = 0; 2 * e + 1 < size; e++) view.setUint16(2 * e, chance(0.8) && e in blockFor ? blockFor[e] : entryValue(e), true);
  return { id: block.id, view, size };
}
function mutateTable() {
  if (!table || table.size < 2) return;
  const e = chance(0.3) ? 0 : int(table.size >> 1), value = entryValue(e);  // entry 0, the size pair's, more often
  table.view.setUint16(2 * e, value, true), announce(`table[${e}] = ${value}`);
}

// Every opcode the contract names (retained meshes twice as often), and some it does not.
const { commands } = require('../../contract/host'), COMMAND_WORDS = [];
for (const c of commands) COMMAND_WORDS[c.opcode] = 1 + c.operands.length;
const OPS = [...commands.map((c) => c.opcode).filter((op) => op !== 8), 18, 11, 0, 14, 19, -1];
function operand(op, k) {
  // Text: offsets and lengths mostly inside the string block. drawMeshes: made blocks (records, palette or -1), ranges mostly inside.
  if (op === 9 || op === 10) return { 1: () => int(fixed[7].byteLength + 2), 2: () => int(64), 5: () => pick([0, 8, 16, 48, 200, wild()]) }[k]?.() ?? wild();
  if (op === 18 && (k === 1 || k === 4)) return chance(0.8) ? (made.length ? pick(made).id : int(BUFFER_COUNT)) : k === 4 && chance(0.5) ? -1 : wild();
  if (op === 18) return mostly(0.7, () => int(k === 2 ? 8 : 40));
  return op === 3 && k === 1 && !risky ? (sources.length && chance(0.8) ? pick(sources) : 0) : mostly(0.5, () => between(0, 70));
}
function runCommands() {
  const words = new Float64Array(fixed[2], 0, fixed[2].byteLength >> 3), results = new Float64Array(fixed[3], 0, fixed[3].byteLength >> 3);
  let n = 0, plays = [];
  while (n < words.length && !chance(0.1)) {
    const base = chance(0.85) ? pick(OPS) : wild(), word = base + (chance(0.1) ? (base < 0 ? -0.5 : 0.5) : 0);
    const op = word > -2147483649 && word < 2147483648 ? Math.trunc(word) : 0;  // as the walk reads it
    if (op === 3 && !risky && chance(0.5)) continue;
    if ((op === 1 || op === 17) && n < results.length) { plays.push(n); results[n] = NaN; }
    words[n++] = word;
    for (let k = 1; k < (COMMAND_WORDS[op] || 1) && n < words.length; k++) words[n++] = operand(op, k);
  }
  words.fill(0, n);  // a count past the step's words runs skipped words
  const count = chance(0.8) ? n : pick([0, 1, n + 1, words.length, words.length + 7, 0xffffffff, 0x80000000]);
  announce(`commands: ${n} words: ${Array.from(words.subarray(0, Math.min(n, 24)), show).join(' ')}`);
  setLen(2, count);
  call('tick');
  for (const i of plays) if (results[i] > 0 && Number.isInteger(results[i]) && !sources.includes(results[i])) sources.push(results[i]);
}

const FILES = process.env.TESSIMARKE_FUZZ_FILES || 'no/fuzz/files';  // the driver's (run alone, the host finds none)
const SOUNDS = ['app/assets/sounds/chime.ogg', 'app/assets/sounds/blip.ogg', 'no/such/file.ogg', 'README.md', 'app', '',
  path.join(FILES, 'chained.ogg'), path.join(FILES, 'nobody.fifo')];
const IMAGES = ['app/icons/icon.png', SOUNDS[0], 'no/such/image.png', 'app', '', SOUNDS[7], ...Array.from({ length: 24 }, (_, i) => path.join(FILES, `image-${i}.png`))];

// Instance records (mesh ids mostly among the first few, any batch, palette ranges near and past the
// palette, wild matrices) or a mesh block (a count and flags that mostly fit, then wild sections).
function wildMeshData(block) {
  const u = new Uint32Array(block.buffer, 0, block.buffer.byteLength >> 2), f = new Float32Array(block.buffer, 0, u.length);
  if (u.length < 16) return;
  announce(`wild mesh data into block ${block.id}`);
  const records = chance(0.5);
  for (let r = 0; records && r + 24 <= u.length && r < 24 * 16; r += 24) {
    [6, 4, 8, 300].forEach((most, k) => { u[r + k] = chance(k < 2 ? 0.8 : 0.7) ? int(most) : next(); });
    for (let k = 4; k < 24; k++) f[r + k] = chance(0.8) ? (k % 5 === 4 ? 1 : unit()) : wild();
  }
  if (records) return;
  const flags = u[1] = chance(0.9) ? int(16) : next();
  const fits = Math.floor((u.length - 16) / (3 + (flags & 1 ? 3 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 2 : 0) + (flags & 8 ? 6 : 0)));
  u[0] = chance(0.8) ? fits - (fits % 3) : chance(0.5) ? fits + 1 : next();
  for (let k = 2; k < 8; k++) f[k] = mostly(0.7, () => int(64));
  for (let k = 16; k < u.length && k < 16 + 4096; k++) if (chance(0.2)) f[k] = wild();
}
const side = () => { const v = mostly(0.7, () => between(1, 900)); return v > 1200 && v <= 8192 ? 1200 : v; };  // no screen-sized window
function setImage() {
  const w = mostly(0.7, () => between(0, 64)), h = mostly(0.7, () => between(0, 64));
  const exact = w >= 0 && h >= 0 && w * h * 4 <= 1 << 16 && chance(0.7);
  call('setImage', int(256), bytes(exact ? Math.trunc(w) * Math.trunc(h) * 4 : pick([0, 1, 3, 4, 4096, int(1 << 16)])), w, h);
}
// A call whose answer must pass `ok`.
const expect = (ok, name, ...args) => { const r = call(name, ...args); if (!ok(r)) throw new Error(`${name} answered ${r}`); return r; };
function createMesh() {
  const block = made.length ? pick(made) : null;
  if (block && chance(0.8)) wildMeshData(block);
  const r = expect((v) => Number.isInteger(v) && v >= -3 && v < 1024, 'createMesh', block && chance(0.9) ? block.id : wild());
  if (r >= 0) meshIds.push(r);
}
function releaseMesh() {
  if (chance(0.5) && made.length) return wildMeshData(pick(made));
  expect((v) => v === 0 || v === -4, 'releaseMesh', meshIds.length && chance(0.7) ? meshIds.splice(int(meshIds.length), 1)[0] : mostly(0.5, () => int(1024)));
}
const EXTENSION = [setImage, setImage, createMesh, releaseMesh, ['setWindowTitle', () => wildText(chance(0.1) ? 3000 : 60)],
  ['setWindowSize', side, side], ['setRenderScale', () => mostly(0.6, () => pick([0.25, 0.5, 0.75, 1]))],
  ['enableEvent', () => mostly(0.7, () => 1027), () => chance(0.5)], ['loadImage', () => int(256), () => pick(IMAGES)],
  () => (chance(0.3) ? call('stopMusic') : call('playMusic', pick(SOUNDS), mostly(0.7, unit), mostly(0.5, () => -1), mostly(0.5, () => 0)))];
const extension = () => act(pick(EXTENSION));

function poll() {
  const offset = chance(0.5) ? 0 : pick([1, 2, 3, fixed[4].byteLength, fixed[4].byteLength + 1, 0xffffffff, int(70000)]);
  setLen(4, offset);
  call('poll');
  if (getLen(4) > fixed[4].byteLength && getLen(4) !== offset) throw new Error(`event offset ${getLen(4)} past the block of ${fixed[4].byteLength}`);
}
// Wild floats and a wild fill length in a block the table may name (the size pair's more often).
function wildFloats() {
  const pair = made.find((b) => b.id === blockFor[0]), block = pair && chance(0.3) ? pair : made.length ? pick(made) : null;
  if (!block || block.buffer.byteLength < 4) return;
  const floats = new Float32Array(block.buffer, 0, block.buffer.byteLength >> 2);
  for (let k = 0; k < 16; k++) floats[int(floats.length)] = wild();
  setLen(block.id, chance(0.5) ? int(floats.length + 2) : pick([0xffffffff, 0x80000000, int(1 << 24)]));
}
function remake() {  // a block made earlier (a pool slice included) re-created at another size under its id
  if (nextId <= 8) return;
  const id = between(8, nextId - 1), buffer = call('initBuffer', id, pick([0, 1, 8, 12, 64, int(5000)])), block = made.find((b) => b.id === id);
  keep.push(buffer);
  if (block) block.buffer = buffer; else made.push({ buffer, id });
}
function strings() {
  const view = new Uint8Array(fixed[7]);
  if (chance(0.5)) return announce(`strings: ${new TextEncoder().encodeInto(wildText(), view.subarray(int(view.length + 1))).written} bytes of text`);
  view.set(bytes(Math.min(view.length, 512))), announce('strings: random bytes');
}
const STEP = [runCommands, runCommands, runCommands, strings, mutateTable, ['render'], ['render'], poll, ['pollUSB'], extension, wildFloats, remake,
  () => expect((v) => typeof v === 'number', 'measureText', wildText(), wild(), mostly(0.7, () => int(8))),
  () => call(pick(['setShadowQuality', 'setSsaoQuality', 'setAntialias']), mostly(0.5, () => int(6) - 1)),
  () => { call('copy', wildText(60)); if (chance(0.5)) call('paste'); }, () => initFixed(int(8)),
  () => { const view = call('getBuffer', int(BUFFER_COUNT)); if (view.byteLength) new Uint8Array(view)[view.byteLength - 1] ^= 0; },
  () => nextId < BUFFER_COUNT - RESERVED_IDS / 2 && (chance(0.5) ? newBlock(pick([0, 1, 7, 8, 4095, 65536, int(1 << 20)])) : newBlock(pick([0, 1, 2, 7, int(300)]), true)),
  () => (chance(0.5) ? call('loadAudio', int(256), pick(SOUNDS), mostly(0.7, () => between(0, 3)), mostly(0.7, () => between(0, 3)))
    : call('initALBuffer', int(256), bytes(pick([0, 1, 2, 3, 4, 101, 4096])), mostly(0.7, () => between(4352, 4356)), mostly(0.5, () => pick([8000, 44100, 1, 0])))),
  ['setBuffers', () => (table && chance(0.8) ? table.id : int(BUFFER_COUNT))],  // the size pair moves to entry 0's block
  () => global.gc && (announce('gc'), global.gc())];

// Past the contracts (risky cases): wrong types, counts and ids, a full pool; calls after quit.
const AFTER_QUIT = [['render'], ['tick'], ['poll'], ['pollUSB'], ['measureText', () => wildText(20), wild, () => int(4)],
  ['loadAudio', () => int(256), SOUNDS[0], 2, 1], ['initALBuffer', () => int(256), Buffer.alloc(16), 4353, 8000], ['copy', 'after'],
  ['paste'], ['setShadowQuality', () => int(4)], ['setSsaoQuality', () => int(5)], ['setAntialias', () => int(3)], ['ready'], ['quit'],
  ['getBuffer', () => int(8)], ['checkShaders'], extension];
const WRONG = [['initBuffer', () => 256 + int(1000), 16], ['getBuffer', wild], ['nextPool', 1 << 30], ['setBuffers', 300], ['measureText', 5, 5, 5],
  ['copy', 5], ['initBuffer', '2', 16], ['tick', 1], ['loadAudio', () => int(256), 5, 2, 1], ['createMesh', '3'], ['releaseMesh'],
  ['initALBuffer', 0, 'x', 4353, 8000], ['initBuffer', 0, 4], ['nextBuffer', -1], ['setShadowQuality', '3']];
const beyondContracts = (afterQuit) => { for (let i = 0; i < 8; i++) act(pick(!afterQuit || chance(0.2) ? WRONG : AFTER_QUIT)); };

announce(`case ${seed} ${risky ? 'risky' : 'safe'}`);
for (let id = 0; id < 8; id++) initFixed(id);
const table = makeTable();
const first = table && chance(0.9) ? table.id : int(BUFFER_COUNT);
announce(`setBuffers(${first}), the shaders`);
registerAndCompile(first);
for (let i = 0; i < 3; i++) if (chance(0.3)) mutateTable();
if (chance(0.2)) call('setShadowQuality', wild());  // before ready
call('ready');
addon.startTicking(() => {
  try {
    for (let s = 0; s < STEPS; s++) act(pick(STEP));
    if (risky && chance(0.3)) beyondContracts(false);
    call('quit');
    if (risky) beyondContracts(true);
  } catch (e) {  // thrown inside the addon's call of this function, it would end in the addon's check on that call
    process.stderr.write(`addon-fuzz-host: exception: ${e && e.stack}\n`);
    process.exit(3);
  }
});
announce('end');
