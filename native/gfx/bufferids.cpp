// Placeholder buffer id table: accepts the id.
#include "gfx/bufferids.h"

#include "bridge/args.h"

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";
}

napi_value setBuffers(napi_env env, napi_callback_info info) {
  bridge::Args<1> args(env, info, checkModule);
  return bridge::makeInt32(env, 0, checkModule);
}
}  // namespace tsm::gfx
