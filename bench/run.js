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
  const head = ['figure', 'unit', 'median', 'min', 'max', 'ratio (median, min-max)', 'against'];
  const body = rows.map((r) => {
    const ratio = r.ratio ? `${fmt(median(r.ratio))}x (${fmt(Math.min(...r.ratio))}-${fmt(Math.max(...r.ratio))})` : '';
    return [r.name, r.unit, fmt(median(r.values)), fmt(Math.min(...r.values)), fmt(Math.max(...r.values)), ratio,
      r.against || ''];
  });
  const widths = head.map((h, i) => Math.max(h.length, ...body.map((b) => b[i].length)));
  const line = (cells) => cells.map((c, i) => (i === 0 || i === 6 ? c.padEnd(widths[i]) : c.padStart(widths[i]))).join('  ');
  console.log(line(head));
  console.log(widths.map((w) => '-'.repeat(w)).join('  '));
  for (const b of body) console.log(line(b));
}

async function main() {
  const xs = await startXvfb();
  const env = hostEnv({ display: xs.display, audio: 'null', env: { LP_NUM_THREADS: '0' } });
  const rows = [];
  try {
    const node = process.execPath;
    rows.push(...collect('stream', node, [path.join(__dirname, 'stream', 'stream.js'),
      path.join(buildDir, 'bench', 'percall_bench.node'), ...flags], env));
    rows.push(...collect('text', path.join(buildDir, 'bench', 'text_bench'), flags, env));
  } finally {
    xs.stop();
  }
  printTable(rows);
}

main().catch((e) => { console.error(e); process.exit(1); });
