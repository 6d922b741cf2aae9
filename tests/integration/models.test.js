'use strict';
// The kit's glTF loader and animation player without a window: published models (Debian's
// assimp-testmodels) against their own JSON, broken ones by their coded errors, sampled keys, a
// rigged bar that bends, slides, cross-fades and loops, and a player frame that allocates nothing.
const test = require('node:test');
const assert = require('node:assert/strict');
const inspector = require('node:inspector');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { loadModel, imageFile } = require('../../lib/gltf');
const { AnimationPlayer, sampleChannel } = require('../../lib/animation');

const model = (p) => path.join('/usr/share/assimp/models/glTF2', p);
const skip = fs.existsSync(model('')) ? false : 'assimp-testmodels is not installed (scripts/setup.sh --tests installs it)';
const BOX = ['BoxTextured-glTF/BoxTextured.gltf', 'BoxTextured-glTF-Binary/BoxTextured.glb', 'BoxTextured-glTF-Embedded/BoxTextured.gltf'];
const SKIN = 'simple_skin/simple_skin.gltf';

// The JSON of a .gltf or of a .glb's first chunk, read here without the loader.
function jsonOf(file) {
  const bytes = fs.readFileSync(model(file));
  return JSON.parse(bytes.toString('latin1', 0, 4) === 'glTF' ? bytes.toString('utf8', 20, 20 + bytes.readUInt32LE(12)) : bytes.toString('utf8'));
}
const assertNear = (got, want, eps, what) => want.forEach((w, i) => assert.ok(Math.abs(got[i] - w) <= eps, `${what}[${i}]: ${got[i]} != ${w}`));

test('published models load with the counts their JSON gives; the textured box alike from .gltf, .glb and data URIs', { skip }, async () => {
  const png = fs.readFileSync(model('BoxTextured-glTF/CesiumLogoFlat.png'));
  const boxes = [];
  for (const f of [...BOX, '2CylinderEngine-glTF-Binary/2CylinderEngine.glb', SKIN, 'glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf']) {
    const json = jsonOf(f), m = await loadModel(model(f)), prims = m.meshes.flatMap((mesh) => mesh.primitives);
    for (const key of ['nodes', 'meshes', 'skins', 'animations']) assert.equal(m[key].length, (json[key] || []).length, `${f} ${key}`);
    // Triangle corners the JSON's primitives draw (indices or vertices; whole triangles of a list, or a strip's).
    const corners = json.meshes.flatMap((mesh) => mesh.primitives).reduce((n, p) => {
      const count = json.accessors[p.indices ?? p.attributes.POSITION].count;
      return n + ((p.mode ?? 4) === 4 ? count - (count % 3) : Math.max(0, count - 2) * 3);
    }, 0);
    assert.equal(prims.reduce((n, p) => n + p.vertexCount, 0), corners, `${f} triangle corners`);
    for (const p of prims) {
      assert.deepEqual([p.positions.length, p.normals.length], [3 * p.vertexCount, 3 * p.vertexCount]);
      for (let v = 0; v < p.vertexCount; v += 97) assert.ok(Math.abs(Math.hypot(...p.normals.subarray(3 * v, 3 * v + 3)) - 1) < 1e-3, `${f}: normal ${v}`);
    }
    // Parents and children agree, and the scene's roots have no parent.
    for (const [i, n] of m.nodes.entries()) for (const c of n.children) assert.equal(m.nodes[c].parent, i);
    for (const r of m.roots) assert.equal(m.nodes[r].parent, -1);
    if (!BOX.includes(f)) continue;
    // The image as a file: its own for the .gltf, the bytes written out for the others.
    assert.deepEqual([prims[0].material, m.materials[0].texture, m.images[0].mimeType, prims[0].uvs.length], [0, 0, 'image/png', 2 * prims[0].vertexCount], f);
    assert.deepEqual([Buffer.from(m.images[0].bytes), fs.readFileSync(imageFile(m, 0))], [png, png], f);
    if (f === BOX[0]) assert.equal(imageFile(m, 0), model('BoxTextured-glTF/CesiumLogoFlat.png'));
    boxes.push(m);
  }
  // The same vertices from each form; the root's matrix (a quarter turn about x) kept as the file writes it.
  for (const m of boxes) {
    for (const key of ['positions', 'uvs']) assert.deepEqual(m.meshes[0].primitives[0][key], boxes[0].meshes[0].primitives[0][key]);
    assert.deepEqual(m.nodes.map((n) => Array.from(n.matrix)), boxes[0].nodes.map((n) => Array.from(n.matrix)));
  }
  assert.deepEqual(Array.from(boxes[0].nodes[0].matrix), jsonOf(BOX[0]).nodes[0].matrix);
  // The simple skin: joints, inverse bind matrices (the accessor's min and max are both that one) and its rotation channel.
  const json = jsonOf(SKIN), m = await loadModel(model(SKIN)), c = m.animations[0].channels[0], p = m.meshes[0].primitives[0];
  assert.deepEqual(Array.from(m.skins[0].joints), json.skins[0].joints);
  assertNear(m.skins[0].inverseBindMatrices.subarray(16, 32), json.accessors[json.skins[0].inverseBindMatrices].max, 1e-6, 'inverse bind 1');
  assert.deepEqual([c.node, c.path, c.interpolation, c.times.length, m.animations[0].duration, p.joints.length, p.weights.length],
    [2, 'rotation', 'LINEAR', json.accessors[json.animations[0].samplers[0].input].count, 5.5, 4 * p.vertexCount, 4 * p.vertexCount]);
});

