'use strict';
// Helpers of the audio tests: Ogg files made at test time and damaged or lying copies of them, plans
// of steps run in a test host, a preloaded stand-in for two library functions, and a reader and
// measures for what OpenAL Soft's wave writer captured.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { runFn } = require('./harness');

const tempDir = (prefix = 'tm-audio-') => fs.mkdtempSync(path.join(os.tmpdir(), prefix));

// Makes `name`.ogg in `dir` (oggenc, seeded so runs repeat) and returns its path: a sine at half
// scale per channel, of the frequencies in `channels` (0 is silence).
function makeOgg(dir, name, { rate = 44100, seconds = 0.5, channels = [440] } = {}) {
  const n = channels.length, pcm = Buffer.alloc(Math.round(seconds * rate) * n * 2);
  for (let i = 0; i < pcm.length / 2; i++) pcm.writeInt16LE(Math.round(16383 * Math.sin((2 * Math.PI * channels[i % n] * Math.floor(i / n)) / rate)), 2 * i);
  const raw = path.join(dir, `${name}.raw`), ogg = path.join(dir, `${name}.ogg`);
  fs.writeFileSync(raw, pcm);
  execFileSync('oggenc', ['-Q', '-r', '-B', '16', '-C', String(n), '-R', String(rate), '-s', '1234', '-q', '6', '-o', ogg, raw]);
  return ogg;
}

// The pages of an Ogg file: [{ offset, length }].
function oggPages(buf) {
  const pages = [];
  for (let at = 0; at + 27 <= buf.length && buf.toString('latin1', at, at + 4) === 'OggS'; at += pages.at(-1).length) {
    pages.push({ offset: at, length: 27 + buf[at + 26] + buf.subarray(at + 27, at + 27 + buf[at + 26]).reduce((a, b) => a + b, 0) });
  }
  return pages;
}

const CRC_TABLE = Uint32Array.from({ length: 256 }, (_, i) => {
  let r = i << 24;
  for (let k = 0; k < 8; k++) r = (r & 0x80000000) ? ((r << 1) ^ 0x04c11db7) : (r << 1);
  return r >>> 0;
});
// Makes the checksum of every page right again (so that changes reach the decoder instead of being
// dropped with their page by the Ogg layer); returns `buf`.
function fixCrcs(buf) {
  for (const { offset, length } of oggPages(buf)) {
    buf.writeUInt32LE(0, offset + 22);
    let crc = 0;
    for (const b of buf.subarray(offset, offset + length)) crc = ((crc << 8) ^ CRC_TABLE[((crc >>> 24) ^ b) & 0xff]) >>> 0;
    buf.writeUInt32LE(crc, offset + 22);
  }
  return buf;
}

// Copy of `src` in `dst` whose last page claims `granule` frames (a file that lies about its length).
function withLastGranule(src, dst, granule) {
  const buf = fs.readFileSync(src);
  buf.writeBigInt64LE(BigInt(granule), oggPages(buf).at(-1).offset + 6);
  fs.writeFileSync(dst, fixCrcs(buf));
  return dst;
}

// Copy of `src` in `dst` with 64 bytes in the middle of its middle page flipped (checksum left wrong).
function damaged(src, dst) {
  const buf = fs.readFileSync(src), pages = oggPages(buf), page = pages[Math.floor(pages.length / 2)];
  for (let i = page.offset + Math.floor(page.length / 2), end = i + 64; i < Math.min(end, buf.length); i++) buf[i] ^= 0xa5;
  fs.writeFileSync(dst, buf);
  return dst;
}

// Copy of the bytes of an Ogg file with every page moved to logical stream `serial`.
function withSerial(bytes, serial) {
  const buf = Buffer.from(bytes);
  for (const page of oggPages(buf)) buf.writeUInt32LE(serial >>> 0, page.offset + 14);
  return fixCrcs(buf);
}

// `count` damaged variants of the Ogg files `sources` (Buffers), seeded (xorshift32): [{ kind, bytes }].
// Kinds in turn: cut short at a random byte; 1-8 bytes flipped or overwritten, mostly in the header
// pages, with the checksums made right (or, one time in four, left wrong); a page of another file
// spliced in over or between pages; two files chained under their own serial numbers or the same one.
function damagedCorpus(sources, count, seed) {
  let s = (Math.imul(seed + 1, 2654435761) >>> 0) || 1;
  const rnd = (n) => { s ^= s << 13; s >>>= 0; s ^= s >>> 17; s ^= s << 5; s >>>= 0; return s % n; };
  const pick = () => sources[rnd(sources.length)];
  return Array.from({ length: count }, (_, i) => {
    const kind = ['truncated', 'flipped', 'flipped', 'spliced', 'chained'][i % 5], src = pick();
    let bytes = Buffer.from(src);
    if (kind === 'truncated') bytes = bytes.subarray(0, rnd(src.length));
    if (kind === 'flipped') {
      const pages = oggPages(bytes), headerEnd = pages[Math.min(2, pages.length - 1)].offset;
      for (let k = 1 + rnd(8); k > 0; k--) {
        const at = rnd(4) ? rnd(headerEnd) : rnd(bytes.length);
        if (rnd(2)) bytes[at] ^= 1 << rnd(8); else bytes[at] = rnd(256);
      }
      if (rnd(4)) fixCrcs(bytes);
    }
    if (kind === 'spliced') {
      const other = pick(), page = oggPages(other)[rnd(oggPages(other).length)], at = oggPages(src)[rnd(oggPages(src).length)];
      const piece = other.subarray(page.offset, page.offset + page.length);
      bytes = Buffer.concat([src.subarray(0, at.offset), piece, src.subarray(rnd(2) ? at.offset + at.length : at.offset)]);
    }
    if (kind === 'chained') bytes = Buffer.concat([src, ((other) => (rnd(4) ? withSerial(other, 0x5eed0000 + i) : other))(pick())]);
    return { kind, bytes };
  });
}

