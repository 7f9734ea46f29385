// A compound file cut short: how long its own structures say it is, and which
// of them lie past its end. Real caches keep their FAT and directory near the
// end of the file (Windows rewrote them last), so a cut usually takes them and
// with them every name; the thumbnails' bytes before the cut are still there
// for the carving scan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cache/paged_reader.h"

namespace glintvane {

struct CutShort {
  uint64_t size = 0;      // bytes the file holds
  uint64_t expected = 0;  // bytes the header and the FAT call for; 0 when the header is cut
  // The FAT sectors past the end could describe more: `expected` is then the
  // least the file was.
  bool at_least = false;
  // What lies past the end, in words: "3 of 4 FAT sectors", "the directory",
  // "part of the mini stream", "the Catalog". Empty when only stream data is
  // gone.
  std::vector<std::string> past_the_end;

  // The file holds every sector its header and FAT name.
  bool Whole() const { return expected != 0 && expected <= size && !at_least; }

  // One line: "1500000 of 1650688 bytes; past the end: 2 of 4 FAT sectors,
  // the directory".
  std::string Text() const;
};

// Looks at the file from its header: nullopt when it is not a compound file
// or holds everything its header and FAT name. Bounded by the file: each
// sector chain it follows stops at the end of the file or at a sector it
// has seen, and sector numbers the FAT cannot describe are taken as damage,
// not as a cut.
std::optional<CutShort> DiagnoseCutShort(PagedReader& reader);

// The same look whether or not the file is cut: a whole file gives how far
// its structures reach (`expected`, which may be less than its size) and no
// reasons. nullopt when it is not a compound file. A cache found at an
// offset of a disk is read from a window that may run on past it.
std::optional<CutShort> MeasureCompoundFile(PagedReader& reader);

}  // namespace glintvane
