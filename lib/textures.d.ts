// Typings of the kit's images (require('tessimarke/host').textures).
import { SolidBatch, ForwardBatch, UiBatch } from './host';

export const IMAGE_COUNT: 256;
export const MAX_IMAGE_SIDE: 2046;
export const MAX_IMAGE_PATH: 4096;

/** Where an image lies in the sprite atlas, in texels (t grows downwards in the image). */
export interface ImageRect { readonly id: number; readonly x: number; readonly y: number; readonly width: number; readonly height: number; }
/** An image by name or by its rectangle. */
export type ImageRef = string | ImageRect;

/** Loads a PNG or JPEG file as image `name`. Throws an Error with `status` when refused. */
export function load(name: string, path: string): ImageRect;
/** Puts width x height RGBA pixels (rows top first) in as image `name`. */
export function fromPixels(name: string, rgba: Uint8Array, width: number, height: number): ImageRect;
export function get(name: string): ImageRect | undefined;
/** The texel at (u, v) of an image, u left to right, v top to bottom, both 0..1. */
export function texel(image: ImageRef, u: number, v: number): [number, number];
/** A solid vertex coloured by the image at (u, v) times `color` (white). */
export function solidVertex(batch: SolidBatch, position: ArrayLike<number>, normal: ArrayLike<number>, image: ImageRef,
  u: number, v: number, options?: { color?: ArrayLike<number>; specular?: number; emission?: number }): void;
/** A transparent or unculled vertex coloured by the image at (u, v), its opacity times `alpha`. */
export function forwardVertex(batch: ForwardBatch, position: ArrayLike<number>, normal: ArrayLike<number>, image: ImageRef,
  u: number, v: number, options?: { alpha?: number; brightness?: number }): void;
/** An interface sprite between the corners (x0, y0) and (x1, y1), in interface pixels. */
export function uiSprite(ui: UiBatch, image: ImageRef, x0: number, y0: number, x1: number, y1: number,
  options?: { alpha?: number; brightness?: number; uv?: [number, number, number, number] }): void;
