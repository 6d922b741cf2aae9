// The comparator for the command stream: a minimal addon whose one function does what command 12
// does (four numbers converted to single precision and stored), called once per command. Built by
// the benchmarks only; never part of the product.
#include <node_api.h>

namespace {
float textColor[4];

napi_value setTextColor(napi_env env, napi_callback_info info) {
  size_t argc = 4;
  napi_value args[4];
  if (napi_get_cb_info(env, info, &argc, args, nullptr, nullptr) != napi_ok || argc != 4) return nullptr;
  for (int c = 0; c < 4; ++c) {
    double v;
    if (napi_get_value_double(env, args[c], &v) != napi_ok) return nullptr;
    textColor[c] = static_cast<float>(v);
  }
  return nullptr;
}

napi_value getTextColor(napi_env env, napi_callback_info) {
  napi_value result;
  napi_create_double(env, textColor[0] + textColor[1] + textColor[2] + textColor[3], &result);
  return result;
}

napi_value init(napi_env env, napi_value exports) {
  const napi_property_descriptor properties[] = {
      {"setTextColor", nullptr, setTextColor, nullptr, nullptr, nullptr, napi_default, nullptr},
      {"getTextColor", nullptr, getTextColor, nullptr, nullptr, nullptr, napi_default, nullptr},
  };
  napi_define_properties(env, exports, 2, properties);
  return exports;
}
}  // namespace

NAPI_MODULE(NODE_GYP_MODULE_NAME, init)
