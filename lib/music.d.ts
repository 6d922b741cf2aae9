// Typings of the kit's streamed music (require('tessimarke/host').music).
export const MAX_MUSIC_PATH: 4096;

export interface MusicOptions {
  /** 1 unless given. */
  gain?: number;
  /** true: loop the whole file (from loopStart when given); false: play once. */
  loop?: boolean;
  /** Seconds; the music loops back here. Without it the music plays once. */
  loopStart?: number;
  /** Seconds; where the loop ends (the file's end when 0 or absent). */
  loopEnd?: number;
}
/** Streams an Ogg Vorbis file; the source it plays on, or 0 without a device or free source. Throws
 * an Error with code 'ERR_FILE' and `status` (a Vorbis error code) for a file that cannot be read. */
export function play(path: string, options?: MusicOptions): number;
/** Stops the music; false when none was playing. */
export function stop(): boolean;
