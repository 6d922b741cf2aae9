// Typings of lib/meshes.js: meshes written into a solid or forward batch through a matrix.
import { SolidBatch, ForwardBatch, Floats } from './graphics';

export interface MeshOptions {
  /** [r, g, b] or [r, g, b, a] (alpha for forward batches); default DEFAULT_MESH_COLOR. */
  color?: Floats;
  /** Solid batch only: specular strength 0-1 (default 0). */
  specular?: number;
  /** Solid batch only: emission (default 0). */
  emission?: number;
  /** An image (game.image, or a textures rect or name) on the mesh, times the colour (white by default). */
  image?: { x: number; y: number; width: number; height: number } | string;
  /** How often the image repeats: a number or [u, v] (whole numbers on spheres and cylinders). */
  repeat?: number | Floats;
}
/** Boxes and planes may give the image's size in the world instead of a repeat count. */
export interface TileOptions { tile?: number; }
/** [0.8, 0.8, 0.8]: a light grey. */
export const DEFAULT_MESH_COLOR: readonly number[];
/** Each writes its triangles (counter-clockwise outside) through `matrix` (16 numbers, column-major;
 * null for none) and returns the index of its first vertex. */
export function box(batch: SolidBatch | ForwardBatch, matrix: Floats | null, options?: MeshOptions & TileOptions & { size?: number | Floats }): number;
/** In the x-z plane facing +y; size [x, z] (default 1 x 1); an image's top lies at the far (-z) edge. */
export function plane(batch: SolidBatch | ForwardBatch, matrix: Floats | null, options?: MeshOptions & TileOptions & { size?: number | Floats }): number;
/** radius 0.5, rings 12, segments 24 by default; an image wraps around once (equirectangular). */
export function sphere(batch: SolidBatch | ForwardBatch, matrix: Floats | null,
  options?: MeshOptions & { radius?: number; rings?: number; segments?: number }): number;
/** Around the y axis: radius 0.5, height 1, segments 24, caps true by default. */
export function cylinder(batch: SolidBatch | ForwardBatch, matrix: Floats | null,
  options?: MeshOptions & { radius?: number; height?: number; segments?: number; caps?: boolean }): number;
