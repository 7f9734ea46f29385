// The text that names one file inside a disk image, so that a row of an
// image's search can be handed to `list`, `extract` or the window like a path:
//
//   IMAGE#p<partition>:i<inode>:<inner path>
//   /cases/laptop.E01#p2:i1234:/Documents and Settings/eve/Thumbs.db
//
// The partition (0 for an image without a partition table) and the metadata
// address say which file is meant, so two deleted files of the same name in
// one folder stay apart; the inner path is there for the reader and is not
// needed to find the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace glintvane {

struct EvidencePath {
  std::string image;
  int partition = 0;
  uint64_t inode = 0;
  std::string inner_path;  // starts with "/"
};

std::string FormatEvidencePath(const EvidencePath& path);

// Reads the text back. Image names may themselves hold "#p": of the places
// where the marker could start, the first whose image part names an
// existing file wins, else the first that parses at all.
std::optional<EvidencePath> ParseEvidencePath(std::string_view text);

}  // namespace glintvane
