'use strict';
// The demo game: a lit 3D scene (app/scene.js) with shadows, ambient occlusion, glass and moving
// point lights, a camera on keyboard, mouse and game controller, sounds on events, and an
// interface panel with frame times, the quality levels, text in several scripts, outlined text, a
// text field with clipboard paste, and the USB adapter's reports. Everything goes through the host
// kit (lib/host.js) and the reference shaders (shaders/).
//
// Options: --frames N (stop after N frames, with a fixed 1/60 s step so runs repeat exactly),
// --screenshot FILE (the last frame as PNG, read back by the addon),
// --scale S (draw the 3D view at S, 0.25 to 1, of the window and scale it up: for slow GPUs).
// At the end it prints frame-time figures.
//
// Keys: WASD or arrows move, Q/E down and up, the wheel moves along the view, drag with the left
// button to look; 1, 2, 3 cycle
// the shadow, ambient-occlusion and anti-aliasing levels; F3 the G-buffer thumbnails; F11
// fullscreen; Space a chime; Tab or a click on the field to type into it, Ctrl+V pastes, Ctrl+C
// copies it, Enter sends it to the log; Escape leaves the field, then quits.
const path = require('node:path');
const fs = require('node:fs');
const { mat4, vec3 } = require('gl-matrix');
const kit = require('../lib/host');
const { Scene, sunTransform } = require('./scene');

const root = path.join(__dirname, '..');

// ---- options ------------------------------------------------------------------------------------

function parseOptions(argv) {
  const o = { frames: 0, screenshot: null, scale: 1 };
  for (let i = 0; i < argv.length; ++i) {
    const a = argv[i];
    if (a === '--frames') {
      o.frames = Number(argv[++i]);
      if (!Number.isInteger(o.frames) || o.frames < 1) throw new Error(`--frames needs a whole number of frames, got ${argv[i]}`);
    } else if (a === '--screenshot') {
      o.screenshot = argv[++i];
      if (!o.screenshot) throw new Error('--screenshot needs a file name');
    } else if (a === '--scale') {
      o.scale = Number(argv[++i]);
      if (!(o.scale >= 0.25 && o.scale <= 1)) throw new Error(`--scale needs a number from 0.25 to 1, got ${argv[i]}`);
    } else {
      throw new Error(`unknown option ${a} (options: --frames N, --screenshot FILE)`);
    }
  }
  return o;
}
let options;
try {
  options = parseOptions(process.argv.slice(2));
} catch (e) {
  process.stderr.write(`demo: ${e.message}\n`);
  process.exit(2);
}

// ---- input codes ------------------------------------------------------------------------------------

const { KEY, KEY_MOD, CONTROLLER_AXIS: AXIS, CONTROLLER_BUTTON: BUTTON } = kit;
// Key codes (the layout's character) of the clipboard shortcuts.
const KEY_C = 99, KEY_V = 118;

// ---- set-up -------------------------------------------------------------------------------------

// Opening the game opens the window: only once the options are known to be good. The demo shows
// every line the addon logs; its vertex writers check their arguments (a mistake in the scene
// throws at once, naming it).
const game = kit.createGame({ title: 'Tessimarke', width: 1400, height: 800, log: 'all', debugChecks: true,
  lightTransform: sunTransform() });
const { buffers, gfx, commands, input } = game;
const scene = new Scene(gfx);
if (options.scale !== 1) kit.window.setRenderScale(options.scale);
kit.window.enableWheel();

// Sounds: made by scripts/demo-assets.sh. A missing one is reported and stays silent.
const SOUNDS = {};
for (const name of ['chime', 'click', 'blip', 'whoosh']) {
  const file = path.join('app', 'assets', 'sounds', `${name}.ogg`);
  if (!fs.existsSync(path.join(root, file))) process.stdout.write(`demo: sound ${file} missing (run scripts/demo-assets.sh)\n`);
  else SOUNDS[name] = game.sound(path.join(root, file));
}

// ---- state --------------------------------------------------------------------------------------

const camera = { position: vec3.fromValues(0, 4.5, 13), yaw: -Math.PI / 2, pitch: -0.3 };
const view = mat4.create();
const projection = mat4.create();
const forward = vec3.create();
const mouse = { x: 0, y: 0, dragging: false };
const quality = { shadow: 2, ssao: 2, aa: 1 };
// Levels per setting: 0 to the kit's highest.
const QUALITY_LEVELS = { shadow: kit.QUALITY_LEVELS.shadow + 1, ssao: kit.QUALITY_LEVELS.ssao + 1, aa: kit.QUALITY_LEVELS.antialias + 1 };
const field = { text: '', focused: false };
const adapter = { connected: false, reports: 0, last: new Uint8Array(kit.ADAPTER_REPORT_SIZE) };
let quitRequested = false;
let lastEvent = 'none yet';