test('damaged, inconsistent and unsupported files each give their coded error, naming the file', { skip }, async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-models-'));
  execFileSync('mkfifo', [path.join(dir, 'pipe.gltf')]);
  fs.writeFileSync(path.join(dir, 'text.gltf'), 'not a model');
  // The simple skin with its key times read as pairs.
  const pairs = jsonOf(SKIN), times = pairs.accessors[pairs.animations[0].samplers[0].input];
  Object.assign(times, { type: 'VEC2', count: times.count >> 1 });
  delete times.min; delete times.max;
  fs.writeFileSync(path.join(dir, 'pairs.gltf'), JSON.stringify(pairs));
  for (const [f, code, message] of [
    ['wrongTypes/badArray.gltf', 'EMODEL_SCHEMA', /primitives must be a non-empty array/], ['wrongTypes/badString.gltf', 'EMODEL_SCHEMA', /scenes\[0\]\.name must be a string/],
    ['wrongTypes/badExtension.gltf', 'EMODEL_SCHEMA', /KHR_texture_transform must be an object/],
    ['wrongTypes/badNumber.gltf', 'EMODEL_SCHEMA', /normalTexture\.scale must be a number/], ['wrongTypes/badObject.gltf', 'EMODEL_SCHEMA', /pbrMetallicRoughness must be an object/],
    ['wrongTypes/badUint.gltf', 'EMODEL_SCHEMA', /baseColorTexture\.index must be an index, got -1/], ['SchemaFailures/sceneWrongType.gltf', 'EMODEL_SCHEMA', /scene must be an index/],
    ['IndexOutOfRange/IndexOutOfRange.gltf', 'EMODEL_RANGE', /index 255 .* past its 24 vertices/], ['IndexOutOfRange/AllIndicesOutOfRange.gltf', 'EMODEL_RANGE', /past its 24 vertices/],
    ['IncorrectVertexArrays/Cube.gltf', 'EMODEL_UNSUPPORTED', /points or lines/], ['RecursiveNodes/RecursiveNodes.gltf', 'EMODEL_CYCLE', /its own ancestor/],
    ['BoxWithInfinites-glTF-Binary/BoxWithInfinites.glb', 'EMODEL_NONFINITE', /POSITION holds -?Infinity/],
    ['MissingBin/BoxTextured.gltf', 'EMODEL_READ', /BoxTextured0\.bin cannot be read \(no such file\)/],
    ['TestNoRootNode/NoScene.gltf', 'EMODEL_RANGE', /scene 0 is past the 0 scenes/], ['TestNoRootNode/SceneWithoutNodes.gltf', 'EMODEL_EMPTY', /scene holds no nodes/],
    ['draco/2CylinderEngine.gltf', 'EMODEL_UNSUPPORTED', /requires the extension KHR_draco_mesh_compression/],
    [path.join(dir, 'missing.glb'), 'EMODEL_READ', /no such file/], [path.join(dir, 'pipe.gltf'), 'EMODEL_READ', /not a regular file/],
    [dir, 'EMODEL_READ', /not a regular file/], [path.join(dir, 'pairs.gltf'), 'EMODEL_SCHEMA', /key times must be float scalars/], [path.join(dir, 'text.gltf'), 'EMODEL_SYNTAX', /neither GLB nor JSON/],
  ]) {
    const file = path.isAbsolute(f) ? f : model(f);
    await assert.rejects(loadModel(file), (e) => e.code === code && message.test(e.message) && e.message.includes(file), f);
  }
  fs.rmSync(dir, { recursive: true });
});

