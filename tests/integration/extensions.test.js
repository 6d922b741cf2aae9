'use strict';
// The kit and the extensions in a real host: text, the reference shaders, retained meshes, the
// window seen from outside, the opt-in wheel record, the sprite atlas; listener and music recorded.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { startXvfb, assertOk, sanitized, buildDir, runHost, root } = require('./harness');
const { startInteractive, findWindow, windowInfo, xdotool } = require('./window-helpers');
const { screenshot, assertPixel } = require('./render-helpers');
const { tempDir, readWav, rms, pitch, onset, waveConf, runPlan } = require('./audio-helpers');
const { fixPngCrcs } = require('./image-corpus');
const { meshStatus: S, limits: { MESH_COUNT } } = require('../../contract/host');

const MODELS = '/usr/share/assimp/models/glTF2';
const BOX = path.join(MODELS, 'BoxTextured-glTF/BoxTextured.gltf'), SKIN = path.join(MODELS, 'simple_skin/simple_skin.gltf');
const noModels = fs.existsSync(MODELS) ? false : 'assimp-testmodels is not installed (scripts/setup.sh --tests installs it)';

function extensionsHost() {
  const kit = require('tessimarke/host'), a = kit.addon, tex = kit.textures, { mat4, vec3 } = require('gl-matrix');
  const buffers = kit.createBuffers(), gfx = kit.setupGraphics(buffers, { lightTransform: kit.directionalLight([0.3, -1, 1], { extent: 8 }) });
  const cmd = new kit.CommandWriter(buffers), meshes = kit.models.createMeshRenderer(buffers, cmd), models = [];
  let eye = [0, 6, 8], target = [0, 0, 0];
  const s = {
    camera(e = eye, t = target) {
      [eye, target] = [e, t];
      gfx.setCamera({ view: mat4.lookAt(mat4.create(), eye, target, [0, 1, 0]), projection: mat4.perspective(mat4.create(), 0.9, gfx.width / gfx.height, 0.1, 60),
        position: eye, vector: vec3.normalize(vec3.create(), vec3.sub(vec3.create(), target, eye)) });
    },
    // Where a world point lands in the window, in pixels (y down).
    project(p) {
      const clip = vec3.transformMat4(vec3.create(), p, mat4.multiply(mat4.create(), gfx.projection, gfx.view));
      return [Math.round((clip[0] * 0.5 + 0.5) * gfx.width), Math.round((0.5 - clip[1] * 0.5) * gfx.height)];
    },
    // A grey 16 x 16 floor at y 0, its normals up (or down, `up` -1).
    floor: (up = 1) => gfx.solid.add({ position: [-8, 0, 8, 8, 0, 8, 8, 0, -8, -8, 0, 8, 8, 0, -8, -8, 0, -8], normal: Array(6).fill([0, up, 0]).flat(), color: Array(18).fill(0.6) }),
    // `n` frames: poll and read the events, run the commands, render. Answers the events.
    step(n = 1) {
      const events = [];
      for (let i = 0; i < n; ++i) { a.poll(); kit.readEvents(buffers, events); cmd.tick(); gfx.render(); }
      return events;
    },
  };
  s.camera();
  const solidLength = () => buffers.header[gfx.solid.attributes[0].id];
  serveRequests({
    // An addon export called with the given arguments; 'NaN' and 'Infinity' stand for those numbers.
    raw: ({ name, args }) => a[name](...args.map((v) => (v === 'NaN' ? NaN : v === 'Infinity' ? Infinity : v))),
    look: ({ eye, target }) => s.camera(eye, target) ?? true,
    // A model placed at `at` scaled by `scale`, playing `clip` when given; where the `probes` land.
    async model({ file, at = [0, 0, 0], scale = 1, clip, probes = [] }) {
      const handle = await meshes.loadModel(file);
      if (clip !== undefined) handle.play(handle.animations[clip]);
      models.push({ handle, matrix: mat4.scale(mat4.create(), mat4.fromTranslation(mat4.create(), at), [scale, scale, scale]) });
      return { animations: handle.animations, meshes: handle.meshes.flat().map((m) => m.id), probes: probes.map(s.project) };
    },
    // Frames of the floor and the models (advanced by `dt`): draw results, solid batch lengths after tick and render.
    frame({ dt = 0, count = 1 }) {
      let r;
      for (let i = 0; i < count; ++i, gfx.render(), r.afterRender = solidLength()) {
        gfx.clearAll(), s.floor();
        const firsts = [];
        for (const m of models) {
          if (m.handle.player) m.handle.update(dt);
          const before = cmd.length;
          m.handle.draw(m.matrix);
          if (cmd.length !== before) firsts.push(before);
        }
        cmd.tick();
        r = { results: firsts.map((at) => cmd.result(at)), afterTick: solidLength(), host: gfx.solid.count * 3 };
      }
      return r;
    },
    // The frame drawn again without a tick: the addon's vertices are drawn again too.
    render: () => { gfx.render(); return solidLength(); },
    // Every model released, and a mesh made and released again: ids come back.
    reuse() {
      const ids = models.flatMap((m) => m.handle.meshes.flat().map((h) => h.id));
      for (const m of models.splice(0)) m.handle.release();
      const triangle = { positions: [0, 0, 0, 1, 0, 0, 0, 1, 0] }, a = meshes.createMesh(triangle), b = (a.release(), meshes.createMesh(triangle));
      return { ids, a: a.id, b: b.id, again: [kit.addon.releaseMesh(b.id), kit.addon.releaseMesh(b.id)] };
    },
    // Raw blocks (u32 words, { f } as f32) for createMesh and instance records, and raw drawMeshes operands ('I', 'P': those blocks).
    wild({ mesh, meshBytes, records = [], recordBytes = 96, paletteBytes = 0, draws = [] }) {
      const block = (words, bytes) => {
        const { id, buffer } = buffers.nextBuffer(Math.max(bytes, 4));
        const u = new Uint32Array(buffer, 0, buffer.byteLength >> 2), f = new Float32Array(buffer, 0, buffer.byteLength >> 2);
        words.slice(0, u.length).forEach((w, i) => { if (typeof w === 'object') f[i] = w.f; else u[i] = w; });
        return id;
      };
      const created = mesh ? kit.addon.createMesh(block(mesh, meshBytes)) : null;
      const ids = { I: block(records, recordBytes), P: paletteBytes ? block([], paletteBytes) : -1, NaN };
      gfx.clearAll(), s.floor();
      const at = draws.map((d) => {
        const i = cmd.begin(kit.COMMANDS.drawMeshes);
        d.forEach((v, k) => { cmd.words[i + 1 + k] = v in ids ? ids[v] : v; });
        return i;
      });
      cmd.tick();
      const r = { created, results: at.map((i) => cmd.result(i)), lengths: gfx.solid.attributes.map((a) => buffers.header[a.id]) };
      gfx.render();
      return { ...r, after: gfx.solid.attributes.map((a) => buffers.header[a.id]) };
    },

    title: ({ title }) => kit.window.setTitle(title),
    // Asks for a size, then steps until the window-size event arrives.
    size({ width, height }) {
      const asked = kit.window.setSize(width, height), seen = [];
      for (let i = 0; i < 2000 && !(seen.length && gfx.width === width && gfx.height === height); ++i) {
        seen.push(...s.step().filter((e) => e.type === 'windowSize').map((e) => [e.width, e.height]));
      }
      s.camera();
      return { asked, seen, size: [gfx.width, gfx.height] };
    },
    wheel: ({ on }) => kit.window.enableWheel(on) === undefined,
    poll: () => s.step(),
    // Over blue, twice (the glyphs then come from the atlas): white text aligned on x 1300 and 700, outlined lines at 16-64 px.
    text() {
      const widths = {}, lines = [];
      for (let frame = 0; frame < 2; ++frame, s.step()) {
        gfx.clearAll();
        gfx.ui.rect(0, 0, gfx.uiWidth, gfx.uiHeight, 0, 0, 1, 1);
        cmd.textColor(1, 1, 1);
        widths.right = kit.drawText(cmd, 'Right aligned', 1300, 650, { size: 40, align: 'right' }).width;
        widths.center = kit.drawText(cmd, 'Centred', 700, 750, { size: 40, align: 'center', font: 'mono' }).width;
        let y = 40;
        for (const [size, font] of [16, 24, 40, 64].flatMap((z) => [[z, 'sans'], [z, 'mono']])) {
          cmd.textColor(1, 0, 0, 1);
          cmd.text('PAUSED Wg', 20, y, { size, font, outline: true });
          if (frame) lines.push([10, Math.round(y - size * 1.2), Math.round(20 + size * 6), Math.round(y + size * 0.5)]);
          y += size * 1.3;
        }
      }
      return { widths, lines };
    },
    // A scene at these levels and render scale under a blue interface square at (20, 20), 40 px wide; `pair` into the viewport size pair.
    scene({ name, shadow = 2, ssao = 0, aa = 0, scale = 1, pair }) {
      if (pair) gfx.viewportSize.set(pair.map((v) => (v === 'NaN' ? NaN : v)));
      kit.window.setRenderScale(scale);
      a.setShadowQuality(shadow); a.setSsaoQuality(ssao); a.setAntialias(aa);
      gfx.clearAll();
      gfx.ui.rect(20, 20, 60, 60, 0, 0, 1, 1);
      gfx.uiPixels();
      const places = {
        // A box whose shadow falls towards +x and +z; the contact point lies in it, lit by the ambient light alone.
        shadow: () => {
          s.floor();
          kit.box(gfx.solid, [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0.75, 0, 1], { size: [1, 1.5, 1], color: [0.8, 0.2, 0.2] });
          return { lit: [-2, 0, 0], shade: [0.2, 0, 1.2], contact: [0.58, 0, 0], open: [2.5, 0, -1], top: [0, 1.5, 0] };
        },
        // A green point light under a floor whose normals face down, away from the sun: only the light shows.
        light: () => {
          s.floor(-1);
          gfx.lights.light(0, -0.3, 0, 2, 0.2, 1, 0.3, 3);
          return { center: [0, 0, 0], edge: [1.9, 0, 0], out0: [2.3, 0, 0], out1: [-2.3, 0, 0], out2: [0, 0, 2.3], out3: [0, 0, -2.3] };
        },
        // A red quad filling the lower half of the view beside the sky: an edge the post passes must keep.
        edge: () => {
          for (const p of [[-20, -1, 0], [0, -1, 0], [0, 20, 0], [-20, -1, 0], [0, 20, 0], [-20, 20, 0]]) gfx.solid.vertex(...p, 0, 0, 1, 0.9, 0.1, 0.1, 0, 0, 1);
          return { left: [-1, 1, 0], right: [1, 1, 0], edge: [0, 1, 0] };
        },
      }[name]();
      s.step(2);
      return Object.fromEntries(Object.entries(places).map(([k, p]) => [k, s.project(p)]));
    },
    // One id reloaded `count` times, alternately 300 x 8 and 8 x 300, beside a live image: the statuses that were not 0.
    churn({ count }) {
      a.setImage(50, Buffer.alloc(40 * 60 * 4, 0x7f), 40, 60);
      return [...Array(count).keys()].map((i) => [i, a.setImage(51, Buffer.alloc(2400 * 4, 0x7f), i % 2 ? 8 : 300, i % 2 ? 300 : 8)[0]]).filter(([, st]) => st);
    },
    // Images from files and pixels, refusals, then a cube (left half green, right blue), a magenta pane and a red-over-blue sprite.
    images({ png, jpeg, huge, text, line }) {
      const checker = tex.load('checker', png), photo = tex.load('photo', jpeg);
      const flag = tex.fromPixels('flag', Uint8Array.from({ length: 1024 }, (_, i) => [255, 0, 0, 255, 0, 0, 255, 255][(i >> 9) * 4 + (i & 3)]), 16, 16);
      const status = {
        missing: a.loadImage(20, '/nonexistent/none.png')[0], directory: a.loadImage(20, '/tmp')[0], text: a.loadImage(20, text)[0], huge: a.loadImage(20, huge)[0], line: a.loadImage(23, line)[0],
        short: a.setImage(20, Buffer.alloc(10), 4, 4)[0], empty: a.setImage(20, Buffer.alloc(0), 0, 4)[0],
        flat: a.setImage(20, Buffer.alloc(0), 4, 0)[0], tall: a.setImage(20, Buffer.alloc(2047 * 4), 1, 2047)[0], full: a.setImage(21, Buffer.alloc(2046 * 2046 * 4), 2046, 2046)[0],
      };
      const first = a.setImage(22, Buffer.alloc(16 * 16 * 4), 16, 16), again = a.setImage(22, Buffer.alloc(8 * 8 * 4), 8, 8);
      let thrown = null;
      try { tex.load('missing', '/nonexistent/none.png'); } catch (e) { thrown = [e.status, e.message]; }
      gfx.clearAll(), s.floor();
      // The cube from (-1, 0, -1) to (1, 2, 1); u follows x (or z on the x faces), v goes down.
      const quad = [[0, 0], [0, 1], [1, 1], [0, 0], [1, 1], [1, 0]];
      for (const [n, at] of [[[0, 1, 0], (u, v) => [-1 + 2 * u, 2, -1 + 2 * v]], [[0, 0, 1], (u, v) => [-1 + 2 * u, 2 - 2 * v, 1]],
        [[1, 0, 0], (u, v) => [1, 2 - 2 * v, 1 - 2 * u]], [[-1, 0, 0], (u, v) => [-1, 2 - 2 * v, -1 + 2 * u]], [[0, 0, -1], (u, v) => [1 - 2 * u, 2 - 2 * v, -1]]]) {
        for (const [u, v] of quad) tex.solidVertex(gfx.solid, at(u, v), n, checker, u, v);
      }
      for (const [u, v] of quad) tex.forwardVertex(gfx.transparent, [2.5 + 1.5 * u, 2 - 1.5 * v, 1], [0, 0, 1], photo, u, v);
      tex.uiSprite(gfx.ui, 'flag', 100, 100, 164, 164);
      s.step(2);
      return { checker, photo, flag, status, first, again, thrown, left: s.project([-0.5, 2, 0]), right: s.project([0.5, 2, 0]),
        front: s.project([-0.5, 1, 1]), pane: s.project([3.25, 1.25, 1]), floor: s.project([4, 0, 3]) };
    },
    // Quits, then calls every extension once more: each must answer without touching what is gone.
    quit: () => [a.quit(), a.setWindowTitle('after'), a.setWindowSize(640, 480), a.setRenderScale(0.5), a.enableEvent(1027, false),
      a.playMusic('none.ogg', 1, -1, 0), a.stopMusic(), a.loadImage(0, 'none.png'), a.setImage(0, Buffer.alloc(4), 1, 1)],
  });
}

