'use strict';
// Arena: a small complete game written only against the public host kit. Run around a walled
// arena collecting coins before the minute runs out; Escape (or the controller's Start) pauses
// with a menu: resume, restart, quit. Sounds are made here as PCM, so the game needs no files.
//
// Keys: WASD or arrows (or the left stick) move; the mouse wheel zooms; Escape / Start pauses; in
// the menu, up and down (or the D-pad) choose, Enter (or A, or a click) takes the choice; after the
// time is up, Enter plays again. The window is titled "Arena", the floor is tiled from a texture
// made here, the top bar shows the project's icon, and music (examples/arena/assets/music.ogg,
// made by scripts/arena-assets.sh) loops throughout.
//
// Options: --frames N runs N frames of one fixed 1/60 s step each and stops; --screenshot FILE
// writes the last frame as PNG. It prints "arena: score N" for each coin, and at the end one line
// "arena: result {json}" with the score, the player's position, the time left and whether it is
// paused.
const path = require('node:path');
const { mat4, vec3 } = require('gl-matrix');
const kit = require('tessimarke/host');

// ---- options ------------------------------------------------------------------------------------

function parseOptions(argv) {
  const o = { frames: 0, screenshot: null };
  for (let i = 0; i < argv.length; ++i) {
    if (argv[i] === '--frames') {
      o.frames = Number(argv[++i]);
      if (!Number.isInteger(o.frames) || o.frames < 1) throw new Error(`--frames needs a whole number of frames, got ${argv[i]}`);
    } else if (argv[i] === '--screenshot') {
      o.screenshot = argv[++i];
      if (!o.screenshot) throw new Error('--screenshot needs a file name');
    } else {
      throw new Error(`unknown option ${argv[i]} (options: --frames N, --screenshot FILE)`);
    }
  }
  return o;
}
let options;
try {
  options = parseOptions(process.argv.slice(2));
} catch (e) {
  process.stderr.write(`arena: ${e.message}\n`);
  process.exit(2);
}

// ---- the rules ----------------------------------------------------------------------------------

const HALF = 8;            // the arena spans -HALF..HALF in x and z
const PLAYER_RADIUS = 0.45;
const SPEED = 6;           // metres per second
const COIN_COUNT = 5;
const COIN_RADIUS = 0.5;
const ROUND_SECONDS = 60;
const MENU = ['Resume', 'Restart', 'Quit'];

// A small xorshift generator, so that every round places its coins the same way.
function random(state) {
  let x = state.seed;
  x ^= x << 13; x >>>= 0; x ^= x >>> 17; x ^= x << 5; x >>>= 0;
  state.seed = x;
  return x / 2 ** 32;
}

const state = {
  player: vec3.create(), previous: vec3.create(), facing: 0, score: 0, timeLeft: ROUND_SECONDS, paused: false,
  over: false, menu: 0, coins: [], rng: { seed: 2463534242 }, spin: 0, quit: false,
};

function placeCoin(coin) {
  // Away from the walls and from the player.
  do {
    coin[0] = (random(state.rng) * 2 - 1) * (HALF - 1.5);
    coin[2] = (random(state.rng) * 2 - 1) * (HALF - 1.5);
  } while (vec3.distance(coin, state.player) < 3);
}

function restart() {
  vec3.set(state.player, 0, 0, 0);
  vec3.copy(state.previous, state.player);
  Object.assign(state, { score: 0, timeLeft: ROUND_SECONDS, paused: false, over: false, menu: 0, rng: { seed: 2463534242 } });
  state.coins = [vec3.fromValues(3, 0, 0)]; // the first one straight to the right of the start
  while (state.coins.length < COIN_COUNT) { const c = vec3.create(); placeCoin(c); state.coins.push(c); }
}

// ---- set-up -------------------------------------------------------------------------------------

// The examples check every vertex's arguments: mistakes show at once, at a small cost. Modest quality
// levels: software GL renders a frame in well under a second with them.
const game = kit.createGame({
  title: 'Arena', width: 1400, height: 800, debugChecks: true,
  sun: { direction: [-0.4, -1, -0.25], extent: HALF + 3 }, quality: { shadow: 1, ssao: 1, antialias: 1 },
});
const { gfx, commands, input } = game;
kit.window.enableWheel();

