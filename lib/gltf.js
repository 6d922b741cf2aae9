'use strict';
// glTF 2.0 models for the kit: `loadModel(file)` reads a `.gltf` (with its `.bin` and image files,
// or data URIs) or a `.glb` through @gltf-transform/core and answers a plain description the kit
// hands to the addon and the animation player (lib/animation.js): triangle lists of Float32Arrays,
// materials, images, the node tree with local matrices, skins and animation channels.
//
// Every file is checked before and after the parser reads it, so that a damaged, inconsistent or
// unsupported file gives one Error naming the file and the problem, with a `code`:
//   EMODEL_READ         the file, or a file it names, cannot be read (missing, not a regular file)
//   EMODEL_SYNTAX       not JSON or GLB, or not glTF 2.0
//   EMODEL_SCHEMA       a property of the wrong type, or a required one missing
//   EMODEL_RANGE        an index or byte range outside what it indexes (accessors, buffers, nodes,
//                       vertex indices, joints)
//   EMODEL_NONFINITE    an infinity or not-a-number where geometry, transforms or keys need numbers
//   EMODEL_DATA         numbers that break the format's rules (key times not increasing, counts
//                       that disagree)
//   EMODEL_CYCLE        a node that is its own ancestor or has two parents
//   EMODEL_UNSUPPORTED  a required extension, sparse accessors, points or lines
//   EMODEL_EMPTY        no scene with nodes to show
// Morph targets, extra texture coordinate and joint sets, cameras and lights are ignored.
//
// Loading reads files and allocates freely; nothing here runs per frame.
const { kitError } = require('./checks');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { mat4 } = require('gl-matrix');
const { NodeIO, Logger } = require('@gltf-transform/core');

// glTF's enumerations.
const COMPONENT = { 5120: 1, 5121: 1, 5122: 2, 5123: 2, 5125: 4, 5126: 4 }; // type -> bytes
const ELEMENT = { SCALAR: 1, VEC2: 2, VEC3: 3, VEC4: 4, MAT2: 4, MAT3: 9, MAT4: 16 };
const MODE = { POINTS: 0, LINES: 1, LINE_LOOP: 2, LINE_STRIP: 3, TRIANGLES: 4, TRIANGLE_STRIP: 5, TRIANGLE_FAN: 6 };
const PATHS = { translation: 3, rotation: 4, scale: 3 };
const INTERPOLATIONS = ['STEP', 'LINEAR', 'CUBICSPLINE'];
// Largest model file read (bytes); a larger one is refused before reading.
const MAX_MODEL_BYTES = 512 * 1024 * 1024;
// Extensions whose absence changes nothing the loader gives, so a file may require them.
const HARMLESS_EXTENSIONS = new Set(['KHR_materials_unlit']);

function modelError(file, code, problem) {
  const e = new Error(`model ${file}: ${problem}`);
  e.code = code;
  e.file = file;
  return e;
}

// --- reading ------------------------------------------------------------------------------------

// Bytes of a regular file; refuses FIFOs, directories and missing files without waiting on them.
async function readRegular(file, what, shown) {
  let stat;
  try {
    stat = await fs.promises.stat(file);
  } catch (e) {
    throw modelError(shown, 'EMODEL_READ', `${what} ${file} cannot be read (${e.code === 'ENOENT' ? 'no such file' : e.code || e.message})`);
  }
  if (!stat.isFile()) throw modelError(shown, 'EMODEL_READ', `${what} ${file} is not a regular file`);
  if (stat.size > MAX_MODEL_BYTES) throw modelError(shown, 'EMODEL_READ', `${what} ${file} is over ${MAX_MODEL_BYTES} bytes`);
  try {
    return new Uint8Array(await fs.promises.readFile(file));
  } catch (e) {
    throw modelError(shown, 'EMODEL_READ', `${what} ${file} cannot be read (${e.code || e.message})`);
  }
}

const isGlb = (b) => b.length >= 12 && b[0] === 0x67 && b[1] === 0x6c && b[2] === 0x54 && b[3] === 0x46;

// --- the JSON's shape ---------------------------------------------------------------------------

const isObject = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);
const isIndex = (v) => Number.isInteger(v) && v >= 0;

