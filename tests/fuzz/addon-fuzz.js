'use strict';
// The whole-addon fuzz host's driver: runs a fixed number of seeded cases (addon-fuzz-host.js), each
// in its own Node process against one private X server, and judges each from outside. A case in
// `safe` mode must exit 0; a `risky` case (every fourth, chosen by its seed) may also end in exactly
// one deliberate check ("Assertion failed: ..." and SIGABRT). Anything else fails the run: another
// signal, a sanitizer report, a hang, an exception. On failure it prints the seed and the iteration
// with the command that replays just that case, and the case's last announced actions.
//
//   node tests/fuzz/addon-fuzz.js [--iterations N] [--seed S] [--only I] [--steps K] [--jobs J]
//                                 [--addon PATH] [--timeout SECONDS]          (npm run fuzz:addon -- ...)
//
// The addon is TESSIMARKE_ADDON, or --addon, or build-san/tessimarke.node when it exists, else
// build/tessimarke.node. A sanitized addon (built with -fsanitize=address) is run with the
// sanitizer runtime preloaded into Node (see sanitizerEnv).
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { root, startXvfb, hostEnv } = require('../integration/harness');
const audio = require('../integration/audio-helpers');
const { damagedImages } = require('../integration/image-corpus');

function parseArgs(argv) {
  const o = { iterations: 20, seed: Date.now() % 1000000, only: null, steps: 40, jobs: 1, addon: null, timeout: 120 };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new Error(`${a} needs a value`);
      return argv[++i];
    };
    switch (a) {
      case '--iterations': o.iterations = Number(value()); break;
      case '--seed': o.seed = Number(value()); break;
      case '--only': o.only = Number(value()); break;
      case '--steps': o.steps = Number(value()); break;
      case '--jobs': o.jobs = Number(value()); break;
      case '--addon': o.addon = path.resolve(value()); break;
      case '--timeout': o.timeout = Number(value()); break;
      default: throw new Error(`unknown option ${a}`);
    }
  }
  for (const k of ['iterations', 'seed', 'steps', 'jobs', 'timeout']) {
    if (!Number.isInteger(o[k]) || o[k] < 0) throw new Error(`--${k} needs a whole number`);
  }
  return o;
}

// Seed of iteration i of a run: a fixed mix of the run's seed and i.
function caseSeed(seed, i) {
  let h = (Math.imul(seed >>> 0, 0x9e3779b1) ^ Math.imul(i + 1, 0x85ebca6b)) >>> 0;
  h = Math.imul(h ^ (h >>> 16), 0x7feb352d) >>> 0;
  h = Math.imul(h ^ (h >>> 15), 0x846ca68b) >>> 0;
  return (h ^ (h >>> 16)) >>> 0 || 1;
}

// Files the cases feed to loadAudio, playMusic and loadImage besides the project's own (see
// addon-fuzz-host.js): a chain whose second link changes channels and rate, a FIFO nobody writes
// to, and damaged and hostile images drawn from the icon. Returns their folder.
function makeFuzzFiles() {
  const dir = audio.tempDir('tm-fuzz-');
  const stereo = fs.readFileSync(audio.makeOgg(dir, 'stereo', { channels: [440, 660], seconds: 0.2 }));
  const mono = fs.readFileSync(path.join(root, 'app', 'assets', 'sounds', 'chime.ogg'));
  fs.writeFileSync(path.join(dir, 'chained.ogg'), Buffer.concat([mono, audio.withSerial(stereo, 77)]));
  execFileSync('mkfifo', [path.join(dir, 'nobody.fifo')]);
  const icon = fs.readFileSync(path.join(root, 'app', 'icons', 'icon.png'));
  const jpeg = path.join(dir, 'source.jpg');
  execFileSync('convert', ['-size', '16x16', 'gradient:red-blue', jpeg]);
  const images = damagedImages({ png: [icon], jpeg: [fs.readFileSync(jpeg)] }, 24, 5);
  for (let i = 0; i < 24; ++i) fs.writeFileSync(path.join(dir, `image-${i}.png`), images[(i * 7) % images.length].bytes);
  return dir;
}

function chooseAddon(o) {
  if (o.addon) return o.addon;
  if (process.env.TESSIMARKE_ADDON) return path.resolve(process.env.TESSIMARKE_ADDON);
  const san = path.join(root, 'build-san', 'tessimarke.node');
  return fs.existsSync(san) ? san : path.join(root, 'build', 'tessimarke.node');
}

// Whether the addon links the address sanitizer's runtime.
function isSanitized(addon) {
  try {
    return /libasan\.so/.test(execFileSync('ldd', [addon], { encoding: 'utf8' }));
  } catch {
    return false;
  }
}

// Node itself is not instrumented: the runtimes the addon links against are preloaded into each
// case, as scripts/test-san.sh does for the integration suite (the harness puts
// TESSIMARKE_SANITIZER_PRELOAD first in LD_PRELOAD when that is set; otherwise it is found here).
// Leak detection is off (inside Node it reports Node's own allocations held at exit); a huge
// allocation answers null, so that the addon's own out-of-memory check is what follows.
function sanitizerEnv() {
  const env = {
    ASAN_OPTIONS: process.env.ASAN_OPTIONS || 'detect_leaks=0:verify_asan_link_order=0:abort_on_error=0:allocator_may_return_null=1',
    UBSAN_OPTIONS: process.env.UBSAN_OPTIONS || 'print_stacktrace=1:halt_on_error=1',
  };
  if (!process.env.TESSIMARKE_SANITIZER_PRELOAD) {
    const compiler = process.env.CXX || 'g++';
    const lib = (name) => execFileSync(compiler, [`-print-file-name=${name}`], { encoding: 'utf8' }).trim();
    env.LD_PRELOAD = [lib('libasan.so'), lib('libubsan.so')].join(' ');
  }
  return env;
}

