// thumbcache_*.db files built for tests and the sample evidence: a header,
// type-1 entries with their header checksums, and a free entry at the end,
// as Windows 7 (0x15) and Windows 10 (0x20) write them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace glintvane::testsupport {

struct ThumbcacheEntrySpec {
  uint64_t hash = 0;
  std::u16string id;
  std::vector<uint8_t> data;
  uint32_t slack = 0;      // zero bytes after the data, inside the entry
  bool break_crc = false;  // store a header checksum one bit off
  uint32_t width = 7;      // the Windows 10 header's picture size
  uint32_t height = 9;
};

// The CRC-64 of entry headers, worked bit by bit (independent of the
// reader's table).
uint64_t SlowThumbcacheCrc64(const uint8_t* bytes, size_t count);

std::vector<uint8_t> MakeThumbcache(uint32_t version,
                                    const std::vector<ThumbcacheEntrySpec>& entries);

}  // namespace glintvane::testsupport
