'use strict';
// Mutation testing: what the suite catches, measured on a fixed, seeded sample of mutants of the
// addon's sources (every subsystem) and the kit, kept in tests/mutation/sample.jsonl so that the
// same mutants run again after the suite changes.
//
//   node scripts/mutation.js sample [--seed N] [--count N]   draws the sample (the shared mutation
//                                                              tool writes every mutant of a file)
//   node scripts/mutation.js run [--label L] [--rev R] [--from I] [--to J] [--timeout S] [--recheck K]
//                                                              runs mutants I..J-1 (all by default)
//                                                              on revision R (HEAD by default);
//                                                              with --recheck K, only those the run
//                                                              labelled K killed or did not reach
//   node scripts/mutation.js compare A B                       the runs labelled A and B over the
//                                                              mutants both scored
//
// A run works on a copy of the committed tree in build-mutation/ (never on the checkout): each
// mutant is applied, the addon and the unit tests rebuilt when it is native code, and the tests
// tests/mutation/map.tsv names for its file run with a time limit. A mutant is killed when a test
// fails, survives when all pass, times out past the limit, or is not built when it does not
// compile (left out of the score). Each set of tests runs once on the unmutated tree first.
// Results go to build-mutation/results-<label>.jsonl as they come, so a stopped run goes on where
// it stopped; the end prints the counts, the score and the survivors. After tests are removed, a
// recheck runs again only what an earlier run killed: a survivor, a stale mutant or one that does
// not compile stays so while the sources are the same, and is carried over.
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const root = path.join(__dirname, '..');
const SAMPLE = path.join(root, 'tests', 'mutation', 'sample.jsonl');
const MAP = path.join('tests', 'mutation', 'map.tsv');
const WORK = path.join(root, 'build-mutation');
const APPLIED = path.join(WORK, 'applied.json');
// The build folder sits inside the tree, as build/ does in a checkout: the addon finds its package
// from its own place, and a copy of it in an empty package finds nothing.
const BUILD = path.join(WORK, 'tree', 'build');
const MUTATE = path.resolve(root, '..', 'shared', 'tools', 'mutate');

function option(args, name, fallback) {
  const i = args.indexOf(name);
  return i >= 0 ? args[i + 1] : fallback;
}

// A small seeded generator: the same seed draws the same sample.
function random(seed) {
  let s = seed >>> 0 || 1;
  return () => { s ^= s << 13; s >>>= 0; s ^= s >>> 17; s ^= s << 5; s >>>= 0; return s / 2 ** 32; };
}

// The sources mutated, by group: each native subsystem, the kit and the contract.
function sources() {
  const groups = {};
  const add = (group, file) => (groups[group] ||= []).push(file);
  const walk = (dir) => {
    for (const e of fs.readdirSync(path.join(root, dir), { withFileTypes: true })) {
      const rel = path.join(dir, e.name);
      if (e.isDirectory()) walk(rel);
      else if (/\.(cpp|h)$/.test(e.name)) add(rel.split(path.sep).slice(0, 2).join('/'), rel);
    }
  };
  walk('native');
  for (const f of fs.readdirSync(path.join(root, 'lib'))) if (f.endsWith('.js')) add('lib', path.join('lib', f));
  add('contract', path.join('contract', 'host.js'));
  return groups;
}

// One mutant as { file, line, original, mutated }: the first line it changes (an inserted line is
// kept with the line before it).
function describe(file, originalLines, mutantLines) {
  let i = 0;
  while (i < originalLines.length && originalLines[i] === mutantLines[i]) ++i;
  let a = originalLines.length - 1, b = mutantLines.length - 1;
  while (a > i && b > i && originalLines[a] === mutantLines[b]) { --a; --b; }
  if (a - i > 0 || b < i - 1) return null;  // more than one line changed: not a simple mutant
  if (a < i) {  // an insertion after line i - 1
    if (i === 0) return null;
    return { file, line: i, original: originalLines[i - 1], mutated: [originalLines[i - 1], ...mutantLines.slice(i, b + 1)].join('\n') };
  }
  return { file, line: i + 1, original: originalLines[i], mutated: mutantLines.slice(i, b + 1).join('\n') };
}

