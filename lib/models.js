'use strict';
// Retained meshes and animated models for the host kit. A mesh is handed to the addon once
// (createMesh copies its block into native storage); each frame the kit only writes instance
// records (which mesh, which batch, a matrix, a tint, a range of joint matrices) into a shared
// instance block and joint palettes into a palette block, plus one drawMeshes command per run of
// draws. During `tick` the addon places every instance into the solid, transparent or unculled
// batch, after the vertices the host wrote there this frame. Block layouts: contract/host.js
// (limits, meshStatus, the drawMeshes command) and native/gfx/core/meshkernels.h.
//
//   const meshes = createMeshRenderer(buffers, commands);
//   const crate = meshes.createMesh({ positions, normals, uvs, image: 'crate' });
//   const walker = await meshes.loadModel('walker.glb'); walker.play('Walk');
//   each frame: walker.update(dt); walker.draw(matrix); crate.draw(other);  then commands.tick()
//
// Drawing allocates nothing: records and palettes go into blocks made once; a draw in the same step
// right after another extends the same command.
const { mat4 } = require('gl-matrix');
const contract = require('../contract/host');
const { native } = require('./native');
const { checkInteger, checkNumber, checkOptions } = require('./checks');
const textures = require('./textures');
const { loadModel: readModel, imageFile } = require('./gltf');
const { AnimationPlayer } = require('./animation');
const { COMMANDS } = require('./commands');

const { MESH_COUNT, MAX_MESH_VERTICES, MESH_HEADER_BYTES, INSTANCE_RECORD_BYTES, PALETTE_MATRIX_BYTES } = contract.limits;
const MESH_STATUS = Object.freeze({ ...contract.meshStatus });
// Bits of the mesh block's flags word.
const MESH_FLAGS = Object.freeze({ normals: 1, colors: 2, uvs: 4, skin: 8 });
// The batches an instance record can name.
const BATCH = Object.freeze({ solid: 0, transparent: 1, unculled: 2 });
const RECORD_WORDS = INSTANCE_RECORD_BYTES / 4;
const DRAW = COMMANDS.drawMeshes;
// What each negative status means.
const STATUS_TEXT = {
  [MESH_STATUS.MESH_NO_BLOCK]: 'the block id names no shared block',
  [MESH_STATUS.MESH_BAD_BLOCK]: `the mesh block is malformed, holds no whole triangle or over ${MAX_MESH_VERTICES} vertices`,
  [MESH_STATUS.MESH_STORE_FULL]: `the mesh store is full (${MESH_COUNT} meshes, or its byte limit)`,
  [MESH_STATUS.MESH_UNKNOWN]: 'no mesh holds that id',
  [MESH_STATUS.MESH_NOT_READY]: 'the pipelines do not exist yet (call ready first)',
  [MESH_STATUS.MESH_BAD_RANGE]: 'first or count is negative or not a number',
};
const IDENTITY = Object.freeze([1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]);
const WHITE = Object.freeze([1, 1, 1, 1]);

function meshError(status, what) {
  const e = new Error(`${what}: ${STATUS_TEXT[status] || `status ${status}`}`);
  e.code = 'EMESH';
  e.status = status;
  return e;
}

// --- mesh blocks --------------------------------------------------------------------------------

// Bytes of a mesh block of `vertexCount` vertices with the sections `flags` names.
function meshBlockBytes(vertexCount, flags) {
  const perVertex = 12 + (flags & MESH_FLAGS.normals ? 12 : 0) + (flags & MESH_FLAGS.colors ? 16 : 0) +
    (flags & MESH_FLAGS.uvs ? 8 : 0) + (flags & MESH_FLAGS.skin ? 24 : 0);
  return MESH_HEADER_BYTES + vertexCount * perVertex;
}

const MESH_KEYS = ['positions', 'normals', 'colors', 'uvs', 'joints', 'weights', 'image', 'specular', 'emission'];

