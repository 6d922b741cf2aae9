'use strict';
// The whole-addon fuzz driver (npm run fuzz:addon -- [--iterations N] [--seed S] [--only I] [--steps K]
// [--addon PATH] [--timeout SECONDS]): seeded cases of addon-fuzz-host.js, each a process under one private X
// server. A safe case must exit 0; a risky one (every fourth) may also end in exactly one deliberate check.
// The addon is --addon, TESSIMARKE_ADDON, else build-san/tessimarke.node when it exists, else build/'s.
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { parseArgs } = require('node:util');
const { root, startXvfb, hostEnv } = require('../integration/harness');
const audio = require('../integration/audio-helpers');
const { damagedImages } = require('../integration/image-corpus');

const fail = (message) => { console.error(`addon-fuzz: ${message}`); process.exit(2); };
const NUMBERS = ['iterations', 'seed', 'only', 'steps', 'timeout'];
let o = { iterations: 20, seed: Date.now() % 1000000, only: null, steps: 40, timeout: 120 };
const known = Object.fromEntries([...NUMBERS, 'addon'].map((k) => [k, { type: 'string' }]));
try { o = { ...o, ...parseArgs({ options: known }).values }; } catch (e) { fail(e.message); }
for (const k of NUMBERS) if (o[k] !== null && !(Number.isInteger(o[k] = Number(o[k])) && o[k] >= 0)) fail(`--${k} needs a whole number`);
const san = path.join(root, 'build-san', 'tessimarke.node');
const addon = path.resolve(o.addon || process.env.TESSIMARKE_ADDON || (fs.existsSync(san) ? san : path.join(root, 'build/tessimarke.node')));
if (!fs.existsSync(addon)) fail(`no addon at ${addon} (build it first)`);
// Node is not instrumented: a sanitized addon's runtimes are preloaded into each case, as scripts/test-san.sh
// does. No leak report (Node's own at exit); a huge allocation answers null, for the addon's own check.
const sanitized = /libasan\.so/.test(execFileSync('ldd', [addon], { encoding: 'utf8' }));
const lib = (name) => execFileSync(process.env.CXX || 'g++', [`-print-file-name=${name}`], { encoding: 'utf8' }).trim();
const SANITIZER_ENV = sanitized ? {
  ASAN_OPTIONS: process.env.ASAN_OPTIONS || 'detect_leaks=0:verify_asan_link_order=0:abort_on_error=0:allocator_may_return_null=1',
  UBSAN_OPTIONS: process.env.UBSAN_OPTIONS || 'print_stacktrace=1:halt_on_error=1',
  ...(process.env.TESSIMARKE_SANITIZER_PRELOAD ? {} : { LD_PRELOAD: `${lib('libasan.so')} ${lib('libubsan.so')}` }),
} : {};

// Seed of iteration i: a fixed mix of the run's seed and i.
const mix = (h, shift, m) => Math.imul(h ^ (h >>> shift), m) >>> 0;
const caseSeed = (i) => mix(mix(Math.imul(o.seed >>> 0, 0x9e3779b1) ^ Math.imul(i + 1, 0x85ebca6b), 16, 0x7feb352d), 15, 0x846ca68b) || 1;

// Files the cases load besides the project's own: a chain whose second link changes channels and rate,
// a FIFO nobody writes to, and damaged and hostile images made from the icon and a JPEG.
function makeFuzzFiles() {
  const dir = audio.tempDir('tm-fuzz-'), file = (...p) => path.join(dir, ...p), read = (...p) => fs.readFileSync(path.join(...p));
  const stereo = fs.readFileSync(audio.makeOgg(dir, 'stereo', { channels: [440, 660], seconds: 0.2 }));
  fs.writeFileSync(file('chained.ogg'), Buffer.concat([read(root, 'app/assets/sounds/chime.ogg'), audio.withSerial(stereo, 77)]));
  execFileSync('mkfifo', [file('nobody.fifo')]);
  execFileSync('convert', ['-size', '16x16', 'gradient:red-blue', file('source.jpg')]);
  const images = damagedImages({ png: [read(root, 'app/icons/icon.png')], jpeg: [read(dir, 'source.jpg')] }, 24, 5);
  for (let i = 0; i < 24; ++i) fs.writeFileSync(file(`image-${i}.png`), images[(i * 7) % images.length].bytes);
  return dir;
}

