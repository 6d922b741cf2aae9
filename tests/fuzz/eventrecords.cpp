// Fuzz target: the event record writer over small blocks, offsets inside and past them (the host writes
// the offset) and every record type with any fields. Each append writes exactly the documented record
// at the offset and advances by its size, or (exactly when it does not fit) writes nothing.

#include "bridge/core/eventrecords.h"
#include "fuzzlog.h"

using namespace tsm::bridge;

namespace {
constexpr uint32_t MAX_CASE_BLOCK = 300;
constexpr int MAX_CASE_APPENDS = 200;
}  // namespace

FUZZ_TARGET {
  const uint32_t capacity = in.ConsumeIntegralInRange<uint32_t>(0, MAX_CASE_BLOCK);
  uint32_t offset;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: offset = in.ConsumeIntegral<uint32_t>(); break;
    case 1: offset = capacity + in.ConsumeIntegralInRange<uint32_t>(0, 3); break;
    default: offset = in.ConsumeIntegralInRange<uint32_t>(0, capacity); break;
  }
  const bool nullBase = in.ConsumeProbability<float>() < 0.02f;
  std::vector<uint8_t> expected(capacity, 0xEE);
  tsm::fuzz::Exact block(capacity, expected.data());
  EventWriter w{nullBase ? nullptr : block.p, capacity, offset};

  for (int n = 0; n < MAX_CASE_APPENDS && in.remaining_bytes(); ++n) {
    std::vector<uint8_t> e;  // the record expected
    bool ok = false;
    const uint32_t before = w.offset;
    // Appends the low `bytes` of a field to the record, little-endian; answers the field.
    const auto put = [&](int64_t v, int bytes) { for (int k = 0; k < bytes; ++k) e.push_back(static_cast<uint8_t>(v >> 8 * k)); return v; };
    const auto i32 = [&] { return static_cast<int32_t>(put(in.ConsumeIntegral<int32_t>(), 4)); };
    const auto u8 = [&] { return static_cast<uint8_t>(put(in.ConsumeIntegral<uint8_t>(), 1)); };
    const auto type = [&](uint16_t a, uint16_t b) { return static_cast<uint16_t>(put(in.ConsumeBool() ? a : b, 2)); };
    // Fields, read in the record's order and appended to it as they are read.
    int64_t t, mods, x, y, scancode, b, c;
    switch (in.ConsumeIntegralInRange<int>(0, 10)) {
      case 0: put(256, 2), ok = w.quit(); break;
      case 1: put(512, 2), put(6, 1), x = i32(), y = i32(), ok = w.windowSize(x, y); break;
      case 2:
        t = type(EVENT_KEY_DOWN, EVENT_KEY_UP), scancode = put(in.ConsumeIntegral<uint32_t>(), 2), x = i32();
        mods = put(in.ConsumeIntegral<uint16_t>(), 2), ok = w.key(t, scancode, x, mods, u8());
        break;
      case 3: {
        // Text ending within its 32-byte field or filling it unterminated, in storage ending with it.
        const bool unterminated = in.ConsumeProbability<float>() < 0.2f;
        std::vector<uint8_t> text = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, MAX_TEXT_INPUT_BYTES));
        if (unterminated) {
          text.resize(MAX_TEXT_INPUT_BYTES, 'x');
          std::replace(text.begin(), text.end(), uint8_t{0}, uint8_t{'y'});
        } else {
          text.resize(std::find(text.begin(), text.end(), 0) - text.begin());
        }
        put(771, 2), put(text.size(), 1);
        e.insert(e.end(), text.begin(), text.end());
        if (!unterminated) text.push_back(0);
        ok = w.textInput(reinterpret_cast<const char*>(tsm::fuzz::Exact(text.size(), text.data()).p));
      } break;
      case 4: put(1024, 2), x = i32(), y = i32(), ok = w.mouseMotion(x, y); break;
      case 5: t = type(EVENT_MOUSE_BUTTON_DOWN, EVENT_MOUSE_BUTTON_UP), x = i32(), y = i32(), ok = w.mouseButton(t, x, y, u8()); break;
      case 6: {
        put(1616, 2), x = i32(), b = u8();
        const int16_t value = in.ConsumeIntegral<int16_t>();
        put(std::bit_cast<uint32_t>(controllerAxisValue(value)), 4), ok = w.controllerAxis(x, b, value);
      } break;
      case 7:
        t = type(EVENT_CONTROLLER_BUTTON_DOWN, EVENT_CONTROLLER_BUTTON_UP), x = i32(), b = u8(), c = u8();
        ok = w.controllerButton(t, x, b, c);
        break;
      case 8: t = type(EVENT_CONTROLLER_ADDED, EVENT_CONTROLLER_REMOVED), ok = w.controllerDevice(t, i32()); break;
      case 9: put(0x8000, 2), put(0, 2), put(6, 4), ok = w.adapterConnected(); break;
      default:  // a raw record of any size, through the one bounds rule
        e = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 40));
        ok = w.append(tsm::fuzz::Exact(e.size(), e.data()).p, e.size());
    }
    const bool fits = !nullBase && before <= capacity && e.size() <= capacity - before;
    FUZZ_REQUIRE(ok == fits && w.offset == before + (ok ? e.size() : 0));
    if (ok) std::copy(e.begin(), e.end(), expected.begin() + before);
    FUZZ_REQUIRE(capacity == 0 || std::memcmp(block.p, expected.data(), capacity) == 0);
  }
}
