'use strict';
// The game object, the kit's one entry point: createGame opens the window at the size and title
// asked for (centred, kept inside the display), sets up the buffers, graphics, commands and input,
// and answers an object whose run() owns the whole lifecycle and whose loaders return handles.
//
// A mistake in the game's code never ends the process: a throw in update, draw or onEvent is caught,
// its stack printed, and shown on screen over the dimmed last frame until the window is closed or
// Escape is pressed; then the addon quits cleanly and the process exits with code 1. With
// onError: 'exit' (the default when nobody can see the window: CI set, no display, or no window
// manager) it quits at once with code 1.
//
// Everything below it (createBuffers, setupGraphics, CommandWriter, runLoop, ...) stays available as
// the kit's lower layer.
const { spawnSync } = require('node:child_process');
const { native, isLoaded } = require('./native');
const { checkInteger, checkNumber, checkString, checkOptions, checkChoice, kitError } = require('./checks');
const { createBuffers } = require('./buffers');
const { setupGraphics, directionalLight } = require('./graphics');
const { CommandWriter } = require('./commands');
const { InputState, KEY } = require('./input');
const { runLoop } = require('./loop');
const { drawText, layoutText } = require('./text');
const audio = require('./audio');
const textures = require('./textures');
const music = require('./music');
const windowControl = require('./window');
const quality = require('./quality');
const contract = require('../contract/host');

const GAME_OPTIONS = ['title', 'width', 'height', 'log', 'onError', 'debugChecks', 'sun', 'lightTransform', 'quality', 'frameBudget', 'step',
  'maxSteps', 'capacity', 'shaderDir', 'uiScale'];
const LOG_LEVELS = { errors: 'errors', info: 'info', all: 'all' };
const ON_ERROR = { screen: 'screen', exit: 'exit' };
const RUN_OPTIONS = ['update', 'draw', 'onEvent', 'frames', 'realTime'];
const DEFAULT_SIZE = [1280, 720];

// Whether anyone can see the window: a display, not CI, and a window manager on the display (which
// names itself on the root window; without xprop we cannot tell and assume one).
function windowWatched() {
  if (process.env.CI || !process.env.DISPLAY) return false;
  const r = spawnSync('xprop', ['-root', '_NET_SUPPORTING_WM_CHECK'], { encoding: 'utf8', timeout: 2000 });
  if (r.error) return true;
  return /window id #/.test(r.stdout || '');
}

let gameMade = false;