let xs, host, id, quitSent = false;
const start = async (env, timeout = 60000) => {
  const h = startInteractive('run.js', [extensionsHost.toString(), 'null'], { display: xs.display, audio: 'null', timeout, env: { LP_NUM_THREADS: '0', ...env } });
  await h.next();
  return h;
};
test.before(async () => {
  xs = await startXvfb();
  host = await start({}, 150000);  // it serves every test up to the last (about half a minute here)
  id = await findWindow(xs.display);
});
test.after(async () => {
  // A test that failed before the last one quit, or a host that never started, must not keep the file running.
  if (host && !quitSent) await host.request({ op: 'quit' }).catch(() => {});
  xs.stop();
});

const luma = ([r, g, b]) => 0.299 * r + 0.587 * g + 0.114 * b;
// Mean luma over the 5 x 5 square around a point.
const around = (shot, [x, y]) => [...Array(25).keys()].reduce((sum, k) => sum + luma(shot.pixel(x + (k % 5) - 2, y + Math.floor(k / 5) - 2)), 0) / 25;
const shoot = async (request) => ({ places: await host.request({ op: 'scene', ...request }), shot: await screenshot(xs.display, id) });

test('shaders: shadows fall away from the sun at every level; occlusion darkens only the contact; post passes keep an edge hard', async () => {
  for (const shadow of [0, 1, 2, 3]) {
    const { places, shot } = await shoot({ name: 'shadow', shadow });
    const lit = around(shot, places.lit), shade = around(shot, places.shade);
    assert.ok(lit > shade + 40, `shadow ${shadow}: lit floor ${lit.toFixed(0)}, shadowed floor ${shade.toFixed(0)}`);
  }
  const off = await shoot({ name: 'shadow' }), on = await shoot({ name: 'shadow', ssao: 4 });
  const [contactOff, contactOn, openOff, openOn] = [[off, 'contact'], [on, 'contact'], [off, 'open'], [on, 'open']].map(([r, k]) => around(r.shot, r.places[k]));
  assert.ok(contactOn < contactOff - 8, `contact darker with occlusion: ${contactOff.toFixed(1)} -> ${contactOn.toFixed(1)}`);
  assert.ok(Math.abs(openOn - openOff) < 3, `open floor unchanged: ${openOff.toFixed(1)} -> ${openOn.toFixed(1)}`);
  // With anti-aliasing off the edge goes from fully red to fully sky within two pixels.
  const { places, shot } = await shoot({ name: 'edge' });
  const y = places.edge[1], red = (x) => { const [r, g] = shot.pixel(x, y); return r > g + 80; };
  assert.ok(red(places.left[0]) && !red(places.right[0]));
  let last = places.left[0];
  while (red(last + 1)) ++last;
  const step = (x) => Math.abs(luma(shot.pixel(x, y)) - luma(shot.pixel(x + 1, y)));
  assert.ok(step(last - 2) < 6 && step(last + 2) < 6, 'no blur inside or outside the edge');
});

