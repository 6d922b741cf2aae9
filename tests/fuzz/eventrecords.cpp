// Fuzz target: the event record writer over blocks of every small size, starting offsets inside and
// past the block (the host writes the offset), and every record type with arbitrary fields. Each
// append either writes exactly the documented little-endian record at the offset and advances by its
// size, or (exactly when it does not fit) writes nothing and keeps the offset.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

#include "bridge/core/eventrecords.h"
#include "fuzzlog.h"

using namespace tsm::bridge;

namespace {
constexpr uint32_t MAX_CASE_BLOCK = 300;
constexpr int MAX_CASE_APPENDS = 200;

// A record from its fields: (value, bytes) each, little-endian.
std::vector<uint8_t> record(std::initializer_list<std::pair<int64_t, int>> fields) {
  std::vector<uint8_t> b;
  for (auto [v, n] : fields) {
    for (int k = 0; k < n; ++k) b.push_back(static_cast<uint8_t>(v >> 8 * k));
  }
  return b;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint32_t capacity = in.ConsumeIntegralInRange<uint32_t>(0, MAX_CASE_BLOCK);
  uint32_t offset;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: offset = in.ConsumeIntegral<uint32_t>(); break;
    case 1: offset = capacity + in.ConsumeIntegralInRange<uint32_t>(0, 3); break;
    default: offset = in.ConsumeIntegralInRange<uint32_t>(0, capacity); break;
  }
  const bool nullBase = in.ConsumeProbability<float>() < 0.02f;
  tsm::fuzz::Exact block(capacity);
  std::memset(block.p, 0xEE, capacity);
  std::vector<uint8_t> expected(block.p, block.p + capacity);
  EventWriter w{nullBase ? nullptr : block.p, capacity, offset};

  for (int n = 0; n < MAX_CASE_APPENDS && in.remaining_bytes(); ++n) {
    std::vector<uint8_t> e;
    bool ok = false;
    const uint32_t before = w.offset;
    const auto pick = [&](uint16_t a, uint16_t b) { return in.ConsumeBool() ? a : b; };
    switch (in.ConsumeIntegralInRange<int>(0, 10)) {
      case 0: ok = w.quit(), e = record({{256, 2}}); break;
      case 1: {
        const int32_t width = in.ConsumeIntegral<int32_t>(), height = in.ConsumeIntegral<int32_t>();
        ok = w.windowSize(width, height), e = record({{512, 2}, {6, 1}, {width, 4}, {height, 4}});
        break;
      }
      case 2: {
        const uint16_t type = pick(EVENT_KEY_DOWN, EVENT_KEY_UP);
        const uint32_t scancode = in.ConsumeIntegral<uint32_t>();
        const int32_t keycode = in.ConsumeIntegral<int32_t>();
        const uint16_t mods = in.ConsumeIntegral<uint16_t>();
        const uint8_t repeat = in.ConsumeIntegral<uint8_t>();
        ok = w.key(type, scancode, keycode, mods, repeat), e = record({{type, 2}, {scancode, 2}, {keycode, 4}, {mods, 2}, {repeat, 1}});
        break;
      }
      case 3: {
        // Text terminated within its 32-byte field, or filling it with no terminator at all; in
        // storage that ends where the text does.
        const bool unterminated = in.ConsumeProbability<float>() < 0.2f;
        std::vector<uint8_t> text = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, MAX_TEXT_INPUT_BYTES));
        if (unterminated) {
          text.resize(MAX_TEXT_INPUT_BYTES, 'x');
          for (auto& c : text) c = c ? c : 'y';
        } else {
          text.resize(std::find(text.begin(), text.end(), 0) - text.begin());
        }
        const int length = static_cast<int>(text.size());
        if (!unterminated) text.push_back(0);
        ok = w.textInput(reinterpret_cast<const char*>(tsm::fuzz::Exact(text.size(), text.data()).p));
        e = record({{771, 2}, {length, 1}});
        e.insert(e.end(), text.begin(), text.begin() + length);
        break;
      }
      case 4: {
        const int32_t x = in.ConsumeIntegral<int32_t>(), y = in.ConsumeIntegral<int32_t>();
        ok = w.mouseMotion(x, y), e = record({{1024, 2}, {x, 4}, {y, 4}});
        break;
      }
      case 5: {
        const uint16_t type = pick(EVENT_MOUSE_BUTTON_DOWN, EVENT_MOUSE_BUTTON_UP);
        const int32_t x = in.ConsumeIntegral<int32_t>(), y = in.ConsumeIntegral<int32_t>();
        const uint8_t button = in.ConsumeIntegral<uint8_t>();
        ok = w.mouseButton(type, x, y, button), e = record({{type, 2}, {x, 4}, {y, 4}, {button, 1}});
        break;
      }
      case 6: {
        const int32_t id = in.ConsumeIntegral<int32_t>();
        const uint8_t axis = in.ConsumeIntegral<uint8_t>();
        const int16_t value = in.ConsumeIntegral<int16_t>();
        const float scaled = controllerAxisValue(value);
        FUZZ_REQUIRE(scaled >= -1.0f && scaled <= 1.0f && (value >= 0) == (scaled >= 0.0f) && (value == 0) == (scaled == 0.0f));
        FUZZ_REQUIRE((value != 32767 || scaled == 1.0f) && (value != -32768 || scaled == -1.0f));
        uint32_t bits;
        std::memcpy(&bits, &scaled, sizeof bits);
        ok = w.controllerAxis(id, axis, value), e = record({{1616, 2}, {id, 4}, {axis, 1}, {bits, 4}});
        break;
      }
      case 7: {
        const uint16_t type = pick(EVENT_CONTROLLER_BUTTON_DOWN, EVENT_CONTROLLER_BUTTON_UP);
        const int32_t id = in.ConsumeIntegral<int32_t>();
        const uint8_t button = in.ConsumeIntegral<uint8_t>(), state = in.ConsumeIntegral<uint8_t>();
        ok = w.controllerButton(type, id, button, state), e = record({{type, 2}, {id, 4}, {button, 1}, {state, 1}});
        break;
      }
      case 8: {
        const uint16_t type = pick(EVENT_CONTROLLER_ADDED, EVENT_CONTROLLER_REMOVED);
        const int32_t id = in.ConsumeIntegral<int32_t>();
        ok = w.controllerDevice(type, id), e = record({{type, 2}, {id, 4}});
        break;
      }
      case 9: ok = w.adapterConnected(), e = record({{0x8000, 2}, {0, 2}, {6, 4}}); break;
      default:  // a raw record of any size, through the one bounds rule
        e = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 40));
        ok = w.append(tsm::fuzz::Exact(e.size(), e.data()).p, e.size());
    }
    const bool fits = !nullBase && before <= capacity && e.size() <= capacity - before;
    FUZZ_REQUIRE(ok == fits && w.offset == before + (ok ? e.size() : 0));
    if (ok) std::copy(e.begin(), e.end(), expected.begin() + before);
    FUZZ_REQUIRE(capacity == 0 || std::memcmp(block.p, expected.data(), capacity) == 0);
  }
  return 0;
}