// Opens the game. Options: title, width, height (pixels; the window is centred and shrunk to fit the
// display), log ('errors' by default: only the addon's errors and the game's own output; 'info';
// 'all', every line the addon says), onError ('screen' or 'exit'), debugChecks (check every vertex),
// sun (the direction the sunlight shines along, default [-1, -2, -0.5], or { direction, extent }),
// lightTransform (the sun's whole transform, as setupGraphics takes it, in place of sun), quality ({ shadow, ssao,
// antialias }), frameBudget ({ target: seconds per frame, min: smallest render scale }: the render
// scale follows the frame time), step and maxSteps (the fixed-step clock), capacity, shaderDir,
// uiScale (as setupGraphics takes them).
function createGame(options) {
  const o = checkOptions(options, GAME_OPTIONS, 'createGame');
  if (gameMade) throw kitError(Error, 'ERR_STATE', 'createGame: a game is open already (one per process: the addon has one window)');
  const title = o.title === undefined ? 'Tessimarke' : checkString(o.title, 'createGame: title');
  const width = o.width === undefined ? DEFAULT_SIZE[0] : checkInteger(o.width, 1, contract.limits.MAX_WINDOW_SIDE, 'createGame: width');
  const height = o.height === undefined ? DEFAULT_SIZE[1] : checkInteger(o.height, 1, contract.limits.MAX_WINDOW_SIDE, 'createGame: height');
  const log = checkChoice(o.log === undefined ? 'errors' : o.log, LOG_LEVELS, 'createGame: log');
  const onError = o.onError === undefined ? (windowWatched() ? 'screen' : 'exit') : checkChoice(o.onError, ON_ERROR, 'createGame: onError');
  if (Buffer.byteLength(title) > contract.limits.MAX_TITLE_BYTES || title.includes('\0')) {
    throw kitError(RangeError, 'ERR_RANGE', `createGame: title must be at most ${contract.limits.MAX_TITLE_BYTES} bytes without NUL`);
  }
  // The addon reads these as it starts: the level before its first line, the window as it opens.
  const loadedBefore = isLoaded();
  if (!loadedBefore) {
    process.env.TESSIMARKE_LOG = log;
    process.env.TESSIMARKE_WINDOW = `${width}x${height}`;
    process.env.TESSIMARKE_TITLE = title;
  }
  if (o.debugChecks !== undefined) require('./checks').setDebugChecks(o.debugChecks);
  // The sun: a direction, or { direction, extent } (how far its shadows reach around the middle).
  const sun = o.sun === undefined || (o.sun && typeof o.sun.length === 'number') ? { direction: o.sun }
    : checkOptions(o.sun, ['direction', 'extent'], 'createGame sun');
  const buffers = createBuffers();
  const gfx = setupGraphics(buffers, {
    lightTransform: o.lightTransform !== undefined ? o.lightTransform
      : directionalLight(sun.direction || [-1, -2, -0.5], { extent: sun.extent === undefined ? 24 : sun.extent }),
    ...(o.capacity === undefined ? {} : { capacity: o.capacity }),
    ...(o.shaderDir === undefined ? {} : { shaderDir: o.shaderDir }),
    ...(o.uiScale === undefined ? {} : { uiScale: o.uiScale }),
  });
  gameMade = true;
  // A window opened before createGame (the addon loaded earlier) still gets its title and size.
  if (loadedBefore) {
    windowControl.setTitle(title);
    if (gfx.width !== width || gfx.height !== height) windowControl.setSize(width, height);
  }
  if (o.quality !== undefined) quality.setQuality(o.quality);
  return new Game({ buffers, gfx, onError, frameBudget: o.frameBudget, step: o.step, maxSteps: o.maxSteps });
}

// A sound loaded into one of the addon's sound ids.
class Sound {
  constructor(game, id, name) { this.game = game; this.id = id; this.name = name; }
  // Plays it: options gain, pitch, and `at` ([x, y, z] in the world, heard from the listener) or
  // `offset` ([x, y, z] relative to the listener). Returns a Voice.
  play(options) {
    const { gain = 1, pitch = 1, at, offset } = checkOptions(options, ['gain', 'pitch', 'at', 'offset'], 'sound.play');
    if (at !== undefined && offset !== undefined) throw kitError(RangeError, 'ERR_OPTION', 'sound.play: give at or offset, not both');
    const c = this.game.commands;
    const where = at || offset || [0, 0, 0];
    if (!where || where.length !== 3) throw kitError(TypeError, 'ERR_TYPE', `sound.play: ${at ? 'at' : 'offset'} must hold 3 numbers`);
    const opts = { gain, pitch, x: where[0], y: where[1], z: where[2] };
    return this.game.voice(at ? c.playAt(this.id, opts) : c.play(this.id, opts));
  }
}

// One playing of a sound. Its source is known once the frame that played it has run (0 until then,
// and 0 when no source was free); stop, pause and gain wait for it.
class Voice {
  constructor(game, index) { this.game = game; this.index = index; this.source = 0; this.pending = []; }
  stop() { return this.then('stop'); }
  pause() { return this.then('pause'); }
  gain(value) { checkNumber(value, 'voice.gain'); return this.then('gain', value); }
  then(what, value) {
    if (this.index >= 0) this.pending.push([what, value]);
    else if (this.source > 0) this.game.commands[what](this.source, ...(value === undefined ? [] : [value]));
    return this;
  }
  // After the tick that played it: the source, and what was asked of it meanwhile.
  resolve() {
    this.source = this.game.commands.result(this.index);
    this.index = -1;
    for (const [what, value] of this.pending.splice(0)) this.then(what, value);
  }
}

