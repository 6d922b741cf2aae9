'use strict';
// The kit's glTF loader and animation player, pure kit logic (no window): the published models of
// Debian's assimp-testmodels load with the counts their own JSON gives; the deliberately broken ones
// each give their coded error; sampled keys, cross-fades and loops match values worked out by hand;
// a rigged, animated bar made here with the parser's own writer bends as it should; a frame of the
// player allocates nothing.
const test = require('node:test');
const assert = require('node:assert/strict');
const inspector = require('node:inspector');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { Document, NodeIO } = require('@gltf-transform/core');
const { loadModel, imageFile } = require('../../lib/gltf');
const { AnimationPlayer, sampleChannel } = require('../../lib/animation');

const MODELS = '/usr/share/assimp/models/glTF2';
const model = (p) => path.join(MODELS, p);
const haveModels = fs.existsSync(MODELS);
const skip = haveModels ? false : 'assimp-testmodels is not installed (scripts/setup.sh --tests installs it)';

// The JSON of a .gltf or of a .glb's first chunk, read here without the loader.
function jsonOf(file) {
  const bytes = fs.readFileSync(file);
  if (bytes.toString('latin1', 0, 4) !== 'glTF') return JSON.parse(bytes.toString('utf8'));
  const length = bytes.readUInt32LE(12);
  return JSON.parse(bytes.toString('utf8', 20, 20 + length));
}
// Triangle corners the JSON's primitives draw (indices or vertices, whole triangles of a list).
function cornersOf(json) {
  let n = 0;
  for (const mesh of json.meshes || []) {
    for (const p of mesh.primitives) {
      const count = json.accessors[p.indices ?? p.attributes.POSITION].count;
      const mode = p.mode ?? 4;
      n += mode === 4 ? count - (count % 3) : Math.max(0, count - 2) * 3;
    }
  }
  return n;
}
const near = (a, b, eps = 1e-5) => Math.abs(a - b) <= eps;
const assertNear = (got, want, eps = 1e-5, what = '') => {
  assert.equal(got.length, want.length, what);
  for (let i = 0; i < want.length; ++i) assert.ok(near(got[i], want[i], eps), `${what}[${i}]: ${got[i]} != ${want[i]}`);
};

test('published models load with the counts their JSON gives', { skip }, async () => {
  const files = [
    'BoxTextured-glTF/BoxTextured.gltf', 'BoxTextured-glTF-Binary/BoxTextured.glb', 'BoxTextured-glTF-Embedded/BoxTextured.gltf',
    '2CylinderEngine-glTF-Binary/2CylinderEngine.glb', 'simple_skin/simple_skin.gltf',
    'glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf',
  ];
  for (const f of files) {
    const json = jsonOf(model(f));
    const m = await loadModel(model(f));
    assert.equal(m.nodes.length, (json.nodes || []).length, `${f} nodes`);
    assert.equal(m.meshes.length, (json.meshes || []).length, `${f} meshes`);
    assert.equal(m.skins.length, (json.skins || []).length, `${f} skins`);
    assert.equal(m.animations.length, (json.animations || []).length, `${f} animations`);
    const corners = m.meshes.reduce((s, mesh) => s + mesh.primitives.reduce((t, p) => t + p.vertexCount, 0), 0);
    assert.equal(corners, cornersOf(json), `${f} triangle corners`);
    for (const mesh of m.meshes) {
      for (const p of mesh.primitives) {
        assert.equal(p.positions.length, 3 * p.vertexCount);
        assert.equal(p.normals.length, 3 * p.vertexCount);
        for (let v = 0; v < p.vertexCount; v += 97) {
          const len = Math.hypot(p.normals[3 * v], p.normals[3 * v + 1], p.normals[3 * v + 2]);
          assert.ok(near(len, 1, 1e-3), `${f}: normal ${v} has length ${len}`);
        }
      }
    }
    // Parents and children agree, and the scene's roots have no parent.
    for (const [i, n] of m.nodes.entries()) for (const c of n.children) assert.equal(m.nodes[c].parent, i);
    for (const r of m.roots) assert.equal(m.nodes[r].parent, -1);
  }
});