test('shaders: a point light lights a disc on the G-buffer surface that fades out inside its radius', async () => {
  const { places, shot } = await shoot({ name: 'light' });
  const [r, g, b] = shot.pixel(...places.center);
  assert.ok(g > r + 40 && g > b + 20, `green at the middle: ${[r, g, b]}`);
  const floor = [0, 1, 2, 3].map((k) => around(shot, places[`out${k}`]));
  assert.ok(floor.every((level) => Math.abs(level - floor[0]) < 3), `plain floor all round: ${floor}`);
  assert.ok(around(shot, places.center) > floor[0] + 60);
  assert.ok(Math.abs(around(shot, places.edge) - floor[0]) < 6, 'almost nothing left near the radius');
});

// Sum of channel differences between two screenshots over a square of pixels around (cx, cy).
function difference(a, b, [cx, cy], half) {
  let d = 0;
  for (let y = cy - half; y <= cy + half; ++y) for (let x = cx - half; x <= cx + half; ++x) d += a.pixel(x, y).reduce((s, v, k) => s + Math.abs(v - b.pixel(x, y)[k]), 0);
  return d;
}

test('retained meshes: a textured box and an animated skin drawn by the addon, with the host\'s floor and shadows', { skip: noModels, timeout: 240000 }, async () => {
  await host.request({ op: 'look', eye: [0, 2.5, 6], target: [0, 1, 0] });
  assert.deepEqual((await host.request({ op: 'frame', count: 2 })).results, []);
  const bare = await screenshot(xs.display, id);
  const box = await host.request({ op: 'model', file: BOX, at: [-1.6, 0.8, 0], scale: 1.2, probes: [[-1.6, 0.8, 0.6]] });
  // The skin's upper half, and its shadow on the floor in front of it (the light shines along +z and down).
  const skin = await host.request({ op: 'model', file: SKIN, at: [0.8, 0, 0], clip: 0, probes: [[1.3, 1.6, 0], [1.3, 0, 1.4], [1.0, 0, 1.2], [1.6, 0, 1.8]] });
  assert.deepEqual([box.meshes.length, skin.animations.length], [1, 1]);
  // One command draws both models (the box's 36 vertices, the skin's) after the floor; then the host's own length is back.
  const first = await host.request({ op: 'frame', count: 2 });
  assert.ok(first.results.length === 1 && first.results[0] > 36, `vertices written: ${first.results}`);
  assert.deepEqual([first.afterTick, first.afterRender], [first.host + 3 * first.results[0], first.host]);
  const shotA = await screenshot(xs.display, id), [face] = box.probes;
  assert.ok(difference(shotA, bare, face, 10) > 21 * 21 * 30, 'the box shows where nothing was drawn before');
  const colours = new Set();
  for (let y = face[1] - 10; y <= face[1] + 10; ++y) for (let x = face[0] - 10; x <= face[0] + 10; ++x) colours.add(shotA.pixel(x, y).map((c) => c >> 3).join());
  assert.ok(colours.size > 6, `the box face shows its image, not one flat colour: ${colours.size} colours`);
  // A frame drawn again before the next tick (a screenshot's, say) shows the same scene.
  assert.equal(await host.request({ op: 'render' }), first.host);
  assert.ok(difference(await screenshot(xs.display, id), shotA, face, 10) < 21 * 21 * 3, 'the box is drawn again');
  // The skin bends between frames 1.2 s apart, and its shadow follows.
  await host.request({ op: 'frame', dt: 1.2 });
  const shotB = await screenshot(xs.display, id), [upper, ...shadow] = skin.probes;
  assert.ok(difference(shotA, shotB, upper, 12) > 25 * 25 * 20, 'the skin\'s upper half moved');
  assert.ok(Math.max(...shadow.map((p) => difference(shotA, shotB, p, 8))) > 17 * 17 * 10, 'the shadow on the floor follows the skin');
  await host.request({ op: 'look', eye: [0, 6, 8], target: [0, 0, 0] });
});

