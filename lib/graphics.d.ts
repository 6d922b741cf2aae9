// Typings of lib/graphics.js: the graphics set-up and the per-frame writers.
import { SharedBuffers } from './buffers';

export const TABLE: Readonly<{
  VIEWPORT: 0; VIEW: 1; PROJECTION: 2; TRANSFORM: 3; LIGHT_TRANSFORM: 4; UI_TRANSFORM: 5;
  CAMERA_POSITION: 6; CAMERA_VECTOR: 7; SOLID: 8; UI_TRIS: 15; TRANSPARENT: 19; UNCULLED: 22;
  POINT_MESH: 25; POINT_LIGHTS: 26;
}>;
export const TABLE_ENTRIES: 29;
export const PIPELINE_CAPACITY: 100000;
export const SHADERS: Readonly<{ vertex: readonly string[]; fragment: readonly string[] }>;
export const DEFAULT_LIGHT_MESH: readonly number[];

export type Floats = ArrayLike<number>;

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
  /** The colour is required (alpha defaults to 1) and always checked. */
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
  /** Window pixels per interface unit (default 1). */
  uiScale?: number;
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
  /** Window pixels per interface unit. */
  readonly uiScale: number;
  /** The window's size in interface units. */
  readonly uiWidth: number;
  readonly uiHeight: number;
  setUiScale(scale: number): void;
  /** uiTransform for interface units (uiScale pixels each), origin top left, y down, at the current
   * size; redone by itself on every window size record that readEvents decodes. */
  uiPixels(): void;
  clearAll(): void;
  render(): number;
}
/** A lightTransform for a sun shining along `direction`: orthographic, `extent` (default 20) each
 * way around `center` (default the origin), seen from `distance` (default 30) away. */
export function directionalLight(direction: Floats, options?: { center?: Floats; extent?: number; distance?: number }): Float32Array;
/** Allocates every block the bufferIDs table names, registers it, compiles the shaders, calls ready. */
export function setupGraphics(buffers: SharedBuffers, options?: GraphicsOptions): Graphics;
