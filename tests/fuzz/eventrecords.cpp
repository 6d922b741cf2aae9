// Fuzz target: the event record writer over blocks of every small size, starting offsets inside and
// past the block (the host writes the offset), and every record type with arbitrary fields. Each
// append either writes exactly the documented little-endian record at the offset and advances by
// its size, or writes nothing and keeps the offset; at the end the block parses, record by record
// with sizes from the documented table, to exactly the final offset and the fields sent.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bridge/core/eventrecords.h"
#include "fuzzlog.h"

using namespace tsm::bridge;

namespace {
// Largest event block a case uses.
constexpr uint32_t MAX_CASE_BLOCK = 300;
// Most appends per case.
constexpr int MAX_CASE_APPENDS = 200;

struct Bytes {
  std::vector<uint8_t> b;
  void u8(uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
  void u16(uint32_t v) { u8(v), u8(v >> 8); }
  void u32(uint32_t v) { u16(v), u16(v >> 16); }
};

// Size of a record from its type, as documented; 0 for a type the writer never produces.
size_t documentedSize(const uint8_t* r, size_t left) {
  if (left < 2) return 0;
  switch (r[0] | r[1] << 8) {
    case 256: return 2;
    case 512: return 11;
    case 768: case 769: return 11;
    case 771: return left >= 3 ? 3 + r[2] : 0;
    case 1024: return 10;
    case 1025: case 1026: return 11;
    case 1616: return 11;
    case 1617: case 1618: return 8;
    case 1619: case 1620: return 6;
    case 0x8000: return 8;
    default: return 0;
  }
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
  uint8_t* block = static_cast<uint8_t*>(std::malloc(capacity));
  std::memset(block, 0xEE, capacity);
  EventWriter w{nullBase ? nullptr : block, capacity, offset};
  const uint32_t start = offset;
  std::vector<uint8_t> sent;  // the records that were accepted, in order
  std::vector<size_t> sizes;  // their sizes
  bool rawAccepted = false;   // a raw record (no documented type) was accepted

  for (int n = 0; n < MAX_CASE_APPENDS && in.remaining_bytes(); ++n) {
    Bytes e;
    bool ok = false;
    const uint32_t before = w.offset;
    std::vector<uint8_t> blockBefore(block, block + capacity);
    switch (in.ConsumeIntegralInRange<int>(0, 10)) {
      case 0: ok = w.quit(); e.u16(256); break;
      case 1: {
        const int32_t width = in.ConsumeIntegral<int32_t>(), height = in.ConsumeIntegral<int32_t>();
        ok = w.windowSize(width, height);
        e.u16(512), e.u8(6), e.u32(width), e.u32(height);
        break;
      }
      case 2: {
        const uint16_t type = in.ConsumeBool() ? EVENT_KEY_DOWN : EVENT_KEY_UP;
        const uint32_t scancode = in.ConsumeIntegral<uint32_t>();
        const int32_t keycode = in.ConsumeIntegral<int32_t>();
        const uint16_t mods = in.ConsumeIntegral<uint16_t>();
        const uint8_t repeat = in.ConsumeIntegral<uint8_t>();
        ok = w.key(type, scancode, keycode, mods, repeat);
        e.u16(type), e.u16(scancode & 0xFFFF), e.u32(keycode), e.u16(mods), e.u8(repeat);
        break;
      }
      case 3: {
        // Text as the window system hands it over: terminated within its 32-byte field, or filling
        // it with no terminator at all. The copy ends exactly where the text's storage ends.
        const bool unterminated = in.ConsumeProbability<float>() < 0.2f;
        std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, MAX_TEXT_INPUT_BYTES));
        size_t n = 0;
        while (n < bytes.size() && bytes[n]) ++n;
        if (unterminated) {
          bytes.resize(MAX_TEXT_INPUT_BYTES, 'x');
          for (auto& c : bytes) if (!c) c = 'y';
          n = MAX_TEXT_INPUT_BYTES;
        } else {
          bytes.push_back(0);
        }
        char* text = static_cast<char*>(std::malloc(bytes.size()));
        std::memcpy(text, bytes.data(), bytes.size());
        ok = w.textInput(text);
        std::free(text);
        e.u16(771), e.u8(static_cast<uint32_t>(n));
        for (size_t k = 0; k < n; ++k) e.u8(bytes[k]);
        break;
      }
      case 4: {
        const int32_t x = in.ConsumeIntegral<int32_t>(), y = in.ConsumeIntegral<int32_t>();
        ok = w.mouseMotion(x, y);
        e.u16(1024), e.u32(x), e.u32(y);
        break;
      }
      case 5: {
        const uint16_t type = in.ConsumeBool() ? EVENT_MOUSE_BUTTON_DOWN : EVENT_MOUSE_BUTTON_UP;
        const int32_t x = in.ConsumeIntegral<int32_t>(), y = in.ConsumeIntegral<int32_t>();
        const uint8_t button = in.ConsumeIntegral<uint8_t>();
        ok = w.mouseButton(type, x, y, button);
        e.u16(type), e.u32(x), e.u32(y), e.u8(button);
        break;
      }
      case 6: {
        const int32_t id = in.ConsumeIntegral<int32_t>();
        const uint8_t axis = in.ConsumeIntegral<uint8_t>();
        const int16_t value = in.ConsumeIntegral<int16_t>();
        const float scaled = controllerAxisValue(value);
        FUZZ_REQUIRE(scaled >= -1.0f && scaled <= 1.0f);
        FUZZ_REQUIRE((value >= 0) == (scaled >= 0.0f) && (value == 0) == (scaled == 0.0f));
        FUZZ_REQUIRE(value != 32767 || scaled == 1.0f);
        FUZZ_REQUIRE(value != -32768 || scaled == -1.0f);
        ok = w.controllerAxis(id, axis, value);
        uint32_t bits;
        std::memcpy(&bits, &scaled, sizeof bits);
        e.u16(1616), e.u32(id), e.u8(axis), e.u32(bits);
        break;
      }
      case 7: {
        const uint16_t type = in.ConsumeBool() ? EVENT_CONTROLLER_BUTTON_DOWN : EVENT_CONTROLLER_BUTTON_UP;
        const int32_t id = in.ConsumeIntegral<int32_t>();
        const uint8_t button = in.ConsumeIntegral<uint8_t>(), state = in.ConsumeIntegral<uint8_t>();
        ok = w.controllerButton(type, id, button, state);
        e.u16(type), e.u32(id), e.u8(button), e.u8(state);
        break;
      }
      case 8: {
        const uint16_t type = in.ConsumeBool() ? EVENT_CONTROLLER_ADDED : EVENT_CONTROLLER_REMOVED;
        const int32_t id = in.ConsumeIntegral<int32_t>();
        ok = w.controllerDevice(type, id);
        e.u16(type), e.u32(id);
        break;
      }
      case 9: ok = w.adapterConnected(); e.u16(0x8000), e.u16(0), e.u32(6); break;
      default: {
        // A raw record of any size through the one bounds rule.
        std::vector<uint8_t> raw = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 40));
        uint8_t* exact = static_cast<uint8_t*>(std::malloc(raw.size()));
        if (!raw.empty()) std::memcpy(exact, raw.data(), raw.size());
        ok = w.append(exact, raw.size());
        std::free(exact);
        rawAccepted |= ok;
        e.b = raw;
        break;
      }
    }
    const bool fits = !nullBase && before <= capacity && e.b.size() <= capacity - before;
    FUZZ_REQUIRE(ok == fits);
    if (ok) {
      FUZZ_REQUIRE(w.offset == before + e.b.size());
      FUZZ_REQUIRE(e.b.empty() || std::memcmp(block + before, e.b.data(), e.b.size()) == 0);
      FUZZ_REQUIRE(before == 0 || std::memcmp(block, blockBefore.data(), before) == 0);
      FUZZ_REQUIRE(w.offset == capacity || std::memcmp(block + w.offset, blockBefore.data() + w.offset, capacity - w.offset) == 0);
      sent.insert(sent.end(), e.b.begin(), e.b.end());
      sizes.push_back(e.b.size());
    } else {
      FUZZ_REQUIRE(w.offset == before);
      FUZZ_REQUIRE(capacity == 0 || std::memcmp(block, blockBefore.data(), capacity) == 0);
    }
  }

  // The accepted records, back to back from the starting offset; typed ones parse by the table.
  if (!nullBase && start <= capacity) {
    FUZZ_REQUIRE(w.offset - start == sent.size());
    FUZZ_REQUIRE(sent.empty() || std::memcmp(block + start, sent.data(), sent.size()) == 0);
  } else {
    FUZZ_REQUIRE(w.offset == start && sent.empty());
  }
  // Without raw records the block parses by the documented sizes alone.
  if (!nullBase && start <= capacity && !rawAccepted) {
    size_t at = start, k = 0;
    while (at < w.offset) {
      const size_t n = documentedSize(block + at, w.offset - at);
      FUZZ_REQUIRE(k < sizes.size() && n == sizes[k]);
      at += n, ++k;
    }
    FUZZ_REQUIRE(at == w.offset && k == sizes.size());
  }
  std::free(block);
  return 0;
}
