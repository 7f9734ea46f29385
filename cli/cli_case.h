// --case FILE: the case file the command line reads tags and notes from.
// Opened read-only; the evidence is hashed (with the progress line) to find
// its rows, once per set of files in a run, and not at all when the case
// recorded the same files unchanged.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "case/case_file.h"

namespace glintvane::cli {

class CliCase {
 public:
  // Opens `path` (a case file or its folder); false, with the reason in
  // error() and (when `say`) on standard error as "glintvane-cli VERB: ...",
  // when it cannot be used.
  bool Open(const std::string& verb, const std::string& path, bool say = true);
  const std::string& error() const { return error_; }
  // The verb that names the command in messages when no case is opened.
  void set_verb(const std::string& verb) { verb_ = verb; }
  bool is_open() const { return file_ != nullptr; }
  const CaseFile* file() const { return file_.get(); }

  // The marks of the rows read from `path` (a cache file, a cache inside a
  // disk image, or a file carved when `carved`), by row key. Empty when no
  // case is open; a failure to hash is said on standard error.
  const std::map<std::string, RowMarks>& MarksFor(const std::string& path, bool carved = false);

  // The key of that evidence ("" sha256 when it could not be hashed), and
  // in *size the bytes hashed. Works without a case as well (the report
  // names the evidence by it); a case spares hashing files it has seen.
  EvidenceKey KeyFor(const std::string& path, bool carved = false, uint64_t* size = nullptr);

 private:
  std::string verb_;
  std::string error_;
  std::unique_ptr<CaseFile> file_;
  struct Digest {
    std::string sha256;
    uint64_t size = 0;
  };
  std::map<std::string, Digest> digests_;  // stamp -> digest, hashed in this run
  std::map<std::string, std::map<std::string, RowMarks>> marks_;  // path -> marks
};

}  // namespace glintvane::cli
