'use strict';
// Export table and lifecycle calls seen from the host.
const fs = require('node:fs');
const path = require('node:path');
const { addon, report, createFixed, runCommands, putString, STRING_BUFFER } = require('./common');

const scenario = process.argv[2];

if (scenario === 'exports') {
  const names = Object.getOwnPropertyNames(addon);
  const attributes = names.map((n) => {
    const d = Object.getOwnPropertyDescriptor(addon, n);
    return [n, typeof d.value, d.writable, d.enumerable, d.configurable, 'get' in d && d.get !== undefined];
  });
  const viaPackage = require('../..');
  report({
    names, attributes,
    constants: [addon.AL_FORMAT_MONO8, addon.AL_FORMAT_MONO16, addon.AL_FORMAT_STEREO8, addon.AL_FORMAT_STEREO16],
    samePackage: viaPackage === addon,
  });
} else if (scenario === 'startup') {
  createFixed();
  addon.quit();
} else if (scenario === 'ticking') {
  createFixed();
  const { createTableBlocks, registerAndCompile } = require('./graphics');
  const blocks = createTableBlocks();
  registerAndCompile(blocks.tableId);
  let calls = 0;
  let receiver;
  const result = addon.startTicking(function tickFn(...args) {
    calls++;
    receiver = this === globalThis;
    report({ inside: true, args: args.length });
  });
  report({ result, calls, receiver });
  report({ ready: addon.ready(1, 2, 3) });
  report({ quit: addon.quit() });
} else if (scenario === 'afterQuit') {
  // Every export after quit, once graphics, text, sound and the table were all in use: each call
  // is named on standard output before it runs, so a crash shows where it happened.
  const fixed = createFixed();
  const { createTableBlocks, registerAndCompile } = require('./graphics');
  const blocks = createTableBlocks();
  const compiled = registerAndCompile(blocks.tableId);
  addon.ready();
  const [offset, length] = putString(fixed, 'After quit');
  // Text colour, a line of text, a log line, a play, stop all, and (after quit only) fullscreen.
  const textWords = [12, 1, 1, 1, 1, 10, offset, length, 10, 40, 24, 2, 0, 9, offset, length, 1, 3, 1, 1, 0, 0, 0, 5];
  const before = {
    compiled,
    load: addon.loadAudio(3, 'app/assets/sounds/blip.ogg', 2, 1),
    tone: addon.initALBuffer(4, Buffer.alloc(800), addon.AL_FORMAT_MONO16, 8000),
    commands: runCommands(fixed, textWords),
    measured: addon.measureText('After quit', 24, 2),
    render: addon.render(),
  };
  report({ before });
  addon.quit();
  const source = fs.readFileSync(path.join(__dirname, '..', 'shaders', 'solid.vert'), 'utf8');
  const calls = {
    render: () => addon.render(),
    tick: () => runCommands(fixed, [...textWords, 8]),
    poll: () => addon.poll(),
    pollUSB: () => addon.pollUSB(),
    measureText: () => addon.measureText('After quit', 24, 2),
    measureNewGlyphs: () => addon.measureText('Zwölf Ärger', 24, 1),
    loadAudio: () => addon.loadAudio(5, 'app/assets/sounds/blip.ogg', 2, 1),
    initALBuffer: () => addon.initALBuffer(6, Buffer.alloc(800), addon.AL_FORMAT_MONO16, 8000),
    copy: () => addon.copy('after quit'),
    paste: () => addon.paste(),
    setShadowQuality: () => addon.setShadowQuality(2),
    setSsaoQuality: () => addon.setSsaoQuality(3),
    setAntialias: () => addon.setAntialias(1),
    setBuffers: () => addon.setBuffers(blocks.tableId),
    compileShader: () => addon.compileShader('solid', true, source),
    checkShaders: () => addon.checkShaders(),
    ready: () => addon.ready(),
    renderAgain: () => addon.render(),
    initBuffer: () => addon.initBuffer(STRING_BUFFER, 1024).byteLength,
    nextBuffer: () => addon.nextBuffer(16)[0].byteLength,
    quit: () => addon.quit(),
  };
  const after = {};
  for (const [name, call] of Object.entries(calls)) {
    report({ calling: name });
    after[name] = call();
  }
  report({ after });
}