// An image in the sprite atlas: its place (x, y, width, height in texels) and id.
class Image {
  constructor(rect, name) { Object.assign(this, rect); this.name = name; }
}

// Streamed music from one Ogg Vorbis file.
class Music {
  constructor(file) { this.file = file; this.source = 0; }
  // Options: gain, loop (true: from the start; or { start, end } in seconds).
  play(options) {
    const { gain = 1, loop = false } = checkOptions(options, ['gain', 'loop'], 'music.play');
    let loopStart = -1, loopEnd = 0;
    if (loop === true) loopStart = 0;
    else if (loop && typeof loop === 'object') {
      const l = checkOptions(loop, ['start', 'end'], 'music.play loop');
      loopStart = l.start === undefined ? 0 : checkNumber(l.start, 'music.play: loop.start');
      loopEnd = l.end === undefined ? 0 : checkNumber(l.end, 'music.play: loop.end');
    } else if (loop !== false) throw kitError(TypeError, 'ERR_TYPE', 'music.play: loop must be true, false or { start, end }');
    this.source = music.play(this.file, { gain, loopStart, loopEnd });
    return this.source;
  }
  stop() { return music.stop(); }
}

class Game {
  constructor({ buffers, gfx, onError, frameBudget, step, maxSteps }) {
    this.buffers = buffers;
    this.gfx = gfx;
    this.commands = new CommandWriter(buffers);
    this.input = new InputState();
    this.onError = onError;
    this.clock = { step, maxSteps };
    this.loop = null;
    this.stopped = false;
    this.failure = null;
    this.soundIds = 0;
    this.imageIds = 0;
    this.budget = frameBudget === undefined ? null : checkBudget(frameBudget);
    this.scale = 1;
    this.meshRenderer = null;
    this.voices = [];
  }

  get width() { return this.gfx.width; }
  get height() { return this.gfx.height; }

  // Loads a sound: an Ogg Vorbis file, or { pcm, format, sampleRate } of raw samples.
  sound(source) {
    if (this.soundIds >= contract.limits.SOUND_COUNT) throw kitError(RangeError, 'ERR_FULL', `game.sound: at most ${contract.limits.SOUND_COUNT} sounds`);
    const id = this.soundIds;
    if (typeof source === 'string') audio.loadSound(id, source);
    else {
      const { pcm, format, sampleRate } = checkOptions(source, ['pcm', 'format', 'sampleRate'], 'game.sound');
      audio.loadPcm(id, pcm, { format, sampleRate });
    }
    this.soundIds += 1;
    return new Sound(this, id, typeof source === 'string' ? source : `pcm ${id}`);
  }

  // Loads an image: a PNG or JPEG file, or { pixels, width, height } of RGBA bytes.
  image(source) {
    const name = `image ${this.imageIds}`;
    let rect;
    if (typeof source === 'string') rect = textures.load(name, source);
    else {
      const { pixels, width, height } = checkOptions(source, ['pixels', 'width', 'height'], 'game.image');
      rect = textures.fromPixels(name, pixels, width, height);
    }
    this.imageIds += 1;
    return new Image(rect, typeof source === 'string' ? source : name);
  }

  voice(index) {
    const v = new Voice(this, index);
    v.step = this.commands.step;  // the step the command was written in
    this.voices.push(v);
    return v;
  }

