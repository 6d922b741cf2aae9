'use strict';
// The animation player: a model's clips (from lib/gltf.js) by name, played, looped, stopped, sped
// up or slowed, and cross-faded from one to the next. Each update samples the clips into local
// translation, rotation and scale per node, blends them, and writes world matrices and each skin's
// joint palette (world(joint) x inverse bind, column-major 4x4s) into Float32Arrays made once, so
// a frame allocates nothing: every view and scratch array is made in the constructor.
//
// Sampling follows glTF: before the first key the first value holds, after the last the last;
// STEP holds a key's value until the next key, LINEAR interpolates (rotations by spherical linear
// interpolation along the shorter arc), CUBICSPLINE is a cubic Hermite spline over each key's value
// and its in and out tangents (scaled by the keys' time step), rotations renormalised.
const { kitError } = require('./checks');
const { mat4, quat, vec3 } = require('gl-matrix');

const WIDTH = { translation: 3, rotation: 4, scale: 3 };
// Floats of one node's pose: translation (0-2), rotation (3-6), scale (7-9).
const POSE_FLOATS = 10;
// Scratch quaternions of the sampler (a LINEAR rotation's two keys).
const qa = new Float32Array(4), qb = new Float32Array(4);

// Index of the last key at or before `t` in increasing `times` (0 when t is before the first).
function keyBefore(times, t) {
  let lo = 0, hi = times.length - 1;
  if (t <= times[0]) return 0;
  if (t >= times[hi]) return hi;
  while (hi - lo > 1) {
    const mid = (lo + hi) >> 1;
    if (times[mid] <= t) lo = mid; else hi = mid;
  }
  return lo;
}

// Samples `channel` ({ path, interpolation, times, values }) at time `clock[at]` into `out` (3 or 4
// floats). The time comes in a Float64Array, not as an argument: a number passed to a call the
// engine does not inline is boxed on the heap, which would allocate on every channel every frame.
function sampleAt(channel, clock, at, out) {
  const t = clock[at];
  const times = channel.times, values = channel.values, interpolation = channel.interpolation;
  const w = WIDTH[channel.path];
  const cubic = interpolation === 'CUBICSPLINE';
  const stride = cubic ? 3 * w : w;  // floats per key
  const value = cubic ? w : 0;       // the value's place inside a key (after the in tangent)
  const last = times.length - 1;
  const k = keyBefore(times, t);
  if (interpolation === 'STEP' || k === last || t <= times[0]) {
    for (let i = 0; i < w; ++i) out[i] = values[k * stride + value + i];
    return out;
  }
  const t0 = times[k], t1 = times[k + 1], dt = t1 - t0;
  const s = (t - t0) / dt;
  const a = k * stride, b = (k + 1) * stride;
  if (!cubic) {
    if (w === 4) {
      for (let i = 0; i < 4; ++i) { qa[i] = values[a + i]; qb[i] = values[b + i]; }
      quat.slerp(out, qa, qb, s);
    } else {
      for (let i = 0; i < w; ++i) out[i] = values[a + i] + (values[b + i] - values[a + i]) * s;
    }
    return out;
  }
  const s2 = s * s, s3 = s2 * s;
  const h00 = 2 * s3 - 3 * s2 + 1, h10 = s3 - 2 * s2 + s, h01 = -2 * s3 + 3 * s2, h11 = s3 - s2;
  for (let i = 0; i < w; ++i) {
    const v0 = values[a + w + i], out0 = values[a + 2 * w + i];
    const v1 = values[b + w + i], in1 = values[b + i];
    out[i] = h00 * v0 + h10 * dt * out0 + h01 * v1 + h11 * dt * in1;
  }
  if (w === 4) quat.normalize(out, out);
  return out;
}

// Samples `channel` at time `t` into `out` (for one-off use: each call boxes `t`).
const oneClock = new Float64Array(1);
function sampleChannel(channel, t, out) {
  oneClock[0] = t;
  return sampleAt(channel, oneClock, 0, out);
}

// A clip in play: which, whether it loops, and in `clock` where in it (0) and how fast (1).
class Layer {
  constructor() { this.clip = null; this.loop = true; this.clock = Float64Array.of(0, 1); }
}
// Slots of the player's clock: the step, the cross-fade's length and the part of it gone, and the
// current clip's weight. Numbers live in typed arrays so that no update boxes one.
const DT = 0, FADE = 1, FADED = 2, WEIGHT = 3;

