// Typings of the host kit (require('tessimarke/host')): the addon and every module of the kit.
import * as addonExports from './index';

export const addon: typeof addonExports;

export * from './buffers';
export * from './commands';
export * from './events';
export * from './input';
export * from './graphics';
export * from './meshes';
export * from './text';
export * from './loop';
export * from './audio';
export * from './quality';
export * from './clipboard';
export * from './screenshot';

/** The per-vertex argument checks of the batch writers (off unless TESSIMARKE_DEBUG is set). */
export function setDebugChecks(on: boolean): void;
export function debugChecks(): boolean;
