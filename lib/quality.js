'use strict';
// The render quality setters of the addon with the levels the reference shaders tell apart:
// shadows 0-3 (one tap to sixteen rotated), ambient occlusion 0-4 (off to 64 samples),
// anti-aliasing 0-2 (off, on, on with albedo edges). A level outside them is an error here; the
// addon's own setters take any level for shaders of a host's own.
const { native } = require('./native');
const { checkInteger, checkOptions } = require('./checks');

// The highest level of each setting.
const QUALITY_LEVELS = Object.freeze({ shadow: 3, ssao: 4, antialias: 2 });

// Each checks the level before the addon is reached (or loaded).
function setShadowQuality(level) {
  checkInteger(level, 0, QUALITY_LEVELS.shadow, 'shadow quality');
  native().setShadowQuality(level);
}
function setSsaoQuality(level) {
  checkInteger(level, 0, QUALITY_LEVELS.ssao, 'ssao quality');
  native().setSsaoQuality(level);
}
function setAntialias(level) {
  checkInteger(level, 0, QUALITY_LEVELS.antialias, 'antialias level');
  native().setAntialias(level);
}

// Any of the three at once: { shadow, ssao, antialias }; all are checked before any is set.
function setQuality(levels) {
  const o = checkOptions(levels, Object.keys(QUALITY_LEVELS), 'setQuality');
  for (const [name, max] of Object.entries(QUALITY_LEVELS)) if (o[name] !== undefined) checkInteger(o[name], 0, max, `${name} quality`);
  if (o.shadow !== undefined) setShadowQuality(o.shadow);
  if (o.ssao !== undefined) setSsaoQuality(o.ssao);
  if (o.antialias !== undefined) setAntialias(o.antialias);
}

module.exports = { setShadowQuality, setSsaoQuality, setAntialias, setQuality, QUALITY_LEVELS };
