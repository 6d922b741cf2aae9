// Typings of the host kit (require('tessimarke/host')).
import * as addonExports from './index';
import * as windowControl from './window';
import * as musicControl from './music';
import * as textureControl from './textures';

export const addon: typeof addonExports;

export const HEADER_BUFFER: 0, POOL_BUFFER: 1, COMMAND_BUFFER: 2, RESULT_BUFFER: 3, EVENT_BUFFER: 4,
  DEBUG_BUFFER: 5, USB_BUFFER: 6, STRING_BUFFER: 7;
export const BUFFER_COUNT: 256;
export const SOUND_COUNT: 256;
export const ADAPTER_REPORT_SIZE: 37;

// ---- shared buffers ----

/** Byte sizes of the fixed blocks 0-7. */
export interface BufferSizes {
  /** 1024 (at least: a fill length for each of the 256 ids). */
  header: number;
  /** 4096; the last byte is never handed out. */
  pool: number;
  /** 65536 (8192 words), a multiple of 8. */
  command: number;
  /** 65536, a multiple of 8: one result per command word. */
  result: number;
  /** 65536. */
  event: number;
  /** 16. */
  debug: number;
  /** 64 (at least 37, one adapter report). */
  usb: number;
  /** 65536: the UTF-8 text of one step. */
  string: number;
}
export const DEFAULT_SIZES: Readonly<BufferSizes>;

export interface Block { buffer: ArrayBuffer; id: number; }

export class SharedBuffers {
  constructor(options?: { sizes?: Partial<BufferSizes> });
  readonly addon: typeof addonExports;
  readonly sizes: Readonly<BufferSizes>;
  readonly blocks: Record<keyof BufferSizes, ArrayBuffer>;
  readonly header: Uint32Array;
  readonly commandWords: Float64Array;
  readonly resultWords: Float64Array;
  readonly events: Uint8Array;
  readonly debug: Uint8Array;
  /** The adapter's latest report after pollUSB. */
  readonly usb: Uint8Array;
  readonly strings: Uint8Array;
  /** Every further block made through this object, kept alive with it. */
  readonly kept: ArrayBuffer[];
  lenBuffer(id: number): number;
  setLenBuffer(id: number, length: number): void;
  nextBuffer(size: number): Block;
  nextPool(length: number): Block;
  /** Bit 0 of DEBUG_BUFFER: the G-buffer thumbnails. */
  debugView: boolean;
}
/** Creates the fixed blocks 0-7 (once per process). */
export function createBuffers(options?: { sizes?: Partial<BufferSizes> }): SharedBuffers;

// ---- commands ----

export const OP: Readonly<{
  PLAY: 1; PAUSE: 2; STOP: 3; GAIN: 4; STOP_ALL: 5; PAUSE_ALL: 6; RESUME_ALL: 7; TOGGLE_FULLSCREEN: 8;
  LOG: 9; TEXT: 10; TEXT_COLOR: 12;
}>;
export type FontName = 'fallback' | 'mono' | 'sans';
export const FONT: Readonly<{ fallback: 0; mono: 1; sans: 2 }>;
export const FONT_OUTLINE: 4;

export interface PlayOptions { gain?: number; pitch?: number; x?: number; y?: number; z?: number; }
export interface TextOptions {
  /** Pixels, default 24. */
  size?: number;
  /** Default 'sans'. */
  font?: FontName | 0 | 1 | 2 | 3;
  /** Draw in the outlined batch. */
  outline?: boolean;
  /** Squeeze a longer run to this many pixels; 0 (default) for no limit. */
  maxWidth?: number;
}

