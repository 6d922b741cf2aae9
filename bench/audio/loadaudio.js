'use strict';
// Sound loading against the decoder's own command-line tool: loadAudio of a 60 s stereo Ogg Vorbis
// file (made here by sox and oggenc, seeded, so every run decodes the same bytes) against
// `oggdec -o /dev/null` on the same file, rounds interleaved, CPU and wall time, median, min and max
// of the per-round ratios; and the peak resident memory a load adds, against the size of its PCM.
//
//   node bench/audio/loadaudio.js [--rounds N] [--seconds S] [--quick] [--json]
//
// --quick is 3 rounds of a 20 s file. Without --json it prints a small table; with --json one line
// of JSON: { seconds, rounds, pcmBytes, cpu: { ratio, loadAudio, oggdec }, wall: {...},
// peakExtra: { firstLoad, laterLoads } } where each ratio and time entry is { median, min, max }
// (times in ms) and peakExtra is bytes of peak RSS a load added over the PCM size (1 = the PCM).
// It starts its own private X server (the addon opens a window when loaded) and plays to OpenAL
// Soft's null backend. Needs sox, oggenc, oggdec and Xvfb; the addon from build/ or
// $TESSIMARKE_BUILD_DIR.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn, execFileSync } = require('node:child_process');

function options(argv) {
  const o = { rounds: 9, seconds: 60, json: false };
  for (let i = 0; i < argv.length; i++) {
    if (argv[i] === '--rounds') o.rounds = Number(argv[++i]);
    else if (argv[i] === '--seconds') o.seconds = Number(argv[++i]);
    else if (argv[i] === '--quick') { o.rounds = 3; o.seconds = 20; }
    else if (argv[i] === '--json') o.json = true;
    else if (argv[i] === '--child') o.child = argv[++i];
    else throw new Error(`unknown option ${argv[i]}`);
  }
  return o;
}

// --- the measuring host (a child process with the addon loaded) ------------------------------------

// Peak resident set of this process in bytes since the last reset.
function peakRss() {
  const m = /VmHWM:\s+(\d+) kB/.exec(fs.readFileSync('/proc/self/status', 'utf8'));
  return Number(m[1]) * 1024;
}
function currentRss() {
  const m = /VmRSS:\s+(\d+) kB/.exec(fs.readFileSync('/proc/self/status', 'utf8'));
  return Number(m[1]) * 1024;
}
// Starts a new peak from the current resident set.
function resetPeak() {
  fs.writeFileSync('/proc/self/clear_refs', '5');
}

// CPU (user + system) and wall time of `oggdec` on the file, in ms, from bash's own timer.
function timeOggdec(file) {
  const out = execFileSync('bash', ['-c', 'TIMEFORMAT="%3U %3S %3R"; { time oggdec -Q -o /dev/null "$0" 2>/dev/null; } 2>&1', file],
    { encoding: 'utf8' });
  const [user, sys, real] = out.trim().split(/\s+/).map(Number);
  return { cpu: (user + sys) * 1000, wall: real * 1000 };
}

function child(o) {
  const addon = require(process.env.TESSIMARKE_ADDON);
  const { file, rounds } = JSON.parse(fs.readFileSync(o.child, 'utf8'));
  const rows = [];
  for (let r = 0; r < rounds; r++) {
    const dec = timeOggdec(file);
    resetPeak();
    const before = currentRss();
    const c0 = process.cpuUsage();
    const t0 = performance.now();
    const result = addon.loadAudio(r % 2, file, 2, 2);
    const wall = performance.now() - t0;
    const c = process.cpuUsage(c0);
    if (result !== 0) throw new Error(`loadAudio returned ${result}`);
    rows.push({ oggdec: dec, load: { cpu: (c.user + c.system) / 1000, wall }, peakExtra: peakRss() - before });
  }
  addon.quit();
  process.stdout.write(JSON.stringify(rows) + '\n');
}

// --- the driver ------------------------------------------------------------------------------------