// What is wrong with a finished case, or null when it ended as its mode allows.
function judge(r) {
  if (r.timedOut) return 'hang: no exit within the time limit';
  if (/ERROR: (Address|Leak|UndefinedBehavior)Sanitizer|runtime error:|SUMMARY: \w+Sanitizer/.test(r.stderr)) return 'sanitizer report';
  const checks = r.stderr.match(/Assertion failed: .+?, module \w+, line \d+/g) || [];
  if (r.signal === null && r.code === 0) return checks.length ? 'a check message without an abort' : null;
  if (r.mode === 'risky' && r.aborted && checks.length === 1) return null;
  if (r.signal === 'SIGABRT' && checks.length === 1) return `deliberate check in a case that keeps to the contracts: ${checks[0]}`;
  return `ended with ${r.signal ? 'signal ' + r.signal : 'status ' + r.code}`;
}

function runCase(env, i) {
  const seed = caseSeed(i), r = { i, seed, mode: seed % 4 === 0 ? 'risky' : 'safe', stdout: '', stderr: '', timedOut: false };
  const child = spawn(process.execPath, ['--expose-gc', path.join(__dirname, 'addon-fuzz-host.js'), seed, r.mode, o.steps],
    { cwd: root, env, stdio: ['ignore', 'pipe', 'pipe'] });
  const timer = setTimeout(() => { r.timedOut = true; child.kill('SIGKILL'); }, o.timeout * 1000);
  for (const stream of ['stdout', 'stderr']) child[stream].on('data', (d) => { r[stream] = (r[stream] + d).slice(-200000); });
  return new Promise((resolve) => child.on('close', (code, signal) => {
    clearTimeout(timer);
    Object.assign(r, { code, signal, aborted: signal === 'SIGABRT' || code === 134 });
    resolve(Object.assign(r, { problem: judge(r) }));
  }));
}

function describeFailure(r) {
  const tail = (text, keep, n) => text.split('\n').filter(keep).slice(-n).map((l) => '    ' + l);
  return [`addon-fuzz: iteration ${r.i} (run seed ${o.seed}, case seed ${r.seed}, ${r.mode}) failed: ${r.problem}`,
    `  replay: npm run fuzz:addon -- --seed ${o.seed} --only ${r.i}${o.steps !== 40 ? ' --steps ' + o.steps : ''}`,
    '  last actions:', ...tail(r.stdout, (l) => l.startsWith('~ '), 15),
    '  standard error (end):', ...tail(r.stderr, (l) => l.trim(), 40)].join('\n');
}

(async () => {
  const x = await startXvfb(), files = makeFuzzFiles();
  const env = hostEnv({ display: x.display, audio: 'null',
    env: { TESSIMARKE_ADDON: addon, TESSIMARKE_FUZZ_FILES: files, LP_NUM_THREADS: '0', ...SANITIZER_ENV } });
  const queue = o.only !== null ? [o.only] : Array.from({ length: o.iterations }, (_, i) => i), started = Date.now(), done = [];
  console.log(`addon-fuzz: ${queue.length} iteration(s) from seed ${o.seed} against ${path.relative(root, addon)}${sanitized ? ' (sanitized)' : ''}`);
  for (const i of queue) {
    done.push(await runCase(env, i));
    if (done.at(-1).problem) console.log(describeFailure(done.at(-1)));
  }
  x.stop();
  fs.rmSync(files, { recursive: true, force: true });
  const risky = done.filter((r) => r.mode === 'risky'), failed = done.filter((r) => r.problem);
  console.log(`addon-fuzz: ${done.length} iterations (${risky.length} past the contracts, ${risky.filter((r) => r.aborted).length} of them `
    + `ended in a deliberate check) in ${((Date.now() - started) / 1000).toFixed(1)} s, ${failed.length} failed`);
  if (failed.length) console.log(`addon-fuzz: failed iterations: ${failed.map((r) => r.i).join(' ')} (seed ${o.seed})`);
  process.exit(failed.length ? 1 : 0);
})();