// Checks the parts of the JSON the loader and the parser read: types, required properties, and
// every index against the array it indexes.
function checkShape(json, fail) {
  const schema = (where, problem) => fail('EMODEL_SCHEMA', `${where} ${problem}`);
  if (!isObject(json)) schema('the document', 'is not a JSON object');
  if (!isObject(json.asset) || typeof json.asset.version !== 'string') schema('asset.version', 'is missing');
  if (!/^2\.\d+$/.test(json.asset.version)) fail('EMODEL_SYNTAX', `glTF version ${json.asset.version} is not 2.x`);
  const arrays = ['accessors', 'animations', 'buffers', 'bufferViews', 'cameras', 'images', 'materials', 'meshes', 'nodes',
    'samplers', 'scenes', 'skins', 'textures', 'extensionsUsed', 'extensionsRequired'];
  for (const key of arrays) {
    if (json[key] !== undefined && !Array.isArray(json[key])) schema(key, 'must be an array');
    for (const [i, item] of (json[key] || []).entries()) {
      const ok = key.startsWith('extensions') ? typeof item === 'string' : isObject(item);
      if (!ok) schema(`${key}[${i}]`, key.startsWith('extensions') ? 'must be a string' : 'must be an object');
    }
  }
  const count = (key) => (json[key] || []).length;
  const index = (value, key, where, optional = true) => {
    if (value === undefined && optional) return;
    if (!isIndex(value)) schema(where, `must be an index, got ${JSON.stringify(value)}`);
    if (value >= count(key)) fail('EMODEL_RANGE', `${where} ${value} is past the ${count(key)} ${key}`);
  };
  const string = (value, where) => { if (value !== undefined && typeof value !== 'string') schema(where, 'must be a string'); };
  const number = (value, where) => { if (value !== undefined && typeof value !== 'number') schema(where, 'must be a number'); };
  const numbers = (value, n, where) => {
    if (value === undefined) return;
    if (!Array.isArray(value) || value.length !== n || value.some((x) => typeof x !== 'number')) schema(where, `must be ${n} numbers`);
    if (value.some((x) => !Number.isFinite(x))) fail('EMODEL_NONFINITE', `${where} holds a number that is not finite`);
  };
  const object = (value, where) => { if (value !== undefined && !isObject(value)) schema(where, 'must be an object'); };
  // Every object's name, extensions (each an object) and extras.
  const common = (o, where) => {
    string(o.name, `${where}.name`);
    object(o.extensions, `${where}.extensions`);
    for (const [k, v] of Object.entries(o.extensions || {})) object(v, `${where}.extensions.${k}`);
  };
  const textureInfo = (t, where) => {
    if (t === undefined) return;
    object(t, where);
    common(t, where);
    number(t.scale, `${where}.scale`);
    number(t.strength, `${where}.strength`);
    if (t.texCoord !== undefined && !isIndex(t.texCoord)) schema(`${where}.texCoord`, 'must be an index');
    index(t.index, 'textures', `${where}.index`, false);
  };

  for (const name of json.extensionsRequired || []) {
    if (!HARMLESS_EXTENSIONS.has(name)) fail('EMODEL_UNSUPPORTED', `it requires the extension ${name}`);
  }
  index(json.scene, 'scenes', 'scene');
  for (const [i, s] of (json.scenes || []).entries()) {
    common(s, `scenes[${i}]`);
    if (s.nodes !== undefined && !Array.isArray(s.nodes)) schema(`scenes[${i}].nodes`, 'must be an array');
    for (const [k, n] of (s.nodes || []).entries()) index(n, 'nodes', `scenes[${i}].nodes[${k}]`, false);
  }
  for (const [i, n] of (json.nodes || []).entries()) {
    const at = `nodes[${i}]`;
    common(n, at);
    if (n.children !== undefined && !Array.isArray(n.children)) schema(`${at}.children`, 'must be an array');
    for (const [k, c] of (n.children || []).entries()) index(c, 'nodes', `${at}.children[${k}]`, false);
    index(n.mesh, 'meshes', `${at}.mesh`);
    index(n.skin, 'skins', `${at}.skin`);
    index(n.camera, 'cameras', `${at}.camera`);
    numbers(n.matrix, 16, `${at}.matrix`);
    numbers(n.translation, 3, `${at}.translation`);
    numbers(n.rotation, 4, `${at}.rotation`);
    numbers(n.scale, 3, `${at}.scale`);
  }
  for (const [i, b] of (json.buffers || []).entries()) {
    common(b, `buffers[${i}]`);
    string(b.uri, `buffers[${i}].uri`);
    if (!isIndex(b.byteLength)) schema(`buffers[${i}].byteLength`, 'must be a whole number');
  }
  for (const [i, v] of (json.bufferViews || []).entries()) {
    const at = `bufferViews[${i}]`;
    common(v, at);
    index(v.buffer, 'buffers', `${at}.buffer`, false);
    for (const k of ['byteOffset', 'byteLength', 'byteStride']) {
      if (v[k] !== undefined && !isIndex(v[k])) schema(`${at}.${k}`, 'must be a whole number');
    }
    if (v.byteLength === undefined) schema(`${at}.byteLength`, 'is missing');
  }
  for (const [i, a] of (json.accessors || []).entries()) {
    const at = `accessors[${i}]`;
    common(a, at);
    index(a.bufferView, 'bufferViews', `${at}.bufferView`);
    if (!(a.componentType in COMPONENT)) schema(`${at}.componentType`, `${JSON.stringify(a.componentType)} is not a component type`);
    if (!(a.type in ELEMENT)) schema(`${at}.type`, `${JSON.stringify(a.type)} is not an element type`);
    if (!isIndex(a.count) || a.count < 1) schema(`${at}.count`, 'must be a whole number of at least 1');
    if (a.byteOffset !== undefined && !isIndex(a.byteOffset)) schema(`${at}.byteOffset`, 'must be a whole number');
    if (a.normalized !== undefined && typeof a.normalized !== 'boolean') schema(`${at}.normalized`, 'must be a boolean');
    if (a.sparse !== undefined) fail('EMODEL_UNSUPPORTED', `${at} is sparse`);
  }
  for (const [i, img] of (json.images || []).entries()) {
    common(img, `images[${i}]`);
    string(img.uri, `images[${i}].uri`);
    string(img.mimeType, `images[${i}].mimeType`);
    index(img.bufferView, 'bufferViews', `images[${i}].bufferView`);
    if (img.uri === undefined && img.bufferView === undefined) schema(`images[${i}]`, 'has neither a uri nor a bufferView');
  }
  for (const [i, t] of (json.textures || []).entries()) {
    common(t, `textures[${i}]`);
    index(t.source, 'images', `textures[${i}].source`);
    index(t.sampler, 'samplers', `textures[${i}].sampler`);
  }
  for (const [i, s] of (json.samplers || []).entries()) common(s, `samplers[${i}]`);
  for (const [i, m] of (json.materials || []).entries()) {
    const at = `materials[${i}]`;
    common(m, at);
    object(m.pbrMetallicRoughness, `${at}.pbrMetallicRoughness`);
    const pbr = m.pbrMetallicRoughness || {};
    common(pbr, `${at}.pbrMetallicRoughness`);
    numbers(pbr.baseColorFactor, 4, `${at}.pbrMetallicRoughness.baseColorFactor`);
    number(pbr.metallicFactor, `${at}.pbrMetallicRoughness.metallicFactor`);
    number(pbr.roughnessFactor, `${at}.pbrMetallicRoughness.roughnessFactor`);
    textureInfo(pbr.baseColorTexture, `${at}.pbrMetallicRoughness.baseColorTexture`);
    textureInfo(pbr.metallicRoughnessTexture, `${at}.pbrMetallicRoughness.metallicRoughnessTexture`);
    textureInfo(m.normalTexture, `${at}.normalTexture`);
    textureInfo(m.occlusionTexture, `${at}.occlusionTexture`);
    textureInfo(m.emissiveTexture, `${at}.emissiveTexture`);
    numbers(m.emissiveFactor, 3, `${at}.emissiveFactor`);
    if (m.alphaMode !== undefined && !['OPAQUE', 'MASK', 'BLEND'].includes(m.alphaMode)) schema(`${at}.alphaMode`, 'must be OPAQUE, MASK or BLEND');
    number(m.alphaCutoff, `${at}.alphaCutoff`);
    if (m.doubleSided !== undefined && typeof m.doubleSided !== 'boolean') schema(`${at}.doubleSided`, 'must be a boolean');
  }
  for (const [i, mesh] of (json.meshes || []).entries()) {
    const at = `meshes[${i}]`;
    common(mesh, at);
    if (!Array.isArray(mesh.primitives) || mesh.primitives.length === 0) schema(`${at}.primitives`, 'must be a non-empty array');
    for (const [k, p] of mesh.primitives.entries()) {
      const pat = `${at}.primitives[${k}]`;
      if (!isObject(p)) schema(pat, 'must be an object');
      common(p, pat);
      if (!isObject(p.attributes)) schema(`${pat}.attributes`, 'must be an object');
      for (const [name, a] of Object.entries(p.attributes)) index(a, 'accessors', `${pat}.attributes.${name}`, false);
      if (p.attributes.POSITION === undefined) schema(`${pat}.attributes.POSITION`, 'is missing');
      index(p.indices, 'accessors', `${pat}.indices`);
      index(p.material, 'materials', `${pat}.material`);
      if (p.mode !== undefined && !Object.values(MODE).includes(p.mode)) schema(`${pat}.mode`, `${JSON.stringify(p.mode)} is not a mode`);
      if (p.mode !== undefined && p.mode < MODE.TRIANGLES) fail('EMODEL_UNSUPPORTED', `${pat} draws points or lines`);
      if (p.targets !== undefined && !Array.isArray(p.targets)) schema(`${pat}.targets`, 'must be an array');
    }
  }
  for (const [i, s] of (json.skins || []).entries()) {
    const at = `skins[${i}]`;
    common(s, at);
    if (!Array.isArray(s.joints) || s.joints.length === 0) schema(`${at}.joints`, 'must be a non-empty array');
    for (const [k, j] of s.joints.entries()) index(j, 'nodes', `${at}.joints[${k}]`, false);
    index(s.skeleton, 'nodes', `${at}.skeleton`);
    index(s.inverseBindMatrices, 'accessors', `${at}.inverseBindMatrices`);
  }
  for (const [i, anim] of (json.animations || []).entries()) {
    const at = `animations[${i}]`;
    common(anim, at);
    if (!Array.isArray(anim.samplers)) schema(`${at}.samplers`, 'must be an array');
    if (!Array.isArray(anim.channels)) schema(`${at}.channels`, 'must be an array');
    for (const [k, s] of anim.samplers.entries()) {
      if (!isObject(s)) schema(`${at}.samplers[${k}]`, 'must be an object');
      index(s.input, 'accessors', `${at}.samplers[${k}].input`, false);
      index(s.output, 'accessors', `${at}.samplers[${k}].output`, false);
      if (s.interpolation !== undefined && !INTERPOLATIONS.includes(s.interpolation)) {
        schema(`${at}.samplers[${k}].interpolation`, `${JSON.stringify(s.interpolation)} is not STEP, LINEAR or CUBICSPLINE`);
      }
    }
    for (const [k, c] of anim.channels.entries()) {
      const cat = `${at}.channels[${k}]`;
      if (!isObject(c) || !isObject(c.target)) schema(`${cat}.target`, 'must be an object');
      if (!isIndex(c.sampler) || c.sampler >= anim.samplers.length) fail('EMODEL_RANGE', `${cat}.sampler is past the animation's samplers`);
      index(c.target.node, 'nodes', `${cat}.target.node`);
      if (typeof c.target.path !== 'string') schema(`${cat}.target.path`, 'must be a string');
    }
  }
}