/** One step's commands. Each method returns the command's word index, for result() after tick(). */
export class CommandWriter {
  constructor(buffers: SharedBuffers);
  /** Command words the blocks hold. */
  readonly capacity: number;
  /** Words written this step. */
  readonly length: number;
  /** Result: the source, or 0 when none was free. */
  play(sound: number, options?: PlayOptions): number;
  pause(source: number): number;
  stop(source: number): number;
  gain(source: number, gain: number): number;
  stopAll(): number;
  pauseAll(): number;
  resumeAll(): number;
  /** Result: 0, or negative on failure. */
  toggleFullscreen(): number;
  /** Writes the text to standard output as it is. */
  log(text: string): number;
  textColor(r: number, g: number, b: number, a?: number): number;
  /** One line, baseline at (x, y) in interface pixels, y down. */
  text(text: string, x: number, y: number, options?: TextOptions): number;
  /** Drops this step's commands and strings. */
  clear(): void;
  /** Runs the step's commands and starts the next step. */
  tick(): this;
  /** The result of the command at `index` in the last tick. */
  result(index: number): number;
}

// ---- events ----

export const EVENT: Readonly<{
  QUIT: 256; WINDOW_SIZE: 512; KEY_DOWN: 768; KEY_UP: 769; TEXT_INPUT: 771; MOUSE_MOVE: 1024;
  MOUSE_DOWN: 1025; MOUSE_UP: 1026; MOUSE_WHEEL: 1027; CONTROLLER_AXIS: 1616; CONTROLLER_BUTTON_DOWN: 1617;
  CONTROLLER_BUTTON_UP: 1618; CONTROLLER_ADDED: 1619; CONTROLLER_REMOVED: 1620; ADAPTER_CONNECTED: 32768;
}>;

export type HostEvent =
  | { type: 'quit'; code: 256 }
  | { type: 'windowSize'; code: 512; width: number; height: number }
  | { type: 'keyDown' | 'keyUp'; code: 768 | 769; scancode: number; key: number; mod: number; repeat: boolean }
  | { type: 'textInput'; code: 771; text: string }
  | { type: 'mouseMove'; code: 1024; x: number; y: number }
  | { type: 'mouseDown' | 'mouseUp'; code: 1025 | 1026; x: number; y: number; button: number }
  | { type: 'mouseWheel'; code: 1027; x: number; y: number; preciseX: number; preciseY: number; flipped: boolean }
  | { type: 'controllerAxis'; code: 1616; controller: number; axis: number; value: number }
  | { type: 'controllerButtonDown' | 'controllerButtonUp'; code: 1617 | 1618; controller: number; button: number; pressed: boolean }
  | { type: 'controllerAdded' | 'controllerRemoved'; code: 1619 | 1620; controller: number }
  | { type: 'adapterConnected'; code: 32768 };

/** Decodes packed records; throws on an unknown type or a record cut off by `length`. */
export function decodeEvents(bytes: Uint8Array, length?: number, out?: HostEvent[]): HostEvent[];
/** Decodes what the polls queued and empties EVENT_BUFFER. */
export function readEvents(buffers: SharedBuffers, out?: HostEvent[]): HostEvent[];

// ---- graphics ----

export const TABLE: Readonly<{
  VIEWPORT: 0; VIEW: 1; PROJECTION: 2; TRANSFORM: 3; LIGHT_TRANSFORM: 4; UI_TRANSFORM: 5;
  CAMERA_POSITION: 6; CAMERA_VECTOR: 7; SOLID: 8; UI_TRIS: 15; TRANSPARENT: 19; UNCULLED: 22;
  POINT_MESH: 25; POINT_LIGHTS: 26;
}>;
export const TABLE_ENTRIES: 29;
export const PIPELINE_CAPACITY: 100000;
export const SHADERS: Readonly<{ vertex: readonly string[]; fragment: readonly string[] }>;
export const DEFAULT_LIGHT_MESH: readonly number[];

type Floats = ArrayLike<number>;