// Images: a floor tile made here (a stone square with a darker joint), the icon from its file.
const TILE = 32;
const tilePixels = new Uint8Array(TILE * TILE * 4);
for (let y = 0; y < TILE; ++y) {
  for (let x = 0; x < TILE; ++x) {
    const joint = x < 2 || y < 2;
    const grain = ((x * 7 + y * 13) % 11) * 3;
    const v = joint ? 90 : 200 + grain;
    tilePixels.set([v, v, Math.min(255, v + 10), 255], (y * TILE + x) * 4);
  }
}
const tile = game.image({ pixels: tilePixels, width: TILE, height: TILE });
const icon = game.image(path.join(__dirname, '..', '..', 'app', 'icons', 'icon.png'));

// Music through the whole game, looping; a missing file is reported and the game goes on.
try {
  game.music(path.join(__dirname, 'assets', 'music.ogg')).play({ gain: 0.35, loop: true });
} catch (e) {
  process.stdout.write(`arena: no music (${e.message})\n`);
}

// Wheel zoom: the camera's distance as a factor of its usual one.
let zoom = 1;
function onEvent(e) {
  if (e.type === 'mouseWheel') zoom = Math.min(1.8, Math.max(0.5, zoom * (1 - 0.1 * e.preciseY)));
}
const { KEY, CONTROLLER_BUTTON: PAD, CONTROLLER_AXIS: AXIS } = kit;

// Sounds: short tones with a fading tail, made as 16-bit mono PCM.
function tone(frequencies, seconds) {
  const rate = 22050, n = Math.floor(rate * seconds);
  const pcm = Buffer.alloc(n * 2);
  for (let i = 0; i < n; ++i) {
    const t = i / rate;
    const f = frequencies[Math.min(frequencies.length - 1, Math.floor((t / seconds) * frequencies.length))];
    pcm.writeInt16LE(Math.round(Math.sin(2 * Math.PI * f * t) * Math.exp(-4 * t / seconds) * 12000), i * 2);
  }
  return pcm;
}
const pcm = (samples) => game.sound({ pcm: samples, format: 'mono16', sampleRate: 22050 });
const SOUND = { coin: pcm(tone([880, 1320], 0.18)), click: pcm(tone([660], 0.05)), over: pcm(tone([523, 392, 262], 0.6)) };

restart();

// ---- one step of the game -----------------------------------------------------------------------

function choose(item) {
  SOUND.click.play();
  if (item === 'Resume') state.paused = false;
  else if (item === 'Restart') restart();
  else state.quit = true;
}

// Where the menu's items are, in interface units: [x0, y0, x1, y1] each.
function menuBoxes() {
  const cx = gfx.uiWidth / 2, top = gfx.uiHeight / 2 - 60;
  return MENU.map((_, i) => [cx - 140, top + i * 56, cx + 140, top + i * 56 + 44]);
}