// Frame times in milliseconds: all of them for the figures at the end, and a rolling window for
// the panel.
const frameTimes = [];
const ROLLING = 60;
const rolling = new Float64Array(ROLLING);

// ---- input --------------------------------------------------------------------------------------

function play(sound, gain = 1, pitch = 1, x = 0, y = 0, z = -1) {
  if (SOUNDS[sound]) SOUNDS[sound].play({ gain, pitch, offset: [x, y, z] });
}

function cycle(which) {
  quality[which] = (quality[which] + 1) % QUALITY_LEVELS[which];
  kit.setQuality({ shadow: quality.shadow, ssao: quality.ssao, antialias: quality.aa });
  play('blip', 0.8, 0.8 + 0.2 * quality[which]);
}

// Panel geometry, in interface pixels; the text field sits at its foot.
const PANEL = { x: 16, y: 16, w: 600, h: 604 };
const FIELD = { x: 32, y: 548, w: 568, h: 44 };
const inside = (r, x, y) => x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;

function onKeyDown(e) {
  const ctrl = (e.mod & KEY_MOD.CTRL) !== 0;
  if (field.focused) {
    if (ctrl && e.key === KEY_V) { field.text += kit.paste().replace(/[\r\n]+/g, ' '); play('click'); return; }
    if (ctrl && e.key === KEY_C) { kit.copy(field.text); play('click'); return; }
    if (e.scancode === KEY.BACKSPACE) { field.text = Array.from(field.text).slice(0, -1).join(''); return; }
    if (e.scancode === KEY.RETURN) {
      commands.log(`demo: field: ${field.text}\n`);
      field.text = '';
      play('chime', 0.7);
      return;
    }
    if (e.scancode === KEY.ESCAPE || e.scancode === KEY.TAB) { field.focused = false; return; }
    return;
  }
  if (e.repeat) return;
  switch (e.scancode) {
    case KEY.DIGIT_1: cycle('shadow'); break;
    case KEY.DIGIT_2: cycle('ssao'); break;
    case KEY.DIGIT_3: cycle('aa'); break;
    case KEY.F3: buffers.debugView = !buffers.debugView; play('click'); break;
    case KEY.F11: commands.toggleFullscreen(); play('whoosh', 0.6); break;
    case KEY.SPACE: play('chime', 0.9, 1, 0, 0, -2); break;
    case KEY.TAB: field.focused = true; break;
    case KEY.ESCAPE: quitRequested = true; break;
    default: break;
  }
}

function handle(e) {
  switch (e.type) {
    case 'quit': quitRequested = true; break;
    case 'keyDown': onKeyDown(e); break;
    case 'textInput': if (field.focused) field.text += e.text; break;
    case 'mouseMove':
      if (mouse.dragging) {
        camera.yaw += (e.x - mouse.x) * 0.004;
        camera.pitch = Math.max(-1.4, Math.min(1.4, camera.pitch - (e.y - mouse.y) * 0.004));
      }
      mouse.x = e.x; mouse.y = e.y;
      break;
    case 'mouseWheel':
      // Half a metre along the view per wheel step (the next camera update shows it).
      vec3.scaleAndAdd(camera.position, camera.position, forward, 0.5 * e.preciseY);
      camera.position[1] = Math.max(0.3, camera.position[1]);
      break;
    case 'mouseDown':
      mouse.x = e.x; mouse.y = e.y;
      if (e.button !== 1) break;
      field.focused = inside(FIELD, e.x, e.y);
      mouse.dragging = !inside(PANEL, e.x, e.y);
      play('click', 0.6, 1, (e.x / gfx.width - 0.5) * 4, 0, -1);
      break;
    case 'mouseUp': if (e.button === 1) mouse.dragging = false; break;
    case 'controllerAdded': play('whoosh', 0.5); break;
    case 'controllerButtonDown':
      if (e.button === BUTTON.A) play('chime', 0.9);
      else if (e.button === BUTTON.X) cycle('shadow');
      else if (e.button === BUTTON.Y) cycle('ssao');
      else if (e.button === BUTTON.B) cycle('aa');
      break;
    case 'adapterConnected': adapter.connected = true; play('whoosh', 0.5); break;
    default: break;
  }
  if (e.type !== 'mouseMove' && e.type !== 'controllerAxis') lastEvent = e.type;
}