const SANITIZER_REPORT = /ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer)|runtime error:|SUMMARY: \w+Sanitizer/;
const DELIBERATE_CHECK = /Assertion failed: .+?, module \w+, line \d+/g;

// What is wrong with a finished case, or null when it ended as its mode allows.
function judge(r, mode) {
  if (r.timedOut) return 'hang: no exit within the time limit';
  if (SANITIZER_REPORT.test(r.stderr)) return 'sanitizer report';
  const checks = r.stderr.match(DELIBERATE_CHECK) || [];
  if (r.signal === null && r.code === 0) return checks.length ? 'a check message without an abort' : null;
  if (mode === 'risky' && (r.signal === 'SIGABRT' || r.code === 134) && checks.length === 1) return null;
  if (r.signal === 'SIGABRT' && checks.length === 1) return `deliberate check in a case that keeps to the contracts: ${checks[0]}`;
  return `ended with ${r.signal ? 'signal ' + r.signal : 'status ' + r.code}`;
}

function runCase(o, env, i) {
  const seed = caseSeed(o.seed, i);
  const mode = seed % 4 === 0 ? 'risky' : 'safe';
  return new Promise((resolve) => {
    const child = spawn(process.execPath, ['--expose-gc', path.join(__dirname, 'addon-fuzz-host.js'), seed, mode, o.steps],
      { cwd: root, env, stdio: ['ignore', 'pipe', 'pipe'] });
    let stdout = '';
    let stderr = '';
    let timedOut = false;
    const timer = setTimeout(() => { timedOut = true; child.kill('SIGKILL'); }, o.timeout * 1000);
    child.stdout.on('data', (d) => { stdout = (stdout + d).slice(-200000); });
    child.stderr.on('data', (d) => { stderr = (stderr + d).slice(-200000); });
    child.on('close', (code, signal) => {
      clearTimeout(timer);
      const r = { i, seed, mode, code, signal, stdout, stderr, timedOut };
      r.problem = judge(r, mode);
      resolve(r);
    });
  });
}

function describeFailure(o, r) {
  const lines = [];
  lines.push(`addon-fuzz: iteration ${r.i} (run seed ${o.seed}, case seed ${r.seed}, ${r.mode}) failed: ${r.problem}`);
  lines.push(`  replay: npm run fuzz:addon -- --seed ${o.seed} --only ${r.i}${o.steps !== 40 ? ' --steps ' + o.steps : ''}`);
  lines.push(`  or:     node --expose-gc tests/fuzz/addon-fuzz-host.js ${r.seed} ${r.mode} ${o.steps}  (with DISPLAY, the addon's environment and TESSIMARKE_FUZZ_FILES)`);
  const actions = r.stdout.split('\n').filter((l) => l.startsWith('~ ')).slice(-15);
  lines.push('  last actions:', ...actions.map((l) => '    ' + l));
  const err = r.stderr.split('\n').filter((l) => l.trim()).slice(-40);
  lines.push('  standard error (end):', ...err.map((l) => '    ' + l));
  return lines.join('\n');
}

async function main() {
  let o;
  try {
    o = parseArgs(process.argv.slice(2));
  } catch (e) {
    console.error(`addon-fuzz: ${e.message}`);
    process.exit(2);
  }
  const addon = chooseAddon(o);
  if (!fs.existsSync(addon)) {
    console.error(`addon-fuzz: no addon at ${addon} (build it first)`);
    process.exit(2);
  }
  const sanitized = isSanitized(addon);
  const x = await startXvfb();
  const files = makeFuzzFiles();
  const env = hostEnv({ display: x.display, audio: 'null', env: { TESSIMARKE_ADDON: addon, TESSIMARKE_FUZZ_FILES: files, LP_NUM_THREADS: '0', ...(sanitized ? sanitizerEnv() : {}) } });
  const todo = o.only !== null ? [o.only] : Array.from({ length: o.iterations }, (_, i) => i);
  console.log(`addon-fuzz: ${todo.length} iteration(s) from seed ${o.seed} against ${path.relative(root, addon)}${sanitized ? ' (sanitized)' : ''}`);
  const started = Date.now();
  const failures = [];
  let done = 0, risky = 0, checks = 0;
  const queue = todo.slice();
  async function worker() {
    while (queue.length) {
      const r = await runCase(o, env, queue.shift());
      done++;
      if (r.mode === 'risky') { risky++; if (r.signal === 'SIGABRT' || r.code === 134) checks++; }
      if (r.problem) {
        failures.push(r);
        console.log(describeFailure(o, r));
      }
    }
  }
  await Promise.all(Array.from({ length: Math.max(1, o.jobs) }, worker));
  x.stop();
  fs.rmSync(files, { recursive: true, force: true });
  const secs = ((Date.now() - started) / 1000).toFixed(1);
  console.log(`addon-fuzz: ${done} iterations (${risky} past the contracts, ${checks} of them ended in a deliberate check) in ${secs} s, ${failures.length} failed`);
  if (failures.length) {
    console.log(`addon-fuzz: failed iterations: ${failures.map((r) => r.i).join(' ')} (seed ${o.seed})`);
    process.exit(1);
  }
}

main();
