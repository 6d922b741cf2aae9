// Typings of the host kit (require('tessimarke/host')): the addon and every module of the kit.
import * as addonExports from './index';
import * as windowControl from './window';
import * as musicControl from './music';
import * as textureControl from './textures';
import * as modelControl from './models';

export const addon: typeof addonExports;

export * from './game';
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

// ---- extensions ----

/** Window title, size, render scale and the opt-in wheel record. */
export const window: typeof windowControl;
/** Listener and world-positioned play (CommandWriter methods) and streamed music. */
export const music: typeof musicControl;
/** Images in the sprite atlas and the vertex helpers that draw them. */
export const textures: typeof textureControl;
/** Retained meshes drawn by the addon, and animated glTF models. */
export const models: typeof modelControl;
