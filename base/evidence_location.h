// Where a piece of evidence lies: the value that a found cache's row keeps
// and that opening the row opens, without going through text. Its text form
// exists for people and scripts (the path column, `list` and `extract`):
//
//   /cases/Thumbs.db                                   a file
//   IMAGE#p<partition>:i<inode>:<inner path>           a file inside a disk image
//   /cases/laptop.E01#p2:i1234:/Documents and Settings/eve/Thumbs.db
//   IMAGE#p<partition>:s<store>:i<inode>:<inner path>  the same in a shadow-copy store
//   /cases/laptop.E01#p2:s1:i1234:/Users/eve/AppData/.../thumbcache_96.db
//
// The partition (0 for an image without a partition table), the store (the
// volume as it is when none) and the metadata address say which file is
// meant, so two deleted files of the same name in one folder stay apart; the
// inner path is there for people and for finding what lies beside the file,
// not to find the file.
//
// Places to come are one more alternative here, with one more branch of the
// parser after "#p<partition>:" or "#", never a parser of their own:
//   a cache at a byte offset of a file            FILE#o<offset>
//   a cache in the free space of a partition      IMAGE#p1:o<offset>:Thumbs.db
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>

namespace glintvane {

// A file as the system names it: a cache in a folder, a block device.
struct FileLocation {
  std::string path;
  friend bool operator==(const FileLocation&, const FileLocation&) = default;
};

// A file inside a disk image, read through its file system.
struct ImageFileLocation {
  std::string image;       // the image file (its first segment)
  int partition = 0;       // 1-based in table order; 0 for an image without a table
  uint64_t inode = 0;      // the file system's metadata address of the file
  std::string inner_path;  // inside the file system, "/" between folders, from "/"
  // The Volume Shadow Copy store the file system is read from, 1-based in
  // the volume's order (oldest first, as vshadowinfo numbers them); 0 for
  // the volume as it is.
  int store = 0;
  friend bool operator==(const ImageFileLocation&, const ImageFileLocation&) = default;
};

using EvidenceLocation = std::variant<FileLocation, ImageFileLocation>;

// Partition numbers of the text form go up to this: above the thousands of
// entries a crafted GPT or MBR chain can list, and far inside an int.
inline constexpr int kMaxLocationPartition = 100000;
// Store numbers likewise: Windows keeps at most 512 shadow copies of a
// volume.
inline constexpr int kMaxLocationStore = 512;

// The text form above.
std::string FormatEvidenceLocation(const EvidenceLocation& where);
// The folder the row's Location column shows, ending in "/": the file's
// folder, or IMAGE#p<partition>:[s<store>:]<folder inside the image>.
std::string EvidenceFolderText(const EvidenceLocation& where);
// The image an alternative lies in; null for a plain file.
inline const ImageFileLocation* InImage(const EvidenceLocation& where) {
  return std::get_if<ImageFileLocation>(&where);
}

// Says whether a file (not a folder) is at `path`. The parser asks, and
// touches no disk itself: the command line hands in the file system, tests
// a set of names.
using FileThere = std::function<bool(const std::string& path)>;

// Reads the text form back. A text that names an existing file is that file,
// "#p" in its name or not. Otherwise, of the places where "#p" could start,
// the first that parses and whose image part names an existing file gives a
// file inside that image; any other text is a file of that name (which may
// then fail to open, as a mistyped path does).
EvidenceLocation ParseEvidenceLocation(std::string_view text, const FileThere& file_there);

}  // namespace glintvane