test('retained meshes: ids come back after release; wild blocks, records and operands are refused or clipped', { skip: noModels, timeout: 120000 }, async () => {
  await host.request({ op: 'model', file: BOX });
  await host.request({ op: 'frame' });
  const reuse = await host.request({ op: 'reuse' });
  assert.deepEqual([reuse.a, reuse.b, reuse.again], [reuse.ids[0], reuse.ids[0], [0, S.MESH_UNKNOWN]], 'the released model\'s id is handed out again');
  const f = (x) => ({ f: x });
  // A triangle: header (count 3, no sections), then 9 position floats.
  const tri = [3, 0, ...Array(14).fill(0), f(0), f(0), f(0), f(1), f(0), f(0), f(0), f(1), f(0)];
  // Refused blocks: past the block, an unknown flag, no triangle, not whole triangles, sections past 32 bits, shorter than the header.
  for (const [words, bytes] of [[[3, 0], 64], [[3, 16, ...tri.slice(2)], 100], [[0, 0], 64], [[2, 0, ...tri.slice(2)], 100], [[0xFFFFFFFF, 15], 128], [[3, 0], 10]]) {
    assert.equal((await host.request({ op: 'wild', mesh: words, meshBytes: bytes })).created, S.MESH_BAD_BLOCK, `block ${words.slice(0, 2)}`);
  }
  const raw = (name, args) => host.request({ op: 'raw', name, args });
  for (const v of [-1, 256, 'NaN', 'Infinity', 1.5, 2 ** 53, 3]) assert.ok([S.MESH_NO_BLOCK, S.MESH_BAD_BLOCK].includes(await raw('createMesh', [v])), `createMesh(${v})`);
  for (const v of [-1, MESH_COUNT - 1, MESH_COUNT, 'NaN', 0.5, 1e300]) assert.equal(await raw('releaseMesh', [v]), S.MESH_UNKNOWN, `releaseMesh(${v})`);
  // A good record (the floor, then the triangle, then the floor alone); unknown meshes, batches, palette ranges past the block.
  const M = (mesh, batch, firstJoint = 0, joints = 0) => [mesh, batch, firstJoint, joints, ...[1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 1, 1, 1].map(f)];
  const good = await host.request({ op: 'wild', mesh: tri, meshBytes: 100, records: M(0, 0), draws: [['I', 0, 1, -1]] });
  assert.ok(good.created >= 0);
  assert.deepEqual([good.results, good.lengths[0], good.lengths[2], good.after], [[3], 27, 27, Array(5).fill(18)]);
  const id = good.created;
  const records = [...M(id, 0), ...M(id, 7), ...M(1023, 0), ...M(0xFFFFFFFF, 1), ...M(id, 1, 5, 1000), ...M(id, 2, 0xFFFFFFFF, 0xFFFFFFFF)];
  const cases = [
    [['I', 0, 6, 'P'], 9],            // 3 good records (one solid, one transparent, one unculled)
    [['I', 0, 1e12, 'P'], 9],         // the count clipped to the block
    [['I', 5, 1, 'P'], 3], [['I', 6, 1, 'P'], 0], [['I', 1e300, 1, 'P'], 0],  // first past the block
    [['I', -1, 1, 'P'], S.MESH_BAD_RANGE], [['I', 0, 'NaN', 'P'], S.MESH_BAD_RANGE],
    [['I', 0, 6, 'NaN'], 9], [['I', 0, 6, 9999], 9],  // no palette: the bind pose
    [[-1, 0, 6, 'P'], S.MESH_NO_BLOCK], [['NaN', 0, 6, 'P'], S.MESH_NO_BLOCK], [[4000, 0, 6, 'P'], S.MESH_NO_BLOCK],
  ];
  const wild = await host.request({ op: 'wild', records, recordBytes: records.length * 4 + 50, paletteBytes: 64 * 3 + 10, draws: cases.map(([d]) => d) });
  assert.deepEqual(wild.results, cases.map(([, want]) => want));
});

