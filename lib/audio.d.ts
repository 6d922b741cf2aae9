// Typings of lib/audio.js: sound loading.
export const PCM_FORMAT: Readonly<{ mono8: 4352; mono16: 4353; stereo8: 4354; stereo16: 4355 }>;
/** Decodes an Ogg Vorbis file (wordSize 2, channels 1 by default) into sound `id`. Throws for a
 * missing, unreadable or undecodable file; returns 0 or an OpenAL error code (no device included). */
export function loadSound(id: number, file: string, options?: { wordSize?: 1 | 2; channels?: 1 | 2 }): number;
/** Raw PCM of whole frames into sound `id`: 0 or an OpenAL error code. */
export function loadPcm(id: number, data: Uint8Array,
  options: { format: keyof typeof PCM_FORMAT | 4352 | 4353 | 4354 | 4355; sampleRate: number }): number;
