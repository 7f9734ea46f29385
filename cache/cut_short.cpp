#include "cache/cut_short.h"

#include <algorithm>
#include <cstring>

#include "base/byte_fields.h"
#include "cache/compound_file.h"

namespace glintvane {
namespace {

using namespace cfb;

// Sector numbers as the unsigned 32-bit values the FAT holds.
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kChainEnd = static_cast<uint32_t>(kEndOfChain);
// Sector numbers from here up are markers (end of chain, FAT, DIFAT, free).
constexpr uint32_t kFirstMarker = 0xFFFFFFFA;
constexpr uint16_t kCatalogName[] = {'C', 'a', 't', 'a', 'l', 'o', 'g'};

uint64_t SectorAt(uint32_t sector) {
  return kHeaderSize + uint64_t{sector} * kSectorSize;
}

// How much of a chain lies inside the file.
enum class Reach { kWhole, kNoneOfIt, kPart };

class Diagnosis {
 public:
  explicit Diagnosis(PagedReader& reader)
      : reader_(reader),
        size_(reader.size()),
        sectors_(size_ <= kHeaderSize ? 0 : (size_ - kHeaderSize) / kSectorSize),
        seen_(sectors_, false) {}

  // With `always`, a file that holds everything gives its measure too.
  std::optional<CutShort> Run(bool always) {
    uint8_t signature[sizeof(kSignature)];
    if (!reader_.Read(0, signature) || std::memcmp(signature, kSignature, sizeof signature) != 0) {
      return std::nullopt;
    }
    CutShort cut;
    cut.size = size_;
    if (size_ < kHeaderSize) {
      cut.past_the_end.push_back("the rest of the header");
      return cut;
    }
    const uint32_t fat_count = U32(kOffFatCount).value_or(0);
    // Sectors the FAT can describe: a number past them is damage, not a cut.
    describable_ = uint64_t{fat_count} * kIdsPerSector;
    ListFatSectors(fat_count);

    // The highest sector anything names, and the FAT's last sector in use.
    uint64_t highest = 0;
    bool any = false;
    auto note = [&](uint64_t sector) {
      if (sector >= kFirstMarker || sector >= describable_) return;
      highest = std::max(highest, sector);
      any = true;
    };
    size_t fat_gone = 0;
    for (size_t k = 0; k < fat_.size(); ++k) {
      if (fat_[k] >= kFirstMarker || fat_[k] >= describable_) continue;  // damage
      note(fat_[k]);
      if (!Inside(fat_[k])) {
        ++fat_gone;
        continue;
      }
      for (uint32_t j = kIdsPerSector; j-- > 0;) {
        const auto entry = U32(SectorAt(fat_[k]) + 4ull * j);
        if (entry && *entry != kFreeSector) {
          note(uint64_t{k} * kIdsPerSector + j);
          break;
        }
      }
    }
    for (const uint32_t d : difat_) note(d);
    const uint32_t first_directory = U32(kOffFirstDirectory).value_or(kChainEnd);
    const uint32_t first_mini_fat = U32(kOffFirstMiniFat).value_or(kChainEnd);
    if (first_directory < kFirstMarker) note(first_directory);
    if (first_mini_fat < kFirstMarker) note(first_mini_fat);
    cut.expected = any ? SectorAt(static_cast<uint32_t>(highest)) + kSectorSize : kHeaderSize;
    // FAT sectors past the end held the entries of sectors nobody can name now.
    cut.at_least = fat_gone > 0 || difat_gone_ > 0;
    if (cut.Whole()) {
      if (always) return cut;
      return std::nullopt;
    }

    if (difat_gone_ > 0) {
      cut.past_the_end.push_back(std::to_string(difat_gone_) + " of " +
                                 std::to_string(difat_.size() + difat_gone_) + " DIFAT sectors");
    }
    const uint64_t unlisted = difat_gone_ > 0 ? fat_count - fat_.size() : 0;
    if (fat_gone > 0 || unlisted > 0) {
      cut.past_the_end.push_back(std::to_string(fat_gone + unlisted) + " of " +
                                 std::to_string(fat_count) + " FAT sectors");
    }
    std::vector<uint32_t> directory;
    Say(cut, Follow(first_directory, &directory), "the directory");
    std::vector<uint32_t> mini_fat;
    Say(cut, Follow(first_mini_fat, &mini_fat), "the mini FAT");
    // The root entry, first of the directory, holds the mini stream.
    std::vector<uint32_t> mini_stream;
    Reach mini_reach = Reach::kWhole;
    if (!directory.empty()) {
      const uint32_t start = U32(SectorAt(directory[0]) + kEntryStart).value_or(kChainEnd);
      mini_reach = Follow(start, &mini_stream);
      Say(cut, mini_reach, "the mini stream");
    }
    if (CatalogGone(directory, mini_fat, mini_stream, mini_reach)) {
      cut.past_the_end.push_back("the Catalog");
    }
    if (cut.expected <= size_) cut.expected = size_;
    return cut;
  }