// ---- camera -------------------------------------------------------------------------------------

function moveCamera(dt) {
  // Keys typed into the field do not move the camera.
  const k = (sc) => (!field.focused && input.isDown(sc) ? 1 : 0);
  const axis = (a) => input.axis(a);
  const speed = (k(KEY.LEFT_SHIFT) ? 12 : 5) * dt;
  const ahead = k(KEY.W) + k(KEY.UP) - k(KEY.S) - k(KEY.DOWN) - axis(AXIS.LEFT_Y);
  const side = k(KEY.D) + k(KEY.RIGHT) - k(KEY.A) - k(KEY.LEFT) + axis(AXIS.LEFT_X);
  const up = k(KEY.E) - k(KEY.Q) + axis(AXIS.TRIGGER_RIGHT) - axis(AXIS.TRIGGER_LEFT);
  camera.yaw += axis(AXIS.RIGHT_X) * 2 * dt;
  camera.pitch = Math.max(-1.4, Math.min(1.4, camera.pitch - axis(AXIS.RIGHT_Y) * 2 * dt));
  const cy = Math.cos(camera.yaw), sy = Math.sin(camera.yaw);
  const p = camera.position;
  p[0] += (cy * ahead - sy * side) * speed;
  p[2] += (sy * ahead + cy * side) * speed;
  p[1] = Math.max(0.3, p[1] + up * speed);
  vec3.set(forward, Math.cos(camera.pitch) * cy, Math.sin(camera.pitch), Math.cos(camera.pitch) * sy);
  const target = vec3.add(vec3.create(), p, forward);
  mat4.lookAt(view, p, target, [0, 1, 0]);
  mat4.perspective(projection, (60 * Math.PI) / 180, gfx.width / Math.max(gfx.height, 1), 0.1, 100);
  gfx.setCamera({ view, projection, position: p, vector: forward });
}

// ---- interface ----------------------------------------------------------------------------------

// Where each line of the panel went (for the screenshot check): name -> [x, top, width, height].
const layout = {};
function line(name, text, x, y, size, opts = {}) {
  commands.text(text, x, y, { size, ...opts });
  const w = kit.measureText(text, size, opts.font || 'sans');
  layout[name] = [x, y - size, Math.ceil(opts.maxWidth ? Math.min(opts.maxWidth, w) : w), size * 1.25];
}

const TEXT_LINES = [
  ['latin', 'Latin: Quizdeltagerne spiste jordbær', 'sans'],
  ['cyrillic', 'Кириллица: Съешь же ещё этих булок', 'sans'],
  ['greek', 'Ελληνικά: Γειά σου, Κόσμε (fallback face)', 'sans'],
  ['cjk', 'CJK: 漢字かな交じり文 한국어', 'fallback'],
  ['emoji', 'Emoji: ☺ ☀ ♫ ☂ (fallback face)', 'fallback'],
];

