// Quality settings: three host functions that store a new shadow, ambient-occlusion or
// anti-aliasing level in every uniform set and mark it changed; the frame renderer sends it to the
// programs that declare the uniform with the next frame. No target, texture or sampling data changes.
// Callers: the host, between frames (a call before `ready` is overwritten when the sets are bound).
#include "gfx/quality.h"

#include "bridge/args.h"
#include "gfx/core/uniformset.h"
#include "gfx/pipelines.h"

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";

// The one argument of a setter as a 32-bit integer: the fraction is dropped, a non-finite number
// reads as 0, a larger one keeps its low 32 bits. A missing or extra argument fails `argc == 1`,
// a non-number `status == napi_ok`.
int32_t getQualityArgument(napi_env env, napi_callback_info info) {
  return bridge::toI32(env, bridge::singleArg(env, info, checkModule), checkModule);
}

napi_value setQuality(napi_env env, napi_callback_info info, Quality which) {
  const int32_t level = getQualityArgument(env, info);
  markQuality(allUniformSets, PIPELINE_COUNT, which, level);
  return bridge::makeUndefined(env, checkModule);
}
}  // namespace

napi_value setShadowQuality(napi_env env, napi_callback_info info) { return setQuality(env, info, SHADOW_QUALITY); }

napi_value setSsaoQuality(napi_env env, napi_callback_info info) { return setQuality(env, info, SSAO_QUALITY); }

napi_value setAntialias(napi_env env, napi_callback_info info) { return setQuality(env, info, ANTIALIAS); }
}  // namespace tsm::gfx
