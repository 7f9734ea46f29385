#include "case/case_file.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <filesystem>

#include "base/byte_source.h"
#include "base/file_time.h"

namespace glintvane {
namespace {

// The first bytes of every SQLite database, and where its header keeps the
// two numbers checked before SQLite is let near the file (big-endian).
constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};
constexpr size_t kSqliteHeaderBytes = 100;
constexpr size_t kUserVersionAt = 60;
constexpr size_t kApplicationIdAt = 68;
// How long a write waits for another program (glintvane-cli reading the
// case) to let go of the file.
constexpr int kBusyTimeoutMs = 2000;

constexpr std::array<std::string_view, 3> kBuiltInTags = {kTagRelevant, kTagReview, kTagIgnore};

constexpr const char* kSchema = R"sql(
CREATE TABLE case_info(key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL);
CREATE TABLE evidence(
  sha256 TEXT NOT NULL, path TEXT NOT NULL, size INTEGER NOT NULL, stamp TEXT NOT NULL,
  first_opened TEXT NOT NULL, last_opened TEXT NOT NULL, PRIMARY KEY(sha256, path));
CREATE TABLE tags(name TEXT PRIMARY KEY NOT NULL, position INTEGER NOT NULL);
CREATE TABLE row_tags(
  evidence TEXT NOT NULL, location TEXT NOT NULL, row_key TEXT NOT NULL, tag TEXT NOT NULL,
  position INTEGER NOT NULL, PRIMARY KEY(evidence, location, row_key, tag));
CREATE TABLE row_notes(
  evidence TEXT NOT NULL, location TEXT NOT NULL, row_key TEXT NOT NULL, note TEXT NOT NULL,
  PRIMARY KEY(evidence, location, row_key));
)sql";
constexpr std::array<std::string_view, 5> kTables = {"case_info", "evidence", "tags", "row_tags",
                                                     "row_notes"};

std::string NowUtc() {
  return UnixSecondsUtcIso(static_cast<int64_t>(std::time(nullptr)));
}

uint32_t BigEndian32(const uint8_t* at) {
  return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | at[3];
}

bool IsDamageCode(int code) {
  const int primary = code & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// One prepared statement, finalised on every way out.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    code_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return code_ == SQLITE_OK || code_ == SQLITE_ROW || code_ == SQLITE_DONE; }
  int code() const { return code_; }
  Statement& Bind(int at, std::string_view text) {
    if (ok()) {
      code_ = sqlite3_bind_text(stmt_, at, text.data(), static_cast<int>(text.size()),
                                SQLITE_TRANSIENT);
    }
    return *this;
  }
  Statement& Bind(int at, int64_t value) {
    if (ok()) code_ = sqlite3_bind_int64(stmt_, at, value);
    return *this;
  }
  // True while a row is there; false at the end or on a failure (ok() tells).
  bool Step() {
    if (!ok()) return false;
    code_ = sqlite3_step(stmt_);
    return code_ == SQLITE_ROW;
  }
  bool Run() {
    Step();
    return code_ == SQLITE_DONE;
  }
  std::string Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text == nullptr
               ? std::string()
               : std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
  }
  int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string Error() const { return sqlite3_errmsg(db_); }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  int code_ = SQLITE_OK;
};

CaseFailure FailureOf(sqlite3* db, int code, CaseFailureKind otherwise) {
  CaseFailure failure;
  failure.kind = IsDamageCode(code) ? CaseFailureKind::kDamaged : otherwise;
  failure.detail = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  return failure;
}

// Moves the finished file into place unless something is there already.
bool MoveIntoPlace(const std::string& from, const std::string& to, int& error) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  error = errno;
  if (error != EINVAL && error != ENOSYS) return false;
  // File systems without that flag: a hard link fails just as well on an
  // existing name.
  if (::link(from.c_str(), to.c_str()) != 0) {
    error = errno;
    return false;
  }
  ::unlink(from.c_str());
  return true;
}

}  // namespace

std::span<const std::string_view> BuiltInTags() {
  return kBuiltInTags;
}

std::string CleanTagName(std::string_view name) {
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  if (name.size() > kMaxTagBytes) return {};
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == ',') return {};
  }
  return std::string(name);
}

bool RowMarks::Has(std::string_view tag) const {
  return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

std::string CaseFailureText(const std::string& path, const CaseFailure& failure) {
  std::string why;
  switch (failure.kind) {
    case CaseFailureKind::kMissing:
      why = "there is no case file there";
      break;
    case CaseFailureKind::kExists:
      why = "a file of that name exists already";
      break;
    case CaseFailureKind::kNotACaseFile:
      why = "it is not a case file";
      break;
    case CaseFailureKind::kNewerVersion:
      why = "a newer version of the program wrote it (case format " +
            std::to_string(failure.version) + "; this version reads format " +
            std::to_string(kCaseSchemaVersion) + ")";
      break;
    case CaseFailureKind::kDamaged:
      why = "it is damaged";
      break;
    case CaseFailureKind::kReadOnly:
      why = "it was opened for reading only";
      break;
    case CaseFailureKind::kIo:
      why = "it cannot be written";
      break;
  }
  if (!failure.detail.empty()) why += " (" + failure.detail + ")";
  return "the case file " + path + " cannot be used: " + why;
}

CaseFile::~CaseFile() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
}

