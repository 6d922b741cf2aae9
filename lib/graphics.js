'use strict';
// The graphics set-up and the per-frame writers: every block the bufferIDs table names, allocated
// at the size its pipeline expects, the table registered, the shaders compiled and `ready` called;
// then vertex batches, the camera, the model transform and the interface transform, which follows
// the window's size by itself (through the window size records readEvents decodes).
//
// Vertex writers check their arguments only while the kit's debug switch is on (setDebugChecks):
// the checks would cost time on every vertex. A rectangle's colour is always checked.
const fs = require('node:fs');
const path = require('node:path');
const { mat4, vec3 } = require('gl-matrix');
const { native } = require('./native');
const { state, checkInteger, checkNumber, checkOptions, checkFloats, checkArguments, kitError } = require('./checks');

// A finite number (no allocation: the per-vertex checks run this first and name the argument only
// when one fails).
const finite = (v) => typeof v === 'number' && v - v === 0;

// Entries of the bufferIDs table, and how many it must hold (13, 14, 17 and 18 are not read).
const { bufferIds, BUFFER_ID_ENTRIES: TABLE_ENTRIES } = require('../contract/host');
const TABLE = Object.freeze({ ...bufferIds });
// Vertices each host-fed pipeline is built for; blocks of other sizes change the capacity.
const PIPELINE_CAPACITY = 100000;
// The shader names each stage needs, one file `<name>.vert` or `<name>.frag` each.
const SHADERS = Object.freeze({
  vertex: Object.freeze(['solid', 'shadow', 'uitri', 'uisprite', 'transparent', 'pointlight', 'gbuff', 'ghdr', 'gpost']),
  fragment: Object.freeze(['solid', 'shadow', 'uitri', 'uiglyph', 'uiglyphoutline', 'transparent', 'pointlight', 'gbuff',
    'ghdr', 'gpost']),
});
// The default point-light mesh: two triangles over -1..1 in x and y, which the reference shaders
// turn into a camera-facing square around each light.
const DEFAULT_LIGHT_MESH = Object.freeze([-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, -1, 0, 1, 1, 0, -1, 1, 0]);

const identity = () => [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1];

// A lightTransform for a sun shining along `direction`: its view from `distance` away, looking at
// `center`, and an orthographic projection `extent` wide each way around it, `2 * distance` deep.
function directionalLight(direction, options) {
  const { center = [0, 0, 0], extent = 20, distance = 30 } = checkOptions(options, ['center', 'extent', 'distance'], 'directionalLight');
  checkFloats(direction, 3, 'direction');
  checkFloats(center, 3, 'center');
  if (checkNumber(extent, 'extent') <= 0) throw kitError(RangeError, 'ERR_RANGE', `extent must be positive, got ${extent}`);
  if (checkNumber(distance, 'distance') <= 0) throw kitError(RangeError, 'ERR_RANGE', `distance must be positive, got ${distance}`);
  const d = vec3.normalize(vec3.create(), direction);
  if (!Number.isFinite(d[0]) || vec3.length(d) === 0) throw kitError(RangeError, 'ERR_RANGE', 'direction must be a non-zero vector');
  const eye = vec3.scaleAndAdd(vec3.create(), center, d, -distance);
  const up = Math.abs(d[1]) > 0.99 ? [0, 0, -1] : [0, 1, 0];
  const view = mat4.lookAt(mat4.create(), eye, center, up);
  const projection = mat4.ortho(mat4.create(), -extent, extent, -extent, extent, 0.01, 2 * distance);
  return mat4.multiply(mat4.create(), projection, view);
}

