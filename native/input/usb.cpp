// Placeholder adapter: none is ever found.
#include "input/usb.h"

#include "bridge/args.h"

namespace tsm::input {
namespace {
constexpr const char* checkModule = "native";
}

void initUSB() {}
void announceAdapter() {}
void closeUSB() {}

napi_value pollUSB(napi_env env, napi_callback_info) { return bridge::makeInt32(env, 0, checkModule); }
}  // namespace tsm::input
