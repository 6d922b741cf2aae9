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

// Check the value's type: `t == napi_number`, `t == napi_string`, `t == napi_function`.
void expectNumber(napi_env env, napi_value value, const char* module);
void expectString(napi_env env, napi_value value, const char* module);
void expectFunction(napi_env env, napi_value value, const char* module);
// Conversions; a failing conversion (wrong type included) fails `status == napi_ok`.
uint32_t toU32(napi_env env, napi_value value, const char* module);
int32_t toI32(napi_env env, napi_value value, const char* module);
double toF64(napi_env env, napi_value value, const char* module);
bool toBool(napi_env env, napi_value value, const char* module);
// A number argument: `t == napi_number`, then its value.
double toNumber(napi_env env, napi_value value, const char* module);
// Copies a string as UTF-8 into `out` (room `capacity` bytes, terminator included); returns the
// bytes copied without the terminator.
size_t toUtf8(napi_env env, napi_value value, char* out, size_t capacity, const char* module);
// UTF-8 length of a string, without the terminator.
size_t utf8Length(napi_env env, napi_value value, const char* module);
// Copies string argument `value` (`t == napi_string`) into `out` (room `capacity` bytes). False when
// it does not fit or holds a NUL: as a C string it would end there and name something else.
bool toCString(napi_env env, napi_value value, char* out, size_t capacity, const char* module);

// The bytes of a Buffer or any Uint8Array.
struct ByteView {
  uint8_t* data;
  size_t length;
};
// A Uint8Array's (or Uint8ClampedArray's) bytes: `isTyped && "Isn't a Uint8Array?"`, then
// `type == napi_uint8_array || type == napi_uint8_clamped_array`.
ByteView toUint8Array(napi_env env, napi_value value, const char* module);

// Results. A failing creation fails `comm_status == napi_ok`.
napi_value makeInt32(napi_env env, int32_t value, const char* module);
napi_value makeDouble(napi_env env, double value, const char* module);
napi_value makeUndefined(napi_env env, const char* module);
// [values...] as an array of int32s; the array's own steps fail `s == napi_ok`.
napi_value makeInt32Array(napi_env env, const int32_t* values, uint32_t count, const char* module);

// --- checks with a text of the caller's own -----------------------------------------------------
// Some host functions have check texts of their own (`vtype == napi_number && "format not
// number"`, `status == napi_ok && "Unable to get path"`), part of their contract. These variants
// fail with such a text at the caller's line. CHECK_TEXT writes it as CHECK does: the expression
// exactly as written in the caller's source.
struct CheckText {
  const char* text;
  int line;
};
#define CHECK_TEXT(expression) (::tsm::bridge::CheckText{#expression, __LINE__})

// `vtype == TYPE && WHAT` on the value's type, `status == napi_ok` on the query, for a caller's
// message WHAT (a string literal): EXPECT_TYPE(env, v, napi_number, "format not number", module).
#define EXPECT_TYPE(env, value, type, what, module) \
  ::tsm::bridge::expectType((env), (value), (type), CHECK_TEXT(vtype == type && what), (module))
void expectType(napi_env env, napi_value value, napi_valuetype type, CheckText failed, const char* module);

// The conversions and results above, failing with the caller's text instead of the standard one.
uint32_t toU32(napi_env env, napi_value value, CheckText failed, const char* module);
size_t utf8Length(napi_env env, napi_value value, CheckText failed, const char* module);
size_t toUtf8(napi_env env, napi_value value, char* out, size_t capacity, CheckText failed, const char* module);
napi_value makeInt32(napi_env env, int32_t value, CheckText failed, const char* module);
napi_value makeString(napi_env env, const char* text, CheckText failed, const char* module);
// A Node Buffer's bytes: `status == napi_ok` on the query, then `notBuffer` when it is none and
// `noInfo` when its bytes cannot be had.
ByteView toBuffer(napi_env env, napi_value value, CheckText notBuffer, CheckText noInfo, const char* module);
}  // namespace tsm::bridge