std::string CaseFile::PathFor(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    return (std::filesystem::path(path) / kCaseFileName).string();
  }
  return path;
}

tl::expected<std::unique_ptr<CaseFile>, CaseFailure> CaseFile::Create(const std::string& path,
                                                                      CaseInfo info) {
  const std::string target = PathFor(path);
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0)
    return tl::unexpected(CaseFailure{CaseFailureKind::kExists, {}, 0});
  std::string temporary = target + ".new-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    return tl::unexpected(CaseFailure{CaseFailureKind::kIo, IoErrorFromErrno(errno).message, 0});
  }
  ::close(fd);
  const auto discard = [&temporary](CaseFailure failure) {
    ::unlink(temporary.c_str());
    ::unlink((temporary + "-journal").c_str());
    return tl::unexpected(std::move(failure));
  };
  {
    CaseFile made;
    const int code = sqlite3_open_v2(temporary.c_str(), &made.db_, SQLITE_OPEN_READWRITE, nullptr);
    if (code != SQLITE_OK) return discard(FailureOf(made.db_, code, CaseFailureKind::kIo));
    if (info.created_utc.empty()) info.created_utc = NowUtc();
    const std::string pragmas = "PRAGMA application_id=" + std::to_string(kCaseApplicationId) +
                                "; PRAGMA user_version=" + std::to_string(kCaseSchemaVersion) + ";";
    auto built = made.Exec("BEGIN IMMEDIATE");
    if (built) built = made.Exec(kSchema);
    if (built) built = made.Exec(pragmas.c_str());
    if (built) {
      for (const auto& [key, value] :
           {std::pair<const char*, const std::string&>{"examiner", info.examiner},
            {"case_number", info.case_number},
            {"created", info.created_utc}}) {
        Statement row(made.db_, "INSERT INTO case_info(key, value) VALUES (?, ?)");
        if (!row.Bind(1, key).Bind(2, value).Run()) {
          built = tl::unexpected(FailureOf(made.db_, row.code(), CaseFailureKind::kIo));
          break;
        }
      }
    }
    if (built) built = made.Exec("COMMIT");
    if (!built) return discard(built.error());
  }
  int error = 0;
  if (!MoveIntoPlace(temporary, target, error)) {
    return discard(CaseFailure{error == EEXIST ? CaseFailureKind::kExists : CaseFailureKind::kIo,
                               error == EEXIST ? std::string() : IoErrorFromErrno(error).message,
                               0});
  }
  return Open(target);
}