export class VertexBatch {
  readonly name: string;
  readonly capacity: number;
  /** Vertices (or light instances) written this frame. */
  readonly count: number;
  clear(): void;
  /** Sets the count after writing the attribute views directly. */
  setCount(count: number): void;
  /** Index of the first of `n` new vertices; the lengths already count them. */
  reserve(n: number): number;
}
export class SolidBatch extends VertexBatch {
  readonly position: Float32Array; readonly normal: Float32Array; readonly color: Float32Array;
  readonly material: Float32Array; readonly extra: Float32Array;
  add(data: { position?: Floats; normal?: Floats; color?: Floats; material?: Floats; extra?: Floats }): number;
  vertex(px: number, py: number, pz: number, nx: number, ny: number, nz: number, r: number, g: number, b: number,
    specular?: number, spare?: number, emission?: number): void;
}
export class ForwardBatch extends VertexBatch {
  readonly position: Float32Array; readonly normal: Float32Array; readonly color: Float32Array;
  add(data: { position?: Floats; normal?: Floats; color?: Floats }): number;
  vertex(px: number, py: number, pz: number, nx: number, ny: number, nz: number, r: number, g: number, b: number, a?: number): void;
}
export class LightBatch extends VertexBatch {
  readonly place: Float32Array; readonly color: Float32Array; readonly extra: Float32Array;
  add(data: { place?: Floats; color?: Floats; extra?: Floats }): number;
  light(x: number, y: number, z: number, radius: number, r: number, g: number, b: number, intensity?: number): void;
}
export class UiBatch extends VertexBatch {
  readonly position: Float32Array; readonly color: Float32Array;
  add(data: { position?: Floats; color?: Floats }): number;
  vertex(x: number, y: number, r: number, g: number, b: number, a?: number, z?: number): void;
  rect(x0: number, y0: number, x1: number, y1: number, r: number, g: number, b: number, a?: number): void;
}

export interface GraphicsOptions {
  /** Directory of `<name>.vert` / `<name>.frag`; default the kit's reference shaders/. */
  shaderDir?: string;
  /** Sources by "name.vert" / "name.frag", taking the place of files. */
  shaders?: Record<string, string>;
  /** Vertices per batch (default 100000 each). */
  capacity?: Partial<Record<'solid' | 'transparent' | 'unculled' | 'lights' | 'ui', number>>;
  /** The light's view-projection; read only when the pipelines are built. */
  lightTransform?: Floats;
  /** The point-light mesh, 3 floats per vertex; default a square over -1..1. */
  pointLightMesh?: Floats;
  /** Call ready() at once (default true). */
  ready?: boolean;
}

export class Graphics {
  constructor(buffers: SharedBuffers, options?: GraphicsOptions);
  readonly tableId: number;
  readonly table: Uint16Array;
  /** The drawable size, kept current by the addon. */
  readonly viewportSize: Float32Array;
  readonly width: number;
  readonly height: number;
  readonly view: Float32Array; readonly projection: Float32Array; readonly transform: Float32Array;
  readonly lightTransform: Float32Array; readonly uiTransform: Float32Array;
  readonly cameraPosition: Float32Array; readonly cameraVector: Float32Array;
  readonly solid: SolidBatch;
  readonly transparent: ForwardBatch;
  readonly unculled: ForwardBatch;
  readonly lights: LightBatch;
  readonly ui: UiBatch;
  readonly isReady: boolean;
  ready(): void;
  setCamera(camera: { view: Floats; projection: Floats; position: Floats; vector: Floats }): void;
  setTransform(matrix: Floats): void;
  /** uiTransform for pixels, origin top left, y down, at the current size. */
  uiPixels(): void;
  clearAll(): void;
  render(): number;
}
/** A lightTransform for a sun shining along `direction`: orthographic, `extent` (default 20) each
 * way around `center` (default the origin), seen from `distance` (default 30) away. */
export function directionalLight(direction: Floats, options?: { center?: Floats; extent?: number; distance?: number }): Float32Array;
/** Allocates every block the bufferIDs table names, registers it, compiles the shaders, calls ready. */
export function setupGraphics(buffers: SharedBuffers, options?: GraphicsOptions): Graphics;

// ---- extensions ----

/** Window title, size, render scale and the opt-in wheel record. */
export const window: typeof windowControl;
/** Listener and world-positioned play (CommandWriter methods) and streamed music. */
export const music: typeof musicControl;
/** Images in the sprite atlas and the vertex helpers that draw them. */
export const textures: typeof textureControl;
