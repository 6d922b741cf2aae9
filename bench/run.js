'use strict';
// The benchmark suite's driver: starts a private X server with software GL (as the tests do), runs
// each benchmark program in a child process, collects their `@bench` lines and prints one table of
// medians, minima and maxima, with each figure's ratio to its comparator taken round by round.
// Usage: node bench/run.js [--quick]
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { root, buildDir, startXvfb, hostEnv } = require('../tests/integration/harness');

const quick = process.argv.includes('--quick');
const flags = quick ? ['--quick'] : [];

function median(v) {
  const s = [...v].sort((a, b) => a - b);
  const m = s.length >> 1;
  return s.length % 2 ? s[m] : (s[m - 1] + s[m]) / 2;
}

function fmt(x) {
  if (!Number.isFinite(x)) return String(x);
  const a = Math.abs(x);
  if (a === 0) return '0';
  if (a >= 1000) return x.toFixed(0);
  if (a >= 100) return x.toFixed(1);
  if (a >= 10) return x.toFixed(2);
  return x.toFixed(3);
}

// Runs one program; answers its parsed @bench lines (and reports a failure without stopping the suite).
function collect(label, command, args, env) {
  const r = spawnSync(command, args, { cwd: root, env, encoding: 'utf8', maxBuffer: 64 << 20 });
  const lines = [];
  for (const line of (r.stdout || '').split('\n')) if (line.startsWith('@bench ')) lines.push(JSON.parse(line.slice(7)));
  if (r.status !== 0) {
    process.stderr.write(`${label} failed (${r.status ?? r.signal}):\n${r.stderr}\n`);
  }
  return lines;
}

function printTable(rows) {
  const head = ['figure', 'unit', 'median', 'min', 'max', 'ratio median (min-max)', 'ratio is'];
  const body = rows.map((r) => {
    const v = r.stats || (r.values && r.values.length ? { median: median(r.values), min: Math.min(...r.values), max: Math.max(...r.values) } : null);
    const q = r.ratioStats || (r.ratio ? { median: median(r.ratio), min: Math.min(...r.ratio), max: Math.max(...r.ratio) } : null);
    const single = r.values && r.values.length === 1;
    return [r.name, r.unit, v ? fmt(v.median) : '', v && !single ? fmt(v.min) : '', v && !single ? fmt(v.max) : '',
      q ? `${fmt(q.median)}x (${fmt(q.min)}-${fmt(q.max)})` : '', r.against || ''];
  });
  const widths = head.map((h, i) => Math.max(h.length, ...body.map((b) => b[i].length)));
  const line = (cells) => cells.map((c, i) => (i === 0 || i === 6 ? c.padEnd(widths[i]) : c.padStart(widths[i]))).join('  ').trimEnd();
  console.log(line(head));
  console.log(widths.map((w) => '-'.repeat(w)).join('  '));
  for (const b of body) console.log(line(b));
}

// Rows from the sound-loading benchmark's one JSON line (bench/audio/loadaudio.js --json):
// loadAudio against oggdec on the same file, CPU and wall time, and the peak memory a load adds.
function audioRows(env) {
  const script = path.join(__dirname, 'audio', 'loadaudio.js');
  if (!fs.existsSync(script)) return [{ name: 'loadAudio vs oggdec: bench/audio/loadaudio.js not present', unit: '' }];
  const r = spawnSync(process.execPath, [script, '--json', ...flags], { cwd: root, env, encoding: 'utf8' });
  const line = (r.stdout || '').split('\n').reverse().find((l) => l.trim().startsWith('{'));
  if (r.status !== 0 || !line) {
    process.stderr.write(`audio failed (${r.status ?? r.signal}):\n${r.stderr}\n`);
    return [];
  }
  const a = JSON.parse(line);
  const file = `${a.seconds} s stereo`;
  const rows = [];
  for (const kind of ['cpu', 'wall']) {
    const k = a[kind];
    rows.push({ name: `loadAudio ${file}, ${kind === 'cpu' ? 'CPU' : 'wall'} time`, unit: 'ms', stats: k.loadAudio,
      ratioStats: k.ratio, against: `cost / oggdec ${kind === 'cpu' ? 'CPU' : 'wall'}` });
    rows.push({ name: `oggdec ${file}, ${kind === 'cpu' ? 'CPU' : 'wall'} time`, unit: 'ms', stats: k.oggdec });
  }
  if (a.peakExtra) {
    for (const [key, label] of [['firstLoad', 'first load'], ['laterLoads', 'later loads']]) {
      const v = a.peakExtra[key];
      if (v === undefined) continue;
      const value = typeof v === 'number' ? v : v.median;
      rows.push({ name: `peak extra memory, ${label} (1 = the PCM)`, unit: 'x PCM', values: [value] });
    }
  }
  return rows;
}

async function main() {
  const started = Date.now();
  const xs = await startXvfb();
  const env = hostEnv({ display: xs.display, audio: 'null', env: { LP_NUM_THREADS: '0' } });
  const rows = [];
  const node = process.execPath;
  const bench = (...p) => path.join(buildDir, 'bench', ...p);
  try {
    rows.push(...collect('stream', node, [path.join(__dirname, 'stream', 'stream.js'), bench('percall_bench.node'), ...flags], env));
    rows.push(...collect('layout', node, [path.join(__dirname, 'frame', 'frame.js'), 'layout', ...flags], env));
    rows.push(...collect('text', bench('text_bench'), flags, env));
    rows.push(...collect('skinning', node, [path.join(__dirname, 'models', 'skinning.js'), bench('skin_bench'), ...flags], env));
    rows.push(...collect('retained meshes', node, [path.join(__dirname, 'models', 'retained.js'), ...flags], env));
    const counts = path.join(fs.mkdtempSync(path.join(require('node:os').tmpdir(), 'tm-alloc-')), 'counts');
    rows.push(...collect('allocations', node, [path.join(__dirname, 'frame', 'frame.js'), 'allocs', ...flags],
      { ...env, LD_PRELOAD: path.join(buildDir, 'libcountalloc.so'), TSM_ALLOC_COUNTS: counts }));
    rows.push(...collect('rss', node, ['--expose-gc', path.join(__dirname, 'frame', 'frame.js'), 'rss', ...flags], env));
    rows.push(...collect('screenshot', node, [path.join(__dirname, 'frame', 'screenshot.js'), ...flags], env));
  } finally {
    xs.stop();
  }
  // The sound benchmark starts its own X server.
  rows.push(...audioRows(hostEnv({ audio: 'null' })));
  printTable(rows);
  console.log(`\n${quick ? 'quick run' : 'full run'}, ${((Date.now() - started) / 1000).toFixed(1)} s; ` +
    'medians, minima and maxima over interleaved rounds; ratios taken round by round.');
}

main().catch((e) => { console.error(e); process.exit(1); });