// The atlas rectangle of `image`: a name of lib/textures.js, a rect { x, y, width, height }, or none.
function atlasRect(image) {
  if (image == null) return null;
  const rect = typeof image === 'string' ? textures.get(image) : image;
  if (!rect) throw new RangeError(`no image named ${image} (load it with textures.load first)`);
  for (const k of ['x', 'y', 'width', 'height']) checkNumber(rect[k], `image ${k}`);
  return rect;
}

// Checks `mesh` (arrays per vertex: positions 3, normals 3, colors 4, uvs 2, joints 4, weights 4)
// and writes it as a mesh block into `bytes` (an ArrayBuffer of at least meshBlockBytes). Returns
// { vertexCount, flags, bytes }.
function writeMeshBlock(buffer, mesh) {
  const m = checkOptions(mesh, MESH_KEYS, 'mesh');
  const positions = m.positions;
  if (!positions || typeof positions.length !== 'number') throw new TypeError('mesh needs positions (3 numbers a vertex)');
  const n = positions.length / 3;
  if (!Number.isInteger(n) || n === 0 || n % 3 !== 0) {
    throw new RangeError(`mesh positions must be whole triangles of 3-number vertices, got ${positions.length} numbers`);
  }
  if (n > MAX_MESH_VERTICES) throw new RangeError(`a mesh holds at most ${MAX_MESH_VERTICES} vertices, got ${n}`);
  const sections = [['positions', 3, 0], ['normals', 3, MESH_FLAGS.normals], ['colors', 4, MESH_FLAGS.colors],
    ['uvs', 2, MESH_FLAGS.uvs], ['joints', 4, MESH_FLAGS.skin], ['weights', 4, MESH_FLAGS.skin]];
  let flags = 0;
  for (const [name, width, flag] of sections) {
    const a = m[name];
    if (a == null) continue;
    if (typeof a.length !== 'number' || a.length !== n * width) {
      throw new RangeError(`mesh ${name} must hold ${width} numbers for each of the ${n} vertices, got ${a && a.length}`);
    }
    flags |= flag;
  }
  if ((m.joints == null) !== (m.weights == null)) throw new TypeError('mesh joints and weights go together');
  const rect = atlasRect(m.image);
  if (rect && !(flags & MESH_FLAGS.uvs)) throw new TypeError('a mesh with an image needs uvs');
  const bytes = meshBlockBytes(n, flags);
  if (buffer.byteLength < bytes) throw new RangeError(`mesh block of ${buffer.byteLength} bytes is short of ${bytes}`);
  const u32 = new Uint32Array(buffer, 0, MESH_HEADER_BYTES / 4);
  const f32 = new Float32Array(buffer, 0, MESH_HEADER_BYTES / 4);
  u32.fill(0);
  u32[0] = n; u32[1] = flags;
  if (rect) { f32[2] = rect.x; f32[3] = rect.y; f32[4] = rect.width; f32[5] = rect.height; }
  f32[6] = checkNumber(m.specular ?? 0, 'mesh specular');
  f32[7] = checkNumber(m.emission ?? 0, 'mesh emission');
  let at = MESH_HEADER_BYTES;
  for (const [name, width] of sections) {
    const a = m[name];
    if (a == null) continue;
    if (name === 'joints') {
      const view = new Uint16Array(buffer, at, n * 4);
      for (let i = 0; i < a.length; ++i) view[i] = checkInteger(a[i], 0, 65535, 'mesh joint');
      at += n * 8;
    } else {
      const view = new Float32Array(buffer, at, n * width);
      view.set(a);
      for (let i = 0; i < view.length; ++i) if (!Number.isFinite(view[i])) throw new RangeError(`mesh ${name}[${i}] is not a finite number`);
      at += n * width * 4;
    }
  }
  return { vertexCount: n, flags, bytes };
}

// --- the renderer -------------------------------------------------------------------------------

const RENDERER_OPTIONS = ['instances', 'joints'];
const DRAW_OPTIONS = ['batch', 'tint', 'palette'];

