// The case file: one SQLite database in the case folder that keeps what an
// examiner does with the evidence between runs: who works the case and its
// number, the evidence opened (path, size, SHA-256), and per row the tags and
// the note put on it. Rows are found again by the evidence's SHA-256, where
// in the evidence the cache lies and the row's key, so their marks come back
// whichever path the same evidence is opened from.
//
// Every change is one transaction. A file that another version of the
// program wrote in a newer format, a damaged one and one that is not a case
// file at all are refused before anything is written to them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

struct sqlite3;

namespace glintvane {

// The name of the case file in its case folder.
inline constexpr std::string_view kCaseFileName = "glintvane-case.sqlite";

// The format this version writes and reads (PRAGMA user_version). A newer
// number means tables or meanings this version does not know: such a file
// is refused rather than half-understood or written in the old way.
inline constexpr int kCaseSchemaVersion = 1;

// PRAGMA application_id of a case file: "GLVC". Another program's SQLite
// database (or a Windows.db met as evidence) is told apart by it.
inline constexpr int32_t kCaseApplicationId = 0x474C5643;

// The tags every case offers, stored under these names whatever the
// language the window shows them in.
inline constexpr std::string_view kTagRelevant = "Relevant";
inline constexpr std::string_view kTagReview = "Review";
inline constexpr std::string_view kTagIgnore = "Ignore";
std::span<const std::string_view> BuiltInTags();

// A tag name as typed, made fit to keep: blanks at either end dropped,
// control characters and "," (the separator the command line splits on)
// refused. "" when nothing usable is left.
std::string CleanTagName(std::string_view name);
// The longest tag and note kept, in bytes: a tag is a word or two; a note
// is a paragraph, not a document.
inline constexpr size_t kMaxTagBytes = 64;
inline constexpr size_t kMaxNoteBytes = 16 * 1024;

enum class CaseFailureKind {
  kMissing,       // no file at the path
  kExists,        // New Case where a case file is already
  kNotACaseFile,  // not SQLite, or another program's database
  kNewerVersion,  // written by a newer version of the program
  kDamaged,       // SQLite says it is corrupt, or the tables are not ours
  kReadOnly,      // opened for reading only
  kIo,            // the file system refused (no room, no permission)
};

struct CaseFailure {
  CaseFailureKind kind = CaseFailureKind::kIo;
  std::string detail;  // SQLite's or the system's words, for the record
  int version = 0;     // kNewerVersion: the file's format number
};

// An English sentence for the command line: "... cannot be used: ...".
std::string CaseFailureText(const std::string& path, const CaseFailure& failure);

struct CaseInfo {
  std::string examiner;
  std::string case_number;
  std::string created_utc;  // ISO 8601, set when the file is made
};

// Which evidence a list was read from, as the case keys its rows: the
// SHA-256 of the evidence file(s) and where inside them the rows lie ("" for
// a cache opened as a file of its own).
struct EvidenceKey {
  std::string sha256;
  std::string location;
  bool empty() const { return sha256.empty(); }
};

// A row's tags (in the order given, no repeats) and note.
struct RowMarks {
  std::vector<std::string> tags;
  std::string note;
  bool empty() const { return tags.empty() && note.empty(); }
  bool Has(std::string_view tag) const;
};

// One evidence file (or set of files) the case has seen.
struct EvidenceRecord {
  std::string sha256;
  uint64_t size = 0;
  std::string path;  // as opened the last time
  // What the file(s) looked like when hashed (paths, sizes, times): the
  // SHA-256 is taken again only when this has changed.
  std::string stamp;
  std::string first_opened_utc;
  std::string last_opened_utc;
};

class CaseFile {
 public:
  ~CaseFile();
  CaseFile(const CaseFile&) = delete;
  CaseFile& operator=(const CaseFile&) = delete;

  // Makes a new case file at `path`; refuses (kExists) when anything is
  // there. The file is built aside and moved into place whole.
  static tl::expected<std::unique_ptr<CaseFile>, CaseFailure> Create(const std::string& path,
                                                                     CaseInfo info);
  // Opens the case file at `path` (or, for a folder, the case file in it).
  // Refused, untouched: a file that is not a case file, one of a newer
  // format, a damaged one.
  static tl::expected<std::unique_ptr<CaseFile>, CaseFailure> Open(const std::string& path,
                                                                   bool read_only = false);
  // The case file a path names: `path` itself, or the case file in the
  // folder `path`.
  static std::string PathFor(const std::string& path);

  const std::string& path() const { return path_; }
  const CaseInfo& info() const { return info_; }
  bool read_only() const { return read_only_; }

  tl::expected<void, CaseFailure> SetInfo(const CaseInfo& info);

  // Records that the evidence was opened now from `record.path`.
  tl::expected<void, CaseFailure> RecordEvidence(const EvidenceRecord& record);
  std::vector<EvidenceRecord> Evidence() const;
  // The SHA-256 recorded for files that look exactly as `stamp` says.
  std::optional<std::string> KnownDigest(std::string_view stamp) const;

  // Every marked row of one evidence, by row key.
  std::map<std::string, RowMarks> Marks(const EvidenceKey& evidence) const;
  // Replaces the marks of the rows given (an empty RowMarks removes them),
  // all in one transaction.
  tl::expected<void, CaseFailure> SetMarks(
      const EvidenceKey& evidence, const std::vector<std::pair<std::string, RowMarks>>& rows);

  // The tags the case offers: the built-in ones, then the user's own in the
  // order they were made.
  std::vector<std::string> Tags() const;
  tl::expected<void, CaseFailure> AddTag(std::string_view name);

 private:
  CaseFile() = default;
  tl::expected<void, CaseFailure> Exec(const char* sql);
  tl::expected<void, CaseFailure> Writable() const;
  CaseFailure Failure(CaseFailureKind kind) const;
  bool LoadInfo();

  sqlite3* db_ = nullptr;
  std::string path_;
  CaseInfo info_;
  bool read_only_ = false;
};

}  // namespace glintvane
