// The USB controller adapter's fixed facts and the decisions of its start-up, read and shutdown
// that need no USB library: which device is the adapter, which endpoints it reads and writes, which
// library results are worth a log line, and how a report is stored into a shared block of any
// size. No libusb here; native/input/usb.cpp does the USB work and asks these functions.
#pragma once
#include <cstddef>
#include <cstdint>

#include "contract.h"

namespace tsm::input {
// USB vendor and product id of the adapter; only the first device with both is opened.
constexpr uint16_t ADAPTER_VENDOR_ID = 0x057E;
constexpr uint16_t ADAPTER_PRODUCT_ID = 0x0337;
// The interface the adapter's endpoints live on.
constexpr int ADAPTER_INTERFACE = 0;
// The one-byte command written once to the OUT endpoint that starts the adapter's reports.
constexpr uint8_t ADAPTER_INIT_COMMAND = 0x13;
// Bytes in one report; one blocking read asks for exactly this many.
constexpr int ADAPTER_REPORT_SIZE = contract::ADAPTER_REPORT_SIZE;

// Results of opening the adapter besides 0 and the library's negative error codes.
constexpr int ADAPTER_NO_INTERFACES = 100;
constexpr int ADAPTER_NO_ALTSETTINGS = 101;
constexpr int ADAPTER_NO_ENDPOINTS = 102;

// The two library error codes the kernel-driver steps treat as "nothing to do". They equal the
// library's LIBUSB_ERROR_NOT_FOUND and LIBUSB_ERROR_NOT_SUPPORTED (usb.cpp asserts so at compile time).
constexpr int USB_ERROR_NOT_FOUND = -5;
constexpr int USB_ERROR_NOT_SUPPORTED = -12;

// True for the adapter's vendor and product id.
bool isAdapter(uint16_t vendorId, uint16_t productId);

// The bulk endpoints found so far; 0 means none of that direction yet.
struct AdapterEndpoints {
  uint8_t reader = 0;  // IN: address with bit 7 set
  uint8_t writer = 0;  // OUT: bit 7 clear
};

// Files one endpoint address by direction; a later endpoint of a direction replaces an earlier one.
void noteEndpoint(AdapterEndpoints& endpoints, uint8_t address);

// The open step's verdict on the configuration's shape: ADAPTER_NO_INTERFACES,
// ADAPTER_NO_ALTSETTINGS, ADAPTER_NO_ENDPOINTS (either endpoint missing), or 0.
int adapterLayoutResult(int interfaceCount, int altsettingCount, const AdapterEndpoints& endpoints);

// What to do after asking whether a kernel driver holds the interface.
enum class DriverQuery {
  Detach,  // 1: a driver is bound; detach it
  None,    // 0, or the platform cannot tell (NOT_SUPPORTED): nothing to do, nothing logged
  Failed,  // any other negative code: log it and go on
};
DriverQuery classifyDriverQuery(int activeResult);

// Whether a detach result deserves its error line: a failure other than "no driver bound".
bool detachFailed(int result);
// Whether a reattach result deserves its error line: a failure other than "no driver to give the
// interface back to" (NOT_FOUND) or "not possible on this platform" (NOT_SUPPORTED).
bool reattachFailed(int result);

// Copies the `received` bytes of a report into a block of `capacity` bytes, as far as the block
// holds them; the rest of the block keeps its bytes. A null block takes nothing. Returns the
// bytes copied.
size_t storeReport(uint8_t* block, uint64_t capacity, const uint8_t* report, size_t received);
}  // namespace tsm::input