// Byte ranges: every buffer's bytes exist, every view lies in its buffer, every accessor in its view.
function checkRanges(json, bufferBytes, fail) {
  for (const [i, b] of (json.buffers || []).entries()) {
    if (bufferBytes[i] < b.byteLength) fail('EMODEL_RANGE', `buffers[${i}] holds ${bufferBytes[i]} bytes, ${b.byteLength} declared`);
  }
  for (const [i, v] of (json.bufferViews || []).entries()) {
    const end = (v.byteOffset || 0) + v.byteLength;
    if (end > json.buffers[v.buffer].byteLength) fail('EMODEL_RANGE', `bufferViews[${i}] ends at byte ${end}, past its buffer's ${json.buffers[v.buffer].byteLength}`);
  }
  for (const [i, a] of (json.accessors || []).entries()) {
    if (a.bufferView === undefined) continue;
    const view = json.bufferViews[a.bufferView];
    const size = COMPONENT[a.componentType] * ELEMENT[a.type];
    const stride = view.byteStride || size;
    const end = (a.byteOffset || 0) + stride * (a.count - 1) + size;
    if (end > view.byteLength) fail('EMODEL_RANGE', `accessors[${i}] ends at byte ${end}, past its view's ${view.byteLength}`);
  }
}

// Parents, and no node its own ancestor.
function checkTree(json, fail) {
  const nodes = json.nodes || [];
  const parent = new Int32Array(nodes.length).fill(-1);
  for (const [i, n] of nodes.entries()) {
    for (const c of n.children || []) {
      if (c === i) fail('EMODEL_CYCLE', `nodes[${i}] is its own child`);
      if (parent[c] !== -1) fail('EMODEL_CYCLE', `nodes[${c}] has two parents (${parent[c]} and ${i})`);
      parent[c] = i;
    }
  }
  for (let i = 0; i < nodes.length; ++i) {
    let steps = 0;
    for (let p = parent[i]; p !== -1; p = parent[p]) {
      if (++steps > nodes.length) fail('EMODEL_CYCLE', `nodes[${i}] is its own ancestor`);
    }
  }
  return parent;
}

