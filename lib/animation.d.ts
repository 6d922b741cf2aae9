// Typings of lib/animation.js: the animation player.
import type { Model, ModelChannel } from './gltf';

export interface PlayOptions { loop?: boolean; speed?: number; fade?: number; time?: number }
export class AnimationPlayer {
  constructor(model: Model);
  play(name: string, options?: PlayOptions): this;
  stop(): this;
  setSpeed(speed: number): this;
  /** Advances the clips and writes pose, world matrices and palettes; allocates nothing. */
  update(dt: number): this;
  readonly weight: number;
  readonly playing: string | null;
  readonly time: number;
  /** Local and world matrices, 16 floats a node (column-major), and views of each. */
  readonly local: Float32Array;
  readonly world: Float32Array;
  readonly localOf: Float32Array[];
  readonly worldOf: Float32Array[];
  /** One palette per skin: world(joint) x inverse bind, 16 floats a joint. */
  readonly palettes: Float32Array[];
}
export function sampleChannel(channel: Pick<ModelChannel, 'path' | 'interpolation' | 'times' | 'values'>, t: number,
  out: Float32Array): Float32Array;
export function keyBefore(times: Float32Array, t: number): number;