test('channels sample as their interpolation says', () => {
  const steps = { path: 'translation', interpolation: 'STEP', times: Float32Array.of(0, 1, 2), values: Float32Array.of(0, 0, 0, 4, 5, 6, 8, 8, 8) };
  const linear = { ...steps, interpolation: 'LINEAR' };
  // Cubic keys: in tangent, value, out tangent (x only matters here).
  const cubic = { path: 'translation', interpolation: 'CUBICSPLINE', times: Float32Array.of(1, 3), values: Float32Array.of(9, 9, 9, 2, 0, 0, 1, 0, 0, 3, 0, 0, 6, 0, 0, 9, 9, 9) };
  // A quarter turn about z, from the identity.
  const turn = { path: 'rotation', interpolation: 'LINEAR', times: Float32Array.of(0, 2), values: Float32Array.of(0, 0, 0, 1, 0, 0, Math.SQRT1_2, Math.SQRT1_2) };
  for (const [channel, t, want] of [
    [steps, 0.99, [0, 0, 0]], [steps, 1, [4, 5, 6]], [steps, 1.5, [4, 5, 6]], [steps, -1, [0, 0, 0]], [steps, 9, [8, 8, 8]],
    [linear, 0.5, [2, 2.5, 3]], [linear, 1.25, [5, 5.75, 6.5]], [linear, 2, [8, 8, 8]], [linear, 7, [8, 8, 8]],
    // At a key the value itself; halfway the Hermite weights are 1/2, dt/8, 1/2, -dt/8 (dt = 2): 1 + 0.25 + 3 - 0.75 = 3.5.
    [cubic, 1, [2, 0, 0]], [cubic, 3, [6, 0, 0]], [cubic, 2, [3.5, 0, 0]], [cubic, 0, [2, 0, 0]], [cubic, 4, [6, 0, 0]],
    // Halfway along a quarter turn: an eighth of a turn.
    [turn, 1, [0, 0, Math.sin(Math.PI / 8), Math.cos(Math.PI / 8)]], [turn, 2, [0, 0, Math.SQRT1_2, Math.SQRT1_2]],
  ]) assertNear(sampleChannel(channel, t, new Float32Array(4)), want, 1e-6, `${channel.interpolation} ${channel.path} at ${t}`);
});