// Vertex data of one pipeline: one Float32Array per attribute over its block. Every write sets the
// fill lengths of all attributes together, since the addon takes the draw count from the first.
class VertexBatch {
  constructor(buffers, name, attributes, capacity) {
    this.buffers = buffers;
    this.name = name;
    this.attributes = attributes; // [{ name, floats, id, view }]
    this.capacity = capacity;
    this.count = 0;
    for (const a of attributes) this[a.name] = a.view;
  }
  // Empties the batch (its lengths become 0: the pipeline draws nothing this frame).
  clear() { this.count = 0; this.commit(); }
  // Sets the vertex count after the host wrote the attribute views itself.
  setCount(count) { this.count = checkInteger(count, 0, this.capacity, `${this.name} vertex count`); this.commit(); }
  // Room for `n` more vertices: the index of the first, with the lengths already counting them.
  reserve(n) {
    if (this.count + n > this.capacity) {
      throw kitError(RangeError, 'ERR_FULL', `${this.name} batch full: ${n} vertices asked for, ${this.capacity - this.count} of ${this.capacity} left`);
    }
    const first = this.count;
    this.count += n;
    this.commit();
    return first;
  }
  // Appends whole arrays, one per attribute name; each must hold the same number of vertices.
  add(data) {
    if (data === null || typeof data !== 'object') throw kitError(TypeError, 'ERR_TYPE', `${this.name}.add needs an object of attribute arrays`);
    for (const key in data) {
      if (!this.attributes.some((a) => a.name === key)) {
        throw kitError(RangeError, 'ERR_RANGE', `${this.name}.add: unknown attribute '${key}' (attributes: ${this.attributes.map((a) => a.name).join(', ')})`);
      }
    }
    let n = -1;
    for (const a of this.attributes) {
      const values = data[a.name];
      if (values === undefined) continue;
      const k = values.length / a.floats;
      if (!Number.isInteger(k)) throw kitError(RangeError, 'ERR_RANGE', `${this.name}.${a.name}: ${values.length} floats are not whole vertices of ${a.floats}`);
      if (n >= 0 && k !== n) throw kitError(RangeError, 'ERR_RANGE', `${this.name}: attributes disagree on the vertex count (${n} and ${k})`);
      n = k;
      if (state.debug) {
        for (let i = 0; i < values.length; ++i) checkNumber(values[i], `${this.name}.add: ${a.name}[${i}]`);
      }
    }
    if (n < 0) throw kitError(TypeError, 'ERR_TYPE', `${this.name}.add needs at least one of ${this.attributes.map((a) => a.name).join(', ')}`);
    const first = this.reserve(n);
    for (const a of this.attributes) {
      const values = data[a.name];
      if (values === undefined) a.view.fill(0, first * a.floats, (first + n) * a.floats);
      else a.view.set(values, first * a.floats);
    }
    return first;
  }
  commit() {
    for (const a of this.attributes) this.buffers.header[a.id] = this.count * a.floats;
  }
}