function drawInterface(frameMs) {
  const { ui } = gfx;
  ui.clear();
  ui.rect(PANEL.x, PANEL.y, PANEL.x + PANEL.w, PANEL.y + PANEL.h, 0.05, 0.06, 0.09, 0.88);
  ui.rect(PANEL.x, PANEL.y, PANEL.x + PANEL.w, PANEL.y + 4, 0.95, 0.55, 0.2, 1);
  const f = FIELD;
  const border = field.focused ? [0.95, 0.55, 0.2] : [0.4, 0.42, 0.48];
  ui.rect(f.x, f.y, f.x + f.w, f.y + f.h, border[0], border[1], border[2], 1);
  ui.rect(f.x + 2, f.y + 2, f.x + f.w - 2, f.y + f.h - 2, 0.1, 0.11, 0.14, 1);

  let mean = 0;
  for (let i = 0; i < ROLLING; ++i) mean += rolling[i];
  mean /= ROLLING;
  commands.textColor(1, 1, 1, 1);
  line('title', 'Tessimarke demo', 32, 60, 34);
  commands.textColor(0.75, 0.9, 1, 1);
  line('frame', `frame ${frameMs.toFixed(1)} ms · mean ${mean.toFixed(1)} ms · ${mean > 0 ? (1000 / mean).toFixed(0) : '-'} fps`, 32, 96, 20, { font: 'mono' });
  line('quality', `[1] shadow ${quality.shadow}  [2] ssao ${quality.ssao}  [3] aa ${quality.aa}`, 32, 124, 20, { font: 'mono' });
  commands.textColor(0.95, 0.92, 0.85, 1);
  let y = 168;
  for (const [name, text, font] of TEXT_LINES) {
    line(name, text, 32, y, font === 'sans' ? 26 : 24, { font, maxWidth: PANEL.w - 32 });
    y += 38;
  }
  commands.textColor(1, 0.45, 0.1, 1);
  line('outlined', 'Outlined text', 32, y + 14, 44, { outline: true });
  commands.textColor(0.7, 0.72, 0.78, 1);
  const pad = (s) => s.padEnd(8);
  line('controls', `${pad('move')} WASD/arrows, Q/E, drag, left stick`, 32, 436, 16, { font: 'mono' });
  line('controls2', `${pad('keys')} Space chime, F3 targets, F11 fullscreen`, 32, 458, 16, { font: 'mono' });
  const usb = adapter.connected
    ? `adapter: ${adapter.reports} reports, ${Array.from(adapter.last.subarray(0, 9), (b) => b.toString(16).padStart(2, '0')).join(' ')}`
    : 'adapter: not connected';
  line('adapter', `${usb} · pads ${input.controllers.size} · last ${lastEvent}`, 32, 486, 16, { font: 'mono', maxWidth: PANEL.w - 32 });
  commands.textColor(0.7, 0.72, 0.78, 1);
  line('fieldLabel', field.focused ? 'typing (Ctrl+V pastes, Enter logs, Esc leaves)' : 'text field: Tab or click to type', 32, 536, 16, { font: 'mono' });
  commands.textColor(1, 1, 1, 1);
  const caret = field.focused && Math.floor(scene.time * 2) % 2 === 0 ? '|' : '';
  commands.text(field.text + caret || ' ', f.x + 10, f.y + 30, { size: 22, maxWidth: f.w - 20 });
}

// ---- screenshot and figures ---------------------------------------------------------------------

// Writes the frame being drawn to `file` as PNG (read back by the addon as the frame is drawn).
function screenshot(file) {
  try {
    process.stdout.write(`demo: screenshot written to ${game.screenshot(file)}\n`);
    return true;
  } catch (e) {
    process.stderr.write(`demo: ${e.message}\n`);
    return false;
  }
}

function figures() {
  if (!frameTimes.length) return;
  const sorted = [...frameTimes].sort((a, b) => a - b);
  const total = frameTimes.reduce((a, b) => a + b, 0);
  const pick = (q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
  const mean = total / frameTimes.length;
  process.stdout.write(`demo: ${frameTimes.length} frames in ${(total / 1000).toFixed(2)} s; frame time mean ` +
    `${mean.toFixed(2)} ms, median ${pick(0.5).toFixed(2)} ms, 95th percentile ${pick(0.95).toFixed(2)} ms, ` +
    `max ${sorted[sorted.length - 1].toFixed(2)} ms (${(1000 / mean).toFixed(1)} fps)\n`);
}

// ---- main loop ----------------------------------------------------------------------------------

// One frame's time (the one before), into the figures and the panel's rolling mean.
function recordFrame(ms) {
  rolling[frameTimes.length % ROLLING] = ms;
  frameTimes.push(ms);
}

// The camera and the moving geometry before the first frame, which may run no step.
moveCamera(0);
scene.update(0, camera.position);
// Real time in 1/60 s steps (at most 5 to catch up), or with --frames one step per frame so a run
// repeats exactly.
const loop = game.run({
  frames: options.frames, realTime: !options.frames,
  onEvent: (e) => handle(e),
  update: (dt) => {
    moveCamera(dt);
    scene.update(dt, camera.position);
    if (quitRequested) game.stop();
  },
  draw: () => {
    const l = game.loop;
    if (quitRequested) game.stop();
    if (l.frame > 0) recordFrame(l.frameTime * 1000);
    if (adapter.connected) {
      kit.addon.pollUSB();
      adapter.last.set(buffers.usb.subarray(0, kit.ADAPTER_REPORT_SIZE));
      adapter.reports += 1;
    }
    drawInterface(l.frameTime * 1000);
    // The last frame of a counted run is written as it is drawn.
    if (options.screenshot && l.frame === options.frames - 1) screenshot(options.screenshot);
  },
});
recordFrame(loop.frameTime * 1000);
if (options.screenshot) process.stdout.write(`demo: layout ${JSON.stringify(layout)}\n`);
process.stdout.write(`demo: state ${JSON.stringify({ quality, debugView: buffers.debugView, field: field.text,
  focused: field.focused, adapter: adapter.reports, lastReport: Array.from(adapter.last), controllers: input.controllers.size })}\n`);
figures();
