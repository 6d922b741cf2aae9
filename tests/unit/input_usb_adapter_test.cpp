// The adapter's pure decisions: device match, endpoint choice, configuration verdicts, which
// kernel-driver results are logged, and storing a report into blocks of every size.
#include <gtest/gtest.h>

#include <vector>

#include "input/core/adapter.h"

using namespace tsm::input;

TEST(UsbAdapter, MatchesOnlyVendorAndProductTogether) {
  EXPECT_TRUE(isAdapter(0x057E, 0x0337));
  EXPECT_FALSE(isAdapter(0x057E, 0x0306));
  EXPECT_FALSE(isAdapter(0x1234, 0x0337));
  EXPECT_FALSE(isAdapter(0x0337, 0x057E));
}

TEST(UsbAdapter, EndpointsSortByDirectionAndLaterOnesWin) {
  AdapterEndpoints e;
  noteEndpoint(e, 0x81);
  noteEndpoint(e, 0x02);
  EXPECT_EQ(e.reader, 0x81);
  EXPECT_EQ(e.writer, 0x02);
  noteEndpoint(e, 0x83);
  noteEndpoint(e, 0x04);
  EXPECT_EQ(e.reader, 0x83);
  EXPECT_EQ(e.writer, 0x04);

  AdapterEndpoints inOnly;
  noteEndpoint(inOnly, 0x81);
  EXPECT_EQ(inOnly.reader, 129);
  EXPECT_EQ(inOnly.writer, 0);
}

TEST(UsbAdapter, LayoutVerdictsComeInOrder) {
  AdapterEndpoints both;
  noteEndpoint(both, 0x81);
  noteEndpoint(both, 0x02);
  AdapterEndpoints inOnly;
  noteEndpoint(inOnly, 0x81);
  AdapterEndpoints outOnly;
  noteEndpoint(outOnly, 0x02);
  const AdapterEndpoints none;

  EXPECT_EQ(adapterLayoutResult(1, 1, both), 0);
  EXPECT_EQ(adapterLayoutResult(0, 1, both), ADAPTER_NO_INTERFACES);
  EXPECT_EQ(adapterLayoutResult(0, 0, none), ADAPTER_NO_INTERFACES);
  EXPECT_EQ(adapterLayoutResult(1, 0, both), ADAPTER_NO_ALTSETTINGS);
  EXPECT_EQ(adapterLayoutResult(1, 0, none), ADAPTER_NO_ALTSETTINGS);
  EXPECT_EQ(adapterLayoutResult(1, 1, inOnly), ADAPTER_NO_ENDPOINTS);
  EXPECT_EQ(adapterLayoutResult(1, 1, outOnly), ADAPTER_NO_ENDPOINTS);
  EXPECT_EQ(adapterLayoutResult(2, 3, none), ADAPTER_NO_ENDPOINTS);
  EXPECT_EQ(ADAPTER_NO_INTERFACES, 100);
  EXPECT_EQ(ADAPTER_NO_ALTSETTINGS, 101);
  EXPECT_EQ(ADAPTER_NO_ENDPOINTS, 102);
}

TEST(UsbAdapter, KernelDriverResultsThatAreLogged) {
  EXPECT_EQ(classifyDriverQuery(1), DriverQuery::Detach);
  EXPECT_EQ(classifyDriverQuery(0), DriverQuery::None);
  // A platform that cannot tell whether a driver is bound says nothing about drivers.
  EXPECT_EQ(classifyDriverQuery(USB_ERROR_NOT_SUPPORTED), DriverQuery::None);
  for (int code : {-1, -3, -4, USB_ERROR_NOT_FOUND, -6, -99}) {
    EXPECT_EQ(classifyDriverQuery(code), DriverQuery::Failed) << code;
  }

  EXPECT_FALSE(detachFailed(0));
  EXPECT_FALSE(detachFailed(USB_ERROR_NOT_FOUND));
  EXPECT_TRUE(detachFailed(-1));
  EXPECT_TRUE(detachFailed(-4));
  EXPECT_TRUE(detachFailed(-99));

  // Giving the interface back when no driver wants it (NOT_FOUND) is the normal quit, not an error.
  EXPECT_FALSE(reattachFailed(0));
  EXPECT_FALSE(reattachFailed(1));
  EXPECT_FALSE(reattachFailed(USB_ERROR_NOT_FOUND));
  EXPECT_FALSE(reattachFailed(USB_ERROR_NOT_SUPPORTED));
  EXPECT_TRUE(reattachFailed(-1));
  EXPECT_TRUE(reattachFailed(-4));
  EXPECT_TRUE(reattachFailed(-6));
  EXPECT_TRUE(reattachFailed(-99));
}

// Every block size from 0 to past a report, every received count: the block gets exactly
// min(received, size) report bytes and keeps everything else, and nothing past it is touched.
TEST(UsbAdapter, StoringAReportNeverLeavesTheBlock) {
  std::vector<uint8_t> report(ADAPTER_REPORT_SIZE);
  for (int i = 0; i < ADAPTER_REPORT_SIZE; ++i) report[i] = static_cast<uint8_t>(0x40 + i);
  constexpr size_t guard = 16;
  for (size_t size = 0; size <= ADAPTER_REPORT_SIZE + 3; ++size) {
    for (size_t received = 0; received <= ADAPTER_REPORT_SIZE; ++received) {
      std::vector<uint8_t> memory(size + guard, 0xEE);
      const size_t copied = storeReport(memory.data(), size, report.data(), received);
      const size_t expected = received < size ? received : size;
      ASSERT_EQ(copied, expected) << size << " " << received;
      for (size_t i = 0; i < memory.size(); ++i) {
        const uint8_t want = i < expected ? report[i] : 0xEE;
        ASSERT_EQ(memory[i], want) << "size " << size << " received " << received << " byte " << i;
      }
    }
  }
}

TEST(UsbAdapter, AMissingBlockTakesNothing) {
  uint8_t report[ADAPTER_REPORT_SIZE] = {1, 2, 3};
  EXPECT_EQ(storeReport(nullptr, 0, report, ADAPTER_REPORT_SIZE), 0u);
  EXPECT_EQ(storeReport(nullptr, 64, report, ADAPTER_REPORT_SIZE), 0u);
  uint8_t block[4] = {9, 9, 9, 9};
  EXPECT_EQ(storeReport(block, sizeof block, nullptr, 3), 0u);
  EXPECT_EQ(block[0], 9);
}