test('text: aligned by the kit on the addon\'s measures where it says; an outline rings only its own glyph, in both faces at 16-64 px', async () => {
  const { widths, lines } = await host.request({ op: 'text' }), shot = await screenshot(xs.display, id), far = [];
  const inkColumns = (y0, y1) => [...Array(shot.width).keys()].filter((cx) => [...Array(y1 - y0).keys()].some((k) => shot.pixel(cx, y0 + k)[0] > 128));
  const right = inkColumns(610, 662), centred = inkColumns(710, 762);
  assert.ok(Math.abs(right.at(-1) - 1300) <= 4, `right-aligned ink ends at ${right.at(-1)}`);
  assert.ok(Math.abs(right[0] - (1300 - widths.right)) <= 6, `and starts one measured width before: ${right[0]}, ${widths.right}`);
  assert.ok(Math.abs((centred[0] + centred.at(-1)) / 2 - 700) <= 4, `centred ink spans ${centred[0]}..${centred.at(-1)}`);
  const ink = (x, y) => shot.pixel(x, y).every((c) => c > 200);
  let rings = 0;
  for (const [x0, y0, x1, y1] of lines) {
    for (let y = Math.max(0, y0); y < y1; ++y) {
      for (let x = x0; x < x1; ++x) {
        const [r, g, b] = shot.pixel(x, y);
        if (!(r > 150 && g < 90 && b < 100)) continue;
        ++rings;
        // Ink within 3 px: the ring is about two pixels wide, one more for the edge of the ink.
        if (![...Array(49).keys()].some((k) => ink(x + (k % 7) - 3, y + Math.floor(k / 7) - 3))) far.push([x, y]);
      }
    }
  }
  assert.ok(rings > 500, `outlines drawn: ${rings} pixels`);
  assert.deepEqual(far.slice(0, 10), [], `${far.length} outline pixels farther than 3 px from any glyph ink`);
});

