'use strict';
// Loads the addon and runs one setBuffers scenario, named by the first argument, then quits:
// plain (nothing), gl (compiles two shaders and polls, so the rasterizer has work behind it at
// quit), normal (a full table), short (a 4-byte table), tiny (entry 0 names a 4-byte block), id256,
// noargs.
const { addon, createFixed, report } = require('./common');

const mode = process.argv[2];
if (mode === 'gl') {
  createFixed();
  addon.compileShader('solid', true, '#version 400 core\nlayout(location = 0) in vec3 p;\nvoid main() { gl_Position = vec4(p, 1.0); }\n');
  addon.compileShader('solid', false, '#version 400 core\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n');
  report(addon.checkShaders());
  for (let i = 0; i < 20; ++i) addon.poll();
} else if (mode !== 'plain') {
  const fixed = createFixed();
  fixed.header[0] = 64;
  switch (mode) {
    case 'normal': {
      const [vpBuffer, vpId] = addon.nextBuffer(8);
      const [tableBuffer, tableId] = addon.nextBuffer(64);
      const table = new Uint16Array(tableBuffer);
      for (let i = 0; i < 32; ++i) table[i] = i === 0 ? vpId : 200 + i;
      addon.setBuffers(tableId);
      report({ viewport: Array.from(new Float32Array(vpBuffer)), table: Array.from(table) });
      break;
    }
    case 'short': {
      // Two bytes: entry 0 reads 0 (as does every entry past the block), which names a fixed block.
      const [tableBuffer, tableId] = addon.nextBuffer(1);
      new Uint8Array(tableBuffer)[0] = 9;
      addon.setBuffers(tableId);
      report({ header: [fixed.header[0], fixed.header[1]] });
      break;
    }
    case 'tiny': {
      const [tinyBuffer, tinyId] = addon.nextBuffer(4);
      new Uint8Array(tinyBuffer).fill(7);
      const [tableBuffer, tableId] = addon.nextBuffer(58);
      new Uint16Array(tableBuffer)[0] = tinyId;
      addon.setBuffers(tableId);
      report({ tiny: Array.from(new Uint8Array(tinyBuffer)) });
      break;
    }
    case 'id256': addon.setBuffers(256); break;
    case 'noargs': addon.setBuffers(); break;
    default: throw new Error(`unknown mode ${mode}`);
  }
}
addon.quit();
