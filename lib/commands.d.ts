// Typings of lib/commands.js: the command writer.
import { SharedBuffers } from './buffers';

export const SOUND_COUNT: 256;
/** Sources the kit has seen handed out (play results read back, music): pause, stop and gain take only these or 0. */
export const knownSources: Set<number>;

/** Opcodes by the addon's names, from the host contract (contract/host.js). */
export const OP: Readonly<{
  PLAY_SOUND: 1; PAUSE_SOURCE: 2; STOP_SOURCE: 3; SET_SOURCE_GAIN: 4; STOP_ALL: 5; PAUSE_ALL: 6; RESUME_ALL: 7;
  TOGGLE_FULLSCREEN: 8; LOG_TEXT: 9; LAYOUT_TEXT: 10; TEXT_COLOR: 12; RESERVED: 13; LISTENER: 15; LISTENER_UP: 16;
  PLAY_SOUND_AT: 17;
}>;
export interface CommandInfo { readonly name: string; readonly opcode: number; readonly words: number; readonly operands: readonly string[]; }
/** Each command by its method name: opcode, words (the opcode included) and operand names. */
export const COMMANDS: { readonly [name: string]: CommandInfo };
export type FontName = 'fallback' | 'mono' | 'sans';
export const FONT: Readonly<{ fallback: 0; mono: 1; sans: 2 }>;
export const FONT_OUTLINE: 4;
/** The face number of a font name or number 0-3; throws naming the accepted names otherwise. */
export function fontFace(font: FontName | number, what?: string): 0 | 1 | 2 | 3;

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

/** One step's commands. Each method returns the command's word index, for result() after tick().
 * Unknown option names throw. */
export class CommandWriter {
  constructor(buffers: SharedBuffers);
  /** Command words the blocks hold. */
  readonly capacity: number;
  /** Words written this step. */
  readonly length: number;
  /** Result: the source, or 0 when none was free. */
  play(sound: number, options?: PlayOptions): number;
  /** As play, at a world position the listener moves through; the result is the source, or 0. */
  playAt(sound: number, options?: PlayOptions): number;
  /** The listener's place and the direction it faces. */
  listener(position: ArrayLike<number>, forward: ArrayLike<number>): number;
  /** The listener's up vector (0, 1, 0 until set). */
  listenerUp(up: ArrayLike<number>): number;
  /** Instance records [first, first + count) of block `block` drawn from the addon's mesh store, joint
   * matrices from block `palette` (-1: none); result: vertices written, or a negative mesh status. */
  drawMeshes(block: number, first: number, count: number, palette: number): number;
  /** Opcode 13, which the addon runs as a no-op (four numbers). */
  reserved(a: number, b: number, c: number, d: number): number;
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

