'use strict';
// Retained meshes from a real host under a private X server: a published textured glTF box and the
// published simple skin drawn through the addon's mesh store (kit.models) beside the host's own
// floor, checked on screen (the box shows its image, the skin bends between frames and its shadow
// on the floor follows, a frame drawn again before the next tick shows them again); the batch
// lengths after tick and after render; ids reused after release;
// wild mesh blocks, instance records and command operands refused or clipped; no allocation from
// the addon per frame.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { startXvfb, assertOk, sanitized, buildDir } = require('./harness');
const { startInteractive, findWindow } = require('./window-helpers');
const { screenshot } = require('./render-helpers');
const { meshStatus } = require('../../contract/host');

const MODELS = '/usr/share/assimp/models/glTF2';
const BOX = path.join(MODELS, 'BoxTextured-glTF/BoxTextured.gltf');
const SKIN = path.join(MODELS, 'simple_skin/simple_skin.gltf');
const skip = fs.existsSync(MODELS) ? false : 'assimp-testmodels is not installed (scripts/setup.sh --tests installs it)';

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());
const LP = { LP_NUM_THREADS: '0' };

// Sum of channel differences between two screenshots over a box of pixels around (cx, cy).
function difference(a, b, [cx, cy], half) {
  let d = 0;
  for (let y = cy - half; y <= cy + half; ++y) {
    for (let x = cx - half; x <= cx + half; ++x) {
      const p = a.pixel(x, y), q = b.pixel(x, y);
      d += Math.abs(p[0] - q[0]) + Math.abs(p[1] - q[1]) + Math.abs(p[2] - q[2]);
    }
  }
  return d;
}
// Distinct colours (each channel quantised to 32 levels) in a box of pixels around (cx, cy).
function colours(shot, [cx, cy], half) {
  const seen = new Set();
  for (let y = cy - half; y <= cy + half; ++y) {
    for (let x = cx - half; x <= cx + half; ++x) seen.add(shot.pixel(x, y).map((c) => c >> 3).join());
  }
  return seen.size;
}

async function start() {
  const host = startInteractive('retained-meshes.js', [], { display: xs.display, audio: 'null', env: LP });
  await host.next();
  await host.request({ op: 'setup' });
  return { host, id: await findWindow(xs.display) };
}

test('a textured box and an animated skin drawn by the addon, with the host\'s floor and shadows', { skip, timeout: 240000 }, async (t) => {
  const { host, id } = await start();
  const empty = await host.request({ op: 'frame', count: 2 });
  assert.deepEqual(empty.results, []);
  const bare = await screenshot(xs.display, id);

  const box = await host.request({ op: 'model', file: BOX, at: [-1.6, 0.8, 0], scale: 1.2, probes: [[-1.6, 0.8, 0.6]] });
  const skin = await host.request({ op: 'model', file: SKIN, at: [0.8, 0, 0], clip: 0, probes: [[1.3, 1.6, 0], [1.3, 0.4, 0]] });
  assert.equal(box.meshes.length, 1);
  assert.equal(skin.animations.length, 1);

  const first = await host.request({ op: 'frame', dt: 0, count: 2 });
  // One command for both models' draws; the box's 36 vertices and the skin's triangles after the floor.
  assert.equal(first.results.length, 1);
  assert.ok(first.results[0] > 36, `vertices written: ${first.results[0]}`);
  assert.equal(first.afterTick, first.host + 3 * first.results[0]);
  assert.equal(first.afterRender, first.host, 'after the frame the host\'s own length is back');
  const shotA = await screenshot(xs.display, id);
  const [boxFace] = box.probes;
  const changed = difference(shotA, bare, boxFace, 10);
  t.diagnostic(`box face at ${boxFace}: difference from the bare floor ${changed}, ${colours(shotA, boxFace, 10)} colours`);
  assert.ok(changed > 21 * 21 * 30, 'the box shows where nothing was drawn before');
  assert.ok(colours(shotA, boxFace, 10) > 6, 'the box face shows its image, not one flat colour');
  // A frame drawn again before the next tick (a screenshot's, say) shows the same scene.
  assert.equal(await host.request({ op: 'render' }), first.host);
  assert.ok(difference(await screenshot(xs.display, id), shotA, boxFace, 10) < 21 * 21 * 3, 'the box is drawn again');

  // The skin bends: its upper half moves between frames 1.2 s apart, and so does its shadow.
  await host.request({ op: 'frame', dt: 1.2, count: 1 });
  const shotB = await screenshot(xs.display, id);
  const [top, bottom] = skin.probes;
  const moved = difference(shotA, shotB, top, 12);
  t.diagnostic(`skin top at ${top}: difference between frames ${moved}; bottom ${difference(shotA, shotB, bottom, 6)}`);
  assert.ok(moved > 25 * 25 * 20, 'the skin\'s upper half moved');
  // The shadow lies on the floor in front of the skin (the light shines along +z and down).
  const probes = await host.request({ op: 'project', points: [[1.3, 0, 1.4], [1.0, 0, 1.2], [1.6, 0, 1.8]] });
  await host.request({ op: 'quit' });
  assertOk(await host.done);
  const shadowMoved = Math.max(...probes.map((p) => difference(shotA, shotB, p, 8)));
  t.diagnostic(`shadow probes ${JSON.stringify(probes)}: largest difference ${shadowMoved}`);
  assert.ok(shadowMoved > 17 * 17 * 10, 'the shadow on the floor follows the skin');
});

