#include "testsupport/cfb_writer.h"

#include <algorithm>
#include <cctype>
#include <numeric>
#include <stdexcept>

namespace glintvane::testsupport {
namespace {

constexpr uint32_t kSector = 512;
constexpr uint32_t kMini = 64;
constexpr uint32_t kCutoff = 4096;
constexpr uint32_t kHeaderDifat = 109;

uint32_t Ceil(uint64_t a, uint64_t b) {
  return static_cast<uint32_t>((a + b - 1) / b);
}

}  // namespace

std::vector<uint16_t> Utf8ToUtf16(std::string_view text) {
  std::vector<uint16_t> out;
  for (size_t i = 0; i < text.size();) {
    const uint8_t c = static_cast<uint8_t>(text[i]);
    uint32_t cp = c;
    size_t n = 1;
    if (c >= 0xF0) {
      cp = c & 0x07;
      n = 4;
    } else if (c >= 0xE0) {
      cp = c & 0x0F;
      n = 3;
    } else if (c >= 0xC0) {
      cp = c & 0x1F;
      n = 2;
    }
    for (size_t k = 1; k < n && i + k < text.size(); ++k) {
      cp = (cp << 6) | (static_cast<uint8_t>(text[i + k]) & 0x3F);
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<uint16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<uint16_t>(cp));
    }
  }
  return out;
}

uint64_t CfbFile::EntryOffset(size_t index) const {
  return SectorOffset(directory_sectors.at(index / 4)) + 128 * (index % 4);
}