tl::expected<std::unique_ptr<CaseFile>, CaseFailure> CaseFile::Open(const std::string& path,
                                                                    bool read_only) {
  const std::string target = PathFor(path);
  // The header is read by us first: SQLite is handed only a file that says
  // it is a case file of a format this version knows, so that it never
  // writes (a journal rolled back, a header rewritten) to anything else.
  auto bytes = FileByteSource::Open(target);
  if (!bytes) {
    const bool missing = bytes.error().error_number == ENOENT;
    return tl::unexpected(CaseFailure{missing ? CaseFailureKind::kMissing : CaseFailureKind::kIo,
                                      missing ? std::string() : bytes.error().message, 0});
  }
  std::array<uint8_t, kSqliteHeaderBytes> header{};
  const auto got = (*bytes)->ReadAt(0, header);
  bytes->reset();
  if (!got) return tl::unexpected(CaseFailure{CaseFailureKind::kIo, got.error().message, 0});
  if (*got < header.size() || std::string_view(reinterpret_cast<const char*>(header.data()),
                                               kSqliteMagic.size()) != kSqliteMagic) {
    return tl::unexpected(CaseFailure{CaseFailureKind::kNotACaseFile, {}, 0});
  }
  if (static_cast<int32_t>(BigEndian32(&header[kApplicationIdAt])) != kCaseApplicationId) {
    return tl::unexpected(CaseFailure{CaseFailureKind::kNotACaseFile, {}, 0});
  }
  const auto version = static_cast<int32_t>(BigEndian32(&header[kUserVersionAt]));
  if (version > kCaseSchemaVersion) {
    return tl::unexpected(CaseFailure{CaseFailureKind::kNewerVersion, {}, version});
  }
  if (version < 1)
    return tl::unexpected(CaseFailure{CaseFailureKind::kDamaged, "no format number", 0});

  auto file = std::unique_ptr<CaseFile>(new CaseFile);
  file->path_ = target;
  file->read_only_ = read_only;
  const int flags = read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  const int code = sqlite3_open_v2(target.c_str(), &file->db_, flags, nullptr);
  if (code != SQLITE_OK) return tl::unexpected(FailureOf(file->db_, code, CaseFailureKind::kIo));
  sqlite3_busy_timeout(file->db_, kBusyTimeoutMs);
  // A damaged page anywhere, or tables that are not the ones we made, and
  // the file is left alone.
  {
    Statement check(file->db_, "PRAGMA quick_check");
    if (!check.Step())
      return tl::unexpected(FailureOf(file->db_, check.code(), CaseFailureKind::kDamaged));
    const std::string verdict = check.Text(0);
    if (verdict != "ok") return tl::unexpected(CaseFailure{CaseFailureKind::kDamaged, verdict, 0});
  }
  for (const std::string_view table : kTables) {
    Statement exists(file->db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
    if (!exists.Bind(1, table).Step()) {
      return tl::unexpected(CaseFailure{CaseFailureKind::kDamaged,
                                        "the table " + std::string(table) + " is missing", 0});
    }
  }
  if (!file->LoadInfo()) {
    return tl::unexpected(CaseFailure{CaseFailureKind::kDamaged, sqlite3_errmsg(file->db_), 0});
  }
  return file;
}

bool CaseFile::LoadInfo() {
  Statement rows(db_, "SELECT key, value FROM case_info");
  while (rows.Step()) {
    const std::string key = rows.Text(0);
    if (key == "examiner") info_.examiner = rows.Text(1);
    if (key == "case_number") info_.case_number = rows.Text(1);
    if (key == "created") info_.created_utc = rows.Text(1);
  }
  return rows.code() == SQLITE_DONE;
}

CaseFailure CaseFile::Failure(CaseFailureKind kind) const {
  return FailureOf(db_, sqlite3_errcode(db_), kind);
}

tl::expected<void, CaseFailure> CaseFile::Exec(const char* sql) {
  char* message = nullptr;
  const int code = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
  if (code == SQLITE_OK) return {};
  CaseFailure failure = FailureOf(db_, code, CaseFailureKind::kIo);
  if (message != nullptr) failure.detail = message;
  sqlite3_free(message);
  return tl::unexpected(std::move(failure));
}

tl::expected<void, CaseFailure> CaseFile::Writable() const {
  if (read_only_) return tl::unexpected(CaseFailure{CaseFailureKind::kReadOnly, {}, 0});
  return {};
}

tl::expected<void, CaseFailure> CaseFile::SetInfo(const CaseInfo& info) {
  if (auto writable = Writable(); !writable) return writable;
  auto done = Exec("BEGIN IMMEDIATE");
  for (const auto& [key, value] :
       {std::pair<const char*, const std::string&>{"examiner", info.examiner},
        {"case_number", info.case_number}}) {
    if (!done) break;
    Statement row(db_, "INSERT OR REPLACE INTO case_info(key, value) VALUES (?, ?)");
    if (!row.Bind(1, key).Bind(2, value).Run())
      done = tl::unexpected(Failure(CaseFailureKind::kIo));
  }
  if (done) done = Exec("COMMIT");
  if (!done) {
    Exec("ROLLBACK");
    return done;
  }
  info_.examiner = info.examiner;
  info_.case_number = info.case_number;
  return {};
}

tl::expected<void, CaseFailure> CaseFile::RecordEvidence(const EvidenceRecord& record) {
  if (auto writable = Writable(); !writable) return writable;
  const std::string now = NowUtc();
  Statement upsert(db_,
                   "INSERT INTO evidence(sha256, path, size, stamp, first_opened, last_opened) "
                   "VALUES (?1, ?2, ?3, ?4, ?5, ?5) ON CONFLICT(sha256, path) DO UPDATE SET "
                   "size = ?3, stamp = ?4, last_opened = ?5");
  if (!upsert.Bind(1, record.sha256)
           .Bind(2, record.path)
           .Bind(3, static_cast<int64_t>(record.size))
           .Bind(4, record.stamp)
           .Bind(5, now)
           .Run()) {
    return tl::unexpected(Failure(CaseFailureKind::kIo));
  }
  return {};
}

std::vector<EvidenceRecord> CaseFile::Evidence() const {
  std::vector<EvidenceRecord> records;
  Statement rows(db_,
                 "SELECT sha256, size, path, stamp, first_opened, last_opened FROM evidence "
                 "ORDER BY first_opened, path");
  while (rows.Step()) {
    records.push_back({rows.Text(0), static_cast<uint64_t>(rows.Int(1)), rows.Text(2), rows.Text(3),
                       rows.Text(4), rows.Text(5)});
  }
  return records;
}

std::optional<std::string> CaseFile::KnownDigest(std::string_view stamp) const {
  if (stamp.empty()) return std::nullopt;
  Statement row(db_, "SELECT sha256 FROM evidence WHERE stamp = ? ORDER BY last_opened DESC");
  if (!row.Bind(1, stamp).Step()) return std::nullopt;
  return row.Text(0);
}

std::map<std::string, RowMarks> CaseFile::Marks(const EvidenceKey& evidence) const {
  std::map<std::string, RowMarks> marks;
  Statement tags(db_,
                 "SELECT row_key, tag FROM row_tags WHERE evidence = ? AND location = ? "
                 "ORDER BY row_key, position");
  tags.Bind(1, evidence.sha256).Bind(2, evidence.location);
  while (tags.Step()) marks[tags.Text(0)].tags.push_back(tags.Text(1));
  Statement notes(db_, "SELECT row_key, note FROM row_notes WHERE evidence = ? AND location = ?");
  notes.Bind(1, evidence.sha256).Bind(2, evidence.location);
  while (notes.Step()) marks[notes.Text(0)].note = notes.Text(1);
  return marks;
}

tl::expected<void, CaseFailure> CaseFile::SetMarks(
    const EvidenceKey& evidence, const std::vector<std::pair<std::string, RowMarks>>& rows) {
  if (auto writable = Writable(); !writable) return writable;
  auto done = Exec("BEGIN IMMEDIATE");
  const auto fail = [&] { done = tl::unexpected(Failure(CaseFailureKind::kIo)); };
  for (const auto& [row_key, marks] : rows) {
    if (!done) break;
    Statement drop_tags(db_,
                        "DELETE FROM row_tags WHERE evidence = ? AND location = ? AND row_key = ?");
    Statement drop_note(
        db_, "DELETE FROM row_notes WHERE evidence = ? AND location = ? AND row_key = ?");
    if (!drop_tags.Bind(1, evidence.sha256).Bind(2, evidence.location).Bind(3, row_key).Run() ||
        !drop_note.Bind(1, evidence.sha256).Bind(2, evidence.location).Bind(3, row_key).Run()) {
      fail();
      break;
    }
    int64_t position = 0;
    for (const std::string& tag : marks.tags) {
      Statement add(db_,
                    "INSERT OR IGNORE INTO row_tags(evidence, location, row_key, tag, position) "
                    "VALUES (?, ?, ?, ?, ?)");
      Statement known(db_,
                      "INSERT OR IGNORE INTO tags(name, position) "
                      "SELECT ?1, COALESCE(MAX(position), 0) + 1 FROM tags");
      const bool built_in =
          std::find(kBuiltInTags.begin(), kBuiltInTags.end(), tag) != kBuiltInTags.end();
      if (!add.Bind(1, evidence.sha256)
               .Bind(2, evidence.location)
               .Bind(3, row_key)
               .Bind(4, tag)
               .Bind(5, position++)
               .Run() ||
          (!built_in && !known.Bind(1, tag).Run())) {
        fail();
        break;
      }
    }
    if (done && !marks.note.empty()) {
      Statement note(
          db_, "INSERT INTO row_notes(evidence, location, row_key, note) VALUES (?, ?, ?, ?)");
      if (!note.Bind(1, evidence.sha256)
               .Bind(2, evidence.location)
               .Bind(3, row_key)
               .Bind(4, marks.note)
               .Run())
        fail();
    }
  }
  if (done) done = Exec("COMMIT");
  if (!done) Exec("ROLLBACK");
  return done;
}

std::vector<std::string> CaseFile::Tags() const {
  std::vector<std::string> tags(kBuiltInTags.begin(), kBuiltInTags.end());
  Statement rows(db_, "SELECT name FROM tags ORDER BY position, name");
  while (rows.Step()) {
    std::string name = rows.Text(0);
    if (std::find(tags.begin(), tags.end(), name) == tags.end()) tags.push_back(std::move(name));
  }
  return tags;
}

tl::expected<void, CaseFailure> CaseFile::AddTag(std::string_view name) {
  if (auto writable = Writable(); !writable) return writable;
  if (std::find(kBuiltInTags.begin(), kBuiltInTags.end(), name) != kBuiltInTags.end()) return {};
  Statement add(db_,
                "INSERT OR IGNORE INTO tags(name, position) "
                "SELECT ?1, COALESCE(MAX(position), 0) + 1 FROM tags");
  if (!add.Bind(1, name).Run()) return tl::unexpected(Failure(CaseFailureKind::kIo));
  return {};
}

}  // namespace glintvane
