// The audio subsystem's host functions, registered from the bridge's one export table. Each
// checks and converts its arguments (bridge/args) and hands plain values to the subsystem.
#pragma once
#include <node_api.h>

namespace tsm::audio {
// loadAudio(id, path, wordSize, channels): loadSound's result (0, -1, 1 or an OpenAL error code).
napi_value loadAudio(napi_env env, napi_callback_info info);
// initALBuffer(id, buffer, format, sampleRate): bufferPcm's result (0 or an OpenAL error code).
napi_value initALBuffer(napi_env env, napi_callback_info info);

// Extensions.
// playMusic(path, gain, loopStart, loopEnd): the source, 0 without a free source or device, a
// negative Vorbis error code for a file that cannot be read (-1 also for a path over MAX_MUSIC_PATH
// or with a NUL), -131 for a loop end before its start.
napi_value playMusic(napi_env env, napi_callback_info info);
// stopMusic(): 0, or 1 when no music was playing.
napi_value stopMusic(napi_env env, napi_callback_info info);
}  // namespace tsm::audio
