// The one argument helper of every host-facing function: fetch the declared number of arguments,
// check count and types with the standard check texts, convert, and create results. Checks report
// the calling file's module, which each caller passes as `module`.
#pragma once
#include <node_api.h>

#include <cstddef>
#include <cstdint>

#include "base/check.h"

namespace tsm::bridge {
// Fetches exactly N arguments: `argc == lengthof(args)`.
template <size_t N>
struct Args {
  napi_env env;
  const char* module;
  napi_value args[N];

  Args(napi_env env_, napi_callback_info info, const char* module_) : env(env_), module(module_) {
    size_t argc = N;
    napi_status status = napi_get_cb_info(env, info, &argc, args, nullptr, nullptr);
    CHECK_IN(module, status == napi_ok);
    CHECK_IN(module, argc == lengthof(args));
  }

  napi_value operator[](size_t i) const { return args[i]; }
};

// Fetches the first argument without checking the count (missing arguments read as undefined).
napi_value firstArg(napi_env env, napi_callback_info info, const char* module);
// Fetches exactly one argument: `argc == 1`.
napi_value singleArg(napi_env env, napi_callback_info info, const char* module);

// Checks `t == napi_number` on the value's type.
void expectNumber(napi_env env, napi_value value, const char* module);
// Conversions; a failing conversion (wrong type included) fails `status == napi_ok`.
uint32_t toU32(napi_env env, napi_value value, const char* module);
int32_t toI32(napi_env env, napi_value value, const char* module);
double toF64(napi_env env, napi_value value, const char* module);
bool toBool(napi_env env, napi_value value, const char* module);
// Copies a string as UTF-8 into `out` (room `capacity` bytes, terminator included); returns the
// bytes copied without the terminator.
size_t toUtf8(napi_env env, napi_value value, char* out, size_t capacity, const char* module);
// UTF-8 length of a string, without the terminator.
size_t utf8Length(napi_env env, napi_value value, const char* module);

// Results. A failing creation fails `comm_status == napi_ok`.
napi_value makeInt32(napi_env env, int32_t value, const char* module);
napi_value makeDouble(napi_env env, double value, const char* module);
napi_value makeUndefined(napi_env env, const char* module);
}  // namespace tsm::bridge
