'use strict';
// Helpers of the tests that act on a host's window from outside: hosts driven request by request, the X tools
// (xdotool, xwininfo, xclip), and games started as a player starts them.
const { execFile, spawn } = require('node:child_process');
const { promisify } = require('node:util');
const { runHost } = require('./harness');
const { decodeRecords } = require('../hosts/events-records');

const execFileP = promisify(execFile);
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Starts tests/hosts/<script>: `request(cmd)` writes one JSON line to its standard input and resolves with its next
// report, `next()` waits for one, `takeLines()` hands over the output lines seen since its last call, `done` is
// runHost's result. Once the host has ended, every waiting and later request fails with how it ended.
function startInteractive(script, args, options) {
  const waiting = [], early = [], lines = [];
  let ended = null, child = null;
  const done = runHost(script, args, { ...options, onLine: (line, c) => {
    child = c;
    lines.push(line);
    if (!line.startsWith('@result ')) return;
    const value = JSON.parse(line.slice(8)), next = waiting.shift();
    if (next) next.resolve(value); else early.push(value);
  } });
  const end = (error) => { ended = error; for (const w of waiting.splice(0)) w.reject(error); };
  done.then((r) => end(new Error(`host ended: code ${r.code}, signal ${r.signal}\n${r.stderr.slice(-3000)}`)), end);
  const next = () => new Promise((resolve, reject) => {
    if (early.length) resolve(early.shift()); else if (ended) reject(ended); else waiting.push({ resolve, reject });
  });
  const request = (cmd) => { child.stdin.write(JSON.stringify(cmd) + '\n'); return next(); };
  return { next, request, done, takeLines: () => lines.splice(0) };
}

// A host (tests/hosts/run.js) that runs the functions a test sends: `run(fn, arg)` resolves with fn(arg, state), the
// state kept between calls; `quit()` quits the addon. Resolves once it listens.
async function startHost(options) {
  const host = startInteractive('run.js', [String(function () {
    const state = {};
    serveRequests({ run: async ({ fn, arg }) => (await eval(`(${fn})`)(arg, state)) ?? null, quit: () => addon.quit() });
  })], options);
  host.run = (fn, arg) => host.request({ op: 'run', fn: String(fn), arg });
  host.quit = () => host.request({ op: 'quit' });
  await host.next();
  return host;
}

// For startHost's run: buffers 0-7 (sizes as createFixed) and a bufferIDs table whose entry 0 names the 8-byte block
// of the viewport pair (state.vp), the others no block.
function setupWindow(sizes, s) {
  s.f = createFixed(sizes);
  const [vp, vpId] = addon.nextBuffer(8), [table, tableId] = addon.nextBuffer(58);
  new Uint16Array(table).set(Array.from({ length: 29 }, (_, i) => (i ? 100 + i : vpId)));
  s.vp = new Float32Array(vp);
  addon.setBuffers(tableId);
}

// Polls a host set up by setupWindow `count` times, again until `until(records)` holds (for up to a minute); resolves
// with the queued event records, decoded.
async function poll(host, until = () => true, count = 1) {
  for (let i = 0; ; ++i) {
    const bytes = Uint8Array.from(await host.run((n, s) => {
      for (let k = 0; k < n; ++k) addon.poll();
      return Array.from(s.f.events.subarray(0, s.f.header[4]));
    }, count));
    const records = decodeRecords(bytes, bytes.length);
    if (until(records) || i >= 6000) return records;
    await sleep(10);
  }
}
const resetQueue = (host) => host.run((_, s) => { s.f.header[4] = 0; });

// Runs an X client against `display` and returns its standard output; killed (and failing) after `timeout` ms if given.
const x = async (display, command, args, timeout = 0) =>
  (await execFileP(command, args, { env: { ...process.env, DISPLAY: display }, timeout })).stdout;
const xdotool = (display, ...args) => x(display, 'xdotool', args.map(String));