// --- the description ----------------------------------------------------------------------------

// An accessor's elements as a Float32Array (normalised integers as 0..1 or -1..1), `width` per element.
function floats(accessor, width) {
  const n = accessor.getCount();
  const out = new Float32Array(n * width);
  const element = new Array(accessor.getElementSize()).fill(0);
  for (let i = 0; i < n; ++i) {
    accessor.getElement(i, element);
    for (let k = 0; k < width; ++k) out[i * width + k] = k < element.length ? element[k] : (k === 3 ? 1 : 0);
  }
  return out;
}

function requireFinite(array, fail, what) {
  for (let i = 0; i < array.length; ++i) {
    if (!Number.isFinite(array[i])) fail('EMODEL_NONFINITE', `${what} holds ${array[i]} at element ${Math.floor(i / 3)}`);
  }
}

// The corner order of a primitive's triangle list: indices (or 0..n-1) turned into triangles.
function triangleCorners(mode, indices, fail, where) {
  const n = indices.length;
  if (mode === MODE.TRIANGLES) return indices.subarray(0, n - (n % 3));
  if (n < 3) return new Uint32Array(0);
  const out = new Uint32Array((n - 2) * 3);
  for (let i = 0; i < n - 2; ++i) {
    if (mode === MODE.TRIANGLE_FAN) out.set([indices[0], indices[i + 1], indices[i + 2]], i * 3);
    else if (i % 2 === 0) out.set([indices[i], indices[i + 1], indices[i + 2]], i * 3);
    else out.set([indices[i + 1], indices[i], indices[i + 2]], i * 3);
  }
  if (mode !== MODE.TRIANGLE_FAN && mode !== MODE.TRIANGLE_STRIP) fail('EMODEL_UNSUPPORTED', `${where} mode ${mode}`);
  return out;
}

