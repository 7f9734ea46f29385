// The UI text table: every text the program shows, by index, with English
// defaults that a language file replaces line by line.
#pragma once

#include <array>
#include <istream>
#include <string>
#include <string_view>

namespace glintvane {

// The original table's 79 texts, then the window's own.
inline constexpr int kUiTextCount = 215;

enum UiText : int {
  kTextProductName = 0,
  kTextErrorsList = 1,
  kTextNumber = 2,
  kTextOriginalName = 3,
  kTextModified = 4,
  kTextFile = 5,
  kTextActions = 6,
  kTextHelp = 7,
  kTextOpen = 8,
  kTextExit = 9,
  kTextBestFit = 10,
  kTextActualSize = 11,
  kTextRotateLeft = 12,
  kTextRotateRight = 13,
  kTextDesktopIcon = 14,
  kTextQuickLaunchIcon = 15,
  kTextExtractChecked = 16,
  kTextOpenSelected = 17,
  kTextInvertSelection = 18,
  kTextSelectAll = 19,
  kTextHelpCommand = 20,
  kTextOnlineSupport = 21,
  kTextAbout = 22,
  kTextUnselectAll = 23,
  kTextExtractSelected = 24,
  kTextOpenSelectedWith = 25,
  kTextFileLocator = 26,
  kTextThumbsDbShow = 27,
  kTextFileDetails = 28,
  kTextOriginalFileView = 29,
  kTextLanguage = 30,
  kTextError = 31,
  kTextDesktopIconFailed = 32,
  kTextOperationComplete = 33,
  kTextQuickLaunchIconFailed = 34,
  kTextFatalError = 35,
  kTextBruteForceAttack = 36,
  kTextSorry = 37,
  kTextSec = 38,
  kTextFiles = 39,
  kTextImageDimension = 40,
  kTextCreated = 41,
  kTextClearList = 42,
  kTextThumbsDbFiles = 43,
  kTextTime = 44,
  kTextRoot = 45,
  kTextFolders = 46,
  kTextWarning = 47,
  kTextDetails = 48,
  kTextLengthNotMultiple512 = 49,
  kTextHeaderSignatureError = 50,
  kTextMissingEndOfFile = 51,
  kTextUnrecognizedHeader = 52,
  kTextFileLengthError = 53,
  kTextHeaderError = 54,
  kTextLengthError = 55,
  kTextImageView = 56,
  kTextExtractionReport = 57,
  kTextWhiteImageHint = 58,
  kTextExtractedTo = 59,
  kTextSize = 60,
  kTextSelectRootDirectory = 61,
  kTextCollectAllHint = 62,
  kTextDoubleClickHint = 63,
  kTextOpenDestinationFolder = 64,
  kTextRunHtmlFile = 65,
  kTextThumbnailCacheFiles = 66,
  kTextAllFiles = 67,
  kTextDocumentTooSmall = 68,
  kTextSeeErrorDetails = 69,
  kTextSwapAndHibernationFiles = 70,
  kTextFileName = 71,
  kTextDirectoryName = 72,
  kTextVersion = 73,
  kTextThumbnails = 74,
  kTextRecycleBinOpenError = 75,
  kTextLocation = 76,
  kTextDeleted = 77,
  kTextRootEntryTimestamp = 78,
  // Texts of the window beyond the original table.
  kTextDateTimePattern = 79,
  kTextCancel = 80,
  kTextCancelHint = 81,
  kTextCancelled = 82,
  kTextGallery = 83,
  kTextUtcTimes = 84,
  kTextSettings = 85,
  kTextOpenEvidence = 86,
  kTextDiskImages = 87,
  kTextCarveQuestion = 88,
  kTextCreateFolder = 89,
  kTextCannotCreateFolder = 90,
  kTextProgramNotStarted = 91,
  kTextDeletedCount = 92,
  kTextDeletedEntryHint = 93,
  kTextUnreadableSectors = 94,  // no longer shown: kTextSectorsReadAsZeros says it
  kTextThumbcacheFiles = 95,
  kTextKind = 96,
  kTextDimensions = 97,
  kTextOffset = 98,
  kTextIndexed = 99,
  kTextHeaderChecksum = 100,
  kTextDataChecksum = 101,
  kTextYes = 102,
  kTextNo = 103,
  kTextOk = 104,
  kTextMatches = 105,
  kTextDoesNotMatch = 106,
  kTextEndFound = 107,
  kTextInformation = 108,
  kTextConfirm = 109,
  kTextDontAskAgain = 110,
  kTextIsoDates = 111,
  kTextAsk = 112,
  kTextAlwaysYes = 113,
  kTextAlwaysNo = 114,
  kTextQuestions = 115,
  kTextDatesAndTimes = 116,
  kTextReplaceChecked = 117,
  kTextNoBrowser = 118,
  kTextNoGuide = 119,
  kTextZoom = 120,
  kTextOpenWith = 121,
  kTextOpenFileWith = 122,
  kTextTypeCommand = 123,
  kTextCommand = 124,
  kTextAboutTagline = 125,
  kTextNoFolderNamed = 126,
  kTextFolderMissing = 127,
  kTextNotAFolder = 128,
  kTextLocalTime = 129,
  kTextNoValidValue = 130,
  kTextColumns = 131,
  kTextShowAllColumns = 132,
  kTextCarveKindsPrompt = 133,
  kTextCarveJfif = 134,
  kTextCarveExif = 135,
  kTextCarveJpeg = 136,
  kTextCarvePng = 137,
  kTextCarveBmp = 138,
  kTextCarveUnallocated = 139,
  kTextDecodes = 140,
  kTextCarvedDisk = 141,
  kTextCarvedUnallocated = 142,
  kTextScanUnreadableSectors = 143,
  // The texts of the disk-image error codes (1700 to 1705).
  kTextImageOpenError = 144,
  kTextImageIncomplete = 145,
  kTextNoPartition = 146,
  kTextNoFileSystem = 147,
  kTextImageEntryError = 148,
  kTextSectorsReadAsZeros = 149,
  // Case work: the case file, tags and notes, the report and the timeline.
  kTextNewCase = 150,
  kTextOpenCase = 151,
  kTextCloseCase = 152,
  kTextCase = 153,
  kTextCaseNumber = 154,
  kTextExaminer = 155,
  kTextTag = 156,
  kTextTags = 157,
  kTextNote = 158,
  kTextEditNote = 159,
  kTextNewTag = 160,
  kTextRemoveTags = 161,
  kTextRelevant = 162,
  kTextReview = 163,
  kTextIgnore = 164,
  kTextShow = 165,
  kTextAllRows = 166,
  kTextUntagged = 167,
  kTextExaminerReportCommand = 168,
  kTextExportTimeline = 169,
  kTextCaseFiles = 170,
  kTextCaseExists = 171,
  kTextCaseRefused = 172,
  kTextCaseNewer = 173,
  kTextCaseDamaged = 174,
  kTextNotACaseFile = 175,
  kTextCaseLeftAlone = 176,
  kTextCaseWriteFailed = 177,
  kTextHashingEvidence = 178,
  kTextTagName = 179,
  kTextNoteFor = 180,
  kTextReportRows = 181,
  kTextCheckedRows = 182,
  kTextRowsTagged = 183,
  kTextPaperSize = 184,
  kTextTimelineOf = 185,
  kTextOpenList = 186,
  kTextFoundCaches = 187,
  kTextBodyFiles = 188,
  kTextCsvFiles = 189,
  kTextJsonLinesFiles = 190,
  kTextExaminerReport = 191,
  kTextEvidence = 192,
  kTextMadeBy = 193,
  kTextPageOf = 194,
  kTextOriginalPath = 195,
  kTextPartition = 196,
  kTextRecycled = 197,
  kTextRecovered = 198,
  kTextCarved = 199,
  kTextAccessed = 200,
  kTextChanged = 201,
  kTextOrigin = 202,
  kTextRows = 203,
  kTextRunTime = 204,
  kTextTheWindow = 205,
  kTextNoCase = 206,
  kTextReportPdfFailed = 207,
  kTextDeletedEntry = 208,
  kTextCaseLabel = 209,
  // The Windows Search index that names thumbcache rows.
  kTextChooseSearchIndex = 210,
  kTextSearchIndex = 211,
  kTextNamedBySearchIndex = 212,
  kTextSearchIndexFiles = 213,
  // The text of error code 1707.
  kTextShadowCopyError = 214,
};

// The built-in English texts, in index order.
const std::array<std::string_view, kUiTextCount>& DefaultUiTexts();

class UiTexts {
 public:
  UiTexts() { ResetToDefaults(); }

