// Placeholder audio subsystem: no device, no sources, no sounds. Every command takes the path of a
// pool with no source in it.
#include "audio/audio.h"

#include "bridge/args.h"

namespace tsm::audio {
namespace {
constexpr const char* checkModule = "audio";
}

int initAudio() { return 1; }
const char* initAudioErrorText(int) { return "no audio device"; }
void closeAudio() {}
void reclaimSources() {}
double playSound(uint32_t, float, float, const float*) { return 0; }
double pauseSource(int32_t) { return 1; }
double stopSource(int32_t) { return 1; }
double setSourceGain(int32_t, float) { return 0; }
double stopAll() { return 0; }
double pauseAll() { return 0; }
double resumeAll() { return 0; }

napi_value loadAudio(napi_env env, napi_callback_info info) {
  bridge::Args<4> args(env, info, checkModule);
  return bridge::makeInt32(env, 1, checkModule);
}

napi_value initALBuffer(napi_env env, napi_callback_info info) {
  bridge::Args<4> args(env, info, checkModule);
  return bridge::makeInt32(env, 0, checkModule);
}
}  // namespace tsm::audio