 private:
  std::optional<uint32_t> U32(uint64_t offset) {
    auto v = reader_.U32(offset);
    return v ? std::optional<uint32_t>(*v) : std::nullopt;
  }

  // Whole inside the file (a sector cut in the middle is gone).
  bool Inside(uint32_t sector) const { return sector < kFirstMarker && sector < sectors_; }

  // The FAT sector numbers: the header's, then the DIFAT chain's as far as it
  // lies inside the file.
  void ListFatSectors(uint32_t fat_count) {
    // A sound file has no more FAT sectors than sectors; more numbers than
    // that are not gathered (each costs a look at its sector).
    fat_count = static_cast<uint32_t>(std::min<uint64_t>(fat_count, sectors_ + kHeaderDifatCount));
    const uint32_t in_header = std::min(fat_count, kHeaderDifatCount);
    for (uint32_t i = 0; i < in_header; ++i) {
      fat_.push_back(U32(kOffHeaderDifat + 4ull * i).value_or(kFreeSector));
    }
    uint32_t d = U32(kOffFirstDifat).value_or(kChainEnd);
    while (fat_.size() < fat_count && d < kFirstMarker && d < describable_) {
      if (!Inside(d)) {
        // The rest of the FAT's numbers went with it.
        difat_gone_ = (fat_count - fat_.size() + kIdsPerDifatSector - 1) / kIdsPerDifatSector;
        return;
      }
      if (seen_[d]) return;
      seen_[d] = true;
      difat_.push_back(d);
      const uint32_t take =
          std::min<uint32_t>(fat_count - static_cast<uint32_t>(fat_.size()), kIdsPerDifatSector);
      for (uint32_t i = 0; i < take; ++i) {
        fat_.push_back(U32(SectorAt(d) + 4ull * i).value_or(kFreeSector));
      }
      d = U32(SectorAt(d) + 4ull * kIdsPerDifatSector).value_or(kChainEnd);
    }
  }

  // The FAT entry of sector n, when the FAT sector holding it is inside.
  std::optional<uint32_t> Next(uint32_t n) {
    const size_t k = n / kIdsPerSector;
    if (k >= fat_.size() || !Inside(fat_[k])) return std::nullopt;
    return U32(SectorAt(fat_[k]) + 4ull * (n % kIdsPerSector));
  }

  // Follows a FAT chain and collects the sectors inside. A chain that loops
  // or names a sector the FAT cannot describe is damaged, not cut: it counts
  // as whole as far as it goes.
  Reach Follow(uint32_t start, std::vector<uint32_t>* sectors) {
    std::fill(seen_.begin(), seen_.end(), false);
    bool first = true;
    for (uint32_t s = start; s != kChainEnd; first = false) {
      if (s >= kFirstMarker || s >= describable_) return Reach::kWhole;
      if (!Inside(s)) return first ? Reach::kNoneOfIt : Reach::kPart;
      if (seen_[s]) return Reach::kWhole;
      seen_[s] = true;
      if (sectors != nullptr) sectors->push_back(s);
      const auto next = Next(s);
      if (!next) return Reach::kPart;  // its FAT sector is past the end
      s = *next;
    }
    return Reach::kWhole;
  }