test('the textured box is the same from .gltf, .glb and data URIs, with its image', { skip }, async () => {
  const variants = ['BoxTextured-glTF/BoxTextured.gltf', 'BoxTextured-glTF-Binary/BoxTextured.glb', 'BoxTextured-glTF-Embedded/BoxTextured.gltf'];
  const png = fs.readFileSync(model('BoxTextured-glTF/CesiumLogoFlat.png'));
  const loaded = [];
  for (const f of variants) {
    const m = await loadModel(model(f));
    const p = m.meshes[0].primitives[0];
    assert.equal(p.material, 0);
    const material = m.materials[p.material];
    assert.equal(material.texture, 0, `${f}: base colour texture`);
    assert.equal(m.images[0].mimeType, 'image/png');
    assert.deepEqual(Buffer.from(m.images[0].bytes), png, `${f}: image bytes`);
    assert.equal(p.uvs.length, 2 * p.vertexCount);
    // The image as a file: its own for the .gltf, the bytes written out for the others.
    const file = imageFile(m, 0);
    assert.deepEqual(fs.readFileSync(file), png);
    if (f.endsWith('BoxTextured-glTF/BoxTextured.gltf')) assert.equal(file, model('BoxTextured-glTF/CesiumLogoFlat.png'));
    loaded.push(m);
  }
  for (const m of loaded.slice(1)) {
    assert.deepEqual(m.meshes[0].primitives[0].positions, loaded[0].meshes[0].primitives[0].positions);
    assert.deepEqual(m.meshes[0].primitives[0].uvs, loaded[0].meshes[0].primitives[0].uvs);
    assert.deepEqual(m.nodes.map((n) => Array.from(n.matrix)), loaded[0].nodes.map((n) => Array.from(n.matrix)));
  }
  // The root's matrix (from the file: a quarter turn about x) is kept as written.
  assert.deepEqual(Array.from(loaded[0].nodes[0].matrix), jsonOf(model(variants[0])).nodes[0].matrix);
});

test('the simple skin: joints, inverse bind matrices and its rotation channel as the file says', { skip }, async () => {
  const json = jsonOf(model('simple_skin/simple_skin.gltf'));
  const m = await loadModel(model('simple_skin/simple_skin.gltf'));
  assert.deepEqual(Array.from(m.skins[0].joints), json.skins[0].joints);
  // The accessor's min and max are equal: both matrices are that one.
  const ibm = json.accessors[json.skins[0].inverseBindMatrices].max;
  assertNear(m.skins[0].inverseBindMatrices.subarray(16, 32), ibm, 1e-6, 'inverse bind 1');
  const c = m.animations[0].channels[0];
  assert.equal(c.node, 2);
  assert.equal(c.path, 'rotation');
  assert.equal(c.interpolation, 'LINEAR');
  assert.equal(c.times.length, json.accessors[json.animations[0].samplers[0].input].count);
  assert.equal(m.animations[0].duration, 5.5);
  const p = m.meshes[0].primitives[0];
  assert.equal(p.joints.length, 4 * p.vertexCount);
  assert.equal(p.weights.length, 4 * p.vertexCount);
});