class AnimationPlayer {
  // `model`: a description from loadModel.
  constructor(model) {
    const n = model.nodes.length;
    this.model = model;
    this.clips = new Map(model.animations.map((a) => [a.name, a]));
    // The nodes' rest pose (their own TRS), two sampled poses and the blended one: 10 floats a node.
    this.rest = new Float32Array(POSE_FLOATS * n);
    this.poseA = new Float32Array(POSE_FLOATS * n);
    this.poseB = new Float32Array(POSE_FLOATS * n);
    this.pose = new Float32Array(POSE_FLOATS * n);
    this.local = new Float32Array(16 * n);
    this.world = new Float32Array(16 * n);
    const views = (a, width, stride, offset) => model.nodes.map((_, i) => a.subarray(i * stride + offset, i * stride + offset + width));
    this.views = {};
    for (const [name, a] of [['rest', this.rest], ['a', this.poseA], ['b', this.poseB], ['pose', this.pose]]) {
      this.views[name] = { t: views(a, 3, POSE_FLOATS, 0), r: views(a, 4, POSE_FLOATS, 3), s: views(a, 3, POSE_FLOATS, 7) };
    }
    this.localOf = views(this.local, 16, 16, 0);
    this.worldOf = views(this.world, 16, 16, 0);
    for (const [i, node] of model.nodes.entries()) {
      this.views.rest.t[i].set(node.translation);
      this.views.rest.r[i].set(node.rotation);
      this.views.rest.s[i].set(node.scale);
    }
    // Nodes some clip moves; the others keep their own matrix (which may hold a shear TRS cannot).
    this.animated = new Uint8Array(n);
    for (const a of model.animations) for (const c of a.channels) this.animated[c.node] = 1;
    // Parents before children.
    this.order = [];
    const visit = (i) => { this.order.push(i); for (const c of model.nodes[i].children) visit(c); };
    for (const [i, node] of model.nodes.entries()) if (node.parent === -1) visit(i);
    this.parent = Int32Array.from(model.nodes.map((node) => node.parent));
    // One palette per skin.
    this.palettes = model.skins.map((s) => new Float32Array(16 * s.joints.length));
    this.paletteOf = this.palettes.map((p) => Array.from({ length: p.length / 16 }, (_, j) => p.subarray(16 * j, 16 * j + 16)));
    this.inverseBindOf = model.skins.map((s) => Array.from({ length: s.joints.length }, (_, j) => s.inverseBindMatrices.subarray(16 * j, 16 * j + 16)));
    this.current = new Layer();
    this.previous = new Layer();
    this.clock = new Float64Array(4);
    this.clock[WEIGHT] = 1;
    this.update(0);
  }

  // Starts clip `name` from its start (or `time`), looping unless `loop` is false, at `speed`;
  // with `fade` > 0 the clip playing now fades out over that many seconds while this one fades in.
  play(name, { loop = true, speed = 1, fade = 0, time = 0 } = {}) {
    const clip = this.clips.get(name);
    if (!clip) throw kitError(RangeError, 'ERR_RANGE', `no animation named ${name} (animations: ${[...this.clips.keys()].join(', ')})`);
    if (!Number.isFinite(speed)) throw kitError(RangeError, 'ERR_RANGE', `speed must be a finite number, got ${speed}`);
    if (!(fade >= 0 && Number.isFinite(fade))) throw kitError(RangeError, 'ERR_RANGE', `fade must be a finite number of 0 or more, got ${fade}`);
    const old = this.previous;
    this.previous = this.current;
    this.current = old;
    this.current.clip = clip;
    this.current.loop = !!loop;
    this.current.clock[0] = time;
    this.current.clock[1] = speed;
    this.clock[FADE] = this.previous.clip ? fade : 0;
    this.clock[FADED] = 0;
    if (this.clock[FADE] === 0) this.previous.clip = null;
    this.clock[WEIGHT] = this.clock[FADE] > 0 ? 0 : 1;
    return this;
  }

  // Stops every clip: the nodes go back to their rest pose at the next update.
  stop() {
    this.current.clip = null;
    this.previous.clip = null;
    this.clock[FADE] = 0;
    this.clock[WEIGHT] = 1;
    return this;
  }

  setSpeed(speed) {
    if (!Number.isFinite(speed)) throw kitError(RangeError, 'ERR_RANGE', `speed must be a finite number, got ${speed}`);
    this.current.clock[1] = speed;
    return this;
  }

