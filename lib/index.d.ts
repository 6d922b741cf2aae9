// Typings of the addon's own exports: 22 functions and 4 constants (require('tessimarke')).

/** Creates block `id` (0-255) of `size` bytes; the ArrayBuffer is the addon's own memory. */
export function initBuffer(id: number, size: number): ArrayBuffer;
/** A new ArrayBuffer over the existing block `id` (a view: it frees nothing). */
export function getBuffer(id: number): ArrayBuffer;
/** A new block under the next id. */
export function nextBuffer(size: number): [ArrayBuffer, number];
/** The next `length` bytes of POOL_BUFFER as a block under the next id. */
export function nextPool(length: number): [ArrayBuffer, number];
/** Decodes an Ogg Vorbis file into sound `id`: 0 ok, -1 bad word size or channels, 1 unreadable, else an OpenAL error. */
export function loadAudio(id: number, path: string, wordSize: 1 | 2, channels: 1 | 2): number;
/** Raw PCM (a Buffer) into sound `id`: 0 or an OpenAL error code. */
export function initALBuffer(id: number, data: Uint8Array, format: number, sampleRate: number): number;
/** Registers a GLSL source under a shader name and stage; returns 0. */
export function compileShader(name: string, isVertex: boolean, source: string): number;
/** Compiles the registered shaders: 1 when any failed (the driver's log is on standard error). */
export function checkShaders(): number;
/** Registers the block holding the bufferIDs table (16-bit ids, at least 29 entries). */
export function setBuffers(id: number): number;
/** Calls `tickFn` once, synchronously: the host's main function. */
export function startTicking(tickFn: () => void): number;
/** Builds the render targets and pipelines. */
export function ready(): number;
/** Pumps input; records land in EVENT_BUFFER. */
export function poll(): number;
/** Waits for the USB adapter's next report (returns at once without an adapter). */
export function pollUSB(): number;
/** Runs the step's command stream. */
export function tick(): number;
/** Draws and shows one frame. */
export function render(): number;
/** Closes audio, the window, the fonts and the adapter. */
export function quit(): number;
/** Puts text on the system clipboard (reaches it at the next poll). */
export function copy(text: string): number;
/** The clipboard's text. */
export function paste(): string;
/** The width in pixels of a run of text at `size` in face `font` (1 mono, 2 sans, 0 or 3 fallback). */
export function measureText(text: string, size: number, font: number): number;
export function setShadowQuality(level: number): undefined;
export function setSsaoQuality(level: number): undefined;
export function setAntialias(level: number): undefined;

export const AL_FORMAT_MONO8: 4352;
export const AL_FORMAT_MONO16: 4353;
export const AL_FORMAT_STEREO8: 4354;
export const AL_FORMAT_STEREO16: 4355;

// Extensions: on the module's prototype, after the 26 above (not among its own properties).
export { setWindowTitle, setWindowSize, setRenderScale, enableEvent, playMusic, stopMusic, loadImage, setImage, createMesh,
  releaseMesh, screenshot, screenshotStatus } from './extensions';
