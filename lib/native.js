'use strict';
// The addon, loaded on first use by every module of the kit. Loading it opens the window, so the
// pure parts of the kit (decoders, constants, layout arithmetic, the fixed-step clock) stay usable
// without a display or a build.
let loaded = null;
function native() { return loaded || (loaded = require('./index')); }

// The addon's functions behind the contract's parameter checks: a call of the wrong shape throws a
// TypeError naming the function and the argument (code ERR_TYPE) instead of ending the process in
// the addon's own check. Made once, on first use; the constants are copied as they are.
const KINDS = {
  number: ['a number', (v) => typeof v === 'number'], string: ['a string', (v) => typeof v === 'string'],
  boolean: ['a boolean', (v) => typeof v === 'boolean'], function: ['a function', (v) => typeof v === 'function'],
  buffer: ['a Buffer', (v) => Buffer.isBuffer(v)], bytes: ['a Uint8Array', (v) => v instanceof Uint8Array],
};
let checked = null;
function checkedAddon() {
  if (checked) return checked;
  const raw = native();
  const { exportParameters } = require('../contract/host');
  const { kitError } = require('./checks');
  checked = {};
  // The 26 are the module's own (not enumerable) properties, the extensions sit on its prototype.
  for (const key of [...Object.getOwnPropertyNames(raw), ...require('../contract/host').extensions]) checked[key] = raw[key];
  for (const [name, params] of Object.entries(exportParameters)) {
    const f = raw[name];
    if (typeof f !== 'function') continue;
    if (params === null) { checked[name] = f; continue; }
    checked[name] = function checkedExport(...args) {
      if (args.length !== params.length) {
        throw kitError(TypeError, 'ERR_TYPE', `${name} takes ${params.length} argument${params.length === 1 ? '' : 's'} (${params.join(', ')}), got ${args.length}`);
      }
      for (let i = 0; i < params.length; ++i) {
        const [kind, is] = KINDS[params[i]];
        if (!is(args[i])) {
          const got = args[i] === null ? 'null' : Array.isArray(args[i]) ? 'an array' : typeof args[i];
          throw kitError(TypeError, 'ERR_TYPE', `${name}: argument ${i + 1} must be ${kind}, got ${got}`);
        }
      }
      return f(...args);
    };
  }
  return Object.freeze(checked);
}

// Whether the addon is loaded already (by this module or by any require of lib/index.js).
function isLoaded() { return loaded !== null || require.cache[require.resolve('./index')] !== undefined; }

module.exports = { native, isLoaded, checkedAddon };
