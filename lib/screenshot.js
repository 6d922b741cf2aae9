'use strict';
// A screenshot of the game's window as PNG, taken from outside by ImageMagick's import with the
// window found by xdotool: the window this process opened (by its _NET_WM_PID), else the one titled
// `title`. It needs an X display (a private Xvfb does) and the two programs, which the project's
// setup installs (Debian imagemagick and xdotool). Slow (a process per call): for a last frame or
// a key press, not for every frame.
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { checkString, checkOptions } = require('./checks');

// The X window id of this process's window, or of the one titled exactly `title`.
function findWindowId(title) {
  const search = (args) => {
    const r = spawnSync('xdotool', ['search', ...args], { encoding: 'utf8' });
    if (r.error) throw new Error(`screenshot needs xdotool (Debian package xdotool): ${r.error.message}`);
    return (r.stdout || '').trim().split('\n').filter(Boolean);
  };
  const ids = search(['--pid', String(process.pid)]);
  if (ids.length) return ids[ids.length - 1];
  const named = search(['--name', `^${title.replace(/[\\^$.*+?()[\]{}|]/g, '\\$&')}$`]);
  return named.length ? named[named.length - 1] : null;
}

// Writes the window's contents to `file` as PNG and returns the file's absolute path. Throws when
// there is no display, no window, or import fails.
function screenshot(file, options) {
  const { title = 'Tessimarke' } = checkOptions(options, ['title'], 'screenshot');
  checkString(file, 'screenshot file');
  checkString(title, 'title');
  if (!process.env.DISPLAY) throw new Error('screenshot needs an X display (DISPLAY is not set)');
  const id = findWindowId(title);
  if (!id) throw new Error(`screenshot: no window of this process or titled "${title}" on ${process.env.DISPLAY}`);
  const out = path.resolve(file);
  const shot = spawnSync('import', ['-silent', '-window', id, `png:${out}`], { encoding: 'utf8' });
  if (shot.error) throw new Error(`screenshot needs ImageMagick's import (Debian package imagemagick): ${shot.error.message}`);
  if (shot.status !== 0) throw new Error(`screenshot: import failed: ${shot.stderr.trim()}`);
  return out;
}

module.exports = { screenshot };
