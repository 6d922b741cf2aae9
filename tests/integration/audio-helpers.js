'use strict';
// Helpers of the audio tests, also used by the extension, package and fuzz tests: Ogg files made at test
// time, a host that runs plans of steps, and a reader and measures of the wave writer's captures.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { runFn } = require('./harness');

const tempDir = (prefix = 'tm-audio-') => fs.mkdtempSync(path.join(os.tmpdir(), prefix));

// Makes `name`.ogg in `dir` (seeded, so runs repeat) and returns its path: a sine at half scale per
// channel, of the frequencies in `channels` (0 is silence).
function makeOgg(dir, name, { rate = 44100, seconds = 0.5, channels = [440] } = {}) {
  const n = channels.length, pcm = Int16Array.from({ length: Math.round(seconds * rate) * n }, (_, i) => Math.round(16383 * Math.sin((2 * Math.PI * channels[i % n] * Math.floor(i / n)) / rate)));
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

// Makes every page's checksum right again, so that changes reach the decoder; returns `buf`.
function fixCrcs(buf) {
  for (const { offset, length } of oggPages(buf)) {
    let crc = 0;
    buf.writeUInt32LE(0, offset + 22);
    for (const b of buf.subarray(offset, offset + length)) { crc ^= b << 24; for (let k = 0; k < 8; k++) crc = (crc & 0x80000000 ? (crc << 1) ^ 0x04c11db7 : crc << 1) >>> 0; }
    buf.writeUInt32LE(crc, offset + 22);
  }
  return buf;
}

// Copy of the bytes of an Ogg file with every page moved to logical stream `serial`.
const withSerial = (bytes, serial) => fixCrcs(oggPages(bytes).reduce((buf, page) => (buf.writeUInt32LE(serial >>> 0, page.offset + 14), buf), Buffer.from(bytes)));

// The plan host: runs each step after "@step NAME" on both output streams; reports { name, value, t: its start (s) }.
function planHost(plan) {
  const fs = require('node:fs'), fixed = createFixed(), pcms = {}, sleeper = new Int32Array(new SharedArrayBuffer(4)), sleep = (ms) => Atomics.wait(sleeper, 0, 0, ms);
  // 16-bit PCM of a sine at half scale, or `bytes` zero bytes.
  const tone = ({ freq = 440, seconds = 0.2, rate = 44100, bytes }) => (bytes !== undefined ? Buffer.alloc(bytes)
    : Buffer.from(Int16Array.from({ length: Math.round(seconds * rate) }, (_, i) => Math.round(16383 * Math.sin((2 * Math.PI * freq * i) / rate))).buffer));
  const ops = {
    // One Buffer per distinct PCM: repeated steps add nothing to the resident set.
    initALBuffer: ({ id, pcm, format, rate }) => addon.initALBuffer(id, (pcms[JSON.stringify(pcm)] ??= tone(pcm)), format, rate),
    rss: () => process.memoryUsage().rss, commands: ({ words }) => runCommands(fixed, words), call: ({ fn, args }) => addon[fn](...args),
    sleep: ({ ms }) => sleep(ms) && 0, quit: () => addon.quit(),
    ticks: ({ ms }) => { for (const end = performance.now() + ms; performance.now() < end; sleep(10)) runCommands(fixed, []); return 0; },
    // Waits until the wave writer has put `seconds` more of sound in `file` (its header holds the bytes
    // per second); answers the seconds there were.
    until: ({ file, seconds }) => {
      const head = Buffer.alloc(32), mixed = () => { const fd = fs.openSync(file); fs.readSync(fd, head, 0, 32, 0); fs.closeSync(fd); return fs.statSync(file).size / (head.readUInt32LE(28) || Infinity); };
      const from = mixed();
      for (const end = performance.now() + 120000; mixed() < from + seconds; sleep(10)) if (performance.now() > end) throw new Error(`${file} stalled`);
      return from;
    },
  };
  for (const step of plan) {
    for (const stream of [process.stdout, process.stderr]) stream.write(`@step ${step.name}\n`);
    let value, t = performance.now() / 1000;
    for (let i = 0; i < (step.repeat || 1); i++) value = ops[step.op](step);
    report({ name: step.name, value, t });
  }
}

// Runs `plan` (steps { name, op, repeat, ...the op's fields }) in a test host; returns { result, value,
// t, steps }: each step's value, start time and native lines ({ out, err }; 'start': before the first).
async function runPlan(plan, options = {}) {
  const result = await runFn(planHost, plan, { timeout: 60000, ...options, env: { LP_NUM_THREADS: '0', ...options.env } });
  const value = {}, t = {}, steps = {};
  for (const r of result.results) value[r.name] = r.value, t[r.name] = r.t;
  for (const [key, text] of [['out', result.stdout], ['err', result.stderr]]) {
    const parts = ['start', ...text.split(/^@step (\S+)$/m)];
    for (let i = 0; i < parts.length; i += 2) (steps[parts[i]] ??= { out: [], err: [] })[key].push(...parts[i + 1].split('\n').filter((l) => l && !l.startsWith('@')));
  }
  return { result, value, t, steps };
}

// A wave-writer configuration in `dir` writing `wave`, with extra [general] settings; returns its path.
const waveConf = (dir, wave, general = {}) => (fs.writeFileSync(path.join(dir, 'alsoft.conf'),
  `[general]\ndrivers=wave\n${Object.entries(general).map(([k, v]) => `${k}=${v}\n`).join('')}[wave]\nfile=${wave}\n`), path.join(dir, 'alsoft.conf'));

// Reads a capture of the wave writer (32-bit float, format first): { rate, channels, frames, samples:
// a Float32Array per channel }.
function readWav(file) {
  const buf = fs.readFileSync(file), channels = buf.readUInt16LE(22), data = buf.subarray(buf.indexOf('data', 12) + 8), frames = Math.floor(data.length / (4 * channels));
  if (buf.readUInt16LE(34) !== 32 || buf.readUInt16LE(buf.readUInt16LE(20) === 0xfffe ? 44 : 20) !== 3) throw new Error(`${file}: not 32-bit float`);
  return { rate: buf.readUInt32LE(24), channels, frames, samples: Array.from({ length: channels }, (_, c) => Float32Array.from({ length: frames }, (_, i) => data.readFloatLE((i * channels + c) * 4))) };
}

// Root mean square and largest absolute sample over all channels of seconds [from, to).
function levels(wav, from = 0, to = Infinity) {
  const a = Math.max(0, Math.floor(from * wav.rate)), b = Math.min(wav.frames, Math.floor(to * wav.rate));
  let sum = 0, peak = 0;
  for (const ch of wav.samples) for (let i = a; i < b; i++) sum += ch[i] * ch[i], peak = Math.max(peak, Math.abs(ch[i]));
  return { rms: b > a ? Math.sqrt(sum / ((b - a) * wav.channels)) : 0, peak };
}

// Time (seconds) of the first sample louder than `threshold`, or -1.
function onset(wav, threshold = 0.01) {
  for (let i = 0; i < wav.frames; i++) if (wav.samples.some((ch) => Math.abs(ch[i]) > threshold)) return i / wav.rate;
  return -1;
}

// Frequency (Hz) of the first channel over seconds [from, to), from its rising zero crossings.
function pitch(wav, from, to) {
  const ch = wav.samples[0], ups = [];
  for (let i = Math.max(1, Math.floor(from * wav.rate)); i < Math.min(wav.frames, Math.floor(to * wav.rate)); i++) if (ch[i - 1] < 0 && ch[i] >= 0) ups.push(i);
  return ups.length > 1 ? ((ups.length - 1) * wav.rate) / (ups.at(-1) - ups[0]) : 0;
}

module.exports = {
  tempDir, makeOgg, oggPages, fixCrcs, withSerial, runPlan, waveConf, readWav, onset, pitch,
  rms: (wav, from, to) => levels(wav, from, to).rms, peak: (wav, from, to) => levels(wav, from, to).peak,
};
