// Thumbs.db pieces: the Catalog stream, thumbnail streams of each kind, and
// a whole cache from a list of thumbnails.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "testsupport/cfb_writer.h"

namespace glintvane::testsupport {

struct CatalogItem {
  int32_t id = 0;
  std::string name;  // UTF-8
  uint64_t filetime = 0;
};

struct CatalogOptions {
  uint16_t header_length = 16;
  uint16_t version = 7;
  std::optional<uint32_t> count;  // default: the number of items
};

// The Catalog: header, then one entry per item (length, 0, id, time, name,
// four zero bytes).
std::vector<uint8_t> MakeCatalog(const std::vector<CatalogItem>& items,
                                 const CatalogOptions& options = {});
// One Catalog entry as it is written, for tests that splice in broken ones.
std::vector<uint8_t> MakeCatalogEntry(const CatalogItem& item);

// An XP thumbnail stream: 12, 1, N - 12, then the JPEG.
std::vector<uint8_t> MakeJfifThumbStream(std::span<const uint8_t> jpeg);
// A later-Windows thumbnail stream: 24, 3, payload size, flag, hash, payload.
std::vector<uint8_t> MakeLaterThumbStream(std::span<const uint8_t> payload, uint32_t flag = 0,
                                          uint64_t hash = 0x0123456789ABCDEFull);

// The XP stream name of thumbnail `id`: its number written backwards.
std::string XpStreamName(int32_t id);

// A FILETIME for a calendar time in UTC.
uint64_t FileTimeFromUnix(int64_t seconds);

}  // namespace glintvane::testsupport