test('ids come back after release; wild blocks, records and operands are refused or clipped', { skip, timeout: 120000 }, async () => {
  const { host } = await start();
  await host.request({ op: 'model', file: BOX });
  await host.request({ op: 'frame' });
  const reuse = await host.request({ op: 'reuse' });
  assert.equal(reuse.a, reuse.ids[0], 'the released model\'s id is handed out again');
  assert.equal(reuse.b, reuse.a);
  assert.deepEqual(reuse.again, [0, meshStatus.MESH_UNKNOWN]);

  const f = (x) => ({ f: x });
  // A triangle: header (count 3, no sections), then 9 position floats.
  const tri = [3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, f(0), f(0), f(0), f(1), f(0), f(0), f(0), f(1), f(0)];
  const M = (id, batch, firstJoint = 0, joints = 0, matrix = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]) =>
    [id, batch, firstJoint, joints, ...matrix.map(f), f(1), f(1), f(1), f(1)];
  const raw = (name, args) => host.request({ op: 'raw', name, args });
  // Mesh blocks: [words, bytes, expected status].
  const blocks = [
    [[3, 0], 64, meshStatus.MESH_BAD_BLOCK],                        // count needs more bytes than the block holds
    [[3, 16, ...tri.slice(2)], 100, meshStatus.MESH_BAD_BLOCK],     // unknown flag bit
    [[0, 0], 64, meshStatus.MESH_BAD_BLOCK],                        // no triangle
    [[2, 0, ...tri.slice(2)], 100, meshStatus.MESH_BAD_BLOCK],      // not whole triangles
    [[0xFFFFFFFF, 15], 128, meshStatus.MESH_BAD_BLOCK],             // a count whose sections overflow 32 bits
    [[3, 0], 10, meshStatus.MESH_BAD_BLOCK],                        // shorter than the header
  ];
  for (const [words, bytes, want] of blocks) {
    assert.equal((await host.request({ op: 'wild', mesh: words, meshBytes: bytes })).created, want, `block ${words.slice(0, 2)}`);
  }
  for (const v of [-1, 256, 'NaN', 'Infinity', 1.5, 2 ** 53, 3]) {
    const got = await raw('createMesh', [v]);
    assert.ok(got === meshStatus.MESH_NO_BLOCK || got === meshStatus.MESH_BAD_BLOCK, `createMesh(${v}) = ${got}`);
  }
  for (const v of [-1, 1024, 'NaN', 0.5, 1e300, 5]) assert.equal(await raw('releaseMesh', [v]), meshStatus.MESH_UNKNOWN, `releaseMesh(${v})`);

  // Instance records: a good one, then unknown meshes, batches and palette ranges past the block.
  const good = await host.request({ op: 'wild', mesh: tri, meshBytes: 100, records: M(0, 0), draws: [['I', 0, 1, -1]] });
  const id = good.created;
  assert.ok(id >= 0);
  assert.deepEqual(good.results, [3]);
  assert.equal(good.lengths[0], 6 * 3 + 9, 'the floor, then the triangle');
  assert.equal(good.lengths[2], 6 * 3 + 9);
  assert.deepEqual(good.after, Array(5).fill(18), 'after the frame the floor alone');
  const records = [...M(id, 0), ...M(id, 7), ...M(1023, 0), ...M(0xFFFFFFFF, 1), ...M(id, 1, 5, 1000), ...M(id, 2, 0xFFFFFFFF, 0xFFFFFFFF)];
  const cases = [
    [['I', 0, 6, 'P'], 9],            // 3 good records (one solid, one transparent, one unculled)
    [['I', 0, 1e12, 'P'], 9],         // count clipped to the block
    [['I', 5, 1, 'P'], 3],
    [['I', 6, 1, 'P'], 0],            // first past the block
    [['I', 1e300, 1, 'P'], 0],
    [['I', -1, 1, 'P'], meshStatus.MESH_BAD_RANGE],
    [['I', 0, 'NaN', 'P'], meshStatus.MESH_BAD_RANGE],
    [['I', 0, 6, 'NaN'], 9],          // no palette: bind pose
    [['I', 0, 6, 9999], 9],
    [[-1, 0, 6, 'P'], meshStatus.MESH_NO_BLOCK],
    [['NaN', 0, 6, 'P'], meshStatus.MESH_NO_BLOCK],
    [[4000, 0, 6, 'P'], meshStatus.MESH_NO_BLOCK],
  ];
  const wild = await host.request({ op: 'wild', records, recordBytes: records.length * 4 + 50, paletteBytes: 64 * 3 + 10,
    draws: cases.map(([d]) => d) });
  assert.deepEqual(wild.results, cases.map(([, want]) => want));
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});