// A mesh in the addon's store, drawn by its renderer.
class Mesh {
  constructor(renderer, id, vertexCount, flags) {
    this.renderer = renderer;
    this.id = id;
    this.vertexCount = vertexCount;
    this.skinned = (flags & MESH_FLAGS.skin) !== 0;
    this.released = false;
  }
  // Draws the mesh this frame, placed by `matrix` (16 numbers, column-major). Options: batch
  // ('solid' default, 'transparent', 'unculled'), tint [r, g, b, a] multiplying its colours,
  // palette (a skinned mesh's joint matrices, 16 floats each). Returns the command's word index.
  draw(matrix, options) {
    let batch = 0, tint = WHITE, palette = null;
    if (options !== undefined) {
      checkOptions(options, DRAW_OPTIONS, 'mesh.draw');
      if (options.batch !== undefined) {
        batch = BATCH[options.batch];
        if (batch === undefined) throw new RangeError(`batch must be one of ${Object.keys(BATCH).join(', ')}, got ${options.batch}`);
      }
      if (options.tint !== undefined) tint = options.tint;
      if (options.palette !== undefined) palette = options.palette;
    }
    const r = this.renderer;
    const first = palette ? r.putPalette(palette) : 0;
    return r.putRecord(this, batch, matrix, tint, first, palette ? palette.length >> 4 : 0);
  }
  // Frees the mesh in the addon; its id may be handed out again.
  release() {
    if (this.released) return;
    this.released = true;
    native().releaseMesh(this.id);
  }
}

class MeshRenderer {
  constructor(buffers, commands, options) {
    const { instances = 4096, joints = 16384 } = checkOptions(options, RENDERER_OPTIONS, 'createMeshRenderer');
    if (!buffers || !buffers.header || typeof buffers.nextBuffer !== 'function') {
      throw new TypeError('createMeshRenderer needs the shared buffers of createBuffers()');
    }
    if (!commands || typeof commands.drawMeshes !== 'function') throw new TypeError('createMeshRenderer needs a CommandWriter');
    checkInteger(instances, 1, 1 << 20, 'instances');
    checkInteger(joints, 1, 1 << 20, 'joints');
    this.buffers = buffers;
    this.commands = commands;
    const records = buffers.nextBuffer(instances * INSTANCE_RECORD_BYTES);
    this.recordBlock = records.id;
    this.recordU32 = new Uint32Array(records.buffer);
    this.recordF32 = new Float32Array(records.buffer);
    this.instanceCapacity = instances;
    const palette = buffers.nextBuffer(joints * PALETTE_MATRIX_BYTES);
    this.paletteBlock = palette.id;
    this.palette = new Float32Array(palette.buffer);
    this.jointCapacity = joints;
    // The block mesh data goes through on its way into the store; grown (a new id) when too small.
    this.staging = null;
    // This step's cursors, and the last command written (extended while it is the stream's last).
    this.step = -1;
    this.instanceCount = 0;
    this.jointCount = 0;
    this.command = -1;
  }

  // Starts a new step's records when the writer has moved to another step.
  sync() {
    const c = this.commands;
    if (c.step !== this.step) {
      this.step = c.step;
      this.instanceCount = 0;
      this.jointCount = 0;
      this.command = -1;
    }
  }

  // Copies `matrices` (16 floats each) into this step's palette; the index of the first.
  putPalette(matrices) {
    this.sync();
    const count = matrices.length >> 4;
    if (count * 16 !== matrices.length || count === 0) throw new RangeError('palette must hold whole 4x4 matrices (16 numbers each)');
    if (this.jointCount + count > this.jointCapacity) {
      throw new RangeError(`palette block full: ${count} joints asked for, ${this.jointCapacity - this.jointCount} of ${this.jointCapacity} left this step`);
    }
    const first = this.jointCount;
    this.palette.set(matrices, first * 16);
    this.jointCount += count;
    return first;
  }

