// Adapter decisions without the USB library. See adapter.h.
#include "input/core/adapter.h"

#include <cstring>

namespace tsm::input {
bool isAdapter(uint16_t vendorId, uint16_t productId) {
  return vendorId == ADAPTER_VENDOR_ID && productId == ADAPTER_PRODUCT_ID;
}

void noteEndpoint(AdapterEndpoints& endpoints, uint8_t address) {
  if (address & 0x80) {
    endpoints.reader = address;
  } else {
    endpoints.writer = address;
  }
}

int adapterLayoutResult(int interfaceCount, int altsettingCount, const AdapterEndpoints& endpoints) {
  if (interfaceCount <= 0) return ADAPTER_NO_INTERFACES;
  if (altsettingCount <= 0) return ADAPTER_NO_ALTSETTINGS;
  if (endpoints.reader == 0 || endpoints.writer == 0) return ADAPTER_NO_ENDPOINTS;
  return 0;
}

DriverQuery classifyDriverQuery(int activeResult) {
  if (activeResult == 1) return DriverQuery::Detach;
  if (activeResult >= 0 || activeResult == USB_ERROR_NOT_SUPPORTED) return DriverQuery::None;
  return DriverQuery::Failed;
}

bool detachFailed(int result) { return result < 0 && result != USB_ERROR_NOT_FOUND; }

bool reattachFailed(int result) {
  return result < 0 && result != USB_ERROR_NOT_FOUND && result != USB_ERROR_NOT_SUPPORTED;
}

size_t storeReport(uint8_t* block, uint64_t capacity, const uint8_t* report, size_t received) {
  if (!block || !report) return 0;
  const size_t count = received < capacity ? received : static_cast<size_t>(capacity);
  std::memcpy(block, report, count);
  return count;
}
}  // namespace tsm::input