function update(dt) {
  if (input.quit) { state.quit = true; return; }
  const pausePressed = input.wasPressed(KEY.ESCAPE) || input.buttonPressed(PAD.START);
  if (state.over) {
    if (input.wasPressed(KEY.RETURN) || input.buttonPressed(PAD.A)) restart();
    return;
  }
  if (state.paused) {
    if (pausePressed) { state.paused = false; return; }
    const step = (input.wasPressed(KEY.DOWN) || input.buttonPressed(PAD.DPAD_DOWN) ? 1 : 0)
      - (input.wasPressed(KEY.UP) || input.buttonPressed(PAD.DPAD_UP) ? 1 : 0);
    if (step) { state.menu = (state.menu + step + MENU.length) % MENU.length; SOUND.click.play({ gain: 0.5 }); }
    if (input.wasPressed(KEY.RETURN) || input.buttonPressed(PAD.A)) choose(MENU[state.menu]);
    if (input.mousePressed(kit.MOUSE_BUTTON.LEFT)) {
      const x = input.mouse.x / gfx.uiScale, y = input.mouse.y / gfx.uiScale;
      menuBoxes().forEach(([x0, y0, x1, y1], i) => { if (x >= x0 && x < x1 && y >= y0 && y < y1) choose(MENU[i]); });
    }
    return;
  }
  if (pausePressed) { state.paused = true; state.menu = 0; SOUND.click.play(); return; }

  const key = (...codes) => (codes.some((c) => input.isDown(c)) ? 1 : 0);
  let dx = key(KEY.D, KEY.RIGHT) - key(KEY.A, KEY.LEFT) + input.axis(AXIS.LEFT_X);
  let dz = key(KEY.S, KEY.DOWN) - key(KEY.W, KEY.UP) + input.axis(AXIS.LEFT_Y);
  const length = Math.hypot(dx, dz);
  if (length > 1) { dx /= length; dz /= length; }
  vec3.copy(state.previous, state.player);
  const limit = HALF - 0.5 - PLAYER_RADIUS;
  state.player[0] = Math.max(-limit, Math.min(limit, state.player[0] + dx * SPEED * dt));
  state.player[2] = Math.max(-limit, Math.min(limit, state.player[2] + dz * SPEED * dt));
  if (length > 0.1) state.facing = Math.atan2(dx, dz);

  for (const coin of state.coins) {
    if (vec3.distance(coin, state.player) < PLAYER_RADIUS + COIN_RADIUS) {
      state.score += 1;
      process.stdout.write(`arena: score ${state.score}\n`);
      SOUND.coin.play({ offset: [coin[0] - state.player[0], 0, coin[2] - state.player[2]] });
      placeCoin(coin);
    }
  }
  state.spin += dt * 3;
  state.timeLeft = Math.max(0, state.timeLeft - dt);
  if (state.timeLeft === 0) { state.over = true; SOUND.over.play(); }
}

// ---- drawing ------------------------------------------------------------------------------------

const view = mat4.create();
const projection = mat4.create();
const model = mat4.create();
const shown = vec3.create();

// The floor and the walls never move: written once, and each frame starts from their count.
const WALL = [0.55, 0.6, 0.7];
// The floor: one textured square per metre.
for (let x = -HALF; x < HALF; ++x) {
  for (let z = -HALF; z < HALF; ++z) {
    for (const [u, v] of [[0, 0], [0, 1], [1, 1], [0, 0], [1, 1], [1, 0]]) {
      kit.textures.solidVertex(gfx.solid, [x + u, 0, z + v], [0, 1, 0], tile, u, v, { color: [0.45, 0.5, 0.42], specular: 0.1 });
    }
  }
}
for (const [x, z, sx, sz] of [[0, -HALF, 2 * HALF + 1, 1], [0, HALF, 2 * HALF + 1, 1], [-HALF, 0, 1, 2 * HALF - 1], [HALF, 0, 1, 2 * HALF - 1]]) {
  kit.box(gfx.solid, mat4.fromTranslation(model, [x, 0.5, z]), { size: [sx, 1, sz], color: WALL, specular: 0.3 });
}
const staticVertices = gfx.solid.count;

