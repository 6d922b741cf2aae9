// Typings of lib/quality.js: the render quality setters.
/** The highest level of each setting (the levels the reference shaders tell apart). */
export const QUALITY_LEVELS: Readonly<{ shadow: 3; ssao: 4; antialias: 2 }>;
export function setShadowQuality(level: 0 | 1 | 2 | 3): void;
export function setSsaoQuality(level: 0 | 1 | 2 | 3 | 4): void;
export function setAntialias(level: 0 | 1 | 2): void;
/** Any of the three, all checked before any is set. */
export function setQuality(levels: { shadow?: number; ssao?: number; antialias?: number }): void;
