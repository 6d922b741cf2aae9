// Typings of the addon's extension functions. They sit on the module's prototype, after the 26
// exports of the base contract, so `addon.setWindowTitle(...)` and destructuring reach them.

/** 0, 1 without a window, -1 for a title over 1024 bytes or holding NUL. */
export function setWindowTitle(title: string): number;
/** 0 asked (a windowSize event follows), 1 without a window, -1 for a side outside 1..8192. */
export function setWindowSize(width: number, height: number): number;
/** 0, or -1 for a scale outside 0.25..1. */
export function setRenderScale(scale: number): number;
/** 1 when `type` is an opt-in record type (1027, the mouse wheel), else 0. */
export function enableEvent(type: number, on: boolean): number;
/** The source, 0 without a source or device, a negative Vorbis error code for a file that cannot be
 * read, -131 for a loop end before its start or a bad gain. loopStart < 0: no loop; loopEnd <= 0:
 * the end of the file. */
export function playMusic(path: string, gain: number, loopStart: number, loopEnd: number): number;
/** 0, or 1 when no music was playing. */
export function stopMusic(): number;
/** [status, x, y, width, height]: status 0, or 1 no GL, 2 unreadable, 3 not PNG/JPEG, 4 too large,
 * 5 atlas full; on success where the image's top-left texel lies in the sprite atlas. */
export function loadImage(id: number, path: string): [number, number, number, number, number];
/** As loadImage, from width x height RGBA pixels (rows top first); status 6 for a wrong length. */
export function setImage(id: number, rgba: Uint8Array, width: number, height: number): [number, number, number, number, number];
/** Copies the mesh block in shared block `blockId` (layout: native/gfx/core/meshkernels.h) into the
 * addon's store: the mesh id (0..1023), or -1 no such block, -2 a malformed block, -3 store full. */
export function createMesh(blockId: number): number;
/** 0, or -4 for an id that holds no mesh. */
export function releaseMesh(id: number): number;
/** Asks for the next frame `render` draws as a PNG file: 1 (pending), 2 without a window, 4 for a bad path. */
export function screenshot(path: string): number;
/** How the last screenshot went: 0 written, 1 still to be drawn, 3 not written. */
export function screenshotStatus(): number;
