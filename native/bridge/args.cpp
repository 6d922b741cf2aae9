// Argument fetching, checking and conversion for host-facing functions. See args.h.
#include "bridge/args.h"

namespace tsm::bridge {
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
  napi_valuetype t;
  napi_status status = napi_typeof(env, value, &t);
  CHECK_IN(module, status == napi_ok);
  CHECK_IN(module, t == napi_number);
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
}  // namespace tsm::bridge
