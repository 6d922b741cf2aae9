'use strict';
// Helpers of the audio tests: Ogg fixtures made at test time (sox synthesises, oggenc encodes,
// both with fixed seeds so runs repeat), damaged and lying variants of them made here byte by byte,
// a WAV reader for what OpenAL Soft's wave writer captured, and level and pitch measures over it.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');

function tempDir(prefix = 'tm-audio-') {
  return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}

// A 16-bit mono WAV file with no samples (sox's synth takes a length of 0 as "forever").
function emptyWav(file, rate) {
  const b = Buffer.alloc(44);
  b.write('RIFF', 0, 'latin1'); b.writeUInt32LE(36, 4); b.write('WAVEfmt ', 8, 'latin1');
  b.writeUInt32LE(16, 16); b.writeUInt16LE(1, 20); b.writeUInt16LE(1, 22); b.writeUInt32LE(rate, 24);
  b.writeUInt32LE(rate * 2, 28); b.writeUInt16LE(2, 32); b.writeUInt16LE(16, 34);
  b.write('data', 36, 'latin1'); b.writeUInt32LE(0, 40);
  fs.writeFileSync(file, b);
}

// One channel of a fixture: a sine of `freq` Hz, or silence when freq is 0.
function synthChannel(file, { rate, seconds, freq }) {
  if (!(seconds > 0)) return emptyWav(file, rate);
  const args = ['-R', '-n', '-r', String(rate), '-c', '1', '-b', '16', file, 'synth', String(seconds), 'sine', String(freq)];
  if (freq === 0) args.push('vol', '0');
  else args.push('vol', '0.5');
  execFileSync('sox', args);
}

// Makes `name`.ogg in `dir`: `channels` is an array of frequencies (0 = silence), one per channel.
// Returns the path. Encoding is reproducible: the same serial number every time.
function makeOgg(dir, name, { rate = 44100, seconds = 0.5, channels = [440] } = {}) {
  const parts = channels.map((freq, i) => {
    const f = path.join(dir, `${name}.ch${i}.wav`);
    synthChannel(f, { rate, seconds, freq });
    return f;
  });
  const wav = path.join(dir, `${name}.wav`);
  if (parts.length === 1) fs.copyFileSync(parts[0], wav);
  else execFileSync('sox', ['-R', '-M', ...parts, wav]);
  const ogg = path.join(dir, `${name}.ogg`);
  execFileSync('oggenc', ['-Q', '-s', '1234', '-q', '6', '-o', ogg, wav]);
  return ogg;
}

// --- Ogg pages ----------------------------------------------------------------------------------

const CRC_TABLE = (() => {
  const t = new Uint32Array(256);
  for (let i = 0; i < 256; i++) {
    let r = i << 24;
    for (let k = 0; k < 8; k++) r = (r & 0x80000000) ? ((r << 1) ^ 0x04c11db7) : (r << 1);
    t[i] = r >>> 0;
  }
  return t;
})();

function oggCrc(bytes) {
  let crc = 0;
  for (const b of bytes) crc = ((crc << 8) ^ CRC_TABLE[((crc >>> 24) ^ b) & 0xff]) >>> 0;
  return crc >>> 0;
}

// The pages of an Ogg file: [{ offset, length }].
function oggPages(buf) {
  const pages = [];
  let at = 0;
  while (at + 27 <= buf.length && buf.toString('latin1', at, at + 4) === 'OggS') {
    const segments = buf[at + 26];
    let body = 0;
    for (let i = 0; i < segments; i++) body += buf[at + 27 + i];
    const length = 27 + segments + body;
    pages.push({ offset: at, length });
    at += length;
  }
  return pages;
}

// Copy of `src` whose last page claims `granule` frames (a file that lies about its length).
function withLastGranule(src, dst, granule) {
  const buf = Buffer.from(fs.readFileSync(src));
  const pages = oggPages(buf);
  const last = pages[pages.length - 1];
  buf.writeBigInt64LE(BigInt(granule), last.offset + 6);
  buf.writeUInt32LE(0, last.offset + 22);
  buf.writeUInt32LE(oggCrc(buf.subarray(last.offset, last.offset + last.length)), last.offset + 22);
  fs.writeFileSync(dst, buf);
  return dst;
}

