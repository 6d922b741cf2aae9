'use strict';
// Retained meshes from a real host: the published textured box and simple skin drawn through the
// addon's mesh store (kit.models) beside the host's own floor and checked on screen; batch lengths
// after tick and render; ids reused; wild blocks, records and operands refused or clipped; no
// allocation from the addon per frame; the walker example headless.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { startXvfb, assertOk, sanitized, buildDir, runHost, root } = require('./harness');
const { startInteractive, findWindow } = require('./window-helpers');
const { screenshot } = require('./render-helpers');
const { meshStatus: S } = require('../../contract/host');

const MODELS = '/usr/share/assimp/models/glTF2';
const BOX = path.join(MODELS, 'BoxTextured-glTF/BoxTextured.gltf');
const SKIN = path.join(MODELS, 'simple_skin/simple_skin.gltf');
const skip = fs.existsSync(MODELS) ? false : 'assimp-testmodels is not installed (scripts/setup.sh --tests installs it)';
const LP = { LP_NUM_THREADS: '0' };

function meshHost() {
  const { mat4 } = require('gl-matrix');
  const { startScene, raw } = require('./kit-scene');
  const kit = require('tessimarke/host');
  const s = startScene({ eye: [0, 2.5, 6], target: [0, 1, 0], lightTransform: kit.directionalLight([0.3, -1, 1], { extent: 6 }) });
  const { buffers, gfx, commands: cmd } = s;
  const meshes = kit.models.createMeshRenderer(buffers, cmd), models = [];
  const solidLength = () => buffers.header[gfx.solid.attributes[0].id];
  serveRequests({
    raw,
    // A model placed at `at` scaled by `scale`, playing `clip` when given; where the `probes` land.
    async model({ file, at = [0, 0, 0], scale = 1, clip, probes = [] }) {
      const handle = await meshes.loadModel(file);
      if (clip !== undefined) handle.play(handle.animations[clip]);
      models.push({ handle, matrix: mat4.scale(mat4.create(), mat4.fromTranslation(mat4.create(), at), [scale, scale, scale]) });
      return { animations: handle.animations, meshes: handle.meshes.flat().map((m) => m.id), probes: probes.map(s.project) };
    },
    // Frames of the floor and each model (advanced by `dt` first): the draw commands' results, the
    // solid batch's first length after the last tick and after its render, and the host's own.
    frame({ dt = 0, count = 1 }) {
      let r;
      for (let i = 0; i < count; ++i) {
        gfx.clearAll();
        s.floor();
        const firsts = [];
        for (const m of models) {
          if (m.handle.player) m.handle.update(dt);
          const before = cmd.length;
          m.handle.draw(m.matrix);
          if (cmd.length !== before) firsts.push(before);
        }
        cmd.tick();
        r = { results: firsts.map((at) => cmd.result(at)), afterTick: solidLength(), host: gfx.solid.count * 3 };
        gfx.render();
        r.afterRender = solidLength();
      }
      return r;
    },
    // The frame drawn again without a tick: the addon's vertices are drawn again too.
    render: () => { gfx.render(); return solidLength(); },
    // Every model released, and a mesh made and released again: ids come back.
    reuse() {
      const ids = models.flatMap((m) => m.handle.meshes.flat().map((h) => h.id));
      for (const m of models.splice(0)) m.handle.release();
      const triangle = { positions: [0, 0, 0, 1, 0, 0, 0, 1, 0] }, a = meshes.createMesh(triangle);
      a.release();
      const b = meshes.createMesh(triangle);
      return { ids, a: a.id, b: b.id, again: [kit.addon.releaseMesh(b.id), kit.addon.releaseMesh(b.id)] };
    },
    // Blocks written word by word (numbers as u32, { f: x } as f32): `mesh` in `meshBytes` for
    // createMesh, `records` in `recordBytes` as instance records, and the drawMeshes operands `draws`
    // ('I' and 'P' for the instance and palette blocks) written raw, past the kit's own checks.
    // Answers createMesh's result, each draw's result and the solid batch's lengths.
    wild({ mesh, meshBytes, records = [], recordBytes = 96, paletteBytes = 0, draws = [] }) {
      const block = (words, bytes) => {
        const { id, buffer } = buffers.nextBuffer(Math.max(bytes, 4));
        const u = new Uint32Array(buffer, 0, buffer.byteLength >> 2), f = new Float32Array(buffer, 0, buffer.byteLength >> 2);
        words.slice(0, u.length).forEach((w, i) => { if (typeof w === 'object') f[i] = w.f; else u[i] = w; });
        return id;
      };
      const created = mesh ? kit.addon.createMesh(block(mesh, meshBytes)) : null;
      const ids = { I: block(records, recordBytes), P: paletteBytes ? block([], paletteBytes) : -1, NaN };
      gfx.clearAll();
      s.floor();
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
    quit: () => kit.addon.quit(),
  });
}

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());
async function start(env = {}) {
  const host = startInteractive('run.js', [meshHost.toString(), 'null'], { display: xs.display, audio: 'null', env: { ...LP, ...env } });
  await host.next();
  return { host, id: await findWindow(xs.display) };
}
// Sum of channel differences between two screenshots over a square of pixels around (cx, cy).
function difference(a, b, [cx, cy], half) {
  let d = 0;
  for (let y = cy - half; y <= cy + half; ++y) for (let x = cx - half; x <= cx + half; ++x) d += a.pixel(x, y).reduce((s, v, k) => s + Math.abs(v - b.pixel(x, y)[k]), 0);
  return d;
}