// The plan host (run in the test host): runs each step, writing "@step NAME" to both output streams
// before it, and reports { name, value, t } with the time (seconds) the step started.
function planHost(plan) {
  const fixed = createFixed(), sleeper = new Int32Array(new SharedArrayBuffer(4)), pcms = new Map();
  // 16-bit PCM of a sine at half scale, or `bytes` zero bytes; one Buffer per distinct PCM, so that
  // repeated steps add nothing to the resident set.
  const pcm = ({ freq = 440, seconds = 0.2, rate = 44100, bytes }) => {
    const buf = Buffer.alloc(bytes ?? Math.round(seconds * rate) * 2);
    for (let f = 0; bytes === undefined && f < buf.length / 2; f++) buf.writeInt16LE(Math.round(16383 * Math.sin((2 * Math.PI * freq * f) / rate)), 2 * f);
    return buf;
  };
  const ops = {
    loadAudio: (step) => addon.loadAudio(...step.args),
    initALBuffer: (step) => {
      const key = JSON.stringify(step.pcm);
      if (!pcms.has(key)) pcms.set(key, pcm(step.pcm));
      return addon.initALBuffer(step.id, pcms.get(key), step.format, step.rate);
    },
    rss: () => process.memoryUsage().rss,
    commands: (step) => runCommands(fixed, step.words),
    call: (step) => addon[step.fn](...step.args),
    sleep: (step) => Atomics.wait(sleeper, 0, 0, step.ms) && 0,
    ticks: (step) => {
      for (const end = performance.now() + step.ms; performance.now() < end;) runCommands(fixed, []), Atomics.wait(sleeper, 0, 0, 10);
      return 0;
    },
    quit: () => addon.quit(),
  };
  for (const step of plan) {
    process.stdout.write(`@step ${step.name}\n`);
    process.stderr.write(`@step ${step.name}\n`);
    const t = performance.now() / 1000;
    let value;
    for (let i = 0; i < (step.repeat || 1); i++) value = ops[step.op](step);
    report({ name: step.name, value, t });
  }
}

// Runs `plan` in a test host. Steps: { name, op, ... } with op loadAudio (args; repeat n),
// initALBuffer (id, pcm: { freq, seconds, rate } or { bytes }, format, rate; repeat n), rss (the
// resident set), commands (words: one tick, the results), call (fn, args), sleep (ms), ticks (ms of
// an empty tick every 10 ms), quit. Returns { result, value, t, steps }: each step's value and start
// time by name, and the native lines of each step ({ out, err }; 'start' for those before the first).
async function runPlan(plan, options) {
  const result = await runFn(planHost, plan, { timeout: 60000, ...options, env: { LP_NUM_THREADS: '0', ...options.env } });
  const value = {}, t = {}, steps = {};
  for (const r of result.results) value[r.name] = r.value, t[r.name] = r.t;
  for (const [key, text] of [['out', result.stdout], ['err', result.stderr]]) {
    let current = 'start';
    for (const line of text.split('\n')) {
      current = /^@step (\S+)$/.exec(line)?.[1] ?? current;
      steps[current] ??= { out: [], err: [] };
      if (!line.startsWith('@') && line !== '') steps[current][key].push(line);
    }
  }
  return { result, value, t, steps };
}

