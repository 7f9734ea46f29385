#include "cache/compound_file.h"

#include <algorithm>
#include <cstring>

#include "base/byte_fields.h"
#include "base/error_codes.h"
#include "cache/text_convert.h"

namespace glintvane {
namespace {

using namespace cfb;

std::string Str(int64_t v) {
  return std::to_string(v);
}

uint64_t SectorOffset(int32_t sector) {
  return kHeaderSize + static_cast<uint64_t>(sector) * kSectorSize;
}

}  // namespace

uint64_t CompoundFile::SectorsInFile() const {
  const uint64_t s = reader_.size();
  return s <= kHeaderSize ? 0 : (s - kHeaderSize + kSectorSize - 1) / kSectorSize;
}

ReadResult<void> CompoundFile::CheckHeader() {
  const uint64_t size = reader_.size();
  if (size < sizeof(kSignature)) {
    // Too short to hold the signature: a plain read failure, not a format finding.
    return Fail(kErrPlatform, "Read error: the file is " + Str(static_cast<int64_t>(size)) +
                                  " bytes long, too short for the signature");
  }
  uint8_t signature[sizeof(kSignature)];
  if (auto r = reader_.Read(0, signature); !r) return tl::unexpected(r.error());
  if (std::memcmp(signature, kSignature, sizeof(kSignature)) != 0) return Fail(kErrSignature);
  if (reader_.Contains(kOffSectorShift, 2)) {
    auto shift = reader_.U16(kOffSectorShift);
    if (!shift) return tl::unexpected(shift.error());
    const uint32_t sector_size = 1u << (*shift & 31);
    if (sector_size != kSectorSize) {
      return Fail(kErrSectorSize, "sector size " + Str(sector_size) + " bytes (sector shift " +
                                      Str(*shift & 31) +
                                      "); only files with 512-byte sectors can be read");
    }
  }
  // Fewer than two sectors after the header cannot hold a FAT and a
  // directory. A header cut short counts as too small as well.
  if (size < kHeaderSize || (size - kHeaderSize) / kSectorSize < 2) return Fail(kErrTooSmall);
  return {};
}

ReadResult<void> CompoundFile::ReadHeaderFatList() {
  auto count = reader_.U32(kOffFatCount);
  if (!count) return tl::unexpected(count.error());
  auto first_directory = reader_.U32(kOffFirstDirectory);
  if (!first_directory) return tl::unexpected(first_directory.error());
  first_directory_ = static_cast<int32_t>(*first_directory);
  // Every FAT sector is a sector of the file, and so is every DIFAT sector
  // that lists the ones past the header's 109: the count is checked against
  // the sectors the file holds before anything is sized by it.
  const uint64_t difat_needed =
      *count > kHeaderDifatCount
          ? (static_cast<uint64_t>(*count) - kHeaderDifatCount + kIdsPerDifatSector - 1) /
                kIdsPerDifatSector
          : 0;
  if (*count > SectorsInFile() || *count + difat_needed > SectorsInFile()) {
    return Fail(kErrFatCountTooLarge, "the header declares " + Str(*count) +
                                          " FAT sectors; the file holds only " +
                                          Str(static_cast<int64_t>(SectorsInFile())) + " sectors");
  }
  fat_sectors_.clear();
  // Only the header's part up front: the rest grows with the DIFAT sectors
  // really read.
  const uint32_t from_header = std::min(*count, kHeaderDifatCount);
  fat_sectors_.reserve(from_header);
  uint8_t ids[kHeaderDifatCount * 4];
  const auto read = std::span<uint8_t>(ids, from_header * 4);
  if (auto r = reader_.Read(kOffHeaderDifat, read); !r) return tl::unexpected(r.error());
  ByteFields fields(read);
  for (uint32_t i = 0; i < from_header; ++i) fat_sectors_.push_back(fields.Le<int32_t>(4 * i));
  sectors_.Reset(SectorsInFile());
  fat_count_ = *count;
  return {};
}

ReadResult<void> CompoundFile::ReadDifatChain() {
  auto first = reader_.U32(kOffFirstDifat);
  if (!first) return tl::unexpected(first.error());
  int32_t d = static_cast<int32_t>(*first);
  sectors_.EndChain();
  uint8_t block[kSectorSize];
  while (fat_sectors_.size() < fat_count_) {
    const uint32_t remaining = fat_count_ - static_cast<uint32_t>(fat_sectors_.size());
    const uint32_t take = std::min(remaining, kIdsPerDifatSector);
    // The next DIFAT sector number follows the entries taken.
    const uint64_t bytes = (static_cast<uint64_t>(take) + 1) * 4;
    if (d < 0 || !reader_.Contains(SectorOffset(d), bytes)) {
      return Fail(kErrSectorOutsideFile, "DIFAT sector " + Str(d) + " lies outside the file; " +
                                             Str(remaining) + " of " + Str(fat_count_) +
                                             " FAT sector numbers were still to be read");
    }
    if (sectors_.Revisits(d)) {
      sectors_.EndChain();
      return Fail(kErrChainLoop, "the DIFAT chain comes back to sector " + Str(d));
    }
    const auto read = std::span<uint8_t>(block, bytes);
    if (auto r = reader_.Read(SectorOffset(d), read); !r) return tl::unexpected(r.error());
    ByteFields fields(read);
    for (uint32_t i = 0; i < take; ++i) fat_sectors_.push_back(fields.Le<int32_t>(4 * i));
    d = fields.Le<int32_t>(4 * take);
  }
  sectors_.EndChain();
  return {};
}

void CompoundFile::SectorMarks::Reset(uint64_t count) {
  in_chain.assign(count, false);
  claimed.assign(count, false);
  marked.clear();
}

void CompoundFile::SectorMarks::EndChain() {
  for (const int32_t n : marked) in_chain[static_cast<size_t>(n)] = false;
  marked.clear();
}

bool CompoundFile::SectorMarks::Revisits(int32_t n) {
  if (n < 0 || static_cast<uint64_t>(n) >= in_chain.size()) return false;
  if (in_chain[static_cast<size_t>(n)]) return true;
  in_chain[static_cast<size_t>(n)] = true;
  marked.push_back(n);
  return false;
}

ReadResult<int32_t> CompoundFile::NextSector(Table table, int32_t n) {
  const std::vector<int32_t>& list = table == Table::kFat ? fat_sectors_ : mini_fat_sectors_;
  const char* name = table == Table::kFat ? "FAT" : "mini FAT";
  if (n < 0 || static_cast<uint64_t>(n) / kIdsPerSector >= list.size()) {
    return Fail(kErrSectorOutsideList,
                std::string(table == Table::kFat ? "sector " : "mini sector ") + Str(n) +
                    " has no entry in the " + name + " (" + Str(static_cast<int64_t>(list.size())) +
                    " " + name + " sectors)");
  }
  const int32_t f = list[static_cast<size_t>(n) / kIdsPerSector];
  if (f < 0) return Fail(kErrNegativeTableSector);
  const uint64_t p = SectorOffset(f) + 4 * (static_cast<uint64_t>(n) % kIdsPerSector);
  if (!reader_.Contains(p, 4)) {
    return Fail(kErrTableEntryOutside, std::string(name) + " sector " + Str(f) +
                                           ", which holds the entry of " +
                                           (table == Table::kFat ? "sector " : "mini sector ") +
                                           Str(n) + ", lies past the end of the file (" +
                                           Str(static_cast<int64_t>(reader_.size())) + " bytes)");
  }
  auto v = reader_.U32(p);
  if (!v) return tl::unexpected(v.error());
  return static_cast<int32_t>(*v);
}

ReadResult<void> CompoundFile::ListFatChain(int32_t start, const char* what,
                                            std::vector<int32_t>& out) {
  out.clear();
  sectors_.EndChain();
  // A chain that names more sectors than the file holds comes back to one or
  // runs outside the file, where no mark can catch a loop.
  const uint64_t limit = SectorsInFile();
  for (int32_t s = start; s != kEndOfChain;) {
    if (sectors_.Revisits(s) || out.size() >= limit) {
      sectors_.EndChain();
      return Fail(kErrChainLoop,
                  std::string("the ") + what + " chain comes back to sector " + Str(s));
    }
    out.push_back(s);
    auto next = NextSector(Table::kFat, s);
    if (!next) {
      sectors_.EndChain();
      return tl::unexpected(next.error());
    }
    s = *next;
  }
  sectors_.EndChain();
  return {};
}

ReadResult<void> CompoundFile::ListMiniFat() {
  auto first = reader_.U32(kOffFirstMiniFat);
  if (!first) return tl::unexpected(first.error());
  return ListFatChain(static_cast<int32_t>(*first), "mini FAT", mini_fat_sectors_);
}

ReadResult<void> CompoundFile::ListMiniStream() {
  // The root entry is the first entry of the first directory sector.
  const uint64_t at = SectorOffset(first_directory_) + kEntryStart;
  if (first_directory_ < 0 || !reader_.Contains(at, 4)) {
    return Fail(kErrSectorOutsideFile,
                "the first directory sector " + Str(first_directory_) + " lies outside the file");
  }
  auto start = reader_.U32(at);
  if (!start) return tl::unexpected(start.error());
  auto r = ListFatChain(static_cast<int32_t>(*start), "mini stream", mini_stream_sectors_);
  if (!r) return r;
  // The mini stream is the root's stream: its sectors belong to it.
  for (const int32_t n : mini_stream_sectors_) {
    if (n >= 0 && static_cast<uint64_t>(n) < sectors_.claimed.size()) {
      sectors_.claimed[static_cast<size_t>(n)] = true;
    }
  }
  mini_sectors_.Reset(mini_stream_sectors_.size() * kMiniPerSector);
  return {};
}

ReadResult<void> CompoundFile::WalkDirectory(const EntryVisitor& visit) {
  // The directory chain gets a visited set of its own: stream reads in
  // between use the sector marks.
  const uint64_t sectors = SectorsInFile();
  std::vector<bool> visited(sectors, false);
  const uint64_t size = reader_.size();
  uint8_t slot_bytes[kEntrySize];
  uint64_t steps = 0;
  for (int32_t d = first_directory_; d != kEndOfChain; ++steps) {
    if (d < 0) {
      return Fail(kErrSectorOutsideFile, "directory sector " + Str(d) + " lies outside the file");
    }
    // Past the sectors the file holds, the chain must have come back to one
    // (sectors outside the file carry no mark).
    if (steps >= sectors ||
        (static_cast<uint64_t>(d) < visited.size() && visited[static_cast<size_t>(d)])) {
      return Fail(kErrChainLoop, "the directory chain comes back to sector " + Str(d));
    }
    if (static_cast<uint64_t>(d) < visited.size()) visited[static_cast<size_t>(d)] = true;
    for (uint32_t i = 0; i < kEntriesPerSector; ++i) {
      const uint64_t e = SectorOffset(d) + kEntrySize * i;
      // A slot that does not fit in the file ends this sector's slots.
      if (size < kEntrySize || e > size - kEntrySize) break;
      if (auto r = reader_.Read(e, slot_bytes); !r) return tl::unexpected(r.error());
      ByteFields slot(slot_bytes);
      const uint16_t name_length = slot.Le<uint16_t>(kEntryNameLength);
      if (name_length > kMaxNameLength) continue;
      const uint8_t type = slot.Le<uint8_t>(kEntryType);
      if (type != kTypeStream && type != kTypeRoot) continue;
      DirectoryEntry entry;
      entry.type = type;
      entry.modified = slot.Le<uint64_t>(kEntryModified);
      entry.start = slot.Le<int32_t>(kEntryStart);
      entry.size = slot.Le<int32_t>(kEntrySizeField);
      entry.directory_sector = d;
      entry.slot = static_cast<int>(i);
      if (type == kTypeStream && name_length >= 2) {
        entry.name = Utf16LeToUtf8(std::span<const uint8_t>(slot_bytes, kEntryNameBytes),
                                   name_length / 2 - 1);
      }
      if (auto r = visit(entry); !r) return r;
    }
    auto next = NextSector(Table::kFat, d);
    if (!next) return tl::unexpected(next.error());
    d = *next;
  }
  return {};
}

ReadResult<void> CompoundFile::ReadStream(const DirectoryEntry& entry, std::vector<uint8_t>& out) {
  out.clear();
  if (entry.size <= 0) return {};
  const uint64_t size = static_cast<uint64_t>(entry.size);
  SectorMarks& marks = size < kMiniStreamCutoff ? mini_sectors_ : sectors_;
  marks.EndChain();
  auto r = size < kMiniStreamCutoff ? ReadMiniChain(entry, out) : ReadFatChain(entry, out);
  // Whatever the chain gave, its sectors are this stream's now, so that no
  // later entry can read them again.
  for (const int32_t n : marks.marked) marks.claimed[static_cast<size_t>(n)] = true;
  marks.EndChain();
  return r;
}

ReadResult<void> CompoundFile::Claim(SectorMarks& marks, const DirectoryEntry& entry, int32_t n,
                                     const char* unit) {
  if (marks.Revisits(n)) {
    return Fail(kErrChainLoop,
                "the chain of stream \"" + entry.name + "\" comes back to " + unit + " " + Str(n));
  }
  if (n >= 0 && static_cast<uint64_t>(n) < marks.claimed.size() &&
      marks.claimed[static_cast<size_t>(n)]) {
    return Fail(kErrSectorShared, "stream \"" + entry.name + "\" names " + unit + " " + Str(n) +
                                      ", which an earlier stream holds");
  }
  return {};
}

ReadResult<void> CompoundFile::ReadMiniChain(const DirectoryEntry& entry,
                                             std::vector<uint8_t>& out) {
  uint64_t remaining = static_cast<uint64_t>(entry.size);
  out.resize(remaining);
  size_t filled = 0;
  for (int32_t m = entry.start; m != kEndOfChain;) {
    if (m < 0 || static_cast<uint64_t>(m) / kMiniPerSector >= mini_stream_sectors_.size()) {
      out.resize(filled);
      return Fail(kErrSectorOutsideList,
                  "mini sector " + Str(m) + " lies outside the mini stream (" +
                      Str(static_cast<int64_t>(mini_stream_sectors_.size()) * kMiniPerSector) +
                      " mini sectors)");
    }
    if (auto c = Claim(mini_sectors_, entry, m, "mini sector"); !c) {
      out.resize(filled);
      return c;
    }
    const int32_t sector = mini_stream_sectors_[static_cast<size_t>(m) / kMiniPerSector];
    const uint64_t at =
        SectorOffset(sector) + kMiniSectorSize * (static_cast<uint64_t>(m) % kMiniPerSector);
    const size_t take = static_cast<size_t>(std::min<uint64_t>(remaining, kMiniSectorSize));
    if (auto r = reader_.Read(at, std::span<uint8_t>(out.data() + filled, take)); !r) {
      out.resize(filled);
      return tl::unexpected(r.error());
    }
    filled += take;
    remaining -= take;
    if (remaining == 0) break;
    auto next = NextSector(Table::kMiniFat, m);
    if (!next) {
      out.resize(filled);
      return tl::unexpected(next.error());
    }
    m = *next;
  }
  out.resize(filled);
  return {};
}

ReadResult<void> CompoundFile::ReadFatChain(const DirectoryEntry& entry,
                                            std::vector<uint8_t>& out) {
  // The size field is only the file's word: a few hundred bytes can claim a
  // 2 GiB stream. The buffer grows with the sectors really read, and the
  // sector marks keep those inside the file and read once.
  uint64_t remaining = static_cast<uint64_t>(entry.size);
  out.reserve(static_cast<size_t>(std::min<uint64_t>(remaining, reader_.size())));
  size_t filled = 0;
  // Consecutive sectors are read as one run.
  uint64_t run_offset = 0;
  size_t run_length = 0;
  auto flush = [&]() -> ReadResult<void> {
    if (run_length == 0) return {};
    out.resize(filled + run_length);
    auto r = reader_.Read(run_offset, std::span<uint8_t>(out.data() + filled, run_length));
    filled += run_length;
    run_length = 0;
    return r;
  };
  int32_t previous = kEndOfChain;
  for (int32_t m = entry.start; m != kEndOfChain;) {
    if (m < 0) {
      return Fail(kErrSectorOutsideFile, "stream \"" + entry.name + "\" names sector " + Str(m));
    }
    const size_t take = static_cast<size_t>(std::min<uint64_t>(remaining, kSectorSize));
    if (!reader_.Contains(SectorOffset(m), take)) {
      return Fail(kErrSectorOutsideFile,
                  "sector " + Str(m) + " of stream \"" + entry.name + "\" lies outside the file");
    }
    if (auto c = Claim(sectors_, entry, m, "sector"); !c) return c;
    if (run_length == 0 || m != previous + 1) {
      if (auto r = flush(); !r) return r;
      run_offset = SectorOffset(m);
    }
    run_length += take;
    previous = m;
    remaining -= take;
    if (remaining == 0) break;
    auto next = NextSector(Table::kFat, m);
    if (!next) return tl::unexpected(next.error());
    m = *next;
  }
  if (auto r = flush(); !r) return r;
  out.resize(filled);
  return {};
}

}  // namespace glintvane
