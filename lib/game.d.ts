// Typings of the game object (require('tessimarke/host').createGame).
import { SharedBuffers } from './buffers';
import { Graphics } from './graphics';
import { CommandWriter, FontName } from './commands';
import { InputState } from './input';
import { Loop } from './loop';
import { Model, Mesh, MeshRenderer } from './models';

export interface GameOptions {
  /** The window's title, 'Tessimarke' unless given. */
  title?: string;
  /** The window's size in pixels (1280 x 720 unless given); centred and shrunk to fit the display. */
  width?: number;
  height?: number;
  /** How much the addon says: 'errors' (default: its errors only), 'info', or 'all' (every line). */
  log?: 'errors' | 'info' | 'all';
  /** What a throw in the game's code does: 'screen' (shown until the window closes or Escape) or
   * 'exit' (at once); both quit cleanly with exit code 1. 'exit' by default when nobody can see
   * the window (CI set, no display, or no window manager). */
  onError?: 'screen' | 'exit';
  /** Check every vertex's arguments (slower). */
  debugChecks?: boolean;
  /** The direction the sunlight shines along, [-1, -2, -0.5] unless given; with `extent`, how far
   * (in metres each way around the middle) its shadows reach (24 unless given). */
  sun?: ArrayLike<number> | { direction?: ArrayLike<number>; extent?: number };
  /** The sun's whole light transform (16 numbers), in place of `sun`. */
  lightTransform?: ArrayLike<number>;
  quality?: { shadow?: number; ssao?: number; antialias?: number };
  /** Hold about `target` seconds a frame by moving the render scale between `min` (default 0.5) and 1. */
  frameBudget?: { target: number; min?: number };
  /** The fixed step in seconds (1/60) and the most steps run to catch up in one frame (5). */
  step?: number;
  maxSteps?: number;
  capacity?: { solid?: number; transparent?: number; unculled?: number; lights?: number; ui?: number };
  shaderDir?: string;
  uiScale?: number;
}

export interface RunOptions {
  /** Runs at the fixed step. */
  update?: (dt: number, game: Game) => void;
  /** Runs once a frame; alpha is how far between the last two steps the frame lies. */
  draw?: (alpha: number, game: Game) => void;
  onEvent?: (event: { type: string; code: number; [field: string]: unknown }, game: Game) => void;
  /** Stop after this many frames (0: run until the window closes or stop()). */
  frames?: number;
  /** false: exactly one step per frame (repeatable runs); true unless `frames` is given. */
  realTime?: boolean;
}

export interface SoundPlayOptions {
  gain?: number;
  pitch?: number;
  /** A place in the world, heard from the listener (the camera). */
  at?: ArrayLike<number>;
  /** A place relative to the listener. */
  offset?: ArrayLike<number>;
}
export class Sound {
  readonly id: number;
  readonly name: string;
  play(options?: SoundPlayOptions): Voice;
}
/** One playing of a sound: its source is known once the frame that played it has run (0 until
 * then, and when no source was free); stop, pause and gain wait for it. */
export class Voice {
  readonly source: number;
  stop(): this;
  pause(): this;
  gain(value: number): this;
}
export class Image {
  readonly id: number;
  readonly name: string;
  /** Where the image lies in the sprite atlas, in texels. */
  readonly x: number;
  readonly y: number;
  readonly width: number;
  readonly height: number;
}
export class Music {
  readonly file: string;
  /** true loops the whole file; { start, end } in seconds loops that part. */
  play(options?: { gain?: number; loop?: boolean | { start?: number; end?: number } }): number;
  /** false when no music was playing. */
  stop(): boolean;
}

export interface GameTextOptions {
  size?: number;
  font?: FontName | 0 | 1 | 2 | 3;
  align?: 'left' | 'center' | 'right';
  /** Wrap to this width in interface pixels. */
  width?: number;
  lineHeight?: number;
  outline?: boolean;
  /** [r, g, b] or [r, g, b, a], each 0-1; white unless given. */
  color?: ArrayLike<number>;
}

export class Game {
  readonly buffers: SharedBuffers;
  readonly gfx: Graphics;
  readonly commands: CommandWriter;
  readonly input: InputState;
  /** The last run's figures (frames, steps, time, ...), or null before run(). */
  readonly loop: Loop | null;
  /** The drawable size in pixels. */
  readonly width: number;
  readonly height: number;
  /** An Ogg Vorbis file, or raw PCM. */
  sound(source: string | { pcm: Uint8Array; format: string | number; sampleRate: number }): Sound;
  /** A PNG or JPEG file, or RGBA pixels. */
  image(source: string | { pixels: Uint8Array; width: number; height: number }): Image;
  /** A glTF 2.0 model drawn by the addon, with its animations: `const fox = await game.model('fox.glb');
   * fox.play('Walk');` then `fox.update(dt)` and `fox.draw(matrix)` each frame. */
  model(file: string): Promise<Model>;
  /** Mesh data of your own, handed to the addon once and drawn by it (see models.createMesh). */
  mesh(data: Parameters<MeshRenderer['createMesh']>[0]): Mesh;
  /** Music streamed from an Ogg Vorbis file when played. */
  music(file: string): Music;
  /** Text in the interface at (x, y) (the first baseline), in `color`. */
  text(text: string, x: number, y: number, options?: GameTextOptions): { lines: unknown[]; width: number; height: number };
  /** The camera at `eye` looking at `target`; the listener follows it. */
  camera(eye: ArrayLike<number>, target: ArrayLike<number>, options?: { fov?: number; near?: number; far?: number }): void;
  /** The last frame as a PNG file; its absolute path. */
  screenshot(file: string): string;
  /** Runs the game until the window closes, stop(), or `frames` frames. */
  run(options?: RunOptions): Loop;
  /** Ends run() after the current frame. */
  stop(): void;
}

/** Opens the window and sets everything up; one game per process. */
export function createGame(options?: GameOptions): Game;
