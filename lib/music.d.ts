// Typings of the kit's world sound and music (require('tessimarke/host').music).
import { CommandWriter } from './commands';

export const OP_LISTENER: 15;
export const OP_LISTENER_UP: 16;
export const OP_PLAY_AT: 17;
export const MAX_MUSIC_PATH: 4096;

declare module './commands' {
  interface CommandWriter {
    /** Command 15: the listener's place and the direction it faces. */
    listener(position: ArrayLike<number>, forward: ArrayLike<number>): number;
    /** Command 16: the listener's up vector (0, 1, 0 until set). */
    listenerUp(up: ArrayLike<number>): number;
    /** Command 17: play at a world position; the result is the source, or 0. */
    playAt(sound: number, options?: { gain?: number; pitch?: number; x?: number; y?: number; z?: number }): number;
  }
}

/** Adds listener, listenerUp and playAt to a CommandWriter class (done for the kit's own). */
export function extendCommandWriter<T extends typeof CommandWriter>(writer: T): T;
export interface MusicOptions {
  /** 1 unless given. */
  gain?: number;
  /** Seconds; the music loops back here. Without it the music plays once. */
  loopStart?: number;
  /** Seconds; where the loop ends (the file's end when 0 or absent). */
  loopEnd?: number;
}
/** Streams an Ogg Vorbis file; the source it plays on, or 0 without a device or free source. Throws
 * an Error with `code` (a Vorbis error code) for a file that cannot be read. */
export function play(path: string, options?: MusicOptions): number;
/** Stops the music; false when none was playing. */
export function stop(): boolean;
