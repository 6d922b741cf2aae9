// The retained-mesh host functions. See meshapi.h. Any number is accepted: NaN, fractions and
// values out of range are answered with a status, never a check.
#include "gfx/meshapi.h"

#include "bridge/args.h"
#include "gfx/meshes.h"

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";

// A number argument as an id: values outside int64 (and NaN) become -1, which no table holds.
int64_t idArg(napi_env env, napi_value value) {
  bridge::expectNumber(env, value, checkModule);
  const double v = bridge::toF64(env, value, checkModule);
  return v >= 0.0 && v < 9.0e15 && v == static_cast<double>(static_cast<int64_t>(v)) ? static_cast<int64_t>(v) : -1;
}
}  // namespace

napi_value createMeshApi(napi_env env, napi_callback_info info) {
  bridge::Args<1> args(env, info, checkModule);
  return bridge::makeInt32(env, createMesh(idArg(env, args[0])), checkModule);
}

napi_value releaseMeshApi(napi_env env, napi_callback_info info) {
  bridge::Args<1> args(env, info, checkModule);
  return bridge::makeInt32(env, releaseMesh(idArg(env, args[0])), checkModule);
}
}  // namespace tsm::gfx