// Copy of `src` with `count` bytes in the middle of a page in the middle of the file overwritten.
function damaged(src, dst, count = 64) {
  const buf = Buffer.from(fs.readFileSync(src));
  const pages = oggPages(buf);
  const page = pages[Math.floor(pages.length / 2)];
  const start = page.offset + Math.floor(page.length / 2);
  for (let i = 0; i < count && start + i < buf.length; i++) buf[start + i] ^= 0xa5;
  fs.writeFileSync(dst, buf);
  return dst;
}

// Recomputes the checksum of every page, so that damage reaches the decoder instead of being
// dropped with its page by the Ogg layer.
function fixCrcs(buf) {
  for (const page of oggPages(buf)) {
    buf.writeUInt32LE(0, page.offset + 22);
    buf.writeUInt32LE(oggCrc(buf.subarray(page.offset, page.offset + page.length)), page.offset + 22);
  }
  return buf;
}

// Copy of the bytes of an Ogg file with every page moved to logical stream `serial`.
function withSerial(bytes, serial) {
  const buf = Buffer.from(bytes);
  for (const page of oggPages(buf)) buf.writeUInt32LE(serial >>> 0, page.offset + 14);
  return fixCrcs(buf);
}

// Seeded xorshift32: the same damage every run.
function random(seed) {
  let s = (Math.imul(seed + 1, 2654435761) >>> 0) || 1;
  return (n) => {
    s ^= s << 13; s >>>= 0; s ^= s >>> 17; s ^= s << 5; s >>>= 0;
    return s % n;
  };
}

// `count` damaged variants of the valid Ogg files `sources` (an array of Buffers), seeded:
// [{ kind, bytes }]. Kinds in turn: cut short at a random byte; 1-8 bytes flipped or overwritten,
// mostly in the header pages, with the checksums made right again (or, one time in four, left
// wrong); a page of another file spliced in over or between pages; two files chained one after the
// other (their channels or rate may differ) under their own serial numbers, or under the same one.
function damagedCorpus(sources, count, seed) {
  const rnd = random(seed);
  const pick = () => sources[rnd(sources.length)];
  const corpus = [];
  for (let i = 0; i < count; i++) {
    const kind = ['truncated', 'flipped', 'flipped', 'spliced', 'chained'][i % 5];
    const src = pick();
    let bytes;
    if (kind === 'truncated') {
      bytes = Buffer.from(src.subarray(0, rnd(src.length)));
    } else if (kind === 'flipped') {
      bytes = Buffer.from(src);
      const pages = oggPages(bytes);
      const headerEnd = pages[Math.min(2, pages.length - 1)].offset;
      for (let k = 1 + rnd(8); k > 0; k--) {
        const at = rnd(4) ? rnd(headerEnd) : rnd(bytes.length);
        if (rnd(2)) bytes[at] ^= 1 << rnd(8); else bytes[at] = rnd(256);
      }
      if (rnd(4)) fixCrcs(bytes);
    } else if (kind === 'spliced') {
      const a = oggPages(src);
      const other = pick();
      const b = oggPages(other);
      const page = b[rnd(b.length)];
      const at = a[rnd(a.length)];
      const piece = other.subarray(page.offset, page.offset + page.length);
      bytes = rnd(2)
        ? Buffer.concat([src.subarray(0, at.offset), piece, src.subarray(at.offset + at.length)])
        : Buffer.concat([src.subarray(0, at.offset), piece, src.subarray(at.offset)]);
    } else {
      const other = pick();
      bytes = Buffer.concat([src, rnd(4) ? withSerial(other, 0x5eed0000 + i) : other]);
    }
    corpus.push({ kind, bytes });
  }
  return corpus;
}

// --- captured output ----------------------------------------------------------------------------

