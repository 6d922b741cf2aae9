'use strict';
// Helpers of the window, event, clipboard and controller tests: a host driven line by line over its
// standard input, the X tools that act on the window from outside (xdotool, xwininfo, xclip), and
// the event-record decoder the hosts' reports are checked against.
const { execFile, spawn } = require('node:child_process');
const { promisify } = require('node:util');
const { runHost, hostEnv } = require('./harness');

const execFileP = promisify(execFile);

// Starts an interactive host: `request(cmd)` writes one JSON line to the host's standard input and
// resolves with the next report the host prints. `done` resolves with runHost's result. Once the
// host has ended, a request that is still waiting, and every later one, fails with how it ended.
function startInteractive(script, args, options) {
  const waiting = [];
  const early = [];
  let lines = [];
  const onLine = (line) => {
    lines.push(line);
    if (!line.startsWith('@result ')) return;
    const value = JSON.parse(line.slice(8));
    const next = waiting.shift();
    if (next) next.resolve(value); else early.push(value);
  };
  let ended = null;
  let child = null;
  const done = runHost(script, args, {
    ...options,
    onLine: (line, c) => { child = c; onLine(line); },
  });
  // The child is known once it writes its first line; requests wait for the host's first report.
  const end = (error) => {
    ended = error;
    for (const w of waiting.splice(0)) w.reject(error);
  };
  done.then((r) => end(new Error(`host ended: code ${r.code}, signal ${r.signal}\n${r.stderr.slice(-3000)}`)), end);
  const next = () => new Promise((resolve, reject) => {
    if (early.length) resolve(early.shift());
    else if (ended) reject(ended);
    else waiting.push({ resolve, reject });
  });
  const request = async (cmd) => {
    child.stdin.write(JSON.stringify(cmd) + '\n');
    return next();
  };
  const takeLines = () => { const l = lines; lines = []; return l; };
  return { next, request, done, takeLines };
}

// Runs an X client against `display` and returns its standard output; with `timeout` (ms) it is
// killed, and the call fails, after that long.
async function x(display, command, args, timeout = 0) {
  const { stdout } = await execFileP(command, args, { env: { ...process.env, DISPLAY: display }, timeout });
  return stdout;
}

// The id of the window titled exactly `title` ("Tessimarke" unless a host set its own).
// The window with this title. A host may set its title a little after its window appears (later
// still under the sanitizers), so the search is retried for up to ten seconds.
async function findWindow(display, title = 'Tessimarke') {
  for (let tries = 0; ; ++tries) {
    try {
      const out = await x(display, 'xdotool', ['search', '--name', `^${title}$`]);
      const ids = out.trim().split('\n').filter(Boolean);
      if (ids.length) return ids[ids.length - 1];
      if (tries >= 100) throw new Error(`no window named ${title}`);
    } catch (e) {
      if (tries >= 100) throw e;
    }
    await new Promise((r) => setTimeout(r, 100));
  }
}

// Size and title of an X window, measured by xwininfo.
async function windowInfo(display, id) {
  const out = await x(display, 'xwininfo', ['-id', id]);
  const num = (label) => Number(new RegExp(`${label}:\\s+(-?\\d+)`).exec(out)[1]);
  const title = /xwininfo: Window id: \S+ "(.*)"/.exec(out);
  return { width: num('Width'), height: num('Height'), x: num('Absolute upper-left X'),
    y: num('Absolute upper-left Y'), title: title ? title[1] : null };
}

const xdotool = (display, ...args) => x(display, 'xdotool', args.map(String));

// Starts a game as a player does (`node <args>` in `cwd`, `source` on its standard input when
// given). `ready` resolves once it has printed "Native ready"; `done` with { code, signal, stdout,
// stderr } once it has ended; after `limit` ms it is killed.
function startGame(args, { cwd, env, source, limit = 120000 }) {
  const child = spawn(process.execPath, args, { cwd, env, stdio: [source === undefined ? 'ignore' : 'pipe', 'pipe', 'pipe'] });
  if (source !== undefined) child.stdin.end(source);
  let stdout = '', stderr = '';
  child.stderr.on('data', (d) => { stderr += d; });
  const ready = new Promise((resolve, reject) => {
    child.stdout.on('data', (d) => {
      stdout += d;
      if (stdout.includes('Native ready\n')) resolve();
    });
    child.on('close', (code, signal) => reject(new Error(`the game ended before it was ready: code ${code}, signal ${signal}\n${stderr}`)));
  });
  const timer = setTimeout(() => child.kill('SIGKILL'), limit);
  const done = new Promise((resolve) => child.on('close', (code, signal) => {
    clearTimeout(timer);
    resolve({ code, signal, stdout, stderr });
  }));
  return { child, ready, done };
}

// Closes the window as a player does, with the window manager's Alt+F4, and resolves with `done`
// (startGame's) once the game has ended. The window is made active first: xdotool sends a key for a
// window without focus to the window itself, where the manager never sees it. Repeated every few
// seconds in case the game was still mapping its window or between frames and lost the request.
async function closeWindow(display, id, done, every = 5000) {
  let ended = null;
  done.then((r) => { ended = r; });
  while (!ended) {
    for (const args of [['windowactivate', '--sync', id], ['key', 'alt+F4']]) {
      // The window may be gone already, or never report itself active.
      await x(display, 'xdotool', args.map(String), every).catch(() => {});
    }
    await Promise.race([done, new Promise((r) => setTimeout(r, every))]);
  }
  return ended;
}

// xclip reading the clipboard; resolves with what it printed (the host must keep pumping meanwhile).
function xclipOut(display, target) {
  const args = ['-o', '-selection', 'clipboard'];
  if (target) args.push('-t', target);
  return execFileP('xclip', args, { env: { ...process.env, DISPLAY: display }, encoding: 'buffer' })
    .then(({ stdout }) => stdout);
}

// xclip owning the clipboard with `data` of type `target`; returns the owner process (kill it after).
function xclipIn(display, data, target = 'UTF8_STRING') {
  return new Promise((resolve, reject) => {
    const p = spawn('xclip', ['-i', '-selection', 'clipboard', '-t', target, '-quiet'],
      { env: { ...process.env, DISPLAY: display }, stdio: ['pipe', 'ignore', 'pipe'] });
    p.on('error', reject);
    // With -quiet xclip stays in the foreground. It prints its waiting line before the X server has
    // seen it take the selection, so ask for the selection's targets until they name `target`.
    let waiting = false;
    p.stderr.on('data', async (d) => {
      if (waiting || !String(d).includes('Waiting for selection requests')) return;
      waiting = true;
      for (let i = 0; i < 200; ++i) {
        const targets = await xclipOut(display, 'TARGETS').catch(() => Buffer.alloc(0));
        if (targets.toString().split('\n').includes(target)) { resolve(p); return; }
        await new Promise((r) => setTimeout(r, 10));
      }
      reject(new Error(`xclip never owned the clipboard with ${target}`));
    });
    p.stdin.end(data);
  });
}

module.exports = { startInteractive, x, xdotool, startGame, closeWindow, findWindow, windowInfo, xclipOut, xclipIn, hostEnv };
