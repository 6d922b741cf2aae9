'use strict';
// Extensions host, driven line by line (one JSON request per line, one report each): the kit's
// graphics with the reference shaders, and the extension wrappers the tests drive from outside:
// window title, size and render scale, the wheel record, the listener, music and the sprite atlas.
// Requests: setup, title, size, frames, wheel, poll, raw, images, loadFiles, churn, contract, quit.
const { mat4, vec3 } = require('gl-matrix');
const kit = require('tessimarke/host');
const { report, serveRequests } = require('./requests');

let buffers = null;
let gfx = null;
let commands = null;
const eye = [0, 6, 8];
const target = [0, 0, 0];

function setCamera() {
  const view = mat4.lookAt(mat4.create(), eye, target, [0, 1, 0]);
  const projection = mat4.perspective(mat4.create(), 0.9, gfx.width / gfx.height, 0.1, 60);
  const vector = vec3.normalize(vec3.create(), vec3.sub(vec3.create(), target, eye));
  gfx.setCamera({ view, projection, position: eye, vector });
}

// Where a world point lands in the window, in pixels (y down).
function project(p) {
  const clip = vec3.transformMat4(vec3.create(), p, mat4.multiply(mat4.create(), gfx.projection, gfx.view));
  return [Math.round((clip[0] * 0.5 + 0.5) * gfx.width), Math.round((0.5 - clip[1] * 0.5) * gfx.height)];
}

// A grey floor and a red box standing on it: enough per-pixel work for frame times to follow the
// scene's size.
function scene() {
  gfx.clearAll();
  gfx.solid.add({ position: [-8, 0, 8, 8, 0, 8, 8, 0, -8, -8, 0, 8, 8, 0, -8, -8, 0, -8],
    normal: Array(6).fill([0, 1, 0]).flat(), color: Array(18).fill(0.6) });
  const [x0, z0, x1, z1, h] = [-1, -1, 1, 1, 1.5];
  const faces = [
    [[1, 0, 0], [[x1, 0, z1], [x1, 0, z0], [x1, h, z0], [x1, h, z1]]],
    [[-1, 0, 0], [[x0, 0, z0], [x0, 0, z1], [x0, h, z1], [x0, h, z0]]],
    [[0, 1, 0], [[x0, h, z1], [x1, h, z1], [x1, h, z0], [x0, h, z0]]],
    [[0, 0, 1], [[x0, 0, z1], [x1, 0, z1], [x1, h, z1], [x0, h, z1]]],
  ];
  for (const [n, [a, b, c, d]] of faces) {
    for (const p of [a, b, c, a, c, d]) gfx.solid.vertex(p[0], p[1], p[2], n[0], n[1], n[2], 0.8, 0.2, 0.2);
  }
}

function step() {
  kit.addon.poll();
  const events = kit.readEvents(buffers);
  commands.tick();
  gfx.uiPixels();
  gfx.render();
  return events;
}

