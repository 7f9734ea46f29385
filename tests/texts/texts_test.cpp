#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/error_codes.h"
#include "texts/error_list.h"
#include "texts/ui_texts.h"

namespace glintvane {
namespace {

namespace fs = std::filesystem;

class LanguageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("glintvane-lang-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  fs::path dir_;
};

TEST_F(LanguageFileTest, ShortFileReplacesLeadingEntriesOnly) {
  std::string ten;
  for (int i = 0; i < 10; ++i) ten += "T" + std::to_string(i) + "\n";
  Write("XX.lang", ten);
  UiTexts texts;
  ASSERT_TRUE(LoadLanguage(texts, "XX.lang", dir_.string()));
  EXPECT_EQ(texts[0], "T0");
  EXPECT_EQ(texts[9], "T9");
  EXPECT_EQ(texts[10], "Best Fit");
  EXPECT_EQ(texts[78], "Root Entry modify timestamp");
}

TEST_F(LanguageFileTest, LineRulesOfTheReader) {
  // CR LF ends drop the CR; an empty line empties its entry; a final line
  // without LF counts; a long line continues into the next entries.
  const std::string long_line(2 * kLanguageLinePiece + 10, 'x');
  Write("YY.lang", "Alpha\r\n\nwith\rinner CR\r\n" + long_line + "\nLast");
  UiTexts texts;
  LoadLanguage(texts, "YY.lang", dir_.string() + "/");
  EXPECT_EQ(texts[0], "Alpha");
  EXPECT_EQ(texts[1], "");
  EXPECT_EQ(texts[2], "with\rinner CR");
  EXPECT_EQ(texts[3], std::string(kLanguageLinePiece, 'x'));
  EXPECT_EQ(texts[4], std::string(kLanguageLinePiece, 'x'));
  EXPECT_EQ(texts[5], std::string(10, 'x'));
  EXPECT_EQ(texts[6], "Last");
  EXPECT_EQ(texts[7], "Help");
}

TEST_F(LanguageFileTest, ExtraLinesNeverWritePastTheTable) {
  std::string many;
  for (int i = 0; i < 500; ++i) many += "L" + std::to_string(i) + "\n";
  std::istringstream in(many);
  UiTexts texts;
  EXPECT_EQ(texts.ReadLanguageLines(in), kUiTextCount);
  EXPECT_EQ(texts[78], "L78");
}

TEST_F(LanguageFileTest, SwitchingRestoresDefaultsFirstAndEnIsBuiltIn) {
  Write("AA.lang", "A0\nA1\nA2\n");
  Write("BB.lang", "B0\n");
  Write("en", "not read\n");
  UiTexts texts;
  LoadLanguage(texts, "AA.lang", dir_.string());
  LoadLanguage(texts, "BB.lang", dir_.string());
  EXPECT_EQ(texts[0], "B0");
  EXPECT_EQ(texts[1], "Errors List");
  LoadLanguage(texts, "en", dir_.string());
  EXPECT_EQ(texts[0], "Glintvane");
  // A file that cannot be opened leaves English, silently.
  EXPECT_TRUE(LoadLanguage(texts, "Missing.lang", dir_.string()));
  EXPECT_EQ(texts[2], "Number");
}

TEST(UiTextTable, DefaultsInIndexOrder) {
  const auto& d = DefaultUiTexts();
  EXPECT_EQ(d[kTextProductName], "Glintvane");
  EXPECT_EQ(d[kTextFatalError], "Fatal error");
  EXPECT_EQ(d[kTextDocumentTooSmall], "Document is corrupt - size is too small");
  EXPECT_EQ(d[kTextRootEntryTimestamp], "Root Entry modify timestamp");
  EXPECT_EQ(d[kTextWhiteImageHint],
            "If you see white image - view with external image viewer, please");
}

TEST(Languages, NamesAndAbbreviations) {
  EXPECT_EQ(LanguageNameOf("DEU"), "German (Germany)");
  EXPECT_EQ(LanguageNameOf("deu"), "German (Germany)");
  EXPECT_EQ(LanguageNameOf("ENU"), "English (United States)");
  EXPECT_EQ(LanguageNameOf("Klingon"), "");
  EXPECT_EQ(LanguageNameOf(""), "");
  EXPECT_EQ(NativeLanguageNameOf("deu"), "Deutsch");
  EXPECT_EQ(NativeLanguageNameOf("DES"), "Deutsch");
  EXPECT_EQ(NativeLanguageNameOf("FRA"),
            "Fran\xC3\xA7"
            "ais");
  EXPECT_EQ(NativeLanguageNameOf("RUS"),
            "\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9");
  EXPECT_EQ(NativeLanguageNameOf("CHT"), "\xE7\xB9\x81\xE9\xAB\x94\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(NativeLanguageNameOf("Klingon"), "");
  EXPECT_EQ(LanguageTagOf("esn"), "es-ES");
  // Every language Windows names has a name of its own.
  for (const char* key : {"ARA", "URD", "TTT", "SWK", "FOS", "HYE", "ENZ", "SRL", "NON"})
    EXPECT_NE(NativeLanguageNameOf(key), LanguageNameOf(key)) << key;
  EXPECT_EQ(LanguageAbbreviationForLocale("de_DE.UTF-8"), "DEU");
  EXPECT_EQ(LanguageAbbreviationForLocale("de-AT"), "DEA");
  EXPECT_EQ(LanguageAbbreviationForLocale("es_ES.UTF-8@euro"), "ESN");
  EXPECT_EQ(LanguageAbbreviationForLocale("en_GB"), "ENG");
  EXPECT_EQ(LanguageAbbreviationForLocale("fr"), "FRA");
  EXPECT_EQ(LanguageAbbreviationForLocale("ru_UA"), "RUS");
  EXPECT_EQ(LanguageAbbreviationForLocale("C"), "ENU");
  EXPECT_EQ(LanguageAbbreviationForLocale("POSIX"), "ENU");
  EXPECT_EQ(LanguageAbbreviationForLocale(""), "ENU");
}

TEST(ErrorListTest, EntryForms) {
  UiTexts texts;
  ErrorList errors;
  int changes = 0;
  errors.SetChangedCallback([&] { ++changes; });

  errors.AddError(504, "/x/Thumbs.db", "ignored for fixed codes");
  EXPECT_EQ(errors.Lines(texts),
            (std::vector<std::string>{"Fatal error!", "/x/Thumbs.db", "Details: file length error",
                                      std::string(kErrorSeparator)}));

  errors.Clear();
  errors.AddError(500, "/x", "");
  EXPECT_EQ(errors.Lines(texts),
            (std::vector<std::string>{"Fatal error!", "/x", std::string(kErrorSeparator)}));

  errors.Clear();
  errors.AddError(100, "", "std::bad_alloc: out of memory");
  EXPECT_EQ(errors.Lines(texts).size(), 4u);
  EXPECT_EQ(errors.Lines(texts)[1], "");
  EXPECT_EQ(errors.Lines(texts)[2], "Details: std::bad_alloc: out of memory");
  EXPECT_EQ(kErrorSeparator.size(), 35u);
  EXPECT_EQ(changes, 3);
}

// Entries are kept as they were found and written in whatever language
// they are shown in: the command line's English, the window's choice.
TEST(ErrorListTest, EntriesAreWrittenInTheLanguageTheyAreShownIn) {
  UiTexts texts;
  ErrorList errors;
  errors.AddError(501, "a", "");
  errors.Add({Severity::kWarning, kErrLengthNotMultiple, "a", {}});
  EXPECT_EQ(errors.Lines(texts)[0], "Fatal error!");
  EXPECT_EQ(errors.Lines(texts)[2], "Details: header signature error");
  EXPECT_EQ(errors.Lines(texts)[6], "Details: file length non multiple 512");
  texts.Set(kTextFatalError, "Schwerer Fehler");
  texts.Set(kTextDetails, "Einzelheiten");
  texts.Set(kTextHeaderSignatureError, "Signaturfehler");
  texts.Set(kTextLengthNotMultiple512, "Länge kein Vielfaches von 512");
  EXPECT_EQ(errors.Lines(texts)[0], "Schwerer Fehler!");
  EXPECT_EQ(errors.Lines(texts)[2], "Einzelheiten: Signaturfehler");
  EXPECT_EQ(errors.Lines(texts)[6], "Einzelheiten: Länge kein Vielfaches von 512");
  EXPECT_EQ(errors.entries()[1].severity, Severity::kWarning);
}

// The codes of disk images frame their detail in the language shown; an
// extraction's rows are one line each.
TEST(ErrorListTest, CodesWithATextFrameTheirDetail) {
  UiTexts texts;
  ErrorList errors;
  errors.AddError(kErrImageIncomplete, "/x/gap.E01", "segment file gap.E03 is missing");
  errors.Add({Severity::kWarning, kErrUnreadableSectors, "/x/d.E01#p1:i5:/T.db", "12"});
  errors.Add({Severity::kInfo, kMsgRowWritten, "/out/1.jpg", {}});
  errors.AddError(kErrRowNotWritten, "/out/2.jpg", {});
  EXPECT_EQ(
      errors.Lines(texts),
      (std::vector<std::string>{
          "Fatal error!", "/x/gap.E01",
          "Details: The disk image is incomplete: segment file gap.E03 is missing",
          std::string(kErrorSeparator), "Warning!", "/x/d.E01#p1:i5:/T.db",
          "Details: 12 unreadable sectors of the image read as zeros", std::string(kErrorSeparator),
          "Operation complete. File:/out/1.jpg", "Fatal error!\nFile:\n/out/2.jpg"}));
  texts.Set(kTextImageIncomplete, "Das Abbild ist unvollständig");
  texts.Set(kTextSectorsReadAsZeros, "%1 Sektoren als Nullen gelesen");
  EXPECT_EQ(EntryDetailText(errors.entries()[0], texts),
            "Das Abbild ist unvollständig: segment file gap.E03 is missing");
  EXPECT_EQ(EntryDetailText(errors.entries()[1], texts), "12 Sektoren als Nullen gelesen");
  // Another list's entries join in their order, with one change notice.
  int changes = 0;
  ErrorList joined;
  joined.SetChangedCallback([&] { ++changes; });
  joined.AddWarning("first", {});
  joined.Append(errors);
  EXPECT_EQ(joined.entries().size(), 5u);
  EXPECT_EQ(joined.entries()[4].code, kErrRowNotWritten);
  EXPECT_EQ(changes, 2);
}

TEST(ErrorListTest, WarningDoesNotLookLikeAFailure) {
  UiTexts texts;
  ErrorList errors;
  errors.AddWarning("/y", texts[kTextLengthNotMultiple512]);
  EXPECT_EQ(errors.Lines(texts),
            (std::vector<std::string>{"Warning!", "/y", "Details: file length non multiple 512",
                                      std::string(kErrorSeparator)}));
}

}  // namespace
}  // namespace glintvane