function stats(values) {
  const s = [...values].sort((a, b) => a - b);
  const mid = s.length >> 1;
  return { median: s.length % 2 ? s[mid] : (s[mid - 1] + s[mid]) / 2, min: s[0], max: s[s.length - 1] };
}

function makeFile(dir, seconds) {
  const wav = path.join(dir, 'bench.wav');
  const ogg = path.join(dir, 'bench.ogg');
  // Left a gliding tone, right pink noise: a bit rate between a pure tone and dense music.
  execFileSync('sox', ['-R', '-n', '-r', '44100', '-c', '2', '-b', '16', wav, 'synth', String(seconds),
    'sine', '220-1760', 'pinknoise', 'vol', '0.5']);
  execFileSync('oggenc', ['-Q', '-s', '1234', '-q', '6', '-o', ogg, wav]);
  fs.unlinkSync(wav);
  return ogg;
}

async function main() {
  const o = options(process.argv.slice(2));
  if (o.child) return child(o);
  const { startXvfb, hostEnv } = require('../../tests/integration/harness');
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-bench-audio-'));
  const xs = await startXvfb();
  try {
    const file = makeFile(dir, o.seconds);
    const plan = path.join(dir, 'plan.json');
    fs.writeFileSync(plan, JSON.stringify({ file, rounds: o.rounds }));
    const out = await new Promise((resolve, reject) => {
      const p = spawn(process.execPath, [__filename, '--child', plan], {
        env: { ...hostEnv({ display: xs.display, audio: 'null' }), LP_NUM_THREADS: '0' }, stdio: ['ignore', 'pipe', 'inherit'],
      });
      let text = '';
      p.stdout.on('data', (d) => { text += d; });
      p.on('close', (code) => (code === 0 ? resolve(text) : reject(new Error(`measuring host exited ${code}`))));
    });
    const rows = JSON.parse(out.trim().split('\n').pop());
    const pcmBytes = Number(execFileSync('bash', ['-c', 'oggdec -Q -o - "$0" | wc -c', file], { encoding: 'utf8' })) - 44;
    const report = {
      seconds: o.seconds,
      rounds: o.rounds,
      pcmBytes,
      cpu: {
        ratio: stats(rows.map((r) => r.load.cpu / r.oggdec.cpu)),
        loadAudio: stats(rows.map((r) => r.load.cpu)),
        oggdec: stats(rows.map((r) => r.oggdec.cpu)),
      },
      wall: {
        ratio: stats(rows.map((r) => r.load.wall / r.oggdec.wall)),
        loadAudio: stats(rows.map((r) => r.load.wall)),
        oggdec: stats(rows.map((r) => r.oggdec.wall)),
      },
      peakExtra: { firstLoad: rows[0].peakExtra / pcmBytes, laterLoads: stats(rows.slice(1).map((r) => r.peakExtra / pcmBytes)) },
    };
    if (o.json) {
      process.stdout.write(JSON.stringify(report) + '\n');
      return;
    }
    const f = (s, d = 2) => `${s.median.toFixed(d)} (${s.min.toFixed(d)}-${s.max.toFixed(d)})`;
    console.log(`loadAudio vs oggdec, ${o.seconds} s stereo, ${o.rounds} rounds interleaved: median (min-max)`);
    console.log(`  CPU  loadAudio ${f(report.cpu.loadAudio, 1)} ms, oggdec ${f(report.cpu.oggdec, 1)} ms, ratio ${f(report.cpu.ratio)}`);
    console.log(`  wall loadAudio ${f(report.wall.loadAudio, 1)} ms, oggdec ${f(report.wall.oggdec, 1)} ms, ratio ${f(report.wall.ratio)}`);
    const later = report.peakExtra.laterLoads;
    console.log(`  peak RSS added per load / PCM (${pcmBytes} bytes): first ${report.peakExtra.firstLoad.toFixed(2)}, later ${later ? f(later) : '-'}`);
  } finally {
    xs.stop();
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

main().catch((e) => { console.error(e); process.exitCode = 1; });
