'use strict';
// Writes the walker example's model: a small figure (a body and two legs, boxes) rigged to three
// joints (root, left hip, right hip) with one looping clip, "Walk", that swings the legs, as a .glb
// through @gltf-transform/core's writer. The project's own model, made here so that nothing is
// copied in. Usage: node scripts/walker-model.js [OUT.glb] (default examples/walker/assets/walker.glb).
const fs = require('node:fs');
const path = require('node:path');
const { Document, NodeIO } = require('@gltf-transform/core');

// The 36 corners of a box from `lo` to `hi`, counter-clockwise outside, with flat normals.
function box(lo, hi) {
  const [x0, y0, z0] = lo, [x1, y1, z1] = hi;
  const faces = [
    [[1, 0, 0], [[x1, y0, z1], [x1, y0, z0], [x1, y1, z0], [x1, y1, z1]]],
    [[-1, 0, 0], [[x0, y0, z0], [x0, y0, z1], [x0, y1, z1], [x0, y1, z0]]],
    [[0, 1, 0], [[x0, y1, z1], [x1, y1, z1], [x1, y1, z0], [x0, y1, z0]]],
    [[0, -1, 0], [[x0, y0, z0], [x1, y0, z0], [x1, y0, z1], [x0, y0, z1]]],
    [[0, 0, 1], [[x0, y0, z1], [x1, y0, z1], [x1, y1, z1], [x0, y1, z1]]],
    [[0, 0, -1], [[x1, y0, z0], [x0, y0, z0], [x0, y1, z0], [x1, y1, z0]]],
  ];
  const positions = [], normals = [];
  for (const [n, [a, b, c, d]] of faces) for (const p of [a, b, c, a, c, d]) { positions.push(...p); normals.push(...n); }
  return { positions, normals };
}

function makeWalker(out) {
  const doc = new Document();
  const buffer = doc.createBuffer();
  // Parts: body on the root joint, each leg on its hip (hips at y 0.9, x -0.15 and 0.15).
  const parts = [[box([-0.3, 0.9, -0.15], [0.3, 1.7, 0.15]), 0, [0.9, 0.35, 0.2, 1]],
    [box([-0.28, 0, -0.1], [-0.04, 0.9, 0.1]), 1, [0.2, 0.3, 0.8, 1]],
    [box([0.04, 0, -0.1], [0.28, 0.9, 0.1]), 2, [0.2, 0.3, 0.8, 1]]];
  const positions = [], normals = [], colors = [], joints = [], weights = [];
  for (const [shape, joint, color] of parts) {
    positions.push(...shape.positions);
    normals.push(...shape.normals);
    for (let v = 0; v < shape.positions.length / 3; ++v) { colors.push(...color); joints.push(joint, 0, 0, 0); weights.push(1, 0, 0, 0); }
  }
  const accessor = (type, array) => doc.createAccessor().setType(type).setArray(array).setBuffer(buffer);
  const prim = doc.createPrimitive()
    .setAttribute('POSITION', accessor('VEC3', new Float32Array(positions)))
    .setAttribute('NORMAL', accessor('VEC3', new Float32Array(normals)))
    .setAttribute('COLOR_0', accessor('VEC4', new Float32Array(colors)))
    .setAttribute('JOINTS_0', accessor('VEC4', new Uint16Array(joints)))
    .setAttribute('WEIGHTS_0', accessor('VEC4', new Float32Array(weights)));
  const mesh = doc.createMesh('walker').addPrimitive(prim);

  const root = doc.createNode('root');
  const hipL = doc.createNode('hipL').setTranslation([-0.15, 0.9, 0]);
  const hipR = doc.createNode('hipR').setTranslation([0.15, 0.9, 0]);
  root.addChild(hipL).addChild(hipR);
  // Inverse bind matrices: the joints' bind poses are pure translations.
  const inverse = new Float32Array([
    1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1,
    1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.15, -0.9, 0, 1,
    1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -0.15, -0.9, 0, 1]);
  const skin = doc.createSkin('walker').addJoint(root).addJoint(hipL).addJoint(hipR).setSkeleton(root)
    .setInverseBindMatrices(accessor('MAT4', inverse));
  const figure = doc.createNode('figure').setMesh(mesh).setSkin(skin);
  doc.createScene('scene').addChild(root).addChild(figure);

  // Walk: one second, the legs swinging 30 degrees each way in opposite phase.
  const times = new Float32Array([0, 0.25, 0.5, 0.75, 1]);
  const swing = (phase) => {
    const keys = [];
    for (let k = 0; k < times.length; ++k) {
      const a = Math.sin(2 * Math.PI * (times[k] + phase)) * (Math.PI / 6) / 2;
      keys.push(Math.sin(a), 0, 0, Math.cos(a));
    }
    return new Float32Array(keys);
  };
  const walk = doc.createAnimation('Walk');
  for (const [node, phase] of [[hipL, 0], [hipR, 0.5]]) {
    const sampler = doc.createAnimationSampler().setInput(accessor('SCALAR', times)).setOutput(accessor('VEC4', swing(phase)))
      .setInterpolation('LINEAR');
    walk.addSampler(sampler).addChannel(doc.createAnimationChannel().setTargetNode(node).setTargetPath('rotation').setSampler(sampler));
  }
  fs.mkdirSync(path.dirname(out), { recursive: true });
  return new NodeIO().write(out, doc).then(() => out);
}

module.exports = { makeWalker };

if (require.main === module) {
  const out = process.argv[2] || path.join(__dirname, '..', 'examples', 'walker', 'assets', 'walker.glb');
  makeWalker(out).then((f) => process.stdout.write(`walker-model: wrote ${f}\n`), (e) => {
    process.stderr.write(`walker-model: ${e.stack}\n`);
    process.exit(1);
  });
}
