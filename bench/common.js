'use strict';
// Shared by the Node benchmark hosts: interleaved timing rounds and the `@bench` lines the suite's
// driver (bench/run.js) collects into its table.

// Rounds to time, after one untimed warm-up round.
function rounds(n) { return n; }

// Runs every function once per round, in an order rotated each round so that none always runs first
// after another; answers { name: [nanoseconds per round] }.
function timeRounds(n, fns) {
  const names = Object.keys(fns);
  for (const name of names) fns[name]();
  const times = Object.fromEntries(names.map((k) => [k, []]));
  for (let r = 0; r < n; ++r) {
    for (let k = 0; k < names.length; ++k) {
      const name = names[(r + k) % names.length];
      const t0 = process.hrtime.bigint();
      fns[name]();
      times[name].push(Number(process.hrtime.bigint() - t0));
    }
  }
  return times;
}

// One figure: per-round values scaled by `scale` (e.g. 1 / items), and optionally its ratio to a
// comparator taken round by round (comparator / figure: how many times cheaper the figure is).
function emit(name, values, scale, unit, comparator, comparatorName) {
  const line = { name, unit, values: values.map((v) => v * scale) };
  if (comparator) {
    line.ratio = values.map((v, i) => comparator[i] / v);
    line.against = comparatorName;
  }
  console.log('@bench ' + JSON.stringify(line));
}

module.exports = { rounds, timeRounds, emit };
