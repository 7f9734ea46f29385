// Digital Forensics XML: the record of a carving or extraction run that other
// carving and analysis tools read. One fileobject per image, with where its
// bytes lie in the source, its length and digests, and the run's creator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "export/digest.h"
#include "export/image_catalog.h"

namespace glintvane {

struct DfxmlByteRun {
  uint64_t file_offset = 0;  // offset inside the image file written
  uint64_t img_offset = 0;   // offset in the source (the disk image, or the file carved)
  uint64_t length = 0;
};

struct DfxmlFileObject {
  std::string filename;  // the file written, or the image's name in the source
  uint64_t filesize = 0;
  std::vector<DfxmlByteRun> byte_runs;  // empty when the bytes were gathered, not cut out
  Digests digests;
  std::string source_path;  // the cache a thumbnail came from, if not the run's source
};

struct DfxmlRun {
  std::string program = "glintvane-cli";
  std::string version;
  std::string command_line;
  std::string start_time;  // ISO 8601 UTC
  std::string end_time;    // ISO 8601 UTC; left out when empty
  // How the run ended, kept in its own record so that a saved file tells a
  // stopped or partial run from a whole one that found less.
  bool complete = true;      // every byte read, every chosen row written
  bool interrupted = false;  // stopped by the user (Ctrl-C)
  std::string status;        // how far a stopped run got, why a run is partial
  std::string source;        // the file or image read
  std::optional<uint64_t> source_size;
  std::string kind;  // what the run did: "carve", "extract"
};

// The record of one carved picture: named `filename`, `length` bytes long,
// lying in the source at `runs` (for a plain file, one run at its start), with
// the digests of those bytes.
DfxmlFileObject CarvedFileObject(std::string filename, uint64_t length,
                                 std::vector<DfxmlByteRun> runs, Digests digests);

// The record of one written image: a carved image is one stretch of its
// source; a thumbnail of a cache was gathered from the compound file's
// sectors and has no byte run.
DfxmlFileObject ExtractedFileObject(const ExtractedImage& image);

std::string BuildDfxml(const DfxmlRun& run, const std::vector<DfxmlFileObject>& objects);

// Text escaped for XML character data and attribute values. Bytes that are
// not UTF-8, and characters XML 1.0 cannot hold, become U+FFFD.
std::string XmlEscape(std::string_view text);

}  // namespace glintvane
