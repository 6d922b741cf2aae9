// Typings of lib/models.js: retained meshes and animated glTF models drawn by the addon.
import type { SharedBuffers } from './buffers';
import type { CommandWriter } from './commands';
import type { AnimationPlayer, PlayOptions } from './animation';
import type { Model as ModelDescription } from './gltf';

export type MeshBatch = 'solid' | 'transparent' | 'unculled';
type Floats = ArrayLike<number>;
/** An image of lib/textures.js by name, or its place in the atlas. */
export type MeshImage = string | { x: number; y: number; width: number; height: number };

/** A triangle list: every three vertices a triangle, counter-clockwise seen from outside. */
export interface MeshData {
  positions: Floats;          // 3 per vertex
  normals?: Floats | null;    // 3 per vertex
  colors?: Floats | null;     // 4 per vertex (rgba)
  uvs?: Floats | null;        // 2 per vertex, 0..1 of the image, v from its top
  joints?: Floats | null;     // 4 per vertex, 0..65535, indices into the palette drawn with
  weights?: Floats | null;    // 4 per vertex
  image?: MeshImage | null;
  specular?: number;          // solid batch only
  emission?: number;          // solid batch only
}
export interface MeshDrawOptions {
  batch?: MeshBatch;
  /** Multiplies the mesh's colours. */
  tint?: Floats;
  /** Joint matrices of a skinned mesh, 16 floats each (world(joint) x inverse bind). */
  palette?: Float32Array;
}
export interface MeshRendererOptions {
  /** Instance records one step can hold (4096). */
  instances?: number;
  /** Joint matrices one step can hold (16384). */
  joints?: number;
}
export interface MeshError extends Error { code: 'EMESH'; status: number }

export class Mesh {
  readonly id: number;
  readonly vertexCount: number;
  readonly skinned: boolean;
  /** Draws it this step placed by `matrix` (column-major); the drawMeshes command's word index. */
  draw(matrix: Floats, options?: MeshDrawOptions): number;
  /** Frees it in the addon; its id may be handed out again. */
  release(): void;
}
export class Model {
  readonly model: ModelDescription;
  readonly player: AnimationPlayer;
  readonly animations: string[];
  /** One Mesh per primitive, per glTF mesh. */
  readonly meshes: Mesh[][];
  play(name: string, options?: PlayOptions): this;
  stop(): this;
  update(dt: number): this;
  draw(matrix?: Floats, options?: { tint?: Floats }): this;
  release(): void;
}
export class MeshRenderer {
  constructor(buffers: SharedBuffers, commands: CommandWriter, options?: MeshRendererOptions);
  /** Copies the mesh into the addon's store; throws a MeshError when refused. */
  createMesh(mesh: MeshData): Mesh;
  /** A glTF 2.0 file (.gltf or .glb) with its base colour images in the atlas; rejects with a ModelError. */
  loadModel(file: string): Promise<Model>;
}
export function createMeshRenderer(buffers: SharedBuffers, commands: CommandWriter, options?: MeshRendererOptions): MeshRenderer;
/** Writes `mesh` as a mesh block (layout: native/gfx/core/meshkernels.h) into `buffer`. */
export function writeMeshBlock(buffer: ArrayBufferLike, mesh: MeshData): { vertexCount: number; flags: number; bytes: number };
export function meshBlockBytes(vertexCount: number, flags: number): number;
/** Moves each triangle's texture coordinates by whole images into the first one. */
export function wrapTriangleUvs(uvs: Floats): Float32Array;
export const MESH_FLAGS: Readonly<{ normals: 1; colors: 2; uvs: 4; skin: 8 }>;
export const BATCH: Readonly<{ solid: 0; transparent: 1; unculled: 2 }>;
export const MESH_STATUS: Readonly<Record<'MESH_NO_BLOCK' | 'MESH_BAD_BLOCK' | 'MESH_STORE_FULL' | 'MESH_UNKNOWN'
  | 'MESH_NOT_READY' | 'MESH_BAD_RANGE', number>>;
export const MESH_COUNT: number;
export const MAX_MESH_VERTICES: number;