// C source of a library the tests preload into a host: it hides the entry points named in
// TM_TEST_HIDE_PROCS (comma-separated, "*" for all) from alGetProcAddress, and makes malloc and
// aligned_alloc (what OpenAL Soft allocates buffer storage with) fail for requests of
// TM_TEST_MALLOC_LIMIT bytes or more. Everything else reaches the real libraries.
const SHIM_SOURCE = `#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
extern void* __libc_malloc(size_t);
extern void* __libc_memalign(size_t, size_t);
static size_t limit;
__attribute__((constructor)) static void readLimit(void) { limit = getenv("TM_TEST_MALLOC_LIMIT") ? strtoull(getenv("TM_TEST_MALLOC_LIMIT"), 0, 10) : 0; }
void* malloc(size_t n) { if (limit && n >= limit) { errno = ENOMEM; return 0; } return __libc_malloc(n); }
void* aligned_alloc(size_t a, size_t n) { if (limit && n >= limit) { errno = ENOMEM; return 0; } return __libc_memalign(a, n); }
void* alGetProcAddress(const char* name) {
  static void* (*real)(const char*);
  if (!real) real = (void* (*)(const char*))dlsym(dlopen("libopenal.so.1", RTLD_LAZY | RTLD_NOLOAD), "alGetProcAddress");
  const char* list = getenv("TM_TEST_HIDE_PROCS");
  char listed[4096], wanted[256];
  snprintf(listed, sizeof listed, ",%s,", list ? list : "");
  snprintf(wanted, sizeof wanted, ",%s,", name ? name : "");
  return list && (strcmp(list, "*") == 0 || strstr(listed, wanted)) ? 0 : real(name);
}`;
let shimPath = null;
// Builds the stand-in once per test process; returns the path of the shared object.
function buildShim() {
  if (shimPath) return shimPath;
  const d = tempDir('tm-shim-');
  fs.writeFileSync(path.join(d, 'shim.c'), SHIM_SOURCE);
  execFileSync('cc', ['-shared', '-fPIC', '-O1', '-o', path.join(d, 'shim.so'), path.join(d, 'shim.c'), '-ldl']);
  return (shimPath = path.join(d, 'shim.so'));
}

// A wave-writer configuration in `dir` writing `wave`, with extra [general] settings (for example
// excludefx=eaxreverb); returns its path.
function waveConf(dir, wave, general = {}) {
  const conf = path.join(dir, 'alsoft.conf');
  fs.writeFileSync(conf, `[general]\ndrivers=wave\n${Object.entries(general).map(([k, v]) => `${k}=${v}\n`).join('')}[wave]\nfile=${wave}\n`);
  return conf;
}

// Reads a capture of the wave writer (32-bit float, as it writes by default): { rate, channels,
// frames, samples: a Float32Array per channel }.
function readWav(file) {
  const buf = fs.readFileSync(file), chunks = {};
  for (let at = 12, size; at + 8 <= buf.length; at += 8 + size + (size & 1)) {
    size = Math.min(buf.readUInt32LE(at + 4), buf.length - at - 8);
    chunks[buf.toString('latin1', at, at + 4)] = buf.subarray(at + 8, at + 8 + size);
  }
  const { 'fmt ': fmt, data } = chunks;
  const tag = fmt?.readUInt16LE(0) === 0xfffe ? fmt.readUInt16LE(24) : fmt?.readUInt16LE(0);
  if (tag !== 3 || fmt.readUInt16LE(14) !== 32 || !data) throw new Error(`${file}: not a 32-bit float WAV file`);
  const channels = fmt.readUInt16LE(2), frames = Math.floor(data.length / (4 * channels));
  const samples = Array.from({ length: channels }, (_, c) => Float32Array.from({ length: frames }, (_, i) => data.readFloatLE((i * channels + c) * 4)));
  return { rate: fmt.readUInt32LE(4), channels, frames, samples };
}

// Root mean square and largest absolute sample over all channels of seconds [from, to).
function levels(wav, from = 0, to = Infinity) {
  const a = Math.max(0, Math.floor(from * wav.rate)), b = Math.min(wav.frames, Math.floor(to * wav.rate));
  let sum = 0, peak = 0;
  for (const ch of wav.samples) for (let i = a; i < b; i++) sum += ch[i] * ch[i], peak = Math.max(peak, Math.abs(ch[i]));
  return { rms: b > a ? Math.sqrt(sum / ((b - a) * wav.channels)) : 0, peak };
}
const rms = (wav, from, to) => levels(wav, from, to).rms;
const peak = (wav, from, to) => levels(wav, from, to).peak;

// Time (seconds) of the first sample louder than `threshold` from `from` on, or -1.
function onset(wav, threshold = 0.01, from = 0) {
  for (let i = Math.floor(from * wav.rate); i < wav.frames; i++) if (wav.samples.some((ch) => Math.abs(ch[i]) > threshold)) return i / wav.rate;
  return -1;
}

// Frequency (Hz) of the first channel over seconds [from, to), from its rising zero crossings.
function pitch(wav, from, to) {
  const ch = wav.samples[0];
  let first = -1, last = -1, crossings = 0;
  for (let i = Math.max(1, Math.floor(from * wav.rate)); i < Math.min(wav.frames, Math.floor(to * wav.rate)); i++) {
    if (ch[i - 1] < 0 && ch[i] >= 0) { if (first < 0) first = i; else crossings++; last = i; }
  }
  return crossings > 0 ? (crossings * wav.rate) / (last - first) : 0;
}

module.exports = {
  tempDir, makeOgg, oggPages, withLastGranule, damaged, withSerial, damagedCorpus, runPlan, buildShim, waveConf, readWav, rms, peak, onset, pitch,
};