  static void Say(CutShort& cut, Reach reach, const std::string& what) {
    if (reach == Reach::kNoneOfIt) cut.past_the_end.push_back(what);
    if (reach == Reach::kPart) cut.past_the_end.push_back("part of " + what);
  }

  // Whether the Catalog named in the directory's remaining sectors has a
  // sector past the end.
  bool CatalogGone(const std::vector<uint32_t>& directory, const std::vector<uint32_t>& mini_fat,
                   const std::vector<uint32_t>& mini_stream, Reach mini_reach) {
    for (const uint32_t d : directory) {
      for (uint32_t i = 0; i < kEntriesPerSector; ++i) {
        const uint64_t e = SectorAt(d) + uint64_t{kEntrySize} * i;
        uint8_t slot_bytes[kEntrySize];
        if (!reader_.Read(e, slot_bytes)) continue;
        ByteFields slot(slot_bytes);
        if (slot.Le<uint8_t>(kEntryType) != kTypeStream ||
            slot.Le<uint16_t>(kEntryNameLength) != 2 * (std::size(kCatalogName) + 1)) {
          continue;
        }
        bool named = true;
        for (size_t c = 0; c < std::size(kCatalogName); ++c) {
          named = named && slot.Le<uint16_t>(2 * c) == kCatalogName[c];
        }
        if (!named) continue;
        const uint32_t start = slot.Le<uint32_t>(kEntryStart);
        const uint32_t size = slot.Le<uint32_t>(kEntrySizeField);
        if (size >= kMiniStreamCutoff) return Follow(start, nullptr) != Reach::kWhole;
        return MiniChainGone(start, size, mini_fat, mini_stream, mini_reach);
      }
    }
    return false;
  }

  bool MiniChainGone(uint32_t start, uint32_t size, const std::vector<uint32_t>& mini_fat,
                     const std::vector<uint32_t>& mini_stream, Reach mini_reach) {
    uint64_t left = size;
    for (uint32_t m = start; m != kChainEnd && left > 0;) {
      if (m >= kFirstMarker) return false;
      const size_t k = m / kMiniPerSector;
      // Past the mini stream sectors that remain: gone if the mini stream
      // itself was cut, damage otherwise.
      if (k >= mini_stream.size()) return mini_reach != Reach::kWhole;
      left -= std::min<uint64_t>(left, kMiniSectorSize);
      if (left == 0) return false;
      const size_t f = m / kIdsPerSector;
      if (f >= mini_fat.size()) return true;  // its mini FAT sector is gone
      const auto next = U32(SectorAt(mini_fat[f]) + 4ull * (m % kIdsPerSector));
      if (!next) return true;
      m = *next;
    }
    return false;
  }

  PagedReader& reader_;
  const uint64_t size_;
  const uint64_t sectors_;  // whole sectors after the header
  std::vector<bool> seen_;
  uint64_t describable_ = 0;
  std::vector<uint32_t> fat_;    // FAT sector numbers known
  std::vector<uint32_t> difat_;  // DIFAT sectors inside
  size_t difat_gone_ = 0;
};

}  // namespace

std::string CutShort::Text() const {
  std::string text = std::to_string(size);
  if (expected == 0) {
    text += " bytes, inside the header";
  } else {
    text += " of " + std::string(at_least ? "at least " : "") + std::to_string(expected) + " bytes";
  }
  if (past_the_end.empty()) return text + "; the FAT and the directory are whole";
  text += "; past the end: ";
  for (size_t i = 0; i < past_the_end.size(); ++i) {
    text += (i == 0 ? "" : ", ") + past_the_end[i];
  }
  return text;
}

std::optional<CutShort> DiagnoseCutShort(PagedReader& reader) {
  return Diagnosis(reader).Run(false);
}

std::optional<CutShort> MeasureCompoundFile(PagedReader& reader) {
  return Diagnosis(reader).Run(true);
}

}  // namespace glintvane