test('a textured box and an animated skin drawn by the addon, with the host\'s floor and shadows', { skip, timeout: 240000 }, async () => {
  const { host, id } = await start();
  assert.deepEqual((await host.request({ op: 'frame', count: 2 })).results, []);
  const bare = await screenshot(xs.display, id);
  const box = await host.request({ op: 'model', file: BOX, at: [-1.6, 0.8, 0], scale: 1.2, probes: [[-1.6, 0.8, 0.6]] });
  // The skin's upper half, and its shadow on the floor in front of it (the light shines along +z and down).
  const skin = await host.request({ op: 'model', file: SKIN, at: [0.8, 0, 0], clip: 0, probes: [[1.3, 1.6, 0], [1.3, 0, 1.4], [1.0, 0, 1.2], [1.6, 0, 1.8]] });
  assert.deepEqual([box.meshes.length, skin.animations.length], [1, 1]);
  // One command for both models' draws: the box's 36 vertices and the skin's triangles after the
  // floor; after the frame the host's own length is back.
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
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});

test('ids come back after release; wild blocks, records and operands are refused or clipped', { skip, timeout: 120000 }, async () => {
  const { host } = await start();
  await host.request({ op: 'model', file: BOX });
  await host.request({ op: 'frame' });
  const reuse = await host.request({ op: 'reuse' });
  assert.deepEqual([reuse.a, reuse.b, reuse.again], [reuse.ids[0], reuse.ids[0], [0, S.MESH_UNKNOWN]], 'the released model\'s id is handed out again');
  const f = (x) => ({ f: x });
  // A triangle: header (count 3, no sections), then 9 position floats.
  const tri = [3, 0, ...Array(14).fill(0), f(0), f(0), f(0), f(1), f(0), f(0), f(0), f(1), f(0)];
  // Mesh blocks [words, bytes] that each fail their checks: a count needing more bytes than the
  // block holds, an unknown flag bit, no triangle, not whole triangles, sections overflowing 32 bits, shorter than the header.
  for (const [words, bytes] of [[[3, 0], 64], [[3, 16, ...tri.slice(2)], 100], [[0, 0], 64], [[2, 0, ...tri.slice(2)], 100], [[0xFFFFFFFF, 15], 128], [[3, 0], 10]]) {
    assert.equal((await host.request({ op: 'wild', mesh: words, meshBytes: bytes })).created, S.MESH_BAD_BLOCK, `block ${words.slice(0, 2)}`);
  }
  const raw = (name, args) => host.request({ op: 'raw', name, args });
  for (const v of [-1, 256, 'NaN', 'Infinity', 1.5, 2 ** 53, 3]) assert.ok([S.MESH_NO_BLOCK, S.MESH_BAD_BLOCK].includes(await raw('createMesh', [v])), `createMesh(${v})`);
  for (const v of [-1, 1024, 'NaN', 0.5, 1e300, 5]) assert.equal(await raw('releaseMesh', [v]), S.MESH_UNKNOWN, `releaseMesh(${v})`);
  // Instance records: a good one (the floor, then the triangle; after the frame the floor alone), then
  // unknown meshes, batches and palette ranges past the block.
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
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});

test('frames with retained and skinned meshes allocate nothing from the addon', {
  skip: skip || (sanitized && 'the sanitizer runtime owns malloc, so the counter cannot see the calls'), timeout: 120000,
}, async () => {
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tm-alloc-')), 'counts');
  const addonCount = () => Number(fs.readFileSync(file).readBigUInt64LE(0));
  const { host } = await start({ LD_PRELOAD: path.join(buildDir, 'libcountalloc.so'), TSM_ALLOC_COUNTS: file });
  await host.request({ op: 'model', file: BOX, at: [-1.5, 0.5, 0] });
  await host.request({ op: 'model', file: SKIN, at: [1, 0, 0], clip: 0 });
  assert.ok(addonCount() > 0, 'the counter sees the addon');
  await host.request({ op: 'frame', dt: 0.1, count: 3 });
  const before = addonCount();
  assert.ok((await host.request({ op: 'frame', dt: 0.1, count: 20 })).results[0] > 36);
  assert.equal(addonCount() - before, 0);
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});

test('the walker example runs headless: its own rigged model drawn by the addon every frame', { timeout: 240000 }, async () => {
  const png = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tm-walker-')), 'walker.png');
  const script = path.relative(path.join(root, 'tests', 'hosts'), path.join(root, 'examples', 'walker', 'main.js'));
  const run = assertOk(await runHost(script, ['--frames', 10, '--screenshot', png], { display: xs.display, audio: 'null', env: LP, timeout: 200000 }));
  assert.deepEqual(JSON.parse(run.stdout.split('\n').find((l) => l.startsWith('walker: result ')).slice(15)), { frames: 10, vertices: 108 });
  assert.ok(fs.statSync(png).size > 1000);
});
