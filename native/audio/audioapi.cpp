// The audio subsystem's host functions: argument checks and conversions, then the plain calls of
// audio/sounds (loading) and audio/music (streaming). Counts and types are programming errors (the
// checks); values out of range are answered with a result. Callers: the host, between steps.
//
// Checks of the sound loaders report module "audio" with texts of their own; the extension exports
// (music) report "native", as every extension export does.
//
// Sections: sounds | music
#include "audio/audioapi.h"

#include <cstdlib>

#include "audio/audio.h"
#include "base/check.h"
#include "base/words.h"
#include "bridge/args.h"

namespace tsm::audio {
namespace {
constexpr const char* checkModule = "audio";
constexpr const char* extensionModule = "native";
}  // namespace

// --- sounds -------------------------------------------------------------------------------------

napi_value initALBuffer(napi_env env, napi_callback_info info) {
  bridge::Args<4> args(env, info, checkModule);
  const uint32_t id = bridge::toU32(env, args[0], checkModule);
  CHECK(id < alBufferCount);
  const bridge::ByteView pcm =
      bridge::toBuffer(env, args[1], CHECK_TEXT(isBuffer && "Isn't a buffer?"),
                       CHECK_TEXT(status == napi_ok && "Unable to get buffer info"), checkModule);
  EXPECT_TYPE(env, args[2], napi_number, "format not number", checkModule);
  const uint32_t format =
      bridge::toU32(env, args[2], CHECK_TEXT(status == napi_ok && "Unable to get format"), checkModule);
  EXPECT_TYPE(env, args[3], napi_number, "sampleRate not number", checkModule);
  const uint32_t sampleRate =
      bridge::toU32(env, args[3], CHECK_TEXT(status == napi_ok && "Unable to get sampleRate"), checkModule);
  return bridge::makeInt32(env, bufferPcm(id, pcm.data, pcm.length, format, sampleRate),
                           CHECK_TEXT(status == napi_ok && "Unable to create int"), checkModule);
}

napi_value loadAudio(napi_env env, napi_callback_info info) {
  bridge::Args<4> args(env, info, checkModule);
  const uint32_t id = bridge::toU32(env, args[0], checkModule);
  CHECK(id < alBufferCount);
  EXPECT_TYPE(env, args[1], napi_string, "path not string", checkModule);
  const size_t pathBytes =
      bridge::utf8Length(env, args[1], CHECK_TEXT(status == napi_ok && "Unable to get path"), checkModule);
  char* path = static_cast<char*>(std::malloc(pathBytes + 1));
  CHECK(path && "Out of memory");
  bridge::toUtf8(env, args[1], path, pathBytes + 1, CHECK_TEXT(status == napi_ok && "Unable to get path"), checkModule);
  EXPECT_TYPE(env, args[2], napi_number, "wordSize not number", checkModule);
  const uint32_t wordSize =
      bridge::toU32(env, args[2], CHECK_TEXT(status == napi_ok && "Unable to get wordSize"), checkModule);
  EXPECT_TYPE(env, args[3], napi_number, "channels not number", checkModule);
  const uint32_t channels =
      bridge::toU32(env, args[3], CHECK_TEXT(status == napi_ok && "Unable to get channels"), checkModule);
  const int32_t result = loadSound(id, path, pathBytes, wordSize, channels);
  std::free(path);
  return bridge::makeInt32(env, result, CHECK_TEXT(status == napi_ok && "Unable to create int"), checkModule);
}

// --- music --------------------------------------------------------------------------------------

napi_value playMusic(napi_env env, napi_callback_info info) {
  bridge::Args<4> args(env, info, extensionModule);
  char path[MAX_MUSIC_PATH + 1];
  const bool pathOk = bridge::toCString(env, args[0], path, sizeof path, extensionModule);
  const double gain = bridge::toNumber(env, args[1], extensionModule);
  const double loopStart = bridge::toNumber(env, args[2], extensionModule);
  const double loopEnd = bridge::toNumber(env, args[3], extensionModule);
  // OV_FALSE, as the decoder answers for a file it cannot open.
  if (!pathOk) return bridge::makeInt32(env, -1, extensionModule);
  return bridge::makeInt32(env, playMusic(path, wordToFloat(gain), loopStart, loopEnd), extensionModule);
}

napi_value stopMusic(napi_env env, napi_callback_info) { return bridge::makeInt32(env, stopMusic(), extensionModule); }
}  // namespace tsm::audio