test('wheel: records once enabled, the log line again once disabled (the log line by default is the event test\'s)', async () => {
  await xdotool(xs.display, 'mousemove', '--window', id, '100', '100');
  const pollFor = async (type) => {
    for (let i = 0, events = []; i < 6000; ++i) if ((events = (await host.request({ op: 'poll' })).filter((e) => e.type === type)).length) return events;
    throw new Error(`no ${type} event`);
  };
  await pollFor('mouseMove');
  await host.request({ op: 'wheel', on: true });
  host.takeLines();
  await xdotool(xs.display, 'click', '4', 'click', '5', 'click', '5');
  const wheel = [];
  while (wheel.length < 3) wheel.push(...await pollFor('mouseWheel'));
  assert.deepEqual(wheel.map(({ x, y, preciseX, preciseY, flipped }) => [x, y, preciseX, preciseY, flipped]),
    [[0, 1, 0, 1, false], [0, -1, 0, -1, false], [0, -1, 0, -1, false]]);
  assert.ok(!host.takeLines().includes('got other SDL event: 1027'));
  await host.request({ op: 'wheel', on: false });
  await xdotool(xs.display, 'click', '4', 'mousemove', '--window', id, '102', '100');
  await pollFor('mouseMove');
  assert.ok(host.takeLines().includes('got other SDL event: 1027'));
});

test('window: title and size seen from outside; half render scale still fills it; wild size pairs saturate', { timeout: 240000 }, async () => {
  assert.equal(await host.request({ op: 'title', title: 'Arena 3' }), true);
  assert.equal(await findWindow(xs.display, 'Arena 3'), id);
  const sized = await host.request({ op: 'size', width: 700, height: 400 });
  const info = await windowInfo(xs.display, id);
  assert.deepEqual([sized.asked, sized.seen.at(-1), sized.size, info.width, info.height, info.title], [true, [700, 400], [700, 400], 700, 400, 'Arena 3']);
  // The contract's limits at their edges, values out of range or not numbers: -1 (or status 2), nothing changed.
  const { MAX_TITLE_BYTES: T, MAX_WINDOW_SIDE, MIN_RENDER_SCALE: S, MAX_IMAGE_PATH, MAX_MUSIC_PATH } = require('../../contract/host').limits;
  for (const [name, args, answer] of [['setWindowTitle', ['é'.repeat(T / 2)], 0], ['setWindowTitle', ['x'.repeat(T + 1)], -1], ['setWindowTitle', ['a\0b'], -1],
    ['setWindowSize', [MAX_WINDOW_SIDE + 1, 100], -1], ['setWindowSize', [0, 400], -1], ['setWindowSize', ['NaN', 5], -1],
    ['setRenderScale', [S], 0], ['setRenderScale', [S * 0.99], -1], ['setRenderScale', [1.5], -1], ['setRenderScale', ['NaN'], -1], ['setRenderScale', [1], 0],
    ['enableEvent', [1024, true], 0], ['loadImage', [255, 'x'.repeat(MAX_IMAGE_PATH + 1)], 2],
    ['playMusic', ['x'.repeat(MAX_MUSIC_PATH + 1), 1, -1, 0], -1], ['setWindowTitle', ['Arena 3'], 0]]) {
    assert.equal([].concat(await host.request({ op: 'raw', name, args }))[0], answer, `${name} ${String(args).slice(0, 30)}`);
  }
  // The scene covers the whole window at either scale; the interface square lies at the window's own pixels.
  for (const scale of [1, 0.5]) {
    const { places, shot } = await shoot({ name: 'shadow', scale, ssao: 3 });
    assert.equal(shot.width, 700);
    assertPixel(shot, 40, 40, [0, 0, 255], 2, `interface square at scale ${scale}`);
    assertPixel(shot, 61, 40, shot.pixel(75, 40), 40, `beside the square at scale ${scale}`);
    const box = shot.pixel(...places.top), floor = shot.pixel(...places.open);
    assert.ok(box[0] > box[1] + 40 && Math.abs(floor[0] - floor[1]) < 25 && floor[0] > 40, `scale ${scale}: box red ${box}, floor grey ${floor}`);
  }
  // Wild size pairs: scaled sizes saturate (the sanitized build reports overflows), drawing goes on after.
  for (const [scale, pair] of [[0.6, ['NaN', 'NaN']], [0.7, [1e30, -1e30]], [0.5, [1e9, 3]], [1, [700, 400]]]) await host.request({ op: 'scene', name: 'shadow', scale, pair });
  assertPixel(await screenshot(xs.display, id), 40, 40, [0, 0, 255], 2, 'interface square after wild sizes');
});