  // A glTF 2.0 model (.gltf or .glb) drawn by the addon: a promise of a handle with play(name),
  // update(dt) and draw(matrix) (see models.loadModel).
  model(file) { return this.meshes().loadModel(file); }
  // A mesh of your own data handed to the addon once (see models.createMesh): { id, draw, release }.
  mesh(data) { return this.meshes().createMesh(data); }
  meshes() {
    if (!this.meshRenderer) this.meshRenderer = require('./models').createMeshRenderer(this.buffers, this.commands);
    return this.meshRenderer;
  }

  // Music streamed from an Ogg Vorbis file when played.
  music(file) {
    checkString(file, 'game.music: file');
    return new Music(file);
  }

  // One line (or a wrapped block, with `width`) of text in the interface, in `color` ([r, g, b] or
  // [r, g, b, a], 0-1; white by default). Options: size, font, align, width, outline, color.
  text(text, x, y, options) {
    const { color = [1, 1, 1], ...rest } = checkOptions(options, ['size', 'font', 'align', 'width', 'outline', 'color', 'lineHeight'], 'game.text');
    if (!color || (color.length !== 3 && color.length !== 4)) throw kitError(TypeError, 'ERR_TYPE', 'game.text: color must hold 3 or 4 numbers');
    this.commands.textColor(color[0], color[1], color[2], color.length === 4 ? color[3] : 1);
    return drawText(this.commands, String(text), x, y, rest);
  }
  measure(text, options) { return layoutText(String(text), 0, 0, options); }

  // The camera looking from `eye` at `target` (y up), with a vertical field of view in radians.
  camera(eye, target, { fov = 0.9, near = 0.1, far = 200 } = {}) {
    const { mat4, vec3 } = require('gl-matrix');
    const view = mat4.lookAt(mat4.create(), eye, target, [0, 1, 0]);
    const projection = mat4.perspective(mat4.create(), fov, this.gfx.width / Math.max(1, this.gfx.height), near, far);
    const vector = vec3.normalize(vec3.create(), vec3.sub(vec3.create(), target, eye));
    this.gfx.setCamera({ view, projection, position: eye, vector });
    this.commands.listener(eye, vector);
  }

  // The frame as a PNG file; answers its absolute path. While the game runs, the frame being built
  // is written when it is drawn; otherwise one frame is drawn now and written.
  screenshot(file) {
    const shots = require('./screenshot');
    return this.running ? shots.requestScreenshot(file) : shots.screenshot(file);
  }

  // Ends run() after the current frame.
  stop() {
    this.stopped = true;
    if (this.loop) this.loop.stop();
  }

  // Runs the game until the window closes, stop() is called or `frames` frames have run. update(dt,
  // game) runs at the fixed step, draw(alpha, game) once a frame; onEvent(e, game) sees every event.
  // realTime false runs one step per frame (repeatable headless runs). Returns the loop's figures.
  run(options) {
    const o = checkOptions(options, RUN_OPTIONS, 'game.run');
    if (this.ran) throw kitError(Error, 'ERR_STATE', 'game.run: the game has run already (its window is closed when run returns)');
    this.ran = true;
    for (const name of ['update', 'draw', 'onEvent']) {
      if (o[name] !== undefined && typeof o[name] !== 'function') throw kitError(TypeError, 'ERR_TYPE', `game.run: ${name} must be a function`);
    }
    const frames = o.frames === undefined ? 0 : checkInteger(o.frames, 0, Number.MAX_SAFE_INTEGER, 'game.run: frames');
    // Each of the game's functions gets its first argument and the game; a throw, or stop(), ends
    // the loop (runLoop hands each of them the loop as their second argument).
    const guard = (f) => (value, loop) => {
      this.loop = loop;
      if (this.voices.length && this.commands.ranStep !== this.voiceStep) this.settleVoices();
      if (this.stopped || this.failure) { loop.stop(); return; }
      if (!f) return;
      try { f(value, this); } catch (e) { this.fail(e); loop.stop(); }
    };
    const update = guard(o.update), draw = guard(o.draw), onEvent = o.onEvent ? guard(o.onEvent) : null;
    native().startTicking(() => {
      this.running = true;
      try {
        this.loop = runLoop({
          buffers: this.buffers, input: this.input, commands: this.commands, gfx: this.gfx, frames,
          realTime: o.realTime === undefined ? frames === 0 : o.realTime, step: this.clock.step, maxSteps: this.clock.maxSteps,
          minFrameTime: frames ? 0 : 1 / 240,
          update,
          draw: (alpha, loop) => { draw(alpha, loop); this.holdBudget(loop); },
          onEvent,
        });
        if (this.stopped) this.loop.stop();
      } catch (e) {
        this.fail(e);
      }
      this.running = false;
      if (this.failure && this.onError === 'screen') this.showError(this.failure);
      native().quit();
    });
    if (this.failure) process.exitCode = 1;
    return this.loop;
  }

