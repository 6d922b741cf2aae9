// The input subsystem's host functions, registered from the bridge's one export table. Each checks
// and converts its arguments (bridge/args) and hands plain values to the subsystem.
#pragma once
#include <node_api.h>

namespace tsm::input {
// pollUSB() → 0: one blocking report read from the adapter into USB_BUFFER (none without one).
napi_value pollUSB(napi_env env, napi_callback_info info);
// copy(text) → SDL's result: puts the text (the first argument; further ones are ignored) on the
// clipboard.
napi_value copy(napi_env env, napi_callback_info info);
// paste() → the clipboard's text, "" when it holds none.
napi_value paste(napi_env env, napi_callback_info info);

// Extensions.
// enableEvent(type, on): 1 when `type` is an opt-in record type (now on or off), else 0.
napi_value enableEvent(napi_env env, napi_callback_info info);
}  // namespace tsm::input