// Opaque geometry: position, normal, colour, material and extra (3 floats each). The reference
// shaders read material as (specular strength 0-1, unused, emission); extra (s, t, 1) textures the
// vertex from the sprite atlas (lib/textures.js), (0, 0, 0) leaves it untextured.
const SOLID_ARGS = ['px', 'py', 'pz', 'nx', 'ny', 'nz', 'r', 'g', 'b', 'specular', 'spare', 'emission'];
class SolidBatch extends VertexBatch {
  vertex(px, py, pz, nx, ny, nz, r, g, b, specular = 0, spare = 0, emission = 0) {
    if (state.debug && !(finite(px) && finite(py) && finite(pz) && finite(nx) && finite(ny) && finite(nz) &&
        finite(r) && finite(g) && finite(b) && finite(specular) && finite(spare) && finite(emission))) {
      checkArguments([px, py, pz, nx, ny, nz, r, g, b, specular, spare, emission], SOLID_ARGS, `${this.name}.vertex`);
    }
    const i = this.reserve(1) * 3;
    const p = this.position, n = this.normal, c = this.color, m = this.material;
    p[i] = px; p[i + 1] = py; p[i + 2] = pz;
    n[i] = nx; n[i + 1] = ny; n[i + 2] = nz;
    c[i] = r; c[i + 1] = g; c[i + 2] = b;
    m[i] = specular; m[i + 1] = spare; m[i + 2] = emission;
    this.extra[i] = 0; this.extra[i + 1] = 0; this.extra[i + 2] = 0;
  }
}
// Transparent or unculled geometry: position, normal (3 floats), colour with alpha (4).
const FORWARD_ARGS = ['px', 'py', 'pz', 'nx', 'ny', 'nz', 'r', 'g', 'b', 'a'];
class ForwardBatch extends VertexBatch {
  vertex(px, py, pz, nx, ny, nz, r, g, b, a = 1) {
    if (state.debug && !(finite(px) && finite(py) && finite(pz) && finite(nx) && finite(ny) && finite(nz) &&
        finite(r) && finite(g) && finite(b) && finite(a))) {
      checkArguments([px, py, pz, nx, ny, nz, r, g, b, a], FORWARD_ARGS, `${this.name}.vertex`);
    }
    const f = this.reserve(1);
    const i = f * 3, j = f * 4;
    const p = this.position, n = this.normal, c = this.color;
    p[i] = px; p[i + 1] = py; p[i + 2] = pz;
    n[i] = nx; n[i + 1] = ny; n[i + 2] = nz;
    c[j] = r; c[j + 1] = g; c[j + 2] = b; c[j + 3] = a;
  }
}
// Point lights, one instance each: place (x, y, z, radius), color (r, g, b, intensity), extra (4).
const LIGHT_ARGS = ['x', 'y', 'z', 'radius', 'r', 'g', 'b', 'intensity'];
class LightBatch extends VertexBatch {
  light(x, y, z, radius, r, g, b, intensity = 1) {
    if (state.debug && !(finite(x) && finite(y) && finite(z) && finite(radius) && finite(r) && finite(g) &&
        finite(b) && finite(intensity))) {
      checkArguments([x, y, z, radius, r, g, b, intensity], LIGHT_ARGS, 'lights.light');
    }
    const i = this.reserve(1) * 4;
    const p = this.place, c = this.color, e = this.extra;
    p[i] = x; p[i + 1] = y; p[i + 2] = z; p[i + 3] = radius;
    c[i] = r; c[i + 1] = g; c[i + 2] = b; c[i + 3] = intensity;
    e[i] = 0; e[i + 1] = 0; e[i + 2] = 0; e[i + 3] = 0;
  }
}
// Interface triangles in pixels (y down, through uiTransform): position (3), colour (4).
const UI_ARGS = ['x', 'y', 'r', 'g', 'b', 'a', 'z'];
const RECT_ARGS = ['x0', 'y0', 'x1', 'y1', 'r', 'g', 'b', 'a'];
class UiBatch extends VertexBatch {
  vertex(x, y, r, g, b, a = 1, z = 0) {
    if (state.debug && !(finite(x) && finite(y) && finite(r) && finite(g) && finite(b) && finite(a) &&
        finite(z))) {
      checkArguments([x, y, r, g, b, a, z], UI_ARGS, 'ui.vertex');
    }
    const f = this.reserve(1);
    const i = f * 3, j = f * 4;
    this.position[i] = x; this.position[i + 1] = y; this.position[i + 2] = z;
    const c = this.color;
    c[j] = r; c[j + 1] = g; c[j + 2] = b; c[j + 3] = a;
  }
  // A filled rectangle between the corners (x0, y0) and (x1, y1). The colour is required (alpha
  // defaults to 1): a rectangle without one is a mistake, checked whatever the debug switch says.
  rect(x0, y0, x1, y1, r, g, b, a = 1) {
    checkNumber(x0, 'ui.rect: x0'); checkNumber(y0, 'ui.rect: y0'); checkNumber(x1, 'ui.rect: x1'); checkNumber(y1, 'ui.rect: y1');
    checkNumber(r, 'ui.rect: r (the colour is required)'); checkNumber(g, 'ui.rect: g'); checkNumber(b, 'ui.rect: b');
    checkNumber(a, 'ui.rect: a');
    this.vertex(x0, y0, r, g, b, a); this.vertex(x1, y1, r, g, b, a); this.vertex(x1, y0, r, g, b, a);
    this.vertex(x0, y0, r, g, b, a); this.vertex(x0, y1, r, g, b, a); this.vertex(x1, y1, r, g, b, a);
  }
}

const GRAPHICS_OPTIONS = ['shaderDir', 'shaders', 'capacity', 'lightTransform', 'pointLightMesh', 'ready', 'uiScale'];
const CAMERA_KEYS = ['view', 'projection', 'position', 'vector'];