  // Voices written before the last tick learn their sources (valid until the next tick).
  settleVoices() {
    this.voiceStep = this.commands.ranStep;
    const waiting = [];
    for (const v of this.voices) {
      if (v.step === this.commands.ranStep) v.resolve();
      else if (v.step > this.commands.ranStep) waiting.push(v);
    }
    this.voices = waiting;
  }

  fail(error) {
    if (this.failure) return;
    this.failure = error;
    process.stderr.write(`${error && error.stack ? error.stack : String(error)}\n`);
  }

  // The error over the dimmed last frame until the window closes or Escape is pressed.
  showError(error) {
    try {
      const { gfx, commands, input } = this;
      const lines = String(error && error.stack ? error.stack : error).split('\n').slice(0, 24);
      runLoop({
        buffers: this.buffers, input, commands, gfx, realTime: true, minFrameTime: 1 / 30,
        update: (dt, loop) => { if (input.wasPressed(KEY.ESCAPE)) loop.stop(); },
        draw: () => {
          gfx.ui.clear();
          gfx.ui.rect(0, 0, gfx.uiWidth, gfx.uiHeight, 0, 0, 0, 0.7);
          commands.textColor(1, 0.45, 0.4, 1);
          commands.text('The game stopped on an error (Escape or close the window to quit)', 24, 40, { size: 22 });
          commands.textColor(1, 1, 1, 1);
          lines.forEach((line, i) => commands.text(line.slice(0, 160), 24, 80 + i * 22, { size: 16, font: 'mono' }));
        },
      });
    } catch (e) {
      process.stderr.write(`${e && e.stack ? e.stack : String(e)}\n`);
    }
  }

  // Keeps the frame time near the budget by moving the render scale between its bounds.
  holdBudget(loop) {
    const b = this.budget;
    if (!b || loop.frame < 2) return;
    b.average = b.average === null ? loop.frameTime : b.average * 0.8 + loop.frameTime * 0.2;
    if (loop.frame % 10) return;
    let scale = this.scale;
    if (b.average > b.target * 1.1) scale = Math.max(b.min, scale * 0.85);
    else if (b.average < b.target * 0.7) scale = Math.min(1, scale * 1.1);
    if (scale !== this.scale) { this.scale = scale; windowControl.setRenderScale(scale); }
  }
}

function checkBudget(budget) {
  const { target, min = 0.5 } = checkOptions(budget, ['target', 'min'], 'createGame frameBudget');
  if (!(checkNumber(target, 'frameBudget.target') > 0)) throw kitError(RangeError, 'ERR_RANGE', 'frameBudget.target must be positive seconds');
  checkNumber(min, 'frameBudget.min');
  if (min < contract.limits.MIN_RENDER_SCALE || min > 1) {
    throw kitError(RangeError, 'ERR_RANGE', `frameBudget.min must be in ${contract.limits.MIN_RENDER_SCALE}..1, got ${min}`);
  }
  return { target, min, average: null };
}

module.exports = { createGame, Game, Sound, Voice, Image, Music };