test('a rigged bar bends, slides, cross-fades and loops', () => {
  // Two bones along +y (joint 1 one unit up, a child of joint 0; inverse bind matrices to match);
  // clips 'bend' (joint 1 a quarter turn about z in 1 s) and 'slide' (joint 0 from x = 0 to 10 in 2 s), linear.
  const node = (translation, children, parent) => ({ translation, rotation: [0, 0, 0, 1], scale: [1, 1, 1], matrix: [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, ...translation, 1], children, parent });
  const channel = (name, duration, node, path, values) => ({ name, duration, channels: [{ node, path, interpolation: 'LINEAR', times: Float32Array.of(0, duration), values: Float32Array.from(values) }] });
  const m = { nodes: [node([0, 0, 0], [1], -1), node([0, 1, 0], [], 0)], skins: [{ joints: [0, 1], inverseBindMatrices: Float32Array.of(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1) }],
    animations: [channel('bend', 1, 1, 'rotation', [0, 0, 0, 1, 0, 0, Math.SQRT1_2, Math.SQRT1_2]), channel('slide', 2, 0, 'translation', [0, 0, 0, 10, 0, 0])] };
  const player = new AnimationPlayer(m);
  const palette = (j) => player.palettes[0].subarray(16 * j, 16 * j + 16);
  const tip = (j = 1) => [0, 1, 2].map((r) => palette(j)[4 + r] * 2 + palette(j)[12 + r]);  // (0, 2, 0) through the palette
  const x0 = () => player.worldOf[m.skins[0].joints[0]].subarray(12, 15);
  assertNear(tip(), [0, 2, 0], 1e-6, 'rest');
  // Bent all the way the tip turns a quarter about (0, 1, 0) to (-1, 1, 0); not looping, it holds there.
  player.play('bend', { loop: false });
  player.update(1);
  assertNear([...tip(), ...tip(0)], [-1, 1, 0, 0, 2, 0], 1e-6, 'bent tip, bone 0 stays');
  player.update(5);
  assertNear([player.time, ...tip()], [1, -1, 1, 0], 1e-6, 'held');
  // Looping: 2.5 s into a 2 s clip is 0.5 s in; a negative speed runs back and wraps the other way.
  player.play('slide');
  player.update(2.5);
  assertNear([player.time, ...x0()], [0.5, 2.5, 0, 0], 1e-5, 'slide after wrap');
  player.setSpeed(-1);
  player.update(1);
  assertNear([player.time], [1.5], 1e-6, 'time');
  // Cross-fade from 'slide' held at x = 5 into the full bend held, over one second.
  player.play('slide', { time: 1 });
  player.setSpeed(0);
  player.update(0);
  player.play('bend', { fade: 1, loop: false, speed: 0, time: 1 });
  for (const [dt, weight] of [[0.25, 0.25], [0.25, 0.5], [0.5, 1], [1, 1]]) {
    player.update(dt);
    // Translation blends linearly; the bend's angle along the arc (weight w turns the tip by w quarter turns).
    const angle = weight * Math.PI / 2;
    assertNear([player.weight, ...x0(), ...tip()], [weight, 5 * (1 - weight), 0, 0, 5 * (1 - weight) - Math.sin(angle), 1 + Math.cos(angle), 0], 1e-5, `weight ${weight}`);
  }
  player.stop();
  player.update(0);
  assertNear(tip(), [0, 2, 0], 1e-6, 'stopped: rest pose');
  assert.throws(() => player.play('walk'), /no animation named walk \(animations: bend, slide\)/);
});

test('a frame of the player allocates nothing', { skip }, async () => {
  const m = await loadModel(model(SKIN)), player = new AnimationPlayer(m), name = m.animations[0].name;
  // Warmed up (optimised code, cross-fades started and ended), then a cross-fade in flight throughout.
  for (let i = 0; i < 20000; ++i) {
    if (i % 500 === 0) player.play(name, { fade: 0.3 });
    player.update(1 / 60);
  }
  player.play(name, { fade: 1e6 });
  // Every allocation under the player's code is sampled, collected ones too; what the engine does
  // meanwhile (compiling, on-stack replacement) comes and goes, so the lesser of two runs counts.
  const session = new inspector.Session();
  session.connect();
  const post = (method, params = {}) => new Promise((resolve, reject) => session.post(method, params, (e, r) => (e ? reject(e) : resolve(r))));
  const sampled = async () => {
    await post('HeapProfiler.startSampling', { samplingInterval: 16, includeObjectsCollectedByMajorGC: true, includeObjectsCollectedByMinorGC: true });
    for (let i = 0; i < 20000; ++i) player.update(1 / 60);
    const walk = (node, inPlayer) => {
      const here = inPlayer || /lib[\\/]animation\.js$/.test(node.callFrame.url);
      return (here ? node.selfSize : 0) + node.children.reduce((sum, child) => sum + walk(child, here), 0);
    };
    return walk((await post('HeapProfiler.stopSampling')).profile.head, false);
  };
  const bytes = Math.min(await sampled(), await sampled());
  session.disconnect();
  // 20,000 frames of even 16 bytes each would be 320 KB; the engine's own work is a few tens of KB at most.
  assert.ok(bytes < 160 * 1024, `the player's frames allocated about ${bytes} bytes over 20,000 frames`);
});