  // The weight of the clip playing now (1 once any cross-fade is over).
  get weight() { return this.clock[WEIGHT]; }
  get playing() { return this.current.clip ? this.current.clip.name : null; }
  get time() { return this.current.clock[0]; }

  // Advances the clips by `dt` seconds and writes the pose, the world matrices and the palettes.
  update(dt) {
    const clock = this.clock;
    clock[DT] = dt;
    this.advance(this.current);
    this.advance(this.previous);
    if (clock[FADE] > 0) {
      clock[FADED] += dt;
      if (clock[FADED] >= clock[FADE]) { clock[FADE] = 0; this.previous.clip = null; }
    }
    clock[WEIGHT] = clock[FADE] > 0 ? Math.min(1, clock[FADED] / clock[FADE]) : 1;
    this.samplePose(this.current, this.views.a, this.poseA);
    if (this.previous.clip && clock[WEIGHT] < 1) {
      this.samplePose(this.previous, this.views.b, this.poseB);
      this.blend();
    } else {
      this.pose.set(this.poseA);
    }
    this.writeMatrices();
    return this;
  }

  // Moves `layer` on by the step: wrapped into the clip when it loops, else held at its ends.
  advance(layer) {
    if (!layer.clip) return;
    const c = layer.clock;
    const d = layer.clip.duration;
    let t = c[0] + this.clock[DT] * c[1];
    if (d <= 0) t = 0;
    else if (layer.loop) t = ((t % d) + d) % d;
    else t = Math.min(Math.max(t, 0), d);
    c[0] = t;
  }

  samplePose(layer, views, target) {
    target.set(this.rest);
    if (!layer.clip) return;
    const channels = layer.clip.channels;
    for (let k = 0; k < channels.length; ++k) {
      const c = channels[k];
      const out = c.path === 'translation' ? views.t[c.node] : c.path === 'rotation' ? views.r[c.node] : views.s[c.node];
      sampleAt(c, layer.clock, 0, out);
    }
  }

  // pose = previous pose blended towards the current one by the current clip's weight. Written
  // out rather than through the vector library: a number handed to a call that is not inlined is
  // boxed, and this runs for every node of every frame of a cross-fade.
  blend() {
    const w = this.clock[WEIGHT];
    const a = this.poseA, b = this.poseB, p = this.pose;
    for (let n = 0; n < this.views.a.t.length; ++n) {
      const o = n * POSE_FLOATS;
      for (let k = 0; k < 3; ++k) {
        p[o + k] = b[o + k] + (a[o + k] - b[o + k]) * w;                    // translation
        p[o + 7 + k] = b[o + 7 + k] + (a[o + 7 + k] - b[o + 7 + k]) * w;    // scale
      }
      // Rotation: spherical interpolation along the shorter arc, linear when the two are close.
      const r = o + 3;
      let cos = b[r] * a[r] + b[r + 1] * a[r + 1] + b[r + 2] * a[r + 2] + b[r + 3] * a[r + 3];
      const sign = cos < 0 ? -1 : 1;
      cos *= sign;
      let from = 1 - w, to = w;
      if (1 - cos > 1e-6) {
        const omega = Math.acos(cos), sin = Math.sin(omega);
        from = Math.sin((1 - w) * omega) / sin;
        to = Math.sin(w * omega) / sin;
      }
      to *= sign;
      for (let k = 0; k < 4; ++k) p[r + k] = from * b[r + k] + to * a[r + k];
    }
  }

  writeMatrices() {
    const pose = this.views.pose, nodes = this.model.nodes;
    for (let k = 0; k < this.order.length; ++k) {
      const i = this.order[k];
      const local = this.localOf[i];
      if (this.animated[i] || !nodes[i].hasMatrix) mat4.fromRotationTranslationScale(local, pose.r[i], pose.t[i], pose.s[i]);
      else local.set(nodes[i].matrix);
      const p = this.parent[i];
      if (p === -1) this.worldOf[i].set(local);
      else mat4.multiply(this.worldOf[i], this.worldOf[p], local);
    }
    for (let s = 0; s < this.model.skins.length; ++s) {
      const skin = this.model.skins[s];
      const palette = this.paletteOf[s], inverse = this.inverseBindOf[s];
      for (let j = 0; j < skin.joints.length; ++j) mat4.multiply(palette[j], this.worldOf[skin.joints[j]], inverse[j]);
    }
  }
}

module.exports = { AnimationPlayer, sampleChannel, keyBefore };
