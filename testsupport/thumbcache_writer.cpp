#include "testsupport/thumbcache_writer.h"

#include <algorithm>
#include <cstring>

namespace glintvane::testsupport {
namespace {

constexpr uint32_t kWin7 = 0x15;
constexpr uint64_t kReflectedPolynomial = 0x92C64265D32139A4ull;

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
  Put32(b, at, static_cast<uint32_t>(v));
  Put32(b, at + 4, static_cast<uint32_t>(v >> 32));
}

}  // namespace

uint64_t SlowThumbcacheCrc64(const uint8_t* bytes, size_t count) {
  uint64_t crc = ~0ull;
  for (size_t n = 0; n < count; ++n) {
    crc ^= bytes[n];
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ kReflectedPolynomial : crc >> 1;
  }
  return crc;
}

std::vector<uint8_t> MakeThumbcache(uint32_t version,
                                    const std::vector<ThumbcacheEntrySpec>& entries) {
  const bool win7 = version == kWin7;
  const size_t header = win7 ? 48 : 56;
  std::vector<uint8_t> file(24, 0);
  std::memcpy(file.data(), "CMMM", 4);
  Put32(file, 4, version);
  Put32(file, 8, 1);
  Put32(file, win7 ? 0x0C : 0x10, 24);
  auto add = [&](const ThumbcacheEntrySpec& e, uint32_t size_override) {
    const size_t at = file.size();
    const uint32_t size =
        size_override != 0
            ? size_override
            : static_cast<uint32_t>(header + 2 * e.id.size() + e.data.size() + e.slack);
    file.resize(at + std::max<size_t>(size, header), 0);
    std::memcpy(&file[at], "CMMM", 4);
    Put32(file, at + 4, size);
    Put64(file, at + 8, e.hash);
    Put32(file, at + 16, static_cast<uint32_t>(2 * e.id.size()));
    Put32(file, at + 24, static_cast<uint32_t>(e.data.size()));
    if (!win7 && !e.data.empty()) {
      Put32(file, at + 28, e.width);
      Put32(file, at + 32, e.height);
    }
    const size_t covered = win7 ? 40 : 48;
    const uint64_t crc = SlowThumbcacheCrc64(&file[at], covered);
    Put64(file, at + covered, e.break_crc ? crc ^ 1 : crc);
    for (size_t i = 0; i < e.id.size(); ++i) {
      file[at + header + 2 * i] = static_cast<uint8_t>(e.id[i]);
      file[at + header + 2 * i + 1] = static_cast<uint8_t>(e.id[i] >> 8);
    }
    std::copy(e.data.begin(), e.data.end(), file.begin() + at + header + 2 * e.id.size());
  };
  for (const ThumbcacheEntrySpec& e : entries) add(e, 0);
  Put32(file, win7 ? 0x10 : 0x14, static_cast<uint32_t>(file.size()));
  add(ThumbcacheEntrySpec{}, static_cast<uint32_t>(header + 100));  // the free entry
  return file;
}

}  // namespace glintvane::testsupport
