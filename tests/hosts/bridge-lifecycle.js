'use strict';
// Export table and lifecycle calls seen from the host.
const { addon, report, createFixed } = require('./common');

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
}