// Everything the renderer reads from the host, built in the order the addon expects.
let graphicsMade = false;
class Graphics {
  constructor(buffers, options) {
    if (graphicsMade) throw kitError(Error, 'ERR_STATE', 'the graphics are set up already: the addon builds its pipelines once per process');
    if (!buffers || !buffers.header || !buffers.sizeListeners) throw kitError(TypeError, 'ERR_TYPE', 'setupGraphics needs the shared buffers of createBuffers()');
    const {
      shaderDir = path.join(__dirname, '..', 'shaders'), shaders = {}, capacity = {}, lightTransform = identity(),
      pointLightMesh = DEFAULT_LIGHT_MESH, ready = true, uiScale = 1,
    } = checkOptions(options, GRAPHICS_OPTIONS, 'setupGraphics');
    const capacities = { solid: PIPELINE_CAPACITY, transparent: PIPELINE_CAPACITY, unculled: PIPELINE_CAPACITY,
      lights: PIPELINE_CAPACITY, ui: PIPELINE_CAPACITY };
    checkOptions(capacity, Object.keys(capacities), 'setupGraphics capacity');
    const cap = { ...capacities, ...capacity };
    this.uiScale = 1;
    this.setUiScale(uiScale);
    for (const [k, v] of Object.entries(cap)) checkInteger(v, 1, PIPELINE_CAPACITY * 100, `${k} capacity`);
    if (lightTransform.length !== 16) throw kitError(RangeError, 'ERR_RANGE', 'lightTransform must hold 16 numbers');
    if (pointLightMesh.length === 0 || pointLightMesh.length % 3) throw kitError(RangeError, 'ERR_RANGE', 'pointLightMesh must hold whole vertices of 3 floats');
    this.buffers = buffers;
    this.sources = this.readShaders(shaderDir, shaders);
    graphicsMade = true;

    const table = buffers.nextBuffer(TABLE_ENTRIES * 2);
    this.tableId = table.id;
    this.table = new Uint16Array(table.buffer);
    const block = (entry, bytes) => {
      const { buffer, id } = buffers.nextBuffer(bytes);
      this.table[entry] = id;
      return { id, view: new Float32Array(buffer) };
    };
    const uniform = (entry, floats) => block(entry, floats * 4);
    const viewport = uniform(TABLE.VIEWPORT, 2);
    this.viewportSize = viewport.view;
    this.view = uniform(TABLE.VIEW, 16).view;
    this.projection = uniform(TABLE.PROJECTION, 16).view;
    this.transform = uniform(TABLE.TRANSFORM, 16).view;
    this.lightTransform = uniform(TABLE.LIGHT_TRANSFORM, 16).view;
    this.uiTransform = uniform(TABLE.UI_TRANSFORM, 16).view;
    this.cameraPosition = uniform(TABLE.CAMERA_POSITION, 3).view;
    this.cameraVector = uniform(TABLE.CAMERA_VECTOR, 3).view;
    const attributes = (first, count, specs) => specs.map(([name, floats], i) => {
      const { id, view } = block(first + i, count * floats * 4);
      return { name, floats, id, view };
    });
    this.solid = new SolidBatch(buffers, 'solid', attributes(TABLE.SOLID, cap.solid,
      [['position', 3], ['normal', 3], ['color', 3], ['material', 3], ['extra', 3]]), cap.solid);
    this.ui = new UiBatch(buffers, 'ui', attributes(TABLE.UI_TRIS, cap.ui, [['position', 3], ['color', 4]]), cap.ui);
    this.transparent = new ForwardBatch(buffers, 'transparent', attributes(TABLE.TRANSPARENT, cap.transparent,
      [['position', 3], ['normal', 3], ['color', 4]]), cap.transparent);
    this.unculled = new ForwardBatch(buffers, 'unculled', attributes(TABLE.UNCULLED, cap.unculled,
      [['position', 3], ['normal', 3], ['color', 4]]), cap.unculled);
    const mesh = block(TABLE.POINT_MESH, pointLightMesh.length * 4);
    mesh.view.set(pointLightMesh);
    buffers.header[mesh.id] = pointLightMesh.length;
    this.lights = new LightBatch(buffers, 'lights', attributes(TABLE.POINT_LIGHTS, cap.lights,
      [['place', 4], ['color', 4], ['extra', 4]]), cap.lights);

    for (const m of [this.view, this.projection, this.transform, this.uiTransform]) m.set(identity());
    this.lightTransform.set(lightTransform);
    native().setBuffers(this.tableId);
    this.uiPixels();
    // The addon updates viewportSize when the window changes size; the interface transform follows
    // when readEvents passes the size record on.
    buffers.sizeListeners.push(() => this.uiPixels());

    for (const [key, source] of Object.entries(this.sources)) {
      const [name, stage] = key.split('.');
      native().compileShader(name, stage === 'vert', source);
    }
    if (native().checkShaders() !== 0) {
      throw kitError(Error, 'ERR_SHADER', 'shaders failed to compile: the driver\'s log for each is on standard error, in the lines ' +
        '"Unable to compile shader NAME (STAGE): ..."');
    }
    this.isReady = false;
    if (ready) this.ready();
  }

