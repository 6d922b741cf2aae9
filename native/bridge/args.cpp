// Argument fetching, checking and conversion for host-facing functions. See args.h.
#include "bridge/args.h"

#include <cstring>

namespace tsm::bridge {
namespace {
// Fails with the caller's text and line unless `ok`.
void require(bool ok, CheckText failed, const char* module) {
  if (!ok) checkFailed(failed.text, module, failed.line);
}
}  // namespace

napi_value firstArg(napi_env env, napi_callback_info info, const char* module) {
  size_t argc = 1;
  napi_value arg;
  napi_status status = napi_get_cb_info(env, info, &argc, &arg, nullptr, nullptr);
  CHECK_IN(module, status == napi_ok);
  return arg;
}

napi_value singleArg(napi_env env, napi_callback_info info, const char* module) {
  size_t argc = 1;
  napi_value arg;
  napi_status status = napi_get_cb_info(env, info, &argc, &arg, nullptr, nullptr);
  CHECK_IN(module, status == napi_ok);
  CHECK_IN(module, argc == 1);
  return arg;
}

void expectNumber(napi_env env, napi_value value, const char* module) {
  expectType(env, value, napi_number, CHECK_TEXT(t == napi_number), module);
}

void expectString(napi_env env, napi_value value, const char* module) {
  expectType(env, value, napi_string, CHECK_TEXT(t == napi_string), module);
}

void expectFunction(napi_env env, napi_value value, const char* module) {
  expectType(env, value, napi_function, CHECK_TEXT(t == napi_function), module);
}

uint32_t toU32(napi_env env, napi_value value, const char* module) {
  uint32_t result;
  napi_status status = napi_get_value_uint32(env, value, &result);
  CHECK_IN(module, status == napi_ok);
  return result;
}

int32_t toI32(napi_env env, napi_value value, const char* module) {
  int32_t result;
  napi_status status = napi_get_value_int32(env, value, &result);
  CHECK_IN(module, status == napi_ok);
  return result;
}

double toF64(napi_env env, napi_value value, const char* module) {
  double result;
  napi_status status = napi_get_value_double(env, value, &result);
  CHECK_IN(module, status == napi_ok);
  return result;
}

bool toBool(napi_env env, napi_value value, const char* module) {
  bool result;
  napi_status status = napi_get_value_bool(env, value, &result);
  CHECK_IN(module, status == napi_ok);
  return result;
}

double toNumber(napi_env env, napi_value value, const char* module) {
  expectNumber(env, value, module);
  return toF64(env, value, module);
}

size_t toUtf8(napi_env env, napi_value value, char* out, size_t capacity, const char* module) {
  size_t copied = 0;
  napi_status status = napi_get_value_string_utf8(env, value, out, capacity, &copied);
  CHECK_IN(module, status == napi_ok);
  return copied;
}

size_t utf8Length(napi_env env, napi_value value, const char* module) {
  size_t length = 0;
  napi_status status = napi_get_value_string_utf8(env, value, nullptr, 0, &length);
  CHECK_IN(module, status == napi_ok);
  return length;
}

bool toCString(napi_env env, napi_value value, char* out, size_t capacity, const char* module) {
  expectString(env, value, module);
  const size_t length = utf8Length(env, value, module);
  if (length + 1 > capacity) return false;
  const size_t copied = toUtf8(env, value, out, capacity, module);
  return copied == length && std::strlen(out) == length;
}

ByteView toUint8Array(napi_env env, napi_value value, const char* module) {
  bool isTyped = false;
  napi_status status = napi_is_typedarray(env, value, &isTyped);
  CHECK_IN(module, status == napi_ok);
  CHECK_IN(module, isTyped && "Isn't a Uint8Array?");
  napi_typedarray_type type;
  void* data = nullptr;
  size_t length = 0;
  status = napi_get_typedarray_info(env, value, &type, &length, &data, nullptr, nullptr);
  CHECK_IN(module, status == napi_ok);
  CHECK_IN(module, type == napi_uint8_array || type == napi_uint8_clamped_array);
  return {static_cast<uint8_t*>(data), length};
}

napi_value makeInt32(napi_env env, int32_t value, const char* module) {
  napi_value result;
  napi_status comm_status = napi_create_int32(env, value, &result);
  CHECK_IN(module, comm_status == napi_ok);
  return result;
}

napi_value makeDouble(napi_env env, double value, const char* module) {
  napi_value result;
  napi_status comm_status = napi_create_double(env, value, &result);
  CHECK_IN(module, comm_status == napi_ok);
  return result;
}

napi_value makeUndefined(napi_env env, const char* module) {
  napi_value result;
  napi_status comm_status = napi_get_undefined(env, &result);
  CHECK_IN(module, comm_status == napi_ok);
  return result;
}

napi_value makeInt32Array(napi_env env, const int32_t* values, uint32_t count, const char* module) {
  napi_value array;
  napi_status s = napi_create_array_with_length(env, count, &array);
  CHECK_IN(module, s == napi_ok);
  for (uint32_t i = 0; i < count; ++i) {
    s = napi_set_element(env, array, i, makeInt32(env, values[i], module));
    CHECK_IN(module, s == napi_ok);
  }
  return array;
}

// --- checks with a text of the caller's own -------------------------------------------------------

void expectType(napi_env env, napi_value value, napi_valuetype type, CheckText failed, const char* module) {
  napi_valuetype vtype;
  napi_status status = napi_typeof(env, value, &vtype);
  CHECK_IN(module, status == napi_ok);
  require(vtype == type, failed, module);
}

uint32_t toU32(napi_env env, napi_value value, CheckText failed, const char* module) {
  uint32_t result = 0;
  require(napi_get_value_uint32(env, value, &result) == napi_ok, failed, module);
  return result;
}

size_t utf8Length(napi_env env, napi_value value, CheckText failed, const char* module) {
  size_t length = 0;
  require(napi_get_value_string_utf8(env, value, nullptr, 0, &length) == napi_ok, failed, module);
  return length;
}

size_t toUtf8(napi_env env, napi_value value, char* out, size_t capacity, CheckText failed, const char* module) {
  size_t copied = 0;
  require(napi_get_value_string_utf8(env, value, out, capacity, &copied) == napi_ok, failed, module);
  return copied;
}

napi_value makeInt32(napi_env env, int32_t value, CheckText failed, const char* module) {
  napi_value result;
  require(napi_create_int32(env, value, &result) == napi_ok, failed, module);
  return result;
}

napi_value makeString(napi_env env, const char* text, CheckText failed, const char* module) {
  napi_value result;
  require(napi_create_string_utf8(env, text, NAPI_AUTO_LENGTH, &result) == napi_ok, failed, module);
  return result;
}

ByteView toBuffer(napi_env env, napi_value value, CheckText notBuffer, CheckText noInfo, const char* module) {
  bool isBuffer = false;
  napi_status status = napi_is_buffer(env, value, &isBuffer);
  CHECK_IN(module, status == napi_ok);
  require(isBuffer, notBuffer, module);
  void* data = nullptr;
  size_t length = 0;
  require(napi_get_buffer_info(env, value, &data, &length) == napi_ok, noInfo, module);
  return {static_cast<uint8_t*>(data), length};
}
}  // namespace tsm::bridge
