'use strict';
// The demo's 3D scene: a checkered floor, boxes and spheres that cast shadows, a turning block,
// a glass box and sphere, a waving banner seen from both sides, and coloured point lights circling
// the middle with a small glowing marker each. Static geometry is written into the batches once;
// every frame rewrites only what moves, from the static counts on. World units: metres, y up.
const { mat4, vec3 } = require('gl-matrix');
const { box, plane, sphere } = require('../lib/host');

// The floor spans -FLOOR..FLOOR in x and z, in TILES x TILES checker tiles.
const FLOOR = 16;
const TILES = 16;
// Point lights circling the middle.
const LIGHT_COUNT = 6;
const LIGHT_COLORS = [[1, 0.35, 0.2], [0.3, 0.6, 1], [0.4, 1, 0.45], [1, 0.85, 0.3], [0.85, 0.4, 1], [0.3, 1, 0.95]];

const at = (x, y, z, angle = 0, scale = 1) => {
  const m = mat4.fromTranslation(mat4.create(), [x, y, z]);
  mat4.rotateY(m, m, angle);
  return mat4.scale(m, m, [scale, scale, scale]);
};

class Scene {
  constructor(gfx) {
    this.gfx = gfx;
    this.time = 0;
    this.turning = mat4.create();
    this.writeStatic();
  }

  // Geometry that never moves, written once; the batches' counts after it are where each frame's
  // moving geometry starts.
  writeStatic() {
    const { solid } = this.gfx;
    solid.clear();
    const tile = (2 * FLOOR) / TILES;
    for (let i = 0; i < TILES; ++i) {
      for (let k = 0; k < TILES; ++k) {
        const color = (i + k) % 2 ? [0.5, 0.48, 0.45] : [0.26, 0.27, 0.3];
        plane(solid, at(-FLOOR + (i + 0.5) * tile, 0, -FLOOR + (k + 0.5) * tile), { size: tile, color, specular: 0.15 });
      }
    }
    const solidBox = (m, size, color, specular = 0.3) => box(solid, m, { size, color, specular });
    solidBox(at(-5, 1.5, -4, 0.3), [1.6, 3, 1.6], [0.8, 0.3, 0.25]);
    solidBox(at(4.5, 1, -5, -0.5), [2, 2, 2], [0.25, 0.5, 0.8], 0.6);
    solidBox(at(-6, 0.5, 3, 0.8), [3, 1, 1.2], [0.85, 0.75, 0.35]);
    solidBox(at(6.5, 2.5, 2, 0.1), [1, 5, 1], [0.7, 0.7, 0.72], 0.8);
    solidBox(at(0, 0.25, -8, 0), [10, 0.5, 1], [0.45, 0.55, 0.4]);
    sphere(solid, at(-2, 1.2, 1.5), { radius: 1.2, rings: 14, segments: 24, color: [0.9, 0.9, 0.92], specular: 0.9 });
    sphere(solid, at(2.5, 0.8, 3.5), { radius: 0.8, rings: 12, segments: 20, color: [0.85, 0.45, 0.2], specular: 0.5 });
    this.staticSolid = solid.count;
  }

  // Advances the animation by dt seconds and rewrites the moving geometry, the lights and the
  // transparent objects (far to near from `eye`, since they blend without depth writes).
  update(dt, eye) {
    this.time += dt;
    const t = this.time;
    const { solid, transparent, unculled, lights } = this.gfx;
    solid.setCount(this.staticSolid);
    // A block turning on its corner in the middle.
    mat4.fromTranslation(this.turning, [0, 1.6 + 0.25 * Math.sin(t * 1.3), -1.5]);
    mat4.rotateY(this.turning, this.turning, t * 0.7);
    mat4.rotateX(this.turning, this.turning, 0.6);
    mat4.rotateZ(this.turning, this.turning, 0.6);
    box(solid, this.turning, { size: 1.2, color: [0.3, 0.75, 0.45], specular: 0.7 });

    lights.clear();
    for (let i = 0; i < LIGHT_COUNT; ++i) {
      const a = t * 0.6 + (i / LIGHT_COUNT) * Math.PI * 2;
      const r = 5 + 1.5 * Math.sin(t * 0.9 + i);
      const x = Math.cos(a) * r, z = Math.sin(a) * r, y = 0.9 + 0.4 * Math.sin(t * 1.7 + i * 2);
      const c = LIGHT_COLORS[i % LIGHT_COLORS.length];
      lights.light(x, y, z, 6, c[0], c[1], c[2], 4);
      // The glowing marker: a small box lit by its own emission.
      box(solid, at(x, y, z, t * 2, 0.18), { color: c, emission: 3 });
    }

    transparent.clear();
    const glassBox = () => box(transparent, at(3, 1.1, -1, 0.4), { size: [1.4, 2.2, 1.4], color: [0.4, 0.8, 1.0, 0.3] });
    const glassBall = () => sphere(transparent, at(-3.5, 1.0, -1), { radius: 1.0, rings: 12, segments: 20, color: [1.0, 0.5, 0.7, 0.35] });
    const boxFar = vec3.squaredDistance(eye, [3, 1.1, -1]) > vec3.squaredDistance(eye, [-3.5, 1.0, -1]);
    if (boxFar) { glassBox(); glassBall(); } else { glassBall(); glassBox(); }

    // The banner: a strip of quads rippling in the wind, drawn from both sides.
    unculled.clear();
    const columns = 24;
    const wave = (u) => 0.25 * Math.sin(u * 6 - t * 3) * u;
    for (let i = 0; i < columns; ++i) {
      const u0 = i / columns, u1 = (i + 1) / columns;
      const x0 = -1.5 + 3 * u0, x1 = -1.5 + 3 * u1, z0 = 5 + wave(u0), z1 = 5 + wave(u1);
      const n = [-(z1 - z0), 0, x1 - x0];
      const v = (x, y, z) => unculled.vertex(x, y, z, n[0], n[1], n[2], 0.85, 0.15, 0.2, 0.85);
      v(x0, 2.2, z0); v(x1, 2.2, z1); v(x1, 3.4, z1);
      v(x0, 2.2, z0); v(x1, 3.4, z1); v(x0, 3.4, z0);
    }
  }
}

// The sun's view and orthographic projection, covering the floor: the light's transform.
function sunTransform() {
  const direction = vec3.normalize(vec3.create(), [-0.45, -1, -0.3]);
  const eye = vec3.scale(vec3.create(), direction, -30);
  const view = mat4.lookAt(mat4.create(), eye, [0, 0, 0], [0, 1, 0]);
  const projection = mat4.ortho(mat4.create(), -FLOOR * 1.3, FLOOR * 1.3, -FLOOR * 1.3, FLOOR * 1.3, 5, 60);
  return mat4.multiply(mat4.create(), projection, view);
}

module.exports = { Scene, sunTransform, LIGHT_COUNT };