  // The 19 sources by "name.vert" / "name.frag": from `overrides`, else from files in `dir`.
  readShaders(dir, overrides) {
    const sources = {};
    const missing = [];
    for (const [stage, ext] of [['vertex', 'vert'], ['fragment', 'frag']]) {
      for (const name of SHADERS[stage]) {
        const key = `${name}.${ext}`;
        if (overrides[key] !== undefined) { sources[key] = String(overrides[key]); continue; }
        const file = path.join(dir, key);
        try { sources[key] = fs.readFileSync(file, 'utf8'); } catch { missing.push(file); }
      }
    }
    if (missing.length) throw kitError(Error, 'ERR_FILE', `shader files missing: ${missing.join(', ')}`);
    return sources;
  }

  // Builds the render targets and pipelines (once).
  ready() {
    if (this.isReady) return;
    native().ready();
    this.isReady = true;
    this.uiPixels();
  }

  // The drawable size in pixels, kept current by the addon when the window changes size.
  get width() { return this.viewportSize[0]; }
  get height() { return this.viewportSize[1]; }

  // The camera: view and projection matrices (16 numbers, column-major), its position and the
  // direction it looks in. All four are written together, for the next frame.
  setCamera(camera) {
    const { view, projection, position, vector } = checkOptions(camera, CAMERA_KEYS, 'setCamera');
    for (const key of CAMERA_KEYS) if (camera[key] === undefined) throw kitError(TypeError, 'ERR_TYPE', `setCamera needs ${key}`);
    if (view.length !== 16 || projection.length !== 16) throw kitError(RangeError, 'ERR_RANGE', 'view and projection must hold 16 numbers');
    if (position.length !== 3 || vector.length !== 3) throw kitError(RangeError, 'ERR_RANGE', 'position and vector must hold 3 numbers');
    this.view.set(view);
    this.projection.set(projection);
    this.cameraPosition.set(position);
    this.cameraVector.set(vector);
  }
  // The model transform applied to all solid and forward geometry.
  setTransform(matrix) {
    if (!matrix || matrix.length !== 16) throw kitError(RangeError, 'ERR_RANGE', 'transform must hold 16 numbers');
    this.transform.set(matrix);
  }
  // uiTransform from interface units (origin top left, y down; uiScale window pixels each) to clip
  // space at the current size. Called by itself on every window size record readEvents decodes.
  uiPixels() {
    const w = this.viewportSize[0] || 1, h = this.viewportSize[1] || 1;
    const m = this.uiTransform;
    m.fill(0);
    m[0] = (2 * this.uiScale) / w; m[5] = (-2 * this.uiScale) / h; m[10] = 1; m[12] = -1; m[13] = 1; m[15] = 1;
  }
  // Window pixels per interface unit (text sizes and positions included); the transform is redone.
  setUiScale(scale) {
    if (checkNumber(scale, 'uiScale') <= 0) throw kitError(RangeError, 'ERR_RANGE', `uiScale must be positive, got ${scale}`);
    this.uiScale = scale;
    if (this.uiTransform) this.uiPixels();
  }
  // The window's size in interface units.
  get uiWidth() { return this.viewportSize[0] / this.uiScale; }
  get uiHeight() { return this.viewportSize[1] / this.uiScale; }
  // Empties every vertex batch, for a frame built from scratch.
  clearAll() {
    this.solid.clear(); this.transparent.clear(); this.unculled.clear(); this.lights.clear(); this.ui.clear();
  }
  render() { return native().render(); }
}

function setupGraphics(buffers, options) { return new Graphics(buffers, options); }

module.exports = {
  setupGraphics, directionalLight, Graphics, VertexBatch, SolidBatch, ForwardBatch, LightBatch, UiBatch, TABLE, TABLE_ENTRIES,
  PIPELINE_CAPACITY, SHADERS, DEFAULT_LIGHT_MESH,
};