  // Writes one instance record and the command that draws it; the command's word index.
  putRecord(mesh, batch, matrix, tint, firstJoint, joints) {
    if (mesh.released) throw new RangeError(`mesh ${mesh.id} was released`);
    if (!matrix || matrix.length !== 16) throw new RangeError('matrix must hold 16 numbers');
    if (!tint || tint.length !== 4) throw new RangeError('tint must hold 4 numbers');
    this.sync();
    if (this.instanceCount >= this.instanceCapacity) {
      throw new RangeError(`instance block full: ${this.instanceCapacity} instances this step`);
    }
    const i = this.instanceCount;
    const u = this.recordU32, f = this.recordF32, at = i * RECORD_WORDS;
    u[at] = mesh.id; u[at + 1] = batch; u[at + 2] = firstJoint; u[at + 3] = joints;
    for (let k = 0; k < 16; ++k) f[at + 4 + k] = matrix[k];
    f[at + 20] = tint[0]; f[at + 21] = tint[1]; f[at + 22] = tint[2]; f[at + 23] = tint[3];
    this.instanceCount = i + 1;
    const c = this.commands;
    // The previous draw's command is still the last in the stream: it takes this record too.
    if (this.command >= 0 && c.length === this.command + DRAW.words) {
      c.words[this.command + 3] += 1;
      return this.command;
    }
    this.command = c.drawMeshes(this.recordBlock, i, 1, this.paletteBlock);
    return this.command;
  }

  // A shared block of at least `bytes` bytes for mesh data.
  stagingBlock(bytes) {
    if (!this.staging || this.staging.buffer.byteLength < bytes) {
      let size = this.staging ? this.staging.buffer.byteLength : 1 << 20;
      while (size < bytes) size *= 2;
      this.staging = this.buffers.nextBuffer(size);
    }
    return this.staging;
  }

  // Hands `mesh` (see writeMeshBlock) to the addon's store; a Mesh handle. Throws an Error with
  // code 'EMESH' and the addon's status when the addon refuses it.
  createMesh(mesh) {
    if (!mesh || typeof mesh !== 'object') throw new TypeError('createMesh needs an object of vertex arrays');
    const n = mesh.positions ? mesh.positions.length / 3 : 0;
    let flags = 0;
    if (mesh.normals != null) flags |= MESH_FLAGS.normals;
    if (mesh.colors != null) flags |= MESH_FLAGS.colors;
    if (mesh.uvs != null) flags |= MESH_FLAGS.uvs;
    if (mesh.joints != null) flags |= MESH_FLAGS.skin;
    const block = this.stagingBlock(meshBlockBytes(Number.isInteger(n) ? n : 0, flags));
    const written = writeMeshBlock(block.buffer, mesh);
    const id = native().createMesh(block.id);
    if (id < 0) throw meshError(id, 'createMesh');
    return new Mesh(this, id, written.vertexCount, written.flags);
  }

  // Loads a glTF 2.0 file (lib/gltf.js) and hands each primitive to the store, its base colour
  // image to the sprite atlas; a Model handle with its animation player.
  async loadModel(file) {
    const description = await readModel(file);
    return new Model(this, description);
  }
}

// --- models -------------------------------------------------------------------------------------

// A primitive's vertex colours times its material's base colour (null when both are white).
function tintedColors(prim, material) {
  const base = material ? material.baseColor : null;
  const plain = !base || (base[0] === 1 && base[1] === 1 && base[2] === 1 && base[3] === 1);
  if (plain) return prim.colors;
  const out = new Float32Array(prim.vertexCount * 4);
  for (let v = 0; v < prim.vertexCount; ++v) {
    for (let k = 0; k < 4; ++k) out[4 * v + k] = (prim.colors ? prim.colors[4 * v + k] : 1) * base[k];
  }
  return out;
}

