'use strict';
// The game loop: a fixed-timestep clock (FixedStep) that turns real frame times into whole
// simulation steps with a cap on catch-up steps and an interpolation factor, and runLoop, which
// runs frames on it: poll and decode the input, run the steps, draw, run the commands, render.
// runLoop is synchronous; call it from the main function given to the addon's startTicking.
const { native } = require('./native');
const { checkNumber, checkInteger, checkOptions, kitError } = require('./checks');
const { readEvents } = require('./events');

// Slack when dividing accumulated time into steps: sums of a step's length in floating point come
// out a hair short of a whole number of steps.
const STEP_EPSILON = 1e-9;

// Real time in, whole steps out. advance(seconds) adds a frame's time and answers how many steps
// of `step` seconds to run now, at most `maxSteps`; time past the cap is dropped (counted in
// `dropped`), so a long stall does not cause a burst of catch-up steps. `alpha` is the part of a
// step left over, 0 to 1: how far to interpolate between the last two states when drawing.
class FixedStep {
  constructor(options) {
    const { step = 1 / 60, maxSteps = 5 } = checkOptions(options, ['step', 'maxSteps'], 'FixedStep');
    if (checkNumber(step, 'step') <= 0) throw kitError(RangeError, 'ERR_RANGE', `step must be positive, got ${step}`);
    this.step = step;
    this.maxSteps = checkInteger(maxSteps, 1, 1000, 'maxSteps');
    this.reset();
  }
  reset() {
    this.accumulated = 0;
    this.alpha = 0;
    this.steps = 0;
    this.dropped = 0;
  }
  advance(seconds) {
    if (checkNumber(seconds, 'seconds') < 0) throw kitError(RangeError, 'ERR_RANGE', `seconds must be 0 or more, got ${seconds}`);
    this.accumulated += seconds;
    let n = Math.floor(this.accumulated / this.step + STEP_EPSILON);
    this.accumulated = Math.max(0, this.accumulated - n * this.step);
    if (n > this.maxSteps) {
      this.dropped += (n - this.maxSteps) * this.step;
      n = this.maxSteps;
    }
    this.steps += n;
    this.alpha = Math.min(1, this.accumulated / this.step);
    return n;
  }
}

const LOOP_OPTIONS = ['step', 'maxSteps', 'update', 'draw', 'buffers', 'input', 'onEvent', 'commands', 'gfx', 'frames',
  'realTime', 'minFrameTime', 'stopOnQuit', 'now'];
const sleeper = new Int32Array(new SharedArrayBuffer(4));
const clock = () => performance.now() / 1000;

// A warning said once per process, for a loop that runs but cannot show what it is given.
const warned = new Set();
function warnOnce(code, message) {
  if (warned.has(code)) return;
  warned.add(code);
  process.stderr.write(`tessimarke: ${message}\n`);
}

// Runs frames until loop.stop(), a quit request (unless stopOnQuit is false) or `frames` frames.
// Each frame: with `buffers`, poll() and readEvents, each event to `onEvent(e, loop)` and to
// `input` (an InputState); then as many `update(step, loop)` calls as the clock allows (with
// input.endStep() after each); then `draw(alpha, loop)`; then, when given, commands.tick() and
// gfx.render(). realTime false runs exactly one step per frame (repeatable headless runs);
// minFrameTime (seconds) sleeps out the rest of a shorter frame. Returns the loop: frames, steps,
// time (simulated seconds), dropped (seconds past the cap), frameTime (the last frame's seconds).
function runLoop(options) {
  const o = checkOptions(options, LOOP_OPTIONS, 'runLoop');
  const { update = () => {}, draw = () => {}, buffers = null, input = null, onEvent = null, commands = null, gfx = null,
    frames = 0, realTime = true, minFrameTime = 0, stopOnQuit = true, now = clock } = o;
  for (const [name, f] of [['update', update], ['draw', draw], ['now', now]]) {
    if (typeof f !== 'function') throw kitError(TypeError, 'ERR_TYPE', `runLoop: ${name} must be a function`);
  }
  if (onEvent !== null && typeof onEvent !== 'function') throw kitError(TypeError, 'ERR_TYPE', 'runLoop: onEvent must be a function');
  if ((input || onEvent) && !buffers) throw kitError(TypeError, 'ERR_TYPE', 'runLoop: input and onEvent need buffers to read the events from');
  checkInteger(frames, 0, Number.MAX_SAFE_INTEGER, 'frames');
  if (!gfx) warnOnce('no-gfx', 'runLoop without gfx renders nothing: the window stays black (pass the Graphics of setupGraphics)');
  else if (gfx.isReady === false) warnOnce('not-ready', 'runLoop with graphics that are not ready draws nothing (call gfx.ready())');
  if (!commands) warnOnce('no-commands', 'runLoop without commands runs no command: text and sounds never appear (pass a CommandWriter)');
  checkNumber(minFrameTime, 'minFrameTime');
  const fixed = new FixedStep({ step: o.step, maxSteps: o.maxSteps });
  const events = [];
  const loop = {
    frame: 0, steps: 0, time: 0, alpha: 0, dropped: 0, frameTime: 0, step: fixed.step, stopped: false,
    stop() { this.stopped = true; },
  };
  let last = now();
  while (!loop.stopped && (frames === 0 || loop.frame < frames)) {
    const start = now();
    const n = realTime ? fixed.advance(start - last) : (fixed.alpha = 0, 1);
    last = start;
    let quit = false;
    if (buffers) {
      native().poll();
      events.length = 0;
      readEvents(buffers, events);
      for (let i = 0; i < events.length; ++i) {
        const e = events[i];
        if (e.type === 'quit') quit = true;
        if (onEvent) onEvent(e, loop);
        if (input) input.handle(e);
      }
    }
    for (let i = 0; i < n && !loop.stopped; ++i) {
      update(fixed.step, loop);
      loop.steps += 1;
      loop.time = loop.steps * fixed.step;
      if (input) input.endStep();
    }
    loop.alpha = fixed.alpha;
    loop.dropped = fixed.dropped;
    draw(loop.alpha, loop);
    if (commands) commands.tick();
    if (gfx) gfx.render();
    loop.frame += 1;
    if (quit && stopOnQuit) loop.stop();
    loop.frameTime = now() - start;
    if (minFrameTime > loop.frameTime) Atomics.wait(sleeper, 0, 0, (minFrameTime - loop.frameTime) * 1000);
  }
  return loop;
}

module.exports = { FixedStep, runLoop };