test('damaged, inconsistent and unsupported files each give their coded error', { skip }, async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-models-'));
  const fifo = path.join(dir, 'pipe.gltf');
  execFileSync('mkfifo', [fifo]);
  const notJson = path.join(dir, 'text.gltf');
  fs.writeFileSync(notJson, 'not a model');
  const cases = [
    ['wrongTypes/badArray.gltf', 'EMODEL_SCHEMA', /primitives must be a non-empty array/],
    ['wrongTypes/badExtension.gltf', 'EMODEL_SCHEMA', /KHR_texture_transform must be an object/],
    ['wrongTypes/badNumber.gltf', 'EMODEL_SCHEMA', /normalTexture\.scale must be a number/],
    ['wrongTypes/badObject.gltf', 'EMODEL_SCHEMA', /pbrMetallicRoughness must be an object/],
    ['wrongTypes/badString.gltf', 'EMODEL_SCHEMA', /scenes\[0\]\.name must be a string/],
    ['wrongTypes/badUint.gltf', 'EMODEL_SCHEMA', /baseColorTexture\.index must be an index, got -1/],
    ['IndexOutOfRange/IndexOutOfRange.gltf', 'EMODEL_RANGE', /index 255 .* past its 24 vertices/],
    ['IndexOutOfRange/AllIndicesOutOfRange.gltf', 'EMODEL_RANGE', /past its 24 vertices/],
    ['IncorrectVertexArrays/Cube.gltf', 'EMODEL_UNSUPPORTED', /points or lines/],
    ['BoxWithInfinites-glTF-Binary/BoxWithInfinites.glb', 'EMODEL_NONFINITE', /POSITION holds -?Infinity/],
    ['RecursiveNodes/RecursiveNodes.gltf', 'EMODEL_CYCLE', /its own ancestor/],
    ['MissingBin/BoxTextured.gltf', 'EMODEL_READ', /BoxTextured0\.bin cannot be read \(no such file\)/],
    ['TestNoRootNode/NoScene.gltf', 'EMODEL_RANGE', /scene 0 is past the 0 scenes/],
    ['TestNoRootNode/SceneWithoutNodes.gltf', 'EMODEL_EMPTY', /scene holds no nodes/],
    ['draco/2CylinderEngine.gltf', 'EMODEL_UNSUPPORTED', /requires the extension KHR_draco_mesh_compression/],
    ['SchemaFailures/sceneWrongType.gltf', 'EMODEL_SCHEMA', /scene must be an index/],
    [path.join(dir, 'missing.glb'), 'EMODEL_READ', /no such file/],
    [fifo, 'EMODEL_READ', /not a regular file/],
    [dir, 'EMODEL_READ', /not a regular file/],
    [notJson, 'EMODEL_SYNTAX', /neither GLB nor JSON/],
  ];
  for (const [f, code, message] of cases) {
    const file = path.isAbsolute(f) ? f : model(f);
    await assert.rejects(loadModel(file), (e) => {
      assert.equal(e.code, code, `${f}: ${e.message}`);
      assert.match(e.message, message, f);
      assert.ok(e.message.includes(file), `${f}: the message names the file`);
      return true;
    });
  }
  fs.rmSync(dir, { recursive: true });
});

// --- sampling -----------------------------------------------------------------------------------

test('channels sample as their interpolation says', () => {
  const out = new Float32Array(4);
  const steps = { path: 'translation', interpolation: 'STEP', times: Float32Array.of(0, 1, 2), values: Float32Array.of(0, 0, 0, 4, 5, 6, 8, 8, 8) };
  const linear = { ...steps, interpolation: 'LINEAR' };
  // Cubic keys: in tangent, value, out tangent (x only matters here).
  const cubic = { path: 'translation', interpolation: 'CUBICSPLINE', times: Float32Array.of(1, 3),
    values: Float32Array.of(9, 9, 9, 2, 0, 0, 1, 0, 0, /* key 1 */ 3, 0, 0, 6, 0, 0, 9, 9, 9) };
  // A quarter turn about z, from the identity.
  const turn = { path: 'rotation', interpolation: 'LINEAR', times: Float32Array.of(0, 2),
    values: Float32Array.of(0, 0, 0, 1, 0, 0, Math.SQRT1_2, Math.SQRT1_2) };
  const cases = [
    [steps, 0.99, [0, 0, 0]], [steps, 1, [4, 5, 6]], [steps, 1.5, [4, 5, 6]], [steps, -1, [0, 0, 0]], [steps, 9, [8, 8, 8]],
    [linear, 0.5, [2, 2.5, 3]], [linear, 1.25, [5, 5.75, 6.5]], [linear, 2, [8, 8, 8]], [linear, 7, [8, 8, 8]],
    // At a key the value itself; halfway the Hermite weights are 1/2, 1/8 dt, 1/2, -1/8 dt (dt = 2):
    // 0.5 x 2 + 0.25 x 1 + 0.5 x 6 - 0.25 x 3 = 3.5.
    [cubic, 1, [2, 0, 0]], [cubic, 3, [6, 0, 0]], [cubic, 2, [3.5, 0, 0]], [cubic, 0, [2, 0, 0]], [cubic, 4, [6, 0, 0]],
    // Halfway along a quarter turn: an eighth of a turn.
    [turn, 1, [0, 0, Math.sin(Math.PI / 8), Math.cos(Math.PI / 8)]], [turn, 2, [0, 0, Math.SQRT1_2, Math.SQRT1_2]],
  ];
  for (const [channel, t, want] of cases) {
    sampleChannel(channel, t, out);
    assertNear(out.subarray(0, want.length), want, 1e-6, `${channel.interpolation} ${channel.path} at ${t}`);
  }
});