function drawScene(alpha) {
  vec3.lerp(shown, state.previous, state.player, state.paused || state.over ? 1 : alpha);
  const eye = [shown[0], 11 * zoom, shown[2] + 9 * zoom];
  mat4.lookAt(view, eye, [shown[0], 0, shown[2]], [0, 1, 0]);
  mat4.perspective(projection, 0.9, gfx.width / Math.max(1, gfx.height), 0.1, 60);
  gfx.setCamera({ view, projection, position: eye, vector: vec3.normalize(vec3.create(), [0, -11, -9]) });

  gfx.solid.setCount(staticVertices);
  gfx.lights.clear();
  // The player: a body and a head, turned the way it last moved.
  mat4.fromTranslation(model, [shown[0], 0.45, shown[2]]);
  mat4.rotateY(model, model, state.facing);
  kit.cylinder(gfx.solid, model, { radius: PLAYER_RADIUS, height: 0.9, segments: 20, color: [0.2, 0.45, 0.9], specular: 0.5 });
  mat4.translate(model, model, [0, 0.75, 0.1]);
  kit.sphere(gfx.solid, model, { radius: 0.32, rings: 10, segments: 16, color: [0.95, 0.8, 0.65], specular: 0.3 });
  // The coins: gold discs standing up and spinning, each with a warm light.
  for (const coin of state.coins) {
    mat4.fromTranslation(model, [coin[0], 0.7, coin[2]]);
    mat4.rotateY(model, model, state.spin + coin[0]);
    mat4.rotateX(model, model, Math.PI / 2);
    kit.cylinder(gfx.solid, model, { radius: COIN_RADIUS, height: 0.12, segments: 20, color: [1, 0.78, 0.2], specular: 0.9, emission: 0.3 });
    gfx.lights.light(coin[0], 1, coin[2], 2.5, 1, 0.75, 0.3, 2);
  }
}

function drawInterface() {
  const { ui } = gfx;
  ui.clear();
  const w = gfx.uiWidth, h = gfx.uiHeight;
  ui.rect(0, 0, w, 56, 0.05, 0.06, 0.1, 0.8);
  commands.textColor(1, 1, 1);
  kit.drawText(commands, `Score ${state.score}`, 24, 38, { size: 30 });
  commands.textColor(1, 0.85, 0.3);
  kit.drawText(commands, `${Math.ceil(state.timeLeft)} s`, w / 2, 38, { size: 30, align: 'center', font: 'mono' });
  kit.textures.uiSprite(ui, icon, w / 2 - 110, 8, w / 2 - 70, 48);
  commands.textColor(0.75, 0.8, 0.9);
  kit.drawText(commands, 'Esc: pause', w - 24, 36, { size: 20, align: 'right' });
  if (!state.paused && !state.over) return;

  ui.rect(0, 56, w, h, 0, 0, 0, 0.45);
  const cx = w / 2;
  const top = h / 2 - 140;
  ui.rect(cx - 180, top, cx + 180, top + 300, 0.1, 0.12, 0.2, 1);
  commands.textColor(1, 1, 1);
  if (state.over) {
    kit.drawText(commands, 'Time is up', cx, top + 70, { size: 40, align: 'center' });
    kit.drawText(commands, `You collected ${state.score} coin${state.score === 1 ? '' : 's'}. Press Enter to play again.`,
      cx - 150, top + 130, { size: 24, align: 'center', width: 300 });
    return;
  }
  kit.drawText(commands, 'Paused', cx, top + 50, { size: 34, align: 'center' });
  menuBoxes().forEach(([x0, y0, x1, y1], i) => {
    const chosen = i === state.menu;
    ui.rect(x0, y0, x1, y1, chosen ? 0.95 : 0.25, chosen ? 0.6 : 0.28, chosen ? 0.2 : 0.38, 1);
    commands.textColor(1, 1, 1);
    kit.drawText(commands, MENU[i], (x0 + x1) / 2, y0 + 31, { size: 26, align: 'center' });
  });
}

// ---- main ---------------------------------------------------------------------------------------

const loop = game.run({
  onEvent,
  frames: options.frames,
  realTime: !options.frames,          // headless runs: one fixed step per frame, repeatable
  update: (dt) => { update(dt); if (state.quit) game.stop(); },
  draw: (alpha) => {
    drawScene(alpha);
    drawInterface();
    // The last frame of a counted run is written as it is drawn.
    if (options.screenshot && game.loop.frame === options.frames - 1) {
      process.stdout.write(`arena: screenshot written to ${game.screenshot(options.screenshot)}\n`);
    }
  },
});
const result = { score: state.score, position: [+state.player[0].toFixed(3), +state.player[2].toFixed(3)],
  timeLeft: +state.timeLeft.toFixed(3), paused: state.paused, over: state.over, frames: loop.frame, steps: loop.steps };
process.stdout.write(`arena: result ${JSON.stringify(result)}\n`);