// Lines not worth mutating: comments, preprocessor lines, blank ones.
const inert = (text) => /^\s*($|\/\/|\/\*|\*|#)/.test(text);

function sample(args) {
  const seed = Number(option(args, '--seed', 23));
  const count = Number(option(args, '--count', 400));
  const rnd = random(seed);
  const groups = sources();
  const names = Object.keys(groups).sort();
  // Each group's share follows its size in lines, at least 10 mutants.
  const size = (files) => files.reduce((n, f) => n + fs.readFileSync(path.join(root, f), 'utf8').split('\n').length, 0);
  const lines = Object.fromEntries(names.map((g) => [g, size(groups[g])]));
  const total = Object.values(lines).reduce((a, b) => a + b, 0);
  const out = [];
  for (const group of names) {
    const perGroup = Math.max(10, Math.round((count * lines[group]) / total));
    const files = groups[group].sort();
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-mutants-'));
    const pool = [];
    for (const file of files) {
      const lang = file.endsWith('.js') ? 'javascript' : 'cpp';
      const fileDir = path.join(dir, path.basename(file));
      fs.mkdirSync(fileDir);
      spawnSync(MUTATE, [path.join(root, file), lang, '--mutantDir', fileDir, '--noCheck'], { stdio: 'ignore' });
      const originalLines = fs.readFileSync(path.join(root, file), 'utf8').split('\n');
      for (const m of fs.readdirSync(fileDir).sort()) {
        const d = describe(file, originalLines, fs.readFileSync(path.join(fileDir, m), 'utf8').split('\n'));
        if (d && !inert(d.original)) pool.push(d);
      }
    }
    fs.rmSync(dir, { recursive: true, force: true });
    const before = out.length;
    for (let k = 0; k < perGroup && pool.length; ++k) out.push(pool.splice(Math.floor(rnd() * pool.length), 1)[0]);
    process.stdout.write(`mutation: ${group}: ${out.length - before} mutants of ${groups[group].length} files\n`);
  }
  fs.mkdirSync(path.dirname(SAMPLE), { recursive: true });
  fs.writeFileSync(SAMPLE, out.map((m) => JSON.stringify(m)).join('\n') + '\n');
  process.stdout.write(`mutation: ${out.length} mutants (seed ${seed}) in ${path.relative(root, SAMPLE)}\n`);
}

// The map is read from the tree under test: the tests it names are that revision's.
function testsFor(tree, file) {
  for (const line of fs.readFileSync(path.join(tree, MAP), 'utf8').split('\n')) {
    if (!line || line.startsWith('#')) continue;
    const [prefix, ...tests] = line.split('\t');
    if (file.startsWith(prefix)) return tests;
  }
  return ['unit'];
}

// A copy of a committed tree (--rev, HEAD by default) with its own build folder. Moving it to
// another revision copies only the files whose content changed, so the build stays incremental.
function workTree(rev) {
  const tree = path.join(WORK, 'tree');
  const stamp = path.join(WORK, 'tree.rev');
  const commit = execFileSync('git', ['-C', root, 'rev-parse', rev], { encoding: 'utf8' }).trim();
  // A run stopped while a mutant was applied left its file mutated: put it back.
  if (fs.existsSync(APPLIED)) {
    const { file, text } = JSON.parse(fs.readFileSync(APPLIED, 'utf8'));
    fs.writeFileSync(path.join(tree, file), text);
    fs.rmSync(APPLIED);
  }
  const fresh = !fs.existsSync(tree);
  if (fresh || !fs.existsSync(BUILD) || (fs.existsSync(stamp) ? fs.readFileSync(stamp, 'utf8').trim() : commit) !== commit) {
    const incoming = fs.mkdtempSync(path.join(WORK, 'incoming-'));
    execFileSync('bash', ['-c', `git -C "${root}" archive ${commit} | tar -x -C "${incoming}"`]);
    const kept = new Set(['node_modules', 'app/assets/fonts', 'build']);
    const sync = (rel) => {
      const from = path.join(incoming, rel), to = path.join(tree, rel);
      const names = new Set(fs.existsSync(from) ? fs.readdirSync(from) : []);
      if (fs.existsSync(to)) {
        for (const n of fs.readdirSync(to)) {
          if (!names.has(n) && !kept.has(path.join(rel, n))) fs.rmSync(path.join(to, n), { recursive: true, force: true });
        }
      }
      fs.mkdirSync(to, { recursive: true });
      for (const n of names) {
        const r = path.join(rel, n);
        if (kept.has(r)) continue;
        if (fs.statSync(path.join(from, n)).isDirectory()) { sync(r); continue; }
        const data = fs.readFileSync(path.join(from, n));
        if (!fs.existsSync(path.join(to, n)) || !data.equals(fs.readFileSync(path.join(to, n)))) fs.writeFileSync(path.join(to, n), data);
      }
    };
    sync('');
    fs.rmSync(incoming, { recursive: true, force: true });
    if (fresh) {
      fs.symlinkSync(path.join(root, 'node_modules'), path.join(tree, 'node_modules'));
      fs.cpSync(path.join(root, 'app/assets/fonts'), path.join(tree, 'app/assets/fonts'), { recursive: true });
    }
    execFileSync('cmake', ['-S', tree, '-B', BUILD, '-DCMAKE_BUILD_TYPE=RelWithDebInfo'], { stdio: 'ignore' });
    // Everything once (the test harnesses too); a mutant rebuilds only what its tests use.
    execFileSync('cmake', ['--build', BUILD, '-j2'], { stdio: 'ignore' });
  }
  fs.writeFileSync(stamp, commit + '\n');
  return tree;
}

function build(targets) {
  const r = spawnSync('cmake', ['--build', BUILD, '-j2', '--target', ...targets],
    { stdio: 'ignore', timeout: 900000 });
  return r.status === 0;
}

// Runs the tests; 'killed', 'survived' or 'timeout'.
function runTests(tree, tests, seconds) {
  const until = Date.now() + seconds * 1000;
  const env = { ...process.env, TESSIMARKE_BUILD_DIR: BUILD, CI: '' };
  for (const t of tests) {
    const left = until - Date.now();
    if (left <= 0) return 'timeout';
    const r = t === 'unit'
      // The unit tests take seconds: a mutant that keeps them busy for two minutes hangs them.
      ? spawnSync(path.join(BUILD, 'unit_tests'), ['--gtest_brief=1'], { stdio: 'ignore', timeout: Math.min(left, 120000) })
      : spawnSync(process.execPath, ['--test', '--test-concurrency=1', path.join(tree, 'tests', 'integration', `${t}.test.js`)],
        { cwd: tree, env, stdio: 'ignore', timeout: left });
    if (r.error && r.error.code === 'ETIMEDOUT') return 'timeout';
    if (r.status !== 0) return 'killed';
  }
  return 'survived';
}

function run(args) {
  const label = option(args, '--label', 'current');
  const seconds = Number(option(args, '--timeout', 600));
  const mutants = fs.readFileSync(SAMPLE, 'utf8').split('\n').filter(Boolean).map((l) => JSON.parse(l));
  const from = Number(option(args, '--from', 0)), to = Number(option(args, '--to', mutants.length));
  const results = path.join(WORK, `results-${label}.jsonl`);
  const done = fs.existsSync(results) ? readResults(label) : new Map();
  for (const [index, r] of done) if (r.outcome === 'baseline fails') done.delete(index);  // tried again once the tests pass
  const recheck = option(args, '--recheck', null);
  if (recheck) {
    for (const r of readResults(recheck).values()) {
      if (done.has(r.index) || !['survived', 'not built', 'stale'].includes(r.outcome)) continue;
      done.set(r.index, r);
      fs.appendFileSync(results, JSON.stringify(r) + '\n');
    }
  }
  const tree = workTree(option(args, '--rev', 'HEAD'));
  if (!build(['all'])) throw new Error('mutation: the unmutated tree does not build');
  // Each set of tests must pass on the unmutated tree first, or its mutants prove nothing.
  const baseline = new Map();
  const passesUnmutated = (tests) => {
    const key = tests.join(' ');
    if (!baseline.has(key)) {
      // The last native mutant is still in the build until something rebuilds it.
      build(['tessimarke', 'unit_tests']);
      const outcome = runTests(tree, tests, seconds);
      baseline.set(key, outcome === 'survived');
      if (outcome !== 'survived') process.stdout.write(`mutation: the unmutated tree fails ${key} (${outcome}): its mutants are skipped\n`);
    }
    return baseline.get(key);
  };
  const started = Date.now();
  for (let index = from; index < to; ++index) {
    if (done.has(index)) continue;
    const m = mutants[index];
    const file = path.join(tree, m.file);
    const text = fs.readFileSync(file, 'utf8');
    const lines = text.split('\n');
    let outcome;
    if (lines[m.line - 1] !== m.original) {
      outcome = 'stale';  // the source moved since the sample was drawn
    } else if (!passesUnmutated(testsFor(tree, m.file))) {
      outcome = 'baseline fails';
    } else {
      lines[m.line - 1] = m.mutated;
      fs.writeFileSync(APPLIED, JSON.stringify({ file: m.file, text }));
      fs.writeFileSync(file, lines.join('\n'));
      const native = !m.file.endsWith('.js');
      const tests = testsFor(tree, m.file);
      // The addon, and the unit tests when they run; the next build puts the restored file back.
      const targets = tests.includes('unit') ? ['tessimarke', 'unit_tests'] : ['tessimarke'];
      outcome = native && !build(targets) ? 'not built' : runTests(tree, tests, seconds);
      fs.writeFileSync(file, text);
      fs.rmSync(APPLIED);
    }
    const r = { index, file: m.file, line: m.line, outcome };
    done.set(index, r);
    fs.appendFileSync(results, JSON.stringify(r) + '\n');
    process.stdout.write(`mutation: ${index} ${m.file}:${m.line} ${outcome}\n`);
  }
  const all = [...done.values()].filter((r) => r.index >= from && r.index < to);
  const count = (o) => all.filter((r) => r.outcome === o).length;
  const killed = count('killed'), survived = count('survived'), timedOut = count('timeout');
  const scored = killed + survived + timedOut;
  process.stdout.write(`mutation: ${killed} killed, ${survived} survived, ${timedOut} timed out, ${count('not built')} not built, ` +
    `${count('stale')} stale; score ${scored ? (((killed + timedOut) / scored) * 100).toFixed(1) : '-'}% ` +
    `(${((Date.now() - started) / 60000).toFixed(1)} min this run)\n`);
  for (const r of all.filter((x) => x.outcome === 'survived')) {
    process.stdout.write(`  survived ${r.index} ${r.file}:${r.line}: ${JSON.stringify(mutants[r.index].mutated.trim())}\n`);
  }
}

function readResults(label) {
  const byIndex = new Map();  // the last line for a mutant holds
  for (const l of fs.readFileSync(path.join(WORK, `results-${label}.jsonl`), 'utf8').split('\n').filter(Boolean)) {
    const r = JSON.parse(l);
    byIndex.set(r.index, r);
  }
  return byIndex;
}

// Two runs side by side, over the mutants both scored: what each caught, and which mutants one
// caught and the other let survive.
function compare([a, b]) {
  const ra = readResults(a), rb = readResults(b);
  const caught = (r) => r.outcome === 'killed' || r.outcome === 'timeout';
  const scored = (r) => r && (caught(r) || r.outcome === 'survived');
  const both = [...ra.values()].filter((r) => scored(r) && scored(rb.get(r.index)));
  const score = (runs) => {
    const k = both.filter((r) => caught(runs.get(r.index))).length;
    return `${k} of ${both.length} caught (${((k / both.length) * 100).toFixed(1)}%)`;
  };
  process.stdout.write(`${a}: ${score(ra)}\n${b}: ${score(rb)}\n`);
  for (const [from, to, word] of [[ra, rb, `caught by ${a} only`], [rb, ra, `caught by ${b} only`]]) {
    const only = both.filter((r) => caught(from.get(r.index)) && !caught(to.get(r.index)));
    process.stdout.write(`${word}: ${only.length}\n`);
    for (const r of only) process.stdout.write(`  ${r.index} ${r.file}:${r.line}\n`);
  }
}

const [command, ...rest] = process.argv.slice(2);
if (command === 'sample') sample(rest);
else if (command === 'run') run(rest);
else if (command === 'compare' && rest.length === 2) compare(rest);
else {
  process.stderr.write('usage: node scripts/mutation.js sample [--seed N] [--count N] | run [--label L] [--rev R] [--from I] [--to J] [--timeout S] [--recheck K] | compare A B\n');
  process.exit(2);
}