// Reads a WAV file written by the wave writer: { rate, channels, samples: Float32Array[] } with
// samples scaled to -1..1 (16-bit, 32-bit integer or float).
function readWav(file) {
  const buf = fs.readFileSync(file);
  if (buf.toString('latin1', 0, 4) !== 'RIFF' || buf.toString('latin1', 8, 12) !== 'WAVE') throw new Error(`${file}: not a WAV file`);
  let at = 12;
  let fmt = null;
  let data = null;
  while (at + 8 <= buf.length) {
    const id = buf.toString('latin1', at, at + 4);
    let size = buf.readUInt32LE(at + 4);
    if (at + 8 + size > buf.length) size = buf.length - at - 8;
    if (id === 'fmt ') fmt = buf.subarray(at + 8, at + 8 + size);
    if (id === 'data') data = buf.subarray(at + 8, at + 8 + size);
    at += 8 + size + (size & 1);
  }
  if (!fmt || !data) throw new Error(`${file}: no fmt or data chunk`);
  let tag = fmt.readUInt16LE(0);
  const channels = fmt.readUInt16LE(2);
  const rate = fmt.readUInt32LE(4);
  const bits = fmt.readUInt16LE(14);
  if (tag === 0xfffe) tag = fmt.readUInt16LE(24);
  const bytes = bits / 8;
  const frames = Math.floor(data.length / (bytes * channels));
  const samples = Array.from({ length: channels }, () => new Float32Array(frames));
  for (let f = 0; f < frames; f++) {
    for (let c = 0; c < channels; c++) {
      const o = (f * channels + c) * bytes;
      let v;
      if (tag === 3 && bits === 32) v = data.readFloatLE(o);
      else if (bits === 16) v = data.readInt16LE(o) / 32768;
      else if (bits === 32) v = data.readInt32LE(o) / 2147483648;
      else if (bits === 8) v = (data[o] - 128) / 128;
      else throw new Error(`unsupported WAV: tag ${tag}, ${bits} bits`);
      samples[c][f] = v;
    }
  }
  return { rate, channels, frames, samples };
}

// Root mean square over all channels of frames [from, to) (seconds).
function rms(wav, from, to) {
  const a = Math.max(0, Math.floor(from * wav.rate));
  const b = Math.min(wav.frames, Math.floor(to * wav.rate));
  let sum = 0;
  let n = 0;
  for (const ch of wav.samples) for (let i = a; i < b; i++) { sum += ch[i] * ch[i]; n++; }
  return n ? Math.sqrt(sum / n) : 0;
}

// Largest absolute sample over all channels of frames [from, to) (seconds).
function peak(wav, from = 0, to = Infinity) {
  const a = Math.max(0, Math.floor(from * wav.rate));
  const b = Math.min(wav.frames, Math.floor(to * wav.rate));
  let m = 0;
  for (const ch of wav.samples) for (let i = a; i < b; i++) m = Math.max(m, Math.abs(ch[i]));
  return m;
}

// Time (seconds) of the first sample louder than `threshold`, or -1.
function onset(wav, threshold = 0.01, from = 0) {
  for (let i = Math.floor(from * wav.rate); i < wav.frames; i++) {
    for (const ch of wav.samples) if (Math.abs(ch[i]) > threshold) return i / wav.rate;
  }
  return -1;
}

// Frequency (Hz) of the first channel over [from, to) from its rising zero crossings.
function pitch(wav, from, to) {
  const ch = wav.samples[0];
  const a = Math.max(1, Math.floor(from * wav.rate));
  const b = Math.min(wav.frames, Math.floor(to * wav.rate));
  let first = -1;
  let last = -1;
  let crossings = 0;
  for (let i = a; i < b; i++) {
    if (ch[i - 1] < 0 && ch[i] >= 0) {
      if (first < 0) first = i; else crossings++;
      last = i;
    }
  }
  return crossings > 0 ? (crossings * wav.rate) / (last - first) : 0;
}

// A wave-writer configuration with extra [general] settings (for example excludefx=eaxreverb).
function waveConf(dir, wave, general = {}) {
  const conf = path.join(dir, 'alsoft.conf');
  const extra = Object.entries(general).map(([k, v]) => `${k}=${v}\n`).join('');
  fs.writeFileSync(conf, `[general]\ndrivers=wave\n${extra}[wave]\nfile=${wave}\n`);
  return conf;
}

