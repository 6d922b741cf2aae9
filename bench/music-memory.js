'use strict';
// Memory of streamed music against the whole-file decode, on a 10-minute stereo Ogg Vorbis file
// made here with sox and oggenc (not kept). A child host under a private X server with the null
// audio backend: the peak resident memory of SECONDS seconds of empty ticks, then of SECONDS seconds
// of ticks streaming the music (and of its second half alone), then loadAudio decoding the file whole. Run: node bench/music-memory.js [seconds]
const { spawnSync, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const MINUTES = 10;
const SECONDS = Number(process.argv[2] || 15);

function rssMiB() {
  const m = /VmRSS:\s+(\d+) kB/.exec(fs.readFileSync('/proc/self/status', 'utf8'));
  return Number(m[1]) / 1024;
}

if (process.env.TM_MUSIC_CHILD) {
  const addon = require(path.join(__dirname, '..', 'lib', 'index.js'));
  const header = new Uint32Array(addon.initBuffer(0, 1024));
  addon.initBuffer(2, 64); addon.initBuffer(3, 64);
  header[2] = 0;
  const file = process.env.TM_MUSIC_CHILD;
  const sleeper = new Int32Array(new SharedArrayBuffer(4));
  // The same loop without music first, so the host's own memory (V8's heap) has settled.
  const run = (seconds) => {
    let peak = 0;
    for (const end = Date.now() + seconds * 1000; Date.now() < end;) {
      addon.tick();
      peak = Math.max(peak, rssMiB());
      Atomics.wait(sleeper, 0, 0, 10);
    }
    return peak;
  };
  const before = run(SECONDS);
  const source = addon.playMusic(file, 1, 0, 0);
  const firstHalf = run(SECONDS / 2);
  const peak = Math.max(firstHalf, run(SECONDS / 2));
  const growth = peak - firstHalf;
  addon.stopMusic();
  addon.tick();
  const streamed = peak - before;
  const beforeWhole = rssMiB();
  const status = addon.loadAudio(0, file, 2, 2);
  const whole = rssMiB() - beforeWhole;
  addon.quit();
  process.stdout.write(`@figures ${JSON.stringify({ source, status, streamed, growth, whole })}\n`);
  process.exit(0);
}

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-music-bench-'));
try {
  const wav = path.join(dir, 'long.wav');
  const ogg = path.join(dir, 'long.ogg');
  execFileSync('sox', ['-R', '-n', '-r', '44100', '-c', '2', '-b', '16', wav, 'synth', String(MINUTES * 60),
    'sine', '220-880', 'sine', '330', 'vol', '0.4']);
  execFileSync('oggenc', ['-Q', '-s', '99', '-q', '3', '-o', ogg, wav]);
  fs.rmSync(wav);
  const { startXvfb } = require('../tests/integration/harness');
  startXvfb().then(({ display, stop }) => {
    const r = spawnSync(process.execPath, [__filename], {
      encoding: 'utf8',
      env: { ...process.env, DISPLAY: display, TM_MUSIC_CHILD: ogg, ALSOFT_DRIVERS: 'null', LIBGL_ALWAYS_SOFTWARE: '1', LP_NUM_THREADS: '0' },
    });
    stop();
    const line = r.stdout.split('\n').find((l) => l.startsWith('@figures '));
    if (!line) throw new Error(`no figures:\n${r.stdout}\n${r.stderr}`);
    const f = JSON.parse(line.slice(9));
    console.log(`music file: ${MINUTES} min stereo 44.1 kHz Ogg Vorbis, ${(fs.statSync(ogg).size / 1048576).toFixed(1)} MiB`);
    console.log(`streamed for ${SECONDS} s (source ${f.source}): resident memory grew ${f.streamed.toFixed(2)} MiB`);
    console.log(`  of which in the second half: ${f.growth.toFixed(2)} MiB`);
    console.log(`decoded whole by loadAudio (status ${f.status}): resident memory grew ${f.whole.toFixed(1)} MiB`);
    console.log(`ratio streamed / whole: ${(f.streamed / f.whole).toFixed(4)}`);
    fs.rmSync(dir, { recursive: true, force: true });
  });
} catch (e) {
  fs.rmSync(dir, { recursive: true, force: true });
  throw e;
}