  const std::string& operator[](int index) const { return texts_.at(static_cast<size_t>(index)); }
  void Set(int index, std::string text) { texts_.at(static_cast<size_t>(index)) = std::move(text); }
  void ResetToDefaults();

  // Replaces entries from a language file's lines: line k is entry k. Lines
  // are cut into pieces of at most kLanguageLinePiece characters, each piece
  // an entry of its own; a CR before the LF is dropped; lines past the last
  // entry are read and ignored. Returns the number of entries replaced.
  int ReadLanguageLines(std::istream& in);

 private:
  std::array<std::string, kUiTextCount> texts_;
};

// A language line longer than this continues into the next entry, as the
// original program's fixed read buffer did.
inline constexpr size_t kLanguageLinePiece = 4094;

// Resets `texts` to English, then, unless `key` is exactly "en", reads the
// language file `key` (a file name such as "DEU.lang") from `directory`.
// A file that cannot be opened leaves English, silently. Always true.
bool LoadLanguage(UiTexts& texts, std::string_view key, const std::string& directory);

// The language name for a Windows three-letter language abbreviation
// ("DEU" gives "German (Germany)"), compared ignoring case; "" when unknown.
std::string LanguageNameOf(std::string_view abbreviation);

// The BCP 47 tag of an abbreviation ("DEU" gives "de-DE"); "" when unknown.
std::string LanguageTagOf(std::string_view abbreviation);

// The language's name in itself, as a language menu names it ("DEU" gives
// "Deutsch", "RUS" "Русский"); "" when unknown.
std::string NativeLanguageNameOf(std::string_view abbreviation);

// The Windows abbreviation for a POSIX or BCP 47 locale name ("de_DE.UTF-8"
// and "de-DE" give "DEU"); "ENU" when nothing fits.
std::string LanguageAbbreviationForLocale(std::string_view locale);

}  // namespace glintvane
