'use strict';
// The addon, loaded on first use by every module of the kit. Loading it opens the window, so the
// pure parts of the kit (decoders, constants, layout arithmetic, the fixed-step clock) stay usable
// without a display or a build.
let loaded = null;
function native() { return loaded || (loaded = require('./index')); }

// Whether the addon is loaded already (by this module or by any require of lib/index.js).
function isLoaded() { return loaded !== null || require.cache[require.resolve('./index')] !== undefined; }

module.exports = { native, isLoaded };