// A bar of two bones along +y (joint 0 at the origin, joint 1 one unit up, its child), its vertices
// at y = 0, 1, 2 bound to bone 0, both, bone 1; clips 'bend' (joint 1 turns a quarter about z over
// one second, linear) and 'slide' (joint 0 moves from x = 0 to x = 10 over two seconds). Written
// with the parser's own writer.
async function makeBar(file) {
  const doc = new Document();
  const buffer = doc.createBuffer();
  const acc = (type, array) => doc.createAccessor().setType(type).setArray(array).setBuffer(buffer);
  // Three triangles of a thin strip up the bar (only the skinning matters here).
  const positions = Float32Array.of(0, 0, 0, 0.1, 0, 0, 0, 1, 0, 0, 1, 0, 0.1, 0, 0, 0.1, 1, 0, 0, 2, 0, 0, 1, 0, 0.1, 1, 0);
  const joints = Uint16Array.of(0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0);
  const weights = Float32Array.of(1, 0, 0, 0, 1, 0, 0, 0, 0.5, 0.5, 0, 0, 0.5, 0.5, 0, 0, 1, 0, 0, 0, 0.5, 0.5, 0, 0, 1, 0, 0, 0,
    0.5, 0.5, 0, 0, 0.5, 0.5, 0, 0);
  const prim = doc.createPrimitive().setAttribute('POSITION', acc('VEC3', positions))
    .setAttribute('JOINTS_0', acc('VEC4', joints)).setAttribute('WEIGHTS_0', acc('VEC4', weights));
  const mesh = doc.createMesh('bar').addPrimitive(prim);
  const bone1 = doc.createNode('bone1').setTranslation([0, 1, 0]);
  const bone0 = doc.createNode('bone0').addChild(bone1);
  // Inverse bind: bone 0 at the origin, bone 1 at y = 1.
  const ibm = acc('MAT4', Float32Array.of(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1));
  const skin = doc.createSkin('bar').addJoint(bone0).addJoint(bone1).setInverseBindMatrices(ibm);
  const body = doc.createNode('body').setMesh(mesh).setSkin(skin);
  doc.createScene('scene').addChild(bone0).addChild(body);
  const channel = (name, node, target, times, values) => {
    const sampler = doc.createAnimationSampler().setInput(acc('SCALAR', Float32Array.from(times)))
      .setOutput(acc(target === 'rotation' ? 'VEC4' : 'VEC3', Float32Array.from(values))).setInterpolation('LINEAR');
    doc.createAnimation(name).addSampler(sampler)
      .addChannel(doc.createAnimationChannel().setTargetNode(node).setTargetPath(target).setSampler(sampler));
  };
  channel('bend', bone1, 'rotation', [0, 1], [0, 0, 0, 1, 0, 0, Math.SQRT1_2, Math.SQRT1_2]);
  channel('slide', bone0, 'translation', [0, 2], [0, 0, 0, 10, 0, 0]);
  await new NodeIO().write(file, doc);
}

const applyPoint = (m, p) => [0, 1, 2].map((r) => m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r]);