test('retained meshes: frames with retained and skinned meshes allocate nothing from the addon', {
  skip: noModels || (sanitized && 'the sanitizer runtime owns malloc, so the counter cannot see the calls'), timeout: 120000,
}, async () => {
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tm-alloc-')), 'counts');
  const addonCount = () => Number(fs.readFileSync(file).readBigUInt64LE(0));
  const counted = await start({ LD_PRELOAD: path.join(buildDir, 'libcountalloc.so'), TSM_ALLOC_COUNTS: file });
  await counted.request({ op: 'model', file: BOX, at: [-1.5, 0.5, 0] });
  await counted.request({ op: 'model', file: SKIN, at: [1, 0, 0], clip: 0 });
  await counted.request({ op: 'frame', dt: 0.1, count: 3 });
  const before = addonCount(), drawn = (await counted.request({ op: 'frame', dt: 0.1, count: 20 })).results[0], after = addonCount();
  await counted.request({ op: 'quit' });
  assertOk(await counted.done);
  // The counter sees the addon; 20 frames with both models drawn add nothing to it.
  assert.deepEqual([before > 0, drawn > 36, after - before], [true, true, 0]);
});

test('the walker example runs headless: its own rigged model drawn by the addon every frame', { timeout: 240000 }, async () => {
  const png = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tm-walker-')), 'walker.png');
  const script = path.relative(path.join(root, 'tests', 'hosts'), path.join(root, 'examples', 'walker', 'main.js'));
  const run = assertOk(await runHost(script, ['--frames', 10, '--screenshot', png], { display: xs.display, audio: 'null', env: { LP_NUM_THREADS: '0' }, timeout: 120000 }));
  assert.deepEqual(JSON.parse(run.stdout.split('\n').find((l) => l.startsWith('walker: result ')).slice(15)), { frames: 10, vertices: 108 });
  assert.ok(fs.statSync(png).size > 1000);
});

test('images: a textured cube, a pane and a sprite on screen; refusals; an id replaced thousands of times gives its place back; every extension after quit', { timeout: 180000 }, async () => {
  const dir = tempDir('tm-images-');
  const file = (name) => path.join(dir, name);
  execFileSync('convert', ['-size', '16x32', 'xc:#00ff00', '-size', '16x32', 'xc:#0000ff', '+append', file('checker.png')]);
  execFileSync('convert', ['-size', '24x20', 'xc:#ff00ff', file('photo.jpg')]);
  fs.writeFileSync(file('notes.png'), 'not an image\n');
  execFileSync('convert', ['-size', '5x1', 'xc:#ff0000', file('line.png')]);
  // The checker's header made to announce 5000 x 5000: refused before anything decodes it.
  const huge = fs.readFileSync(file('checker.png'));
  huge.writeUInt32BE(5000, 16); huge.writeUInt32BE(5000, 20);
  fs.writeFileSync(file('huge.png'), fixPngCrcs(huge));
  const r = await host.request({ op: 'images', png: file('checker.png'), jpeg: file('photo.jpg'), huge: file('huge.png'), text: file('notes.png'), line: file('line.png') });
  assert.deepEqual([r.checker, r.photo, r.flag].map((q) => [q.width, q.height]), [[32, 32], [24, 20], [16, 16]]);
  // The largest side is no size error (only no room), one more is; a smaller image keeps its place.
  assert.deepEqual(r.status, { missing: 2, directory: 2, text: 3, huge: 4, line: 0, short: 6, empty: 4, flat: 4, tall: 4, full: 5 });
  assert.deepEqual([r.first[0], r.again], [0, [0, r.first[1], r.first[2], 8, 8]]);
  assert.deepEqual(r.thrown, [2, 'image missing (/nonexistent/none.png): the file cannot be read']);
  const shot = await screenshot(xs.display, id);
  const dominant = (p) => ['r', 'g', 'b'][p.indexOf(Math.max(...p))];
  assert.deepEqual([r.left, r.right, r.front].map((p) => dominant(shot.pixel(...p))), ['g', 'b', 'g'], 'top face left and right halves, front face');
  const pane = shot.pixel(...r.pane), floor = shot.pixel(...r.floor);
  assert.ok(pane[0] > pane[1] + 15 && pane[2] > pane[1] + 15, `transparent pane shows the photo's magenta: ${pane}`);
  assert.ok(Math.abs(floor[0] - floor[1]) < 25 && Math.abs(floor[1] - floor[2]) < 25, `untextured floor stays grey: ${floor}`);
  // The sprite: top half red, bottom half blue, exactly (the interface is not lit).
  assertPixel(shot, 132, 110, [255, 0, 0], 2, 'sprite top');
  assertPixel(shot, 132, 154, [0, 0, 255], 2, 'sprite bottom');
  assert.deepEqual(await host.request({ op: 'churn', count: 2000 }), []);
  quitSent = true;
  assert.deepEqual(await host.request({ op: 'quit' }), [0, 1, 1, 0, 1, -1, 1, [1, 0, 0, 0, 0], [1, 0, 0, 0, 0]]);
  assertOk(await host.done);
});

// Runs an audio plan with the wave writer, dry (no reverb tail): the plan's values and times, the wave.
async function capture(plan) {
  const dir = tempDir('tm-ext-');
  const run = await runPlan(plan, { display: xs.display, audio: null, env: { ALSOFT_CONF: waveConf(dir, path.join(dir, 'out.wav'), { excludefx: 'eaxreverb' }) } });
  assertOk(run.result);
  return { ...run, wav: readWav(path.join(dir, 'out.wav')) };
}