test('frames with retained and skinned meshes allocate nothing from the addon', {
  skip: skip || (sanitized && 'the sanitizer runtime owns malloc, so the counter cannot see the calls'), timeout: 120000,
}, async () => {
  const counter = path.join(buildDir, 'libcountalloc.so');
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tm-alloc-')), 'counts');
  const addonCount = () => Number(fs.readFileSync(file).readBigUInt64LE(0));
  const host = startInteractive('retained-meshes.js', [], { display: xs.display, audio: 'null',
    env: { ...LP, LD_PRELOAD: counter, TSM_ALLOC_COUNTS: file } });
  await host.next();
  await host.request({ op: 'setup' });
  await host.request({ op: 'model', file: BOX, at: [-1.5, 0.5, 0] });
  await host.request({ op: 'model', file: SKIN, at: [1, 0, 0], clip: 0 });
  assert.ok(addonCount() > 0, 'the counter sees the addon');
  await host.request({ op: 'frame', dt: 0.1, count: 3 });
  const before = addonCount();
  const last = await host.request({ op: 'frame', dt: 0.1, count: 20 });
  assert.ok(last.results[0] > 36);
  assert.equal(addonCount() - before, 0);
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});

test('the walker example runs headless: its own rigged model drawn by the addon every frame', { timeout: 240000 }, async () => {
  const { runHost, root } = require('./harness');
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-walker-'));
  const script = path.relative(path.join(root, 'tests', 'hosts'), path.join(root, 'examples', 'walker', 'main.js'));
  const png = path.join(dir, 'walker.png');
  const run = await runHost(script, ['--frames', 30, '--screenshot', png], { display: xs.display, audio: 'null', env: LP, timeout: 200000 });
  assertOk(run);
  const line = run.stdout.split('\n').find((l) => l.startsWith('walker: result '));
  assert.deepEqual(JSON.parse(line.slice(15)), { frames: 30, vertices: 108 });
  assert.ok(fs.statSync(png).size > 1000);
});