test('a rigged bar made with the writer bends, slides, cross-fades and loops', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-bar-'));
  const file = path.join(dir, 'bar.glb');
  await makeBar(file);
  const m = await loadModel(file);
  assert.equal(m.skins.length, 1);
  assert.deepEqual(m.animations.map((a) => a.name), ['bend', 'slide']);
  const player = new AnimationPlayer(m);
  const palette = (j) => player.palettes[0].subarray(16 * j, 16 * j + 16);
  const bone0 = m.skins[0].joints[0];

  // Rest pose: the palette is the identity for both joints.
  assertNear(applyPoint(palette(1), [0, 2, 0]), [0, 2, 0], 1e-6, 'rest');
  // Bent all the way: the tip (bound to joint 1) turns a quarter about (0, 1, 0) to (-1, 1, 0).
  player.play('bend', { loop: false });
  player.update(1);
  assertNear(applyPoint(palette(1), [0, 2, 0]), [-1, 1, 0], 1e-6, 'bent tip');
  assertNear(applyPoint(palette(0), [0, 2, 0]), [0, 2, 0], 1e-6, 'bone 0 stays');
  // Not looping, it holds its last pose.
  player.update(5);
  assert.equal(player.time, 1);
  assertNear(applyPoint(palette(1), [0, 2, 0]), [-1, 1, 0], 1e-6, 'held');

  // Looping: 2.5 s into a 2 s clip is 0.5 s in.
  player.play('slide');
  player.update(2.5);
  assert.ok(near(player.time, 0.5));
  assertNear(player.worldOf[bone0].subarray(12, 15), [2.5, 0, 0], 1e-5, 'slide after wrap');
  // Negative speed runs backwards and wraps the other way.
  player.setSpeed(-1);
  player.update(1);
  assert.ok(near(player.time, 1.5), `time ${player.time}`);
  player.setSpeed(1);

  // Cross-fade from 'slide' (x = 7.5 at 1.5 s, then moving) into 'bend' over one second.
  player.play('slide', { time: 1 });          // x = 5, held by speed 0
  player.setSpeed(0);
  player.update(0);
  player.play('bend', { fade: 1, loop: false, speed: 0, time: 1 });  // the full bend, held
  const table = [[0.25, 0.25], [0.25, 0.5], [0.5, 1], [1, 1]];
  for (const [dt, weight] of table) {
    player.update(dt);
    assert.ok(near(player.weight, weight), `weight ${player.weight} != ${weight}`);
    // Translation blends linearly: slide's x = 5 fades to bend's rest x = 0.
    assertNear(player.worldOf[bone0].subarray(12, 15), [5 * (1 - weight), 0, 0], 1e-5, `x at weight ${weight}`);
    // The bend's angle blends along the arc: weight w turns the tip by w quarter turns about bone 1.
    const angle = weight * Math.PI / 2;
    const tip = applyPoint(palette(1), [0, 2, 0]);
    assertNear(tip, [5 * (1 - weight) - Math.sin(angle), 1 + Math.cos(angle), 0], 1e-5, `tip at weight ${weight}`);
  }
  player.stop();
  player.update(0);
  assertNear(applyPoint(palette(1), [0, 2, 0]), [0, 2, 0], 1e-6, 'stopped: rest pose');
  assert.throws(() => player.play('walk'), /no animation named walk \(animations: bend, slide\)/);
  fs.rmSync(dir, { recursive: true });
});

test('a frame of the player allocates nothing', { skip }, async () => {
  const m = await loadModel(model('simple_skin/simple_skin.gltf'));
  const player = new AnimationPlayer(m);
  const name = m.animations[0].name;
  for (let i = 0; i < 20000; ++i) {  // warm up: optimised code, cross-fades started and ended
    if (i % 500 === 0) player.play(name, { fade: 0.3 });
    player.update(1 / 60);
  }
  player.play(name, { fade: 1e6 });  // a cross-fade in flight through the whole measured run
  // Every allocation is sampled (collected ones too), so code the engine compiles meanwhile, which
  // moves the heap's size, does not count: only objects made by the frames.
  const session = new inspector.Session();
  session.connect();
  const post = (method, params = {}) => new Promise((resolve, reject) => session.post(method, params, (e, r) => (e ? reject(e) : resolve(r))));
  await post('HeapProfiler.startSampling', { samplingInterval: 16, includeObjectsCollectedByMajorGC: true, includeObjectsCollectedByMinorGC: true });
  for (let i = 0; i < 20000; ++i) player.update(1 / 60);
  const { profile } = await post('HeapProfiler.stopSampling');
  session.disconnect();
  let bytes = 0;
  const walk = (node, inPlayer) => {
    const here = inPlayer || /lib[\\/]animation\.js$/.test(node.callFrame.url);
    if (here) bytes += node.selfSize;
    for (const child of node.children) walk(child, here);
  };
  walk(profile.head, false);
  // 20,000 frames of even 16 bytes each would be 320 KB; the engine's own work while the frames
  // run (compiling, on-stack replacement) is sampled too, a few tens of KB at most.
  assert.ok(bytes < 160 * 1024, `the player's frames allocated about ${bytes} bytes over 20,000 frames`);
});

test('loading the 1.8 MB engine takes well under a second', { skip }, async () => {
  const t0 = process.hrtime.bigint();
  const m = await loadModel(model('2CylinderEngine-glTF-Binary/2CylinderEngine.glb'));
  const ms = Number(process.hrtime.bigint() - t0) / 1e6;
  assert.equal(m.nodes.length, 82);
  assert.ok(ms < 2000, `took ${ms} ms`);
});