// `source` (width floats per vertex) gathered in corner order.
function gather(source, width, corners, Type = Float32Array) {
  const out = new Type(corners.length * width);
  for (let i = 0; i < corners.length; ++i) {
    for (let k = 0; k < width; ++k) out[i * width + k] = source[corners[i] * width + k];
  }
  return out;
}

// Flat normals of a triangle list: each triangle's face normal on its three corners.
function flatNormals(positions) {
  const out = new Float32Array(positions.length);
  for (let t = 0; t + 9 <= positions.length; t += 9) {
    const ax = positions[t + 3] - positions[t], ay = positions[t + 4] - positions[t + 1], az = positions[t + 5] - positions[t + 2];
    const bx = positions[t + 6] - positions[t], by = positions[t + 7] - positions[t + 1], bz = positions[t + 8] - positions[t + 2];
    let nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
    const len = Math.hypot(nx, ny, nz) || 1;
    nx /= len; ny /= len; nz /= len;
    for (let c = 0; c < 3; ++c) { out[t + 3 * c] = nx; out[t + 3 * c + 1] = ny; out[t + 3 * c + 2] = nz; }
  }
  return out;
}

function describePrimitive(prim, json, where, materialIndex, materials, fail) {
  const attr = (name) => prim.getAttribute(name);
  const position = attr('POSITION');
  const vertexCount = position.getCount();
  const mode = prim.getMode();
  if (mode < MODE.TRIANGLES) fail('EMODEL_UNSUPPORTED', `${where} draws points or lines`);
  for (const name of prim.listSemantics()) {
    if (/^(NORMAL|TEXCOORD_\d+|COLOR_0|JOINTS_0|WEIGHTS_0)$/.test(name) && attr(name).getCount() !== vertexCount) {
      fail('EMODEL_DATA', `${where} attribute ${name} has ${attr(name).getCount()} elements, POSITION ${vertexCount}`);
    }
  }
  let indices;
  const indexAccessor = prim.getIndices();
  if (indexAccessor) {
    if (indexAccessor.getElementSize() !== 1 || ![5121, 5123, 5125].includes(indexAccessor.getComponentType())) {
      fail('EMODEL_SCHEMA', `${where} indices must be unsigned integer scalars`);
    }
    indices = Uint32Array.from(indexAccessor.getArray());
    for (let i = 0; i < indices.length; ++i) {
      if (indices[i] >= vertexCount) fail('EMODEL_RANGE', `${where} index ${indices[i]} (at ${i}) is past its ${vertexCount} vertices`);
    }
  } else {
    indices = new Uint32Array(vertexCount).map((_, i) => i);
  }
  const corners = triangleCorners(mode, indices, fail, where);

  const local = floats(position, 3);
  requireFinite(local, fail, `${where} POSITION`);
  const positions = gather(local, 3, corners);
  let normals;
  if (attr('NORMAL')) {
    const n = floats(attr('NORMAL'), 3);
    requireFinite(n, fail, `${where} NORMAL`);
    normals = gather(n, 3, corners);
  } else {
    normals = flatNormals(positions);
  }
  const material = materialIndex === undefined ? -1 : materialIndex;
  const texCoord = material >= 0 && materials[material].texture >= 0 ? materials[material].texCoord : 0;
  let uvs = null;
  if (attr(`TEXCOORD_${texCoord}`)) {
    const t = floats(attr(`TEXCOORD_${texCoord}`), 2);
    requireFinite(t, fail, `${where} TEXCOORD_${texCoord}`);
    uvs = gather(t, 2, corners);
  }
  let colors = null;
  if (attr('COLOR_0')) {
    const c = floats(attr('COLOR_0'), 4);
    requireFinite(c, fail, `${where} COLOR_0`);
    colors = gather(c, 4, corners);
  }
  let joints = null, weights = null;
  if (attr('JOINTS_0') && attr('WEIGHTS_0')) {
    const ja = attr('JOINTS_0');
    if (![5121, 5123].includes(ja.getComponentType()) || ja.getElementSize() !== 4) fail('EMODEL_SCHEMA', `${where} JOINTS_0 must be 4 unsigned bytes or shorts`);
    const raw = ja.getArray();
    joints = gather(raw, 4, corners, Uint16Array);
    const w = floats(attr('WEIGHTS_0'), 4);
    requireFinite(w, fail, `${where} WEIGHTS_0`);
    weights = gather(w, 4, corners);
  }
  return { vertexCount: corners.length, positions, normals, uvs, colors, joints, weights, material };
}