// Standard output and standard error cut at the host's step markers: { [step]: { out, err } }
// with the native lines each step printed.
function stepLines(result) {
  const steps = {};
  for (const [key, text] of [['out', result.stdout], ['err', result.stderr]]) {
    let current = 'start';
    for (const line of text.split('\n')) {
      const m = /^@step (\S+)$/.exec(line);
      if (m) { current = m[1]; steps[current] ??= { out: [], err: [] }; continue; }
      if (line.startsWith('@result ') || line === '') continue;
      steps[current] ??= { out: [], err: [] };
      steps[current][key].push(line);
    }
  }
  return steps;
}

module.exports = {
  tempDir, makeOgg, oggPages, oggCrc, withLastGranule, damaged, fixCrcs, withSerial, damagedCorpus, readWav, rms, peak, onset, pitch, waveConf, stepLines,
};

// Runs tests/hosts/audio-plan.js with `plan` (see there) and returns { result, value, t, steps }:
// each step's reported value and start time by name, and the native lines of each step.
async function runPlan(plan, options) {
  const { runHost } = require('./harness');
  const dir = tempDir('tm-plan-');
  const file = path.join(dir, 'plan.json');
  fs.writeFileSync(file, JSON.stringify(plan));
  const env = { LP_NUM_THREADS: '0', ...(options.env || {}) };
  const result = await runHost('audio-plan.js', [file], { timeout: 60000, ...options, env });
  const value = {};
  const t = {};
  for (const r of result.results) { value[r.name] = r.value; t[r.name] = r.t; }
  return { result, value, t, steps: stepLines(result) };
}
module.exports.runPlan = runPlan;

// --- a preloaded stand-in for two library functions -----------------------------------------------

// C source of a library the tests preload into a host: it hides the EFX entry points named in
// TM_TEST_HIDE_PROCS (comma-separated, "*" for all) from alGetProcAddress, and makes malloc and
// aligned_alloc (what OpenAL Soft allocates buffer storage with) fail for requests of
// TM_TEST_MALLOC_LIMIT bytes or more. Everything else reaches the real libraries.
const SHIM_SOURCE = `
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
extern void* __libc_malloc(size_t);
extern void* __libc_memalign(size_t, size_t);
static size_t mallocLimit;
__attribute__((constructor)) static void readLimit(void) {
  const char* limit = getenv("TM_TEST_MALLOC_LIMIT");
  if (limit) mallocLimit = strtoull(limit, 0, 10);
}
void* malloc(size_t n) {
  if (mallocLimit && n >= mallocLimit) { errno = ENOMEM; return 0; }
  return __libc_malloc(n);
}
void* aligned_alloc(size_t alignment, size_t n) {
  if (mallocLimit && n >= mallocLimit) { errno = ENOMEM; return 0; }
  return __libc_memalign(alignment, n);
}
static int hidden(const char* name) {
  const char* list = getenv("TM_TEST_HIDE_PROCS");
  if (!list || !name) return 0;
  if (strcmp(list, "*") == 0) return 1;
  size_t n = strlen(name);
  for (const char* p = list; *p;) {
    const char* end = strchr(p, ',');
    size_t len = end ? (size_t)(end - p) : strlen(p);
    if (len == n && strncmp(p, name, n) == 0) return 1;
    if (!end) break;
    p = end + 1;
  }
  return 0;
}
void* alGetProcAddress(const char* name) {
  static void* (*real)(const char*);
  if (!real) {
    void* lib = dlopen("libopenal.so.1", RTLD_LAZY | RTLD_NOLOAD);
    real = (void* (*)(const char*))dlsym(lib, "alGetProcAddress");
  }
  return hidden(name) ? 0 : real(name);
}
`;

let shimPath = null;
// Builds the stand-in once per test process; returns the path of the shared object.
function buildShim() {
  if (shimPath) return shimPath;
  const d = tempDir('tm-shim-');
  const src = path.join(d, 'shim.c');
  fs.writeFileSync(src, SHIM_SOURCE);
  shimPath = path.join(d, 'shim.so');
  execFileSync('cc', ['-shared', '-fPIC', '-O1', '-o', shimPath, src, '-ldl']);
  return shimPath;
}
module.exports.buildShim = buildShim;
