// The case file: tags and notes come back when the same evidence is opened
// again from another path; a file of a newer format, a damaged one or
// another program's is refused and left exactly as it was.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/byte_source.h"
#include "case/case_file.h"
#include "case/evidence_digest.h"
#include "evidence/evidence_identity.h"
#include "tests/export/export_fixture.h"

namespace glintvane {
namespace {

using testing::ScratchFolder;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

EvidenceKey KeyOf(const std::string& path, bool carved = false) {
  const EvidenceSource source = IdentifyEvidence(path, carved);
  const EvidenceDigest digest = HashEvidenceFiles(source.files, nullptr, {});
  EXPECT_TRUE(digest.ok) << digest.error;
  return {digest.sha256, source.location};
}

void SetPragma(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

TEST(CaseFile, MarksComeBackForTheSameEvidenceUnderAnotherPath) {
  ScratchFolder folder;
  const std::string evidence = folder.Sub("first") + "Thumbs.db";
  Write(evidence, std::string(3 << 20, 'x') + "the cache's bytes");  // more than one read
  const std::string case_folder = folder.Sub("case");
  {
    auto made = CaseFile::Create(case_folder, {"E. Examiner", "2024-017", {}});
    ASSERT_TRUE(made) << CaseFailureText(case_folder, made.error());
    CaseFile& file = **made;
    EXPECT_EQ(file.path(), case_folder + std::string(kCaseFileName));
    const EvidenceKey key = KeyOf(evidence);
    EXPECT_EQ(key.location, "");
    ASSERT_TRUE(
        file.RecordEvidence({key.sha256, 3u << 20, evidence, EvidenceStamp({evidence}), {}, {}}));
    ASSERT_TRUE(file.SetMarks(key, {{"12", {{"Relevant", "Suspect's car"}, "seen in two caches"}},
                                    {"7", {{"Ignore"}, {}}},
                                    {"9", {{}, "only a note"}}}));
    // Replacing a row's marks replaces them whole; empty marks remove the row.
    ASSERT_TRUE(file.SetMarks(key, {{"7", {}}}));
    // A second case on the same spot is refused and the first left alone.
    const std::string before = Slurp(file.path());
    auto again = CaseFile::Create(case_folder, {"someone else", "1", {}});
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().kind, CaseFailureKind::kExists);
    EXPECT_EQ(Slurp(file.path()), before);
  }
  // The evidence copied elsewhere, and carved rows of it, keyed apart.
  const std::string moved = folder.Sub("elsewhere") + "renamed.db";
  std::filesystem::copy_file(evidence, moved);
  auto reopened = CaseFile::Open(case_folder, /*read_only=*/true);
  ASSERT_TRUE(reopened) << CaseFailureText(case_folder, reopened.error());
  EXPECT_EQ((*reopened)->info().examiner, "E. Examiner");
  EXPECT_EQ((*reopened)->info().case_number, "2024-017");
  const auto marks = (*reopened)->Marks(KeyOf(moved));
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(marks.at("12").tags, (std::vector<std::string>{"Relevant", "Suspect's car"}));
  EXPECT_EQ(marks.at("12").note, "seen in two caches");
  EXPECT_TRUE(marks.at("9").tags.empty());
  EXPECT_EQ(marks.at("9").note, "only a note");
  EXPECT_TRUE((*reopened)->Marks(KeyOf(moved, /*carved=*/true)).empty());
  // The user's own tag is offered after the built-in ones.
  EXPECT_EQ((*reopened)->Tags(),
            (std::vector<std::string>{"Relevant", "Review", "Ignore", "Suspect's car"}));
  // Unchanged files keep their recorded digest; a read-only case takes no marks.
  EXPECT_EQ((*reopened)->KnownDigest(EvidenceStamp({evidence})), KeyOf(evidence).sha256);
  EXPECT_FALSE((*reopened)->KnownDigest(EvidenceStamp({moved})));
  EXPECT_EQ((*reopened)->SetMarks(KeyOf(moved), {{"1", {{"Review"}, {}}}}).error().kind,
            CaseFailureKind::kReadOnly);
}

TEST(CaseFile, RefusedFilesAreLeftExactlyAsTheyWere) {
  ScratchFolder folder;
  const auto make = [&](const std::string& name) {
    const std::string path = folder.path() + name;
    EXPECT_TRUE(CaseFile::Create(path, {"x", "1", {}}));
    return path;
  };
  const std::string newer = make("newer.sqlite");
  SetPragma(newer, "PRAGMA user_version = 7");
  const std::string damaged = make("damaged.sqlite");
  {
    // Garbage over the second page: the header stays a case file's.
    std::string bytes = Slurp(damaged);
    ASSERT_GT(bytes.size(), 8192u);
    for (size_t i = 4096; i < 8192; ++i) bytes[i] = static_cast<char>(i * 31);
    Write(damaged, bytes);
  }
  const std::string foreign = folder.path() + "windows.db";
  SetPragma(foreign, "CREATE TABLE SystemIndex_1_PropertyStore(WorkId INTEGER)");
  const std::string cache = folder.path() + "Thumbs.db";
  Write(cache, std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\0'));

  const std::pair<std::string, CaseFailureKind> cases[] = {
      {newer, CaseFailureKind::kNewerVersion},
      {damaged, CaseFailureKind::kDamaged},
      {foreign, CaseFailureKind::kNotACaseFile},
      {cache, CaseFailureKind::kNotACaseFile},
      {folder.path() + "none.sqlite", CaseFailureKind::kMissing},
  };
  for (const auto& [path, kind] : cases) {
    SCOPED_TRACE(path);
    const std::string before = Slurp(path);
    for (const bool read_only : {false, true}) {
      auto opened = CaseFile::Open(path, read_only);
      ASSERT_FALSE(opened);
      EXPECT_EQ(opened.error().kind, kind);
    }
    EXPECT_EQ(Slurp(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
  }
  auto opened = CaseFile::Open(newer);
  EXPECT_EQ(opened.error().version, 7);
  EXPECT_NE(CaseFailureText(newer, opened.error()).find("newer version"), std::string::npos);
}

TEST(CaseFile, EvidenceDigestStopsAndNamesUnreadableFiles) {
  ScratchFolder folder;
  const std::string a = folder.path() + "a.001";
  const std::string b = folder.path() + "a.002";
  Write(a, "abc");
  Write(b, "def");
  // Two pieces hash as one stream: the SHA-256 of "abcdef".
  const EvidenceDigest both = HashEvidenceFiles({a, b}, nullptr, {});
  ASSERT_TRUE(both.ok);
  EXPECT_EQ(both.size, 6u);
  EXPECT_EQ(both.sha256, "bef57ec7f53a6d40beb640a780a639c83bc29ac8a9816f1fc6c5c6dcd93c4721");
  std::stop_source stop;
  stop.request_stop();
  const EvidenceDigest stopped = HashEvidenceFiles({a}, nullptr, stop.get_token());
  EXPECT_TRUE(stopped.stopped);
  EXPECT_FALSE(stopped.ok);
  const EvidenceDigest missing = HashEvidenceFiles({folder.path() + "gone"}, nullptr, {});
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.error.find("gone"), std::string::npos);
  EXPECT_EQ(CleanTagName("  Car, red "), "");
  EXPECT_EQ(CleanTagName("  Red car "), "Red car");
}

}  // namespace
}  // namespace glintvane