// Reads `file` (a path to a .gltf or .glb) and answers its description; rejects with a coded Error.
async function loadModel(file) {
  if (typeof file !== 'string' || file === '' || file.includes('\0')) throw kitError(TypeError, 'ERR_TYPE', 'model path must be a non-empty string without NUL');
  const fail = (code, problem) => { throw modelError(file, code, problem); };
  const warnings = [];
  const logger = Object.assign(new Logger(Logger.Verbosity.WARN), { warn: (t) => warnings.push(t), info() {}, debug() {}, error: (t) => warnings.push(t) });
  const io = new NodeIO().setLogger(logger);
  const dir = path.dirname(path.resolve(file));

  const bytes = await readRegular(file, 'the file', file);
  let jsonDoc;
  if (isGlb(bytes)) {
    try {
      jsonDoc = await io.binaryToJSON(bytes);
    } catch (e) {
      fail('EMODEL_SYNTAX', `not a readable GLB (${e.message})`);
    }
  } else {
    let json;
    try {
      json = JSON.parse(Buffer.from(bytes.buffer, bytes.byteOffset, bytes.length).toString('utf8'));
    } catch (e) {
      fail('EMODEL_SYNTAX', `neither GLB nor JSON (${e.message})`);
    }
    jsonDoc = { json, resources: {} };
  }
  const json = jsonDoc.json;
  checkShape(json, fail);

  // Resources: data URIs decoded, files next to the model read (regular files only).
  const bufferBytes = [];
  const resourceOf = async (r, what) => {
    if (r.uri === undefined) return null;
    if (r.uri in jsonDoc.resources) return jsonDoc.resources[r.uri];
    let data;
    if (r.uri.startsWith('data:')) {
      const comma = r.uri.indexOf(',');
      if (comma < 0 || !/;base64$/.test(r.uri.slice(0, comma))) fail('EMODEL_UNSUPPORTED', `${what} is a data URI that is not base64`);
      data = new Uint8Array(Buffer.from(r.uri.slice(comma + 1), 'base64'));
    } else if (/^[a-z][a-z0-9+.-]*:\/\//i.test(r.uri)) {
      fail('EMODEL_UNSUPPORTED', `${what} is at ${r.uri}: only local files and data URIs are read`);
    } else {
      let name;
      try { name = decodeURIComponent(r.uri); } catch { fail('EMODEL_SCHEMA', `${what}.uri is not a valid URI`); }
      data = await readRegular(path.resolve(dir, name), what, file);
    }
    jsonDoc.resources[r.uri] = data;
    return data;
  };
  for (const [i, b] of (json.buffers || []).entries()) {
    const data = b.uri === undefined ? (i === 0 && jsonDoc.resources['@glb.bin']) : await resourceOf(b, `buffers[${i}]`);
    if (!data) fail('EMODEL_READ', `buffers[${i}] has no data`);
    bufferBytes.push(data.byteLength);
  }
  const imagePaths = [];
  for (const [i, img] of (json.images || []).entries()) {
    imagePaths.push(img.uri !== undefined && !img.uri.startsWith('data:') ? path.resolve(dir, decodeURIComponent(img.uri)) : null);
    await resourceOf(img, `images[${i}]`);
  }
  checkRanges(json, bufferBytes, fail);
  const parents = checkTree(json, fail);

  let doc;
  try {
    doc = await io.readJSON(jsonDoc);
  } catch (e) {
    fail('EMODEL_SCHEMA', `the parser refused it (${e.message})`);
  }
  const root = doc.getRoot();
  const indexIn = (list) => new Map(list.map((x, i) => [x, i]));
  const nodeList = root.listNodes(), meshList = root.listMeshes(), textureList = root.listTextures();
  const nodeIndex = indexIn(nodeList), meshIndex = indexIn(meshList), skinIndex = indexIn(root.listSkins());
  const materialIndex = indexIn(root.listMaterials()), textureIndex = indexIn(textureList);

  // The parser's textures are the JSON's images, in their order.
  const images = textureList.map((t, i) => ({
    name: t.getName() || t.getURI() || `image ${i}`,
    mimeType: t.getMimeType(),
    bytes: t.getImage() || new Uint8Array(0),
    path: imagePaths[i] || null,
  }));

  const materials = root.listMaterials().map((m, i) => {
    const texture = m.getBaseColorTexture();
    const info = m.getBaseColorTextureInfo();
    return {
      name: m.getName() || `material ${i}`,
      baseColor: Float32Array.from(m.getBaseColorFactor()),
      texture: texture ? textureIndex.get(texture) : -1,
      texCoord: info ? info.getTexCoord() : 0,
      metallic: m.getMetallicFactor(),
      roughness: m.getRoughnessFactor(),
      emissive: Float32Array.from(m.getEmissiveFactor()),
      alphaMode: m.getAlphaMode(),
      doubleSided: m.getDoubleSided(),
    };
  });

  const meshes = meshList.map((mesh, i) => ({
    name: mesh.getName() || `mesh ${i}`,
    primitives: mesh.listPrimitives().map((p, k) => describePrimitive(p, json, `meshes[${i}].primitives[${k}]`,
      p.getMaterial() ? materialIndex.get(p.getMaterial()) : -1, materials, fail)),
  }));

  const nodes = nodeList.map((n, i) => {
    const raw = json.nodes[i];
    const translation = Float32Array.from(n.getTranslation());
    const rotation = Float32Array.from(n.getRotation());
    const scale = Float32Array.from(n.getScale());
    const matrix = raw.matrix ? Float32Array.from(raw.matrix) : mat4.fromRotationTranslationScale(new Float32Array(16), rotation, translation, scale);
    return {
      name: n.getName() || `node ${i}`,
      parent: parents[i],
      children: n.listChildren().map((c) => nodeIndex.get(c)),
      mesh: n.getMesh() ? meshIndex.get(n.getMesh()) : -1,
      skin: n.getSkin() ? skinIndex.get(n.getSkin()) : -1,
      translation, rotation, scale, matrix,
      hasMatrix: raw.matrix !== undefined,
    };
  });

  const skins = root.listSkins().map((s, i) => {
    const joints = Uint32Array.from(s.listJoints().map((j) => nodeIndex.get(j)));
    const ibm = s.getInverseBindMatrices();
    let inverseBindMatrices;
    if (ibm) {
      if (ibm.getType() !== 'MAT4' || ibm.getComponentType() !== 5126) fail('EMODEL_SCHEMA', `skins[${i}].inverseBindMatrices must be float MAT4`);
      if (ibm.getCount() < joints.length) fail('EMODEL_DATA', `skins[${i}] has ${joints.length} joints and ${ibm.getCount()} inverse bind matrices`);
      inverseBindMatrices = Float32Array.from(ibm.getArray().subarray(0, joints.length * 16));
      requireFinite(inverseBindMatrices, fail, `skins[${i}].inverseBindMatrices`);
    } else {
      inverseBindMatrices = new Float32Array(joints.length * 16);
      for (let j = 0; j < joints.length; ++j) mat4.identity(inverseBindMatrices.subarray(j * 16, j * 16 + 16));
    }
    return { name: s.getName() || `skin ${i}`, joints, inverseBindMatrices, skeleton: s.getSkeleton() ? nodeIndex.get(s.getSkeleton()) : -1 };
  });

  // Every skinned mesh's joint indices stay inside its node's skin.
  for (const [i, n] of nodes.entries()) {
    if (n.mesh < 0 || n.skin < 0) continue;
    const limit = skins[n.skin].joints.length;
    for (const [k, p] of meshes[n.mesh].primitives.entries()) {
      if (!p.joints) continue;
      for (let v = 0; v < p.joints.length; ++v) {
        if (p.joints[v] >= limit && p.weights[v] !== 0) {
          fail('EMODEL_RANGE', `meshes[${n.mesh}].primitives[${k}] joint ${p.joints[v]} is past the ${limit} joints of nodes[${i}]'s skin`);
        }
      }
    }
  }

  const animations = root.listAnimations().map((a, i) => {
    const channels = [];
    let duration = 0;
    for (const [k, c] of a.listChannels().entries()) {
      const where = `animations[${i}].channels[${k}]`;
      const pathName = c.getTargetPath();
      const node = c.getTargetNode();
      if (!(pathName in PATHS) || !node) continue; // morph weights and extension targets
      const sampler = c.getSampler();
      const input = sampler.getInput(), output = sampler.getOutput();
      if (!input || !output) fail('EMODEL_SCHEMA', `${where} has no sampler input or output`);
      const interpolation = sampler.getInterpolation();
      const width = PATHS[pathName];
      if (input.getElementSize() !== 1 || input.getComponentType() !== 5126) fail('EMODEL_SCHEMA', `${where} key times must be float scalars`);
      if (output.getElementSize() !== width) fail('EMODEL_SCHEMA', `${where} ${pathName} values must have ${width} components`);
      const times = Float32Array.from(input.getArray());
      const values = floats(output, width);
      requireFinite(times, fail, `${where} key times`);
      requireFinite(values, fail, `${where} values`);
      for (let t = 1; t < times.length; ++t) {
        if (!(times[t] > times[t - 1])) fail('EMODEL_DATA', `${where} key times do not increase at key ${t}`);
      }
      if (times[0] < 0) fail('EMODEL_DATA', `${where} starts before time 0`);
      const perKey = interpolation === 'CUBICSPLINE' ? 3 : 1;
      if (values.length !== times.length * width * perKey) {
        fail('EMODEL_DATA', `${where} has ${times.length} keys and ${values.length / width} values (${interpolation})`);
      }
      duration = Math.max(duration, times[times.length - 1]);
      channels.push({ node: nodeIndex.get(node), path: pathName, interpolation, times, values });
    }
    return { name: a.getName() || `animation ${i}`, duration, channels };
  });

  const sceneObject = root.getDefaultScene() || root.listScenes()[0];
  const scene = sceneObject ? root.listScenes().indexOf(sceneObject) : -1;
  const roots = sceneObject ? sceneObject.listChildren().map((n) => nodeIndex.get(n)) : [];
  if (roots.length === 0) fail('EMODEL_EMPTY', json.scenes && json.scenes.length ? 'its scene holds no nodes' : 'it has no scene');
  for (const r of roots) if (parents[r] !== -1) fail('EMODEL_CYCLE', `scene root nodes[${r}] has a parent`);

  return { file, scene, roots, nodes, meshes, materials, images, skins, animations, warnings };
}

// A file path for image `index` of `model` that kit.textures.load can read: the image's own file,
// or, for an embedded image, its bytes written once into a temporary folder.
let tempDir = null;
function imageFile(model, index) {
  const image = model.images[index];
  if (!image) throw kitError(RangeError, 'ERR_RANGE', `model ${model.file} has no image ${index}`);
  if (image.path) return image.path;
  if (!tempDir) tempDir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessimarke-model-'));
  const ext = image.mimeType === 'image/jpeg' ? '.jpg' : '.png';
  image.path = path.join(tempDir, `${path.basename(model.file).replace(/[^\w.-]/g, '_')}-${index}${ext}`);
  fs.writeFileSync(image.path, image.bytes);
  return image.path;
}

module.exports = { loadModel, imageFile, MAX_MODEL_BYTES };