test('listener: world sounds pan as the listener turns and moves; relative sounds do not', async () => {
  const at = (x) => [17, 0, 1, 1, x, 0, 0], wait = (name) => ({ name, op: 'ticks', ms: 700 });
  const { value, t, wav } = await capture([
    { name: 'tone', op: 'initALBuffer', id: 0, pcm: { freq: 440, seconds: 0.25 }, format: 4353, rate: 44100 },
    { name: 'right', op: 'commands', words: [15, 0, 0, 0, 0, 0, -1, ...at(2), 15, 0, 0, 0, 0, 0, 0] }, wait('w1'),
    { name: 'turned', op: 'commands', words: [15, 0, 0, 0, 0, 0, 1, ...at(2)] }, wait('w2'),
    { name: 'relative', op: 'commands', words: [1, 0, 1, 1, 2, 0, 0] }, wait('w3'),
    { name: 'moved', op: 'commands', words: [15, 4, 0, 0, 0, 0, -1, 16, 0, 1, 0, ...at(2)] }, wait('w4'),
    { name: 'quit', op: 'quit' },
    { name: 'afterQuit', op: 'commands', words: [15, 0, 0, 0, 0, 0, -1, 16, 0, 1, 0, ...at(1)] },
  ]);
  // A zero direction is refused; after quit nothing is played and nothing fails: no context, no source.
  assert.deepEqual([value.right[0], value.right[14], value.afterQuit[0], value.afterQuit[7], value.afterQuit[11]], [0, 1, 1, 1, 0]);
  assert.ok(value.right[7] > 0 && value.relative[0] > 0 && value.moved[11] > 0, 'each play got a source');
  // Each play starts where the host issued it, shifted by the device's start; its side by the level of each channel.
  const shift = onset(wav, 0.02) - t.right;
  for (const [name, side] of [['right', 'R'], ['turned', 'L'], ['relative', 'R'], ['moved', 'L']]) {
    const [l, r] = [0, 1].map((ch) => rms({ ...wav, channels: 1, samples: [wav.samples[ch]] }, t[name] + shift + 0.05, t[name] + shift + 0.2));
    assert.ok(l + r > 0.05, `${name}: no sound (${l}, ${r})`);
    assert.equal(r > 2 * l ? 'R' : l > 2 * r ? 'L' : '?', side, `${name}: left ${l.toFixed(3)} right ${r.toFixed(3)}`);
  }
});

test('music: streamed with a loop, survives a stall, stops with stop all; a file that is no Vorbis and wild arguments answer', async () => {
  const dir = tempDir('tm-music-');
  // An Ogg file of 1 s at 440 Hz then 1 s at 880 Hz.
  const ogg = path.join(dir, 'two.ogg');
  fs.writeFileSync(path.join(dir, 'two.raw'), Int16Array.from({ length: 88200 }, (_, i) => Math.round(16383 * Math.sin(2 * Math.PI * (i < 44100 ? 440 : 880) * i / 44100))));
  execFileSync('oggenc', ['-Q', '-r', '-B', '16', '-C', '1', '-R', '44100', '-s', '7', '-q', '4', '-o', ogg, path.join(dir, 'two.raw')]);
  fs.writeFileSync(path.join(dir, 'notes.ogg'), 'not a Vorbis stream\n'.repeat(20));
  const call = (name, fn, ...args) => ({ name, op: 'call', fn, args });
  const { value, t, wav } = await capture([
    call('play', 'playMusic', ogg, 1, 1.0, 2.0), { name: 'run', op: 'ticks', ms: 3200 }, { name: 'stall', op: 'sleep', ms: 2200 },
    { name: 'again', op: 'ticks', ms: 1000 }, { name: 'stopAll', op: 'commands', words: [5] }, { name: 'after', op: 'ticks', ms: 600 },
    call('notVorbis', 'playMusic', path.join(dir, 'notes.ogg'), 1, -1, 0),
    call('badLoop', 'playMusic', ogg, 1, 2, 1), call('badGain', 'playMusic', ogg, -1, -1, 0), call('stopNone', 'stopMusic'), { name: 'quit', op: 'quit' },
  ]);
  assert.ok(value.play > 0, `music source ${value.play}`);
  assert.deepEqual([value.notVorbis, value.badLoop, value.badGain, value.stopNone], [-132, -131, -131, 1]);
  const start = onset(wav, 0.02), at = (name) => t[name] - t.play + start;
  // First pass 440 then 880; after the loop end it goes back to 1.0 s: 880 again, never 440.
  const hz = (a, b) => Math.round(pitch(wav, start + a, start + b));
  for (const [a, b, want, within] of [[0.2, 0.8, 440, 5], [1.2, 1.8, 880, 8], [2.2, 2.8, 880, 8]]) assert.ok(Math.abs(hz(a, b) - want) < within, `${a}-${b} s: ${hz(a, b)}`);
  // The stall outlasts the ring: silence before the host ticks again, then the music goes on.
  assert.ok(rms(wav, at('again') - 0.5, at('again') - 0.05) < 0.002, 'silent at the end of the stall');
  assert.ok(rms(wav, at('again') + 0.2, at('stopAll') - 0.05) > 0.1, 'playing again after the stall');
  assert.ok(rms(wav, at('stopAll') + 0.1, at('quit') - 0.05) < 0.002, 'silent after stop all');
});
