'use strict';
// The kit's graphics for the functions tests/hosts/run.js runs: buffers, graphics (setupGraphics'
// options), a command writer, a camera, where points land on screen, a floor, frames, raw addon calls.
const { mat4, vec3 } = require('gl-matrix');
const kit = require('tessimarke/host');

function startScene({ eye = [0, 6, 8], target = [0, 0, 0], ...options } = {}) {
  const buffers = kit.createBuffers(), gfx = kit.setupGraphics(buffers, options), commands = new kit.CommandWriter(buffers);
  const s = {
    kit, buffers, gfx, commands,
    camera(e = eye, t = target) {
      [eye, target] = [e, t];
      const view = mat4.lookAt(mat4.create(), eye, target, [0, 1, 0]);
      const projection = mat4.perspective(mat4.create(), 0.9, gfx.width / gfx.height, 0.1, 60);
      gfx.setCamera({ view, projection, position: eye, vector: vec3.normalize(vec3.create(), vec3.sub(vec3.create(), target, eye)) });
    },
    // Where a world point lands in the window, in pixels (y down).
    project(p) {
      const clip = vec3.transformMat4(vec3.create(), p, mat4.multiply(mat4.create(), gfx.projection, gfx.view));
      return [Math.round((clip[0] * 0.5 + 0.5) * gfx.width), Math.round((0.5 - clip[1] * 0.5) * gfx.height)];
    },
    // A grey 16 x 16 floor at y 0, its normals up (or down, `up` -1).
    floor(up = 1) {
      gfx.solid.add({ position: [-8, 0, 8, 8, 0, 8, 8, 0, -8, -8, 0, 8, 8, 0, -8, -8, 0, -8], normal: Array(6).fill([0, up, 0]).flat(), color: Array(18).fill(0.6) });
    },
    // `n` frames: poll and read the events, run the commands, render. Answers the events.
    step(n = 1) {
      const events = [];
      for (let i = 0; i < n; ++i) { kit.addon.poll(); kit.readEvents(buffers, events); commands.tick(); gfx.render(); }
      return events;
    },
  };
  s.camera();
  return s;
}

// An addon export called with the given arguments; 'NaN' and 'Infinity' stand for those numbers.
const raw = ({ name, args }) => kit.addon[name](...args.map((v) => (v === 'NaN' ? NaN : v === 'Infinity' ? Infinity : v)));

module.exports = { startScene, raw };
