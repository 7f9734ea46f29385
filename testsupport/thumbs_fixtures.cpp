#include "testsupport/thumbs_fixtures.h"

#include <algorithm>

namespace glintvane::testsupport {
namespace {

void PutLe(std::vector<uint8_t>& out, uint64_t v, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> MakeCatalogEntry(const CatalogItem& item) {
  const auto units = Utf8ToUtf16(item.name);
  std::vector<uint8_t> out;
  PutLe(out, 20 + 2 * units.size(), 2);
  PutLe(out, 0, 2);
  PutLe(out, static_cast<uint32_t>(item.id), 4);
  PutLe(out, item.filetime, 8);
  for (uint16_t u : units) PutLe(out, u, 2);
  PutLe(out, 0, 4);
  return out;
}

std::vector<uint8_t> MakeCatalog(const std::vector<CatalogItem>& items,
                                 const CatalogOptions& options) {
  std::vector<uint8_t> out;
  PutLe(out, options.header_length, 2);
  PutLe(out, options.version, 2);
  PutLe(out, options.count.value_or(static_cast<uint32_t>(items.size())), 4);
  // The two fields the reader does not use hold the thumbnail size in real files.
  PutLe(out, 96, 4);
  PutLe(out, 96, 4);
  if (options.header_length > out.size()) out.resize(options.header_length, 0);
  for (const CatalogItem& item : items) {
    const auto entry = MakeCatalogEntry(item);
    out.insert(out.end(), entry.begin(), entry.end());
  }
  return out;
}

std::vector<uint8_t> MakeJfifThumbStream(std::span<const uint8_t> jpeg) {
  std::vector<uint8_t> out;
  PutLe(out, 12, 4);
  PutLe(out, 1, 4);
  PutLe(out, jpeg.size(), 4);
  out.insert(out.end(), jpeg.begin(), jpeg.end());
  return out;
}

std::vector<uint8_t> MakeLaterThumbStream(std::span<const uint8_t> payload, uint32_t flag,
                                          uint64_t hash) {
  std::vector<uint8_t> out;
  PutLe(out, 24, 4);
  PutLe(out, 3, 4);
  PutLe(out, payload.size(), 4);
  PutLe(out, flag, 4);
  PutLe(out, hash, 8);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

std::string XpStreamName(int32_t id) {
  std::string s = std::to_string(id);
  std::reverse(s.begin(), s.end());
  return s;
}

uint64_t FileTimeFromUnix(int64_t seconds) {
  return static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
}

}  // namespace glintvane::testsupport
