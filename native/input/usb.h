// The USB controller adapter, read directly over bulk transfers: start-up finds and starts it,
// `pollUSB` reads one report per step into USB_BUFFER, `poll` announces it once, `quit` releases it.
#pragma once

namespace tsm::input {
// Finds, opens and starts the first adapter on the bus (module start-up); failures are logged.
void initUSB();
// Queues the one-time AdapterConnected record (run by `poll` after the SDL pump).
void announceAdapter();
// Releases the adapter and ends the USB library (last step of `quit`).
void closeUSB();

// pollUSB's work: one blocking report read into USB_BUFFER, copied as far as the block holds it;
// nothing without a connected adapter. A failed read logs and leaves the adapter unused.
void readAdapter();
}  // namespace tsm::input