void CfbFile::PutU16(uint64_t offset, uint16_t value) {
  bytes.at(offset) = static_cast<uint8_t>(value);
  bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

void CfbFile::PutU32(uint64_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

void CfbFile::PutU64(uint64_t offset, uint64_t value) {
  for (int i = 0; i < 8; ++i) bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t CfbFile::GetU32(uint64_t offset) const {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | bytes.at(offset + i);
  return v;
}

void CfbFile::SetFatEntry(int32_t sector, int32_t value) {
  fat.at(static_cast<size_t>(sector)) = value;
  const int32_t holder = fat_sectors.at(static_cast<size_t>(sector) / 128);
  PutU32(SectorOffset(holder) + 4 * (static_cast<uint64_t>(sector) % 128),
         static_cast<uint32_t>(value));
}

void CfbFile::SetMiniFatEntry(int32_t mini_sector, int32_t value) {
  mini_fat.at(static_cast<size_t>(mini_sector)) = value;
  const int32_t holder = mini_fat_sectors.at(static_cast<size_t>(mini_sector) / 128);
  PutU32(SectorOffset(holder) + 4 * (static_cast<uint64_t>(mini_sector) % 128),
         static_cast<uint32_t>(value));
}

std::vector<int32_t> CfbFile::ChainOf(size_t index) const {
  std::vector<int32_t> chain;
  const std::vector<int32_t>& table = in_mini.at(index) ? mini_fat : fat;
  for (int32_t s = starts.at(index); s >= 0 && chain.size() <= table.size();
       s = table.at(static_cast<size_t>(s))) {
    chain.push_back(s);
  }
  return chain;
}

CfbFile BuildCompoundFile(const std::vector<CfbEntry>& entries, const CfbOptions& options) {
  CfbFile file;
  const size_t entry_count = entries.size() + 1;
  file.starts.assign(entry_count, kEndOfChain);
  file.in_mini.assign(entry_count, false);

  // Sizes of every region.
  uint32_t mini_sectors = 0;
  uint32_t regular_sectors = 0;
  std::vector<uint32_t> sectors_of(entry_count, 0);
  for (size_t i = 0; i < entries.size(); ++i) {
    const CfbEntry& e = entries[i];
    if (e.type != 2 || e.bytes.empty()) continue;
    const bool mini = e.placement == Placement::kMini ||
                      (e.placement == Placement::kAuto && e.bytes.size() < kCutoff);
    file.in_mini[i + 1] = mini;
    sectors_of[i + 1] = Ceil(e.bytes.size(), mini ? kMini : kSector);
    (mini ? mini_sectors : regular_sectors) += sectors_of[i + 1];
  }
  const uint32_t directory_count = Ceil(entry_count, 4);
  const uint32_t mini_fat_count = Ceil(mini_sectors, 128);
  const uint32_t mini_stream_count = Ceil(static_cast<uint64_t>(mini_sectors) * kMini, kSector);
  const uint32_t others = directory_count + mini_fat_count + mini_stream_count + regular_sectors;
  uint32_t fat_count = std::max<uint32_t>(1, options.min_fat_sectors);
  uint32_t difat_count = 0;
  for (;;) {
    difat_count = fat_count > kHeaderDifat ? Ceil(fat_count - kHeaderDifat, 127) : 0;
    if (static_cast<uint64_t>(fat_count) * 128 >= fat_count + difat_count + others) break;
    ++fat_count;
  }
  const uint32_t total = fat_count + difat_count + others;
  file.fat.assign(static_cast<size_t>(fat_count) * 128, kFreeSector);
  file.bytes.assign(512 + static_cast<size_t>(total) * kSector, 0);

  int32_t next = 0;
  auto take = [&](uint32_t count, std::vector<int32_t>& into, bool chain) {
    for (uint32_t k = 0; k < count; ++k) {
      into.push_back(next);
      if (chain) file.fat[static_cast<size_t>(next)] = k + 1 < count ? next + 1 : kEndOfChain;
      ++next;
    }
  };
  take(fat_count, file.fat_sectors, false);
  for (int32_t s : file.fat_sectors) file.fat[static_cast<size_t>(s)] = kFatSectorMark;
  take(difat_count, file.difat_sectors, false);
  for (int32_t s : file.difat_sectors) file.fat[static_cast<size_t>(s)] = kDifatSectorMark;
  take(directory_count, file.directory_sectors, true);
  take(mini_fat_count, file.mini_fat_sectors, true);
  take(mini_stream_count, file.mini_stream_sectors, true);

  // Stream bytes.
  file.mini_fat.assign(static_cast<size_t>(mini_fat_count) * 128, kFreeSector);
  int32_t next_mini = 0;
  for (size_t i = 1; i < entry_count; ++i) {
    const CfbEntry& e = entries[i - 1];
    if (sectors_of[i] == 0) continue;
    if (file.in_mini[i]) {
      file.starts[i] = next_mini;
      for (uint32_t k = 0; k < sectors_of[i]; ++k) {
        const int32_t m = next_mini++;
        file.mini_fat[static_cast<size_t>(m)] = k + 1 < sectors_of[i] ? m + 1 : kEndOfChain;
        const uint64_t at =
            CfbFile::SectorOffset(file.mini_stream_sectors[static_cast<size_t>(m) / 8]) +
            kMini * (static_cast<uint64_t>(m) % 8);
        const size_t from = static_cast<size_t>(k) * kMini;
        const size_t n = std::min<size_t>(kMini, e.bytes.size() - from);
        std::copy_n(e.bytes.begin() + from, n, file.bytes.begin() + at);
      }
    } else {
      std::vector<int32_t> chain;
      take(sectors_of[i], chain, true);
      file.starts[i] = chain.front();
      std::copy(e.bytes.begin(), e.bytes.end(),
                file.bytes.begin() + CfbFile::SectorOffset(chain.front()));
    }
  }
  if (mini_sectors > 0) file.starts[0] = file.mini_stream_sectors.front();

  // Header.
  static constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(std::begin(kSignature), std::end(kSignature), file.bytes.begin());
  file.PutU16(24, 0x003E);
  file.PutU16(26, 3);
  file.PutU16(28, 0xFFFE);
  file.PutU16(30, options.sector_shift);
  file.PutU16(32, 6);
  file.PutU32(44, fat_count);
  file.PutU32(48, static_cast<uint32_t>(file.directory_sectors.front()));
  file.PutU32(56, kCutoff);
  file.PutU32(60, mini_fat_count ? static_cast<uint32_t>(file.mini_fat_sectors.front())
                                 : static_cast<uint32_t>(kEndOfChain));
  file.PutU32(64, mini_fat_count);
  file.PutU32(68, difat_count ? static_cast<uint32_t>(file.difat_sectors.front())
                              : static_cast<uint32_t>(kEndOfChain));
  file.PutU32(72, difat_count);
  for (uint32_t i = 0; i < kHeaderDifat; ++i) {
    file.PutU32(76 + 4 * i, i < fat_count ? static_cast<uint32_t>(file.fat_sectors[i])
                                          : static_cast<uint32_t>(kFreeSector));
  }
  for (uint32_t d = 0; d < difat_count; ++d) {
    const uint64_t at = CfbFile::SectorOffset(file.difat_sectors[d]);
    for (uint32_t k = 0; k < 127; ++k) {
      const uint32_t i = kHeaderDifat + d * 127 + k;
      file.PutU32(at + 4 * k, i < fat_count ? static_cast<uint32_t>(file.fat_sectors[i])
                                            : static_cast<uint32_t>(kFreeSector));
    }
    file.PutU32(at + 508, d + 1 < difat_count ? static_cast<uint32_t>(file.difat_sectors[d + 1])
                                              : static_cast<uint32_t>(kEndOfChain));
  }

  // Directory: the root's child is the first entry by CFB name order, each
  // entry's right sibling the next one (a valid, if lopsided, tree).
  std::vector<size_t> order;
  for (size_t i = 1; i < entry_count; ++i) {
    if (entries[i - 1].type != 0) order.push_back(i);
  }
  auto upper16 = [&](size_t i) {
    auto u = Utf8ToUtf16(entries[i - 1].name);
    for (auto& c : u) c = c < 128 ? static_cast<uint16_t>(std::toupper(c)) : c;
    return u;
  };
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const auto ua = upper16(a);
    const auto ub = upper16(b);
    if (ua.size() != ub.size()) return ua.size() < ub.size();
    return ua < ub;
  });
  std::vector<int32_t> right(entry_count, -1);
  for (size_t k = 0; k + 1 < order.size(); ++k)
    right[order[k]] = static_cast<int32_t>(order[k + 1]);
  // Unused slots of the last directory sector are empty entries.
  for (size_t i = entry_count; i < static_cast<size_t>(directory_count) * 4; ++i) {
    const uint64_t at = file.EntryOffset(i);
    file.PutU32(at + 68, static_cast<uint32_t>(-1));
    file.PutU32(at + 72, static_cast<uint32_t>(-1));
    file.PutU32(at + 76, static_cast<uint32_t>(-1));
  }
  for (size_t i = 0; i < entry_count; ++i) {
    const uint64_t at = file.EntryOffset(i);
    const bool root = i == 0;
    const std::string name = root ? "Root Entry" : entries[i - 1].name;
    auto units = Utf8ToUtf16(name);
    if (units.size() > 31) units.resize(31);
    for (size_t k = 0; k < units.size(); ++k) file.PutU16(at + 2 * k, units[k]);
    uint16_t name_length = static_cast<uint16_t>((units.size() + 1) * 2);
    uint8_t type = root ? 5 : entries[i - 1].type;
    if (!root && entries[i - 1].name_length) name_length = *entries[i - 1].name_length;
    if (type == 0) name_length = 0;
    file.PutU16(at + 64, name_length);
    file.bytes[at + 66] = type;
    file.bytes[at + 67] = 1;  // black
    file.PutU32(at + 68, static_cast<uint32_t>(-1));
    file.PutU32(at + 72, static_cast<uint32_t>(root ? -1 : right[i]));
    file.PutU32(at + 76, static_cast<uint32_t>(
                             root && !order.empty() ? static_cast<int32_t>(order.front()) : -1));
    file.PutU64(at + 108, root ? options.root_modified : entries[i - 1].modified);
    file.PutU32(at + 116, static_cast<uint32_t>(file.starts[i]));
    uint32_t size =
        root ? mini_sectors * kMini : static_cast<uint32_t>(entries[i - 1].bytes.size());
    if (!root && entries[i - 1].declared_size) size = *entries[i - 1].declared_size;
    if (type == 0) size = 0;
    file.PutU32(at + 120, size);
  }

  // Tables.
  for (size_t s = 0; s < file.fat.size(); ++s) {
    const int32_t holder = file.fat_sectors[s / 128];
    file.PutU32(CfbFile::SectorOffset(holder) + 4 * (s % 128), static_cast<uint32_t>(file.fat[s]));
  }
  for (size_t m = 0; m < file.mini_fat.size(); ++m) {
    const int32_t holder = file.mini_fat_sectors[m / 128];
    file.PutU32(CfbFile::SectorOffset(holder) + 4 * (m % 128),
                static_cast<uint32_t>(file.mini_fat[m]));
  }
  return file;
}

}  // namespace glintvane::testsupport
