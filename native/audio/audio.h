// Audio: the OpenAL device and context, the reverb, the pool of 64 sources and the 256-entry sound
// table. Start-up and shutdown are driven by the module entry; the sound commands by `tick`.
#pragma once
#include <node_api.h>

#include <cstdint>

namespace tsm::audio {
// Sound ids 0..255.
constexpr uint32_t alBufferCount = 256;

// Opens the device, context, reverb and source pool. 0 on success, nonzero otherwise.
int initAudio();
// Text for "Error initializing OpenAL: %s\n" given initAudio's result; never null.
const char* initAudioErrorText(int result);
// Deletes the sound buffers, sources, effect slot and effects; closes context and device.
void closeAudio();

// Returns finished sources to the free list (start of every tick).
void reclaimSources();
// Commands of the command stream; each returns the command's result.
double playSound(uint32_t soundId, float gain, float pitch, const float position[3]);
double pauseSource(int32_t source);
double stopSource(int32_t source);
double setSourceGain(int32_t source, float gain);
double stopAll();
double pauseAll();
double resumeAll();

// Decodes the Ogg Vorbis file at `path` into sound `id` (below alBufferCount) as `wordSize`-byte
// samples with `channels` channels. 0 on success, -1 for an unsupported (wordSize, channels) pair,
// 1 when the file cannot be opened or its sound cannot be held, otherwise the OpenAL error code.
int32_t decodeOgg(const char* path, uint32_t id, uint32_t wordSize, uint32_t channels);

// Host functions.
napi_value loadAudio(napi_env env, napi_callback_info info);
napi_value initALBuffer(napi_env env, napi_callback_info info);
}  // namespace tsm::audio
