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
// A cache found by its bytes rather than through a file system keeps the
// byte offset where its header lies:
//   FILE#o<offset>                                 in a file as it lies (the
//                                                  disk, for a container)
//   IMAGE#p<partition>:o<offset>:<name>            in the free space of a partition
//   /cases/pagefile.sys#o1048576
//   /cases/laptop.E01#p1:o4333568:Thumbs.db
//
// Places to come are one more alternative or field here, with one more
// branch of the parser after "#p<partition>:" or "#", never a parser of their
// own.
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

// A cache at a byte offset, found by its header: the compound file read from
// there is bounded by the file, or by the free run of the partition it lies in.
struct OffsetLocation {
  static constexpr int kWholeFile = -1;
  std::string file;  // the file, or the disk image (its first segment)
  // kWholeFile: `offset` counts in the file's bytes (the disk's, for a
  // container); else the partition as in ImageFileLocation, `offset` from its
  // start.
  int partition = kWholeFile;
  uint64_t offset = 0;
  std::string name;  // inside an image: the file's name, for people ("Thumbs.db")
  friend bool operator==(const OffsetLocation&, const OffsetLocation&) = default;
};

using EvidenceLocation = std::variant<FileLocation, ImageFileLocation, OffsetLocation>;

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
// The offset alternative; null for the others.
inline const OffsetLocation* AtOffset(const EvidenceLocation& where) {
  return std::get_if<OffsetLocation>(&where);
}

// Says whether a file (not a folder) is at `path`. The parser asks, and
// touches no disk itself: the command line hands in the file system, tests
// a set of names.
using FileThere = std::function<bool(const std::string& path)>;

// Reads the text form back. A text that names an existing file is that file,
// "#p" or "#o" in its name or not. Otherwise, of the places where "#p" or
// "#o" could start, the first that parses and whose file part names an
// existing file gives a place inside that file; any other text is a file of
// that name (which may then fail to open, as a mistyped path does).
EvidenceLocation ParseEvidenceLocation(std::string_view text, const FileThere& file_there);

}  // namespace glintvane
