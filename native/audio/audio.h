// Audio: the OpenAL device and context, the reverb, the pool of 64 sources and the 256-entry sound
// table. Start-up and shutdown are driven by the module entry; the sound commands by `tick`.
#pragma once
#include <cstddef>
#include <cstdint>

#include "contract.h"

namespace tsm::audio {
// Sound ids 0..255.
constexpr uint32_t alBufferCount = contract::SOUND_COUNT;

// Opens the device, context, reverb and source pool. 0 on success, nonzero otherwise.
int initAudio();
// Text for "Error initializing OpenAL: %s\n" given initAudio's result; never null.
const char* initAudioErrorText(int result);
// Deletes the sound buffers, sources, effect slot and effects; closes context and device.
void closeAudio();

// Returns finished sources to the free list (start of every tick).
void reclaimSources();
// Commands of the command stream; each returns the command's result.
// `world`: the position is in the world (placed against the listener) instead of relative to it.
double playSound(uint32_t soundId, float gain, float pitch, const float position[3], bool world = false);
double pauseSource(int32_t source);
double stopSource(int32_t source);
double setSourceGain(int32_t source, float gain);
double stopAll();
double pauseAll();
double resumeAll();

// Extensions (audio/listener, audio/music).
// Command 15: the listener's position and the direction it faces; 0, or 1 for a non-finite value,
// a zero direction or an OpenAL error.
double setListener(const float position[3], const float forward[3]);
// Command 16: the listener's up vector (default 0, 1, 0); 0 or 1 as command 15.
double setListenerUp(const float up[3]);
// Command 17: as command 1, the position in the world; the source follows the listener's moves.
double playSoundAt(uint32_t soundId, float gain, float pitch, const float position[3]);
// Run by `tick` before the pool reclaims finished sources: refills the music stream and returns
// finished world-positioned sources to listener-relative. Does nothing when neither is in use.
void streamAudio();

// Longest music path in bytes.
constexpr size_t MAX_MUSIC_PATH = contract::MAX_MUSIC_PATH;
// Streams the Ogg Vorbis file at `path` on a source of the pool (so stop, pause and resume all
// reach it), replacing any music playing. Loops from `loopStart` (seconds; negative: no loop) to
// `loopEnd` (seconds; 0 or less: the end of the file). The source (positive), 0 when no source is
// free or there is no device, a negative Vorbis error code when the file cannot be read, or
// OV_EINVAL (-131) for a loop end before its start or a gain that is negative or not finite.
int32_t playMusic(const char* path, float gain, double loopStart, double loopEnd);
// Stops the music and gives its source back at the next tick; 0, or 1 when none was playing.
int32_t stopMusic();
// Releases the music stream and its buffers (run by closeAudio while the context is current).
void closeMusic();

// Decodes the Ogg Vorbis file at `path` into sound `id` (below alBufferCount) as `wordSize`-byte
// samples with `channels` channels. 0 on success, -1 for an unsupported (wordSize, channels) pair,
// 1 when the file cannot be opened or its sound cannot be held, otherwise the OpenAL error code.
int32_t decodeOgg(const char* path, uint32_t id, uint32_t wordSize, uint32_t channels);
// loadAudio's work: decodeOgg, except that a path of `pathBytes` bytes holding a NUL (it names no
// file) is refused with decodeOgg's line for a file that cannot be opened, and 1.
int32_t loadSound(uint32_t id, const char* path, size_t pathBytes, uint32_t wordSize, uint32_t channels);
// initALBuffer's work: buffers `bytes` of PCM at `data` in OpenAL `format` at `sampleRate` into sound
// `id` (below alBufferCount). 0, or the OpenAL error code (logged; the id then plays nothing).
int32_t bufferPcm(uint32_t id, const void* data, size_t bytes, uint32_t format, uint32_t sampleRate);
}  // namespace tsm::audio
