// The USB controller adapter, read directly over bulk transfers: start-up finds and starts it,
// `pollUSB` reads one report per step into USB_BUFFER, `poll` announces it once, `quit` releases it.
#pragma once
#include <node_api.h>

namespace tsm::input {
// Finds, opens and starts the first adapter on the bus (module start-up); failures are logged.
void initUSB();
// Queues the one-time AdapterConnected record (run by `poll` after the SDL pump).
void announceAdapter();
// Releases the adapter and ends the USB library (last step of `quit`).
void closeUSB();

// Host function: one blocking report read into USB_BUFFER.
napi_value pollUSB(napi_env env, napi_callback_info info);
}  // namespace tsm::input