const handlers = {
  setup() {
    buffers = kit.createBuffers();
    gfx = kit.setupGraphics(buffers, { lightTransform: kit.directionalLight([-1, -1.2, 0], { extent: 8 }) });
    commands = new kit.CommandWriter(buffers);
    setCamera();
    return [gfx.width, gfx.height];
  },
  title({ title }) { return kit.window.setTitle(title); },
  // Asks for a size, then steps until the window-size event arrives (or `steps` pass).
  size({ width, height, steps = 20 }) {
    const asked = kit.window.setSize(width, height);
    const seen = [];
    for (let i = 0; i < steps; ++i) {
      const sizes = step().filter((e) => e.type === 'windowSize');
      seen.push(...sizes.map((e) => [e.width, e.height]));
      if (sizes.length && gfx.width === width && gfx.height === height) break;
    }
    setCamera();
    return { asked, seen, size: [gfx.width, gfx.height] };
  },
  // Renders `count` frames of the scene at render scale `scale`, an interface square at (20, 20)
  // 40 px wide on top; reports the mean frame time and where scene points landed.
  // `pair`, when given, is written into the viewport size pair first (the host's to write).
  frames({ scale, count, ssao = 0, pair }) {
    if (pair) gfx.viewportSize.set(pair.map((v) => (v === 'NaN' ? NaN : v)));
    kit.window.setRenderScale(scale);
    kit.addon.setSsaoQuality(ssao);
    scene();
    gfx.ui.rect(20, 20, 60, 60, 0, 0, 1, 1);
    step();
    const start = process.hrtime.bigint();
    for (let i = 0; i < count; ++i) step();
    const ms = Number(process.hrtime.bigint() - start) / 1e6 / count;
    return { ms, box: project([0, 1.5, 0]), floor: project([5, 0, 2]) };
  },
  wheel({ on }) { kit.window.enableWheel(on); return true; },
  poll({ count = 1 }) {
    const events = [];
    for (let i = 0; i < count; ++i) { kit.addon.poll(); events.push(...kit.readEvents(buffers)); }
    return events;
  },
  // Fills the atlas (files made by the test, pixels made here), tries the refusals, then draws a
  // floor, a cube textured on every side (left half and right half of `png`) and an interface
  // sprite (top half red, bottom half blue); reports the rectangles, statuses and screen places.
  images({ png, jpeg, fake, text }) {
    const tex = kit.textures;
    const checker = tex.load('checker', png);
    const photo = tex.load('photo', jpeg);
    const flagPixels = Buffer.alloc(16 * 16 * 4);
    for (let i = 0; i < 256; ++i) flagPixels.set(i < 128 ? [255, 0, 0, 255] : [0, 0, 255, 255], i * 4);
    const flag = tex.fromPixels('flag', flagPixels, 16, 16);
    const a = kit.addon;
    const status = {
      missing: a.loadImage(20, '/nonexistent/none.png')[0], directory: a.loadImage(20, '/tmp')[0], text: a.loadImage(20, text)[0], huge: a.loadImage(20, fake)[0],
      short: a.setImage(20, Buffer.alloc(10), 4, 4)[0], empty: a.setImage(20, Buffer.alloc(0), 0, 4)[0],
      full: a.setImage(21, Buffer.alloc(2046 * 2046 * 4), 2046, 2046)[0],
    };
    const first = a.setImage(22, Buffer.alloc(16 * 16 * 4), 16, 16);
    const again = a.setImage(22, Buffer.alloc(8 * 8 * 4), 8, 8);
    let thrown = null;
    try { tex.load('missing', '/nonexistent/none.png'); } catch (e) { thrown = [e.status, e.message]; }

    gfx.clearAll();
    gfx.solid.add({ position: [-8, 0, 8, 8, 0, 8, 8, 0, -8, -8, 0, 8, 8, 0, -8, -8, 0, -8],
      normal: Array(6).fill([0, 1, 0]).flat(), color: Array(18).fill(0.6) });
    // The cube from (-1, 0, -1) to (1, 2, 1); u follows x (or z on the x faces), v goes down.
    const faces = [
      [[0, 1, 0], (u, v) => [-1 + 2 * u, 2, -1 + 2 * v]],
      [[0, 0, 1], (u, v) => [-1 + 2 * u, 2 - 2 * v, 1]],
      [[1, 0, 0], (u, v) => [1, 2 - 2 * v, 1 - 2 * u]],
      [[-1, 0, 0], (u, v) => [-1, 2 - 2 * v, -1 + 2 * u]],
      [[0, 0, -1], (u, v) => [1 - 2 * u, 2 - 2 * v, -1]],
    ];
    for (const [n, at] of faces) {
      for (const [u, v] of [[0, 0], [0, 1], [1, 1], [0, 0], [1, 1], [1, 0]]) tex.solidVertex(gfx.solid, at(u, v), n, checker, u, v);
    }
    // A transparent pane in front, textured with the photo (magenta), opaque.
    for (const [u, v] of [[0, 0], [0, 1], [1, 1], [0, 0], [1, 1], [1, 0]]) {
      tex.forwardVertex(gfx.transparent, [2.5 + 1.5 * u, 2 - 1.5 * v, 1], [0, 0, 1], photo, u, v);
    }
    tex.uiSprite(gfx.ui, 'flag', 100, 100, 164, 164);
    for (let i = 0; i < 2; ++i) step();
    return { checker, photo, flag, status, first, again, thrown,
      left: project([-0.5, 2, 0]), right: project([0.5, 2, 0]), front: project([-0.5, 1, 1]), pane: project([3.25, 1.25, 1]), floor: project([4, 0, 3]) };
  },
  // Loads each file under one id: its status and milliseconds, and how far the process's peak
  // memory grew over the whole list (the atlas made beforehand).
  loadFiles({ files }) {
    const peakMb = () => Number(/VmHWM:\s+(\d+)/.exec(require('node:fs').readFileSync('/proc/self/status', 'utf8'))[1]) / 1024;
    kit.addon.setImage(40, Buffer.alloc(4), 1, 1);
    const before = peakMb();
    const results = files.map((file) => {
      const start = process.hrtime.bigint();
      const status = kit.addon.loadImage(41, file)[0];
      return [status, Number(process.hrtime.bigint() - start) / 1e6];
    });
    return { results, peakGrowthMb: peakMb() - before };
  },
  // Reloads one id `count` times, alternately `a` and `b` wide x high, beside a live image; then
  // asks for a `last`-sided image under another id. Reports the statuses that were not 0 and the last.
  churn({ count, a, b, last }) {
    const pixels = (w, h) => Buffer.alloc(w * h * 4, 0x7f);
    const refused = [];
    kit.addon.setImage(50, pixels(40, 60), 40, 60);
    for (let i = 0; i < count; ++i) {
      const [w, h] = i % 2 ? b : a;
      const status = kit.addon.setImage(51, pixels(w, h), w, h)[0];
      if (status !== 0) refused.push([i, status]);
    }
    return { refused, last: kit.addon.setImage(52, pixels(last, last), last, last)[0] };
  },
  // Writes every command of the contract (or those in `only`) once through the kit (the commands in
  // `args` by name take those arguments, the rest none), result words preset to NaN, and ticks: reports where each
  // command began, the words written, and which result words the addon's walk wrote.
  contract({ args, only }) {
    const words = commands.words.length;
    commands.results.fill(NaN);
    const starts = {};
    for (const { name } of require('../../contract/host').commands) {
      if (!only || only.includes(name)) starts[name] = commands[name](...(args[name] || []));
    }
    const length = commands.length;
    commands.tick();
    const written = [];
    for (let i = 0; i < Math.min(length + 8, words); ++i) if (!Number.isNaN(commands.results[i])) written.push(i);
    return { starts, length, written };
  },
  // Lines of outlined text (white glyphs ringed in pure red) at several sizes in both faces over a
  // flat blue interface, drawn twice so the glyphs reach the atlas; reports the lines' boxes.
  outlined() {
    gfx.clearAll();
    gfx.ui.rect(0, 0, gfx.uiWidth, gfx.uiHeight, 0, 0, 1, 1);
    const lines = [];
    const write = () => {
      lines.length = 0;
      let y = 40;
      for (const size of [16, 24, 40, 64]) {
        for (const font of ['sans', 'mono']) {
          commands.textColor(1, 0, 0, 1);
          commands.text('PAUSED Wg', 20, y, { size, font, outline: true });
          lines.push([10, Math.round(y - size * 1.2), Math.round(20 + size * 6), Math.round(y + size * 0.5)]);
          y += size * 1.3;
        }
      }
    };
    write(); step(); write(); step();
    return lines;
  },
  // Calls an export through the kit's checked addon: what it throws, as { code, message }.
  misuse({ name, args }) {
    try { kit.addon[name](...args); return null; } catch (e) { return { code: e.code, message: e.message }; }
  },
  // Calls an addon export with raw arguments (the checks behind the kit's); 'NaN' stands for NaN.
  raw({ name, args }) { return kit.addon[name](...args.map((a) => (a === 'NaN' ? NaN : a))); },
  // Quits, then calls every extension once more: each must answer without touching what is gone.
  quit() {
    const quit = kit.addon.quit();
    const a = kit.addon;
    const after = {
      title: a.setWindowTitle('after'), size: a.setWindowSize(640, 480), scale: a.setRenderScale(0.5),
      wheel: a.enableEvent(1027, false), music: a.playMusic('none.ogg', 1, -1, 0), stopMusic: a.stopMusic(),
      image: a.loadImage(0, 'none.png'), pixels: a.setImage(0, Buffer.alloc(4), 1, 1),
    };
    return { quit, after };
  },
};

serveRequests(handlers);
