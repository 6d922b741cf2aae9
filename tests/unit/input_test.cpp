// The input core: growth of the controller table (indexed by joystick instance id) and the USB
// adapter's pure decisions.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "input/core/adapter.h"
#include "input/core/controllertable.h"

using namespace tsm::input;

// An empty table grows from 1 by doubling, a non-empty one doubles what it has (not a power of two);
// covered ids leave it alone, and the largest ids do not overflow.
TEST(ControllerTable, GrowsByDoublingUntilTheIdIsCovered) {
  const struct { int64_t capacity; int32_t id; int64_t grown; } cases[] = {
      {0, 0, 1}, {0, 1, 2}, {0, 3, 4}, {0, 4, 8}, {-5, 2, 4}, {4, 0, 4}, {4, 3, 4}, {3, 2, 3}, {4, 5, 8},
      {3, 3, 6}, {3, 7, 12}, {0, INT32_MAX, int64_t{1} << 31}, {1 << 30, INT32_MAX, int64_t{1} << 31},
  };
  for (const auto& c : cases) EXPECT_EQ(grownControllerCapacity(c.capacity, c.id), c.grown) << c.capacity << " " << c.id;
}

TEST(UsbAdapter, DeviceEndpointsAndLayoutVerdicts) {
  EXPECT_TRUE(isAdapter(ADAPTER_VENDOR_ID, ADAPTER_PRODUCT_ID));
  EXPECT_FALSE(isAdapter(ADAPTER_VENDOR_ID, 0x0306) || isAdapter(0x1234, ADAPTER_PRODUCT_ID) || isAdapter(ADAPTER_PRODUCT_ID, ADAPTER_VENDOR_ID));
  // Endpoints sort by direction, later ones win.
  AdapterEndpoints both, inOnly, outOnly;
  const AdapterEndpoints none;
  for (uint8_t address : {0x81, 0x02, 0x83, 0x04}) noteEndpoint(both, address);
  noteEndpoint(inOnly, 0x81), noteEndpoint(outOnly, 0x02);
  EXPECT_TRUE(both.reader == 0x83 && both.writer == 0x04 && inOnly.reader == 0x81 && inOnly.writer == 0);
  // Verdicts in order: interfaces, then altsettings, then both endpoints.
  const struct { int interfaces, altsettings; AdapterEndpoints endpoints; int result; } cases[] = {
      {1, 1, both, 0}, {0, 1, both, ADAPTER_NO_INTERFACES}, {0, 0, none, ADAPTER_NO_INTERFACES},
      {1, 0, both, ADAPTER_NO_ALTSETTINGS}, {1, 0, none, ADAPTER_NO_ALTSETTINGS}, {1, 1, inOnly, ADAPTER_NO_ENDPOINTS},
      {1, 1, outOnly, ADAPTER_NO_ENDPOINTS}, {2, 3, none, ADAPTER_NO_ENDPOINTS},
  };
  for (const auto& c : cases) EXPECT_EQ(adapterLayoutResult(c.interfaces, c.altsettings, c.endpoints), c.result) << c.interfaces << c.altsettings;
}

// Which kernel-driver results are logged: a platform that cannot tell whether a driver is bound says
// nothing about drivers, and giving the interface back when no driver wants it is the normal quit.
TEST(UsbAdapter, KernelDriverResultsThatAreLogged) {
  using Q = DriverQuery;
  constexpr int NOT_FOUND = USB_ERROR_NOT_FOUND, NOT_SUPPORTED = USB_ERROR_NOT_SUPPORTED;
  const struct { int code; Q query; bool detachFails, reattachFails; } cases[] = {
      {1, Q::Detach, false, false},         {0, Q::None, false, false},        {NOT_SUPPORTED, Q::None, true, false},
      {NOT_FOUND, Q::Failed, false, false}, {-1, Q::Failed, true, true},       {-3, Q::Failed, true, true},
      {-4, Q::Failed, true, true},          {-6, Q::Failed, true, true},       {-99, Q::Failed, true, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(classifyDriverQuery(c.code), c.query) << c.code;
    EXPECT_EQ(detachFailed(c.code), c.detachFails) << c.code;
    EXPECT_EQ(reattachFailed(c.code), c.reattachFails) << c.code;
  }
}

// Every block size from 0 to past a report, every received count: the block gets exactly
// min(received, size) report bytes, and nothing past them is touched; a missing block or report
// takes nothing.
TEST(UsbAdapter, StoringAReportNeverLeavesTheBlock) {
  std::vector<uint8_t> report(ADAPTER_REPORT_SIZE);
  for (int i = 0; i < ADAPTER_REPORT_SIZE; ++i) report[i] = static_cast<uint8_t>(0x40 + i);
  for (size_t size = 0; size <= ADAPTER_REPORT_SIZE + 3; ++size) {
    for (size_t received = 0; received <= ADAPTER_REPORT_SIZE; ++received) {
      std::vector<uint8_t> memory(size + 16, 0xEE);
      const size_t expected = received < size ? received : size;
      ASSERT_EQ(storeReport(memory.data(), size, report.data(), received), expected) << size << " " << received;
      for (size_t i = 0; i < memory.size(); ++i) ASSERT_EQ(memory[i], i < expected ? report[i] : 0xEE) << size << " " << received << " " << i;
    }
  }
  uint8_t block[4] = {9, 9, 9, 9};
  EXPECT_TRUE(storeReport(nullptr, 64, report.data(), ADAPTER_REPORT_SIZE) == 0 && storeReport(block, sizeof block, nullptr, 3) == 0 && block[0] == 9);
}