// glTF repeats textures, the atlas cannot (the kernels clamp coordinates to the image): each
// triangle's coordinates are moved by whole images so that they start inside the first one. A
// triangle that spans more than one image still shows its clamped edge.
function wrapTriangleUvs(uvs) {
  const out = Float32Array.from(uvs);
  for (let t = 0; t + 6 <= out.length; t += 6) {
    for (let k = 0; k < 2; ++k) {
      const a = out[t + k], b = out[t + 2 + k], c = out[t + 4 + k];
      const shift = Math.floor(Math.min(a, b, c) + 1e-4);
      if (shift !== 0 && Math.max(a, b, c) - shift <= 1 + 1e-4) {
        out[t + k] -= shift; out[t + 2 + k] -= shift; out[t + 4 + k] -= shift;
      }
    }
  }
  return out;
}

class Model {
  constructor(renderer, model) {
    this.renderer = renderer;
    this.model = model;
    this.player = new AnimationPlayer(model);
    this.animations = model.animations.map((a) => a.name);
    // Base colour images, loaded once each into the sprite atlas under the file's name.
    const images = new Map();
    const imageOf = (index) => {
      if (index < 0) return null;
      if (!images.has(index)) images.set(index, textures.load(`${model.file}#${index}`, imageFile(model, index)));
      return images.get(index);
    };
    this.meshes = model.meshes.map((mesh) => mesh.primitives.map((prim) => {
      const material = prim.material >= 0 ? model.materials[prim.material] : null;
      const image = material && material.texture >= 0 && prim.uvs ? imageOf(material.texture) : null;
      const handle = renderer.createMesh({
        positions: prim.positions, normals: prim.normals, colors: tintedColors(prim, material),
        uvs: image ? wrapTriangleUvs(prim.uvs) : null, joints: prim.joints, weights: prim.weights, image,
        specular: material ? 0.5 * (1 - material.roughness) : 0,
        emission: material ? Math.max(material.emissive[0], material.emissive[1], material.emissive[2]) : 0,
      });
      handle.batch = material && material.alphaMode === 'BLEND' ? 'transparent' : 'solid';
      return handle;
    }));
    // The nodes that show a mesh, with a matrix each for their place this frame.
    this.drawn = model.nodes.map((node, i) => ({ node: i, mesh: node.mesh, skin: node.skin, matrix: new Float32Array(16) }))
      .filter((d) => d.mesh >= 0);
    this.released = false;
  }

  // Plays clip `name` (see AnimationPlayer.play: loop, speed, fade, time).
  play(name, options) { this.player.play(name, options); return this; }
  stop() { this.player.stop(); return this; }
  // Advances the animation by `dt` seconds.
  update(dt) { this.player.update(checkNumber(dt, 'dt')); return this; }

  // Draws every mesh node of the model placed by `matrix`: skinned nodes by their skin's palette
  // (the joints' world matrices carry the node tree), the others by their node's world matrix.
  // Options: tint [r, g, b, a].
  draw(matrix = IDENTITY, options) {
    if (this.released) throw new RangeError('model was released');
    const tint = options && options.tint !== undefined ? options.tint : WHITE;
    const r = this.renderer, player = this.player;
    for (let k = 0; k < this.drawn.length; ++k) {
      const d = this.drawn[k];
      const prims = this.meshes[d.mesh];
      let first = 0, joints = 0, place = matrix;
      if (d.skin >= 0) {
        const palette = player.palettes[d.skin];
        first = r.putPalette(palette);
        joints = palette.length >> 4;
      } else {
        place = mat4.multiply(d.matrix, matrix, player.worldOf[d.node]);
      }
      for (let p = 0; p < prims.length; ++p) {
        const mesh = prims[p];
        r.putRecord(mesh, BATCH[mesh.batch], place, tint, first, joints);
      }
    }
    return this;
  }

  // Frees every mesh of the model (its images stay in the atlas).
  release() {
    if (this.released) return;
    this.released = true;
    for (const prims of this.meshes) for (const m of prims) m.release();
  }
}

function createMeshRenderer(buffers, commands, options) { return new MeshRenderer(buffers, commands, options); }

module.exports = {
  createMeshRenderer, MeshRenderer, Mesh, Model, writeMeshBlock, meshBlockBytes, wrapTriangleUvs, MESH_FLAGS, MESH_STATUS, BATCH,
  MESH_COUNT, MAX_MESH_VERTICES,
};
