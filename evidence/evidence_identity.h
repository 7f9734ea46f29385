// Which files a list's rows come from, and where in them, as a case keys the
// rows' tags and notes: a cache opened as a file of its own is that file; a
// cache inside a disk image is the image's files and the cache's place in
// the image; carved rows are the files carved.
#pragma once

#include <string>
#include <vector>

namespace glintvane {

// The location of carved rows: numbered by the carving pass, not by a cache.
inline constexpr char kCarvedLocation[] = "carved";

struct EvidenceSource {
  std::vector<std::string> files;  // hashed one after the other
  // "" for a cache read as a file of its own; kCarvedLocation; or for a
  // cache inside a disk image "p<partition>:i<inode>:<inner path>", which
  // is the same from whichever path the image is opened.
  std::string location;
  std::string error;  // why the files could not be named
};

// The evidence of a list read from `path` (a file, or a file inside a disk
// image as an image's search names it); `carved` for rows carved from it.
EvidenceSource IdentifyEvidence(const std::string& path, bool carved);

// The files that make the disk image at `path`, in order; `error` says why
// it could not be opened.
std::vector<std::string> EvidenceImageFiles(const std::string& path, std::string* error = nullptr);

}  // namespace glintvane