// The id of the window titled exactly `title`, searched for up to ten seconds (a host may name its window a little
// after it appears).
async function findWindow(display, title = 'Tessimarke') {
  for (let tries = 0; ; ++tries) {
    const ids = (await xdotool(display, 'search', '--name', `^${title}$`).catch(() => '')).split('\n').filter(Boolean);
    if (ids.length) return ids.at(-1);
    if (tries >= 100) throw new Error(`no window named ${title}`);
    await sleep(100);
  }
}

// Size, place and title of an X window, measured by xwininfo.
async function windowInfo(display, id) {
  const out = await x(display, 'xwininfo', ['-id', id]);
  const num = (label) => Number(new RegExp(`${label}:\\s+(-?\\d+)`).exec(out)[1]);
  return { width: num('Width'), height: num('Height'), x: num('Absolute upper-left X'), y: num('Absolute upper-left Y'),
    title: /xwininfo: Window id: \S+ "(.*)"/.exec(out)?.[1] ?? null };
}

// Starts a game as a player does (`node <args>` in `cwd`): `ready` resolves once it has printed "Native ready", `done`
// with { code, signal, stdout, stderr } once it has ended; killed after two minutes.
function startGame(args, { cwd, env }) {
  const child = spawn(process.execPath, args, { cwd, env, stdio: ['ignore', 'pipe', 'pipe'] });
  let stdout = '', stderr = '';
  child.stderr.on('data', (d) => { stderr += d; });
  const ready = new Promise((resolve, reject) => {
    child.stdout.on('data', (d) => { stdout += d; if (stdout.includes('Native ready\n')) resolve(); });
    child.on('close', (code, signal) => reject(new Error(`the game ended before it was ready: code ${code}, signal ${signal}\n${stderr}`)));
  });
  const timer = setTimeout(() => child.kill('SIGKILL'), 120000);
  const done = new Promise((resolve) => child.on('close', (code, signal) => { clearTimeout(timer); resolve({ code, signal, stdout, stderr }); }));
  return { ready, done };
}

// Closes the window as a player does, with the window manager's Alt+F4 once the window is active (a key sent to a
// window without focus never reaches the manager), again every few seconds in case the game lost the request;
// resolves with startGame's `done`.
async function closeWindow(display, id, done, every = 5000) {
  let ended = null;
  done.then((r) => { ended = r; });
  while (!ended) {
    // The window may be gone already.
    for (const args of [['windowactivate', '--sync', id], ['key', 'alt+F4']]) await x(display, 'xdotool', args.map(String), every).catch(() => {});
    await Promise.race([done, sleep(every)]);
  }
  return ended;
}

// xclip reading the clipboard (its owner must keep pumping meanwhile); resolves with the bytes.
const xclipOut = (display, target) => execFileP('xclip', ['-o', '-selection', 'clipboard', ...(target ? ['-t', target] : [])],
  { env: { ...process.env, DISPLAY: display }, encoding: 'buffer' }).then((r) => r.stdout);

// xclip owning the clipboard with `data` of type `target`; resolves with the owner process (kill it after) once the
// X server names `target` among the selection's targets.
function xclipIn(display, data, target = 'UTF8_STRING') {
  return new Promise((resolve, reject) => {
    const p = spawn('xclip', ['-i', '-selection', 'clipboard', '-t', target, '-quiet'], { env: { ...process.env, DISPLAY: display }, stdio: ['pipe', 'ignore', 'pipe'] });
    p.on('error', reject);
    let waiting = false;
    p.stderr.on('data', async (d) => {
      if (waiting || !String(d).includes('Waiting for selection requests')) return;
      waiting = true;
      for (let i = 0; i < 1000; ++i) {
        const targets = await xclipOut(display, 'TARGETS').catch(() => Buffer.alloc(0));
        if (targets.toString().split('\n').includes(target)) return resolve(p);
        await sleep(10);
      }
      reject(new Error(`xclip never owned the clipboard with ${target}`));
    });
    p.stdin.end(data);
  });
}

module.exports = { startInteractive, startHost, setupWindow, poll, resetQueue, x, xdotool, startGame, closeWindow, findWindow, windowInfo, xclipOut, xclipIn };
