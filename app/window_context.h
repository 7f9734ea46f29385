// What the window's parts share: the texts, the error list, the rows and
// image bytes the thumbnail list shows, the found caches and the images they
// lie in, the file the list shows and how times are written. One instance lives as long as the main
// window; every part reads it, and tells the window through its signals
// when the commands or the texts need refreshing.
#pragma once

#include <QObject>
#include <QString>

#include <string>
#include <unordered_map>
#include <vector>

class QWidget;

#include "base/file_time.h"
#include "cache/thumbnail_list.h"
#include "case/case_file.h"
#include "discover/found_caches.h"
#include "evidence/evidence_open.h"
#include "texts/error_list.h"
#include "texts/ui_texts.h"

namespace glintvane {

namespace platform {
class Dialogs;
}

// How the window writes times: the language's pattern (or ISO 8601) in the
// local clock or in UTC.
struct TimeStyle {
  TimeZoneChoice zone = TimeZoneChoice::kLocal;
  bool iso = false;  // ISO 8601 instead of the language's pattern
};

// The questions a person can answer once and for all ("Don't ask again").
enum class Question { kSeeErrorDetails, kRunReport, kOpenDestination };
inline constexpr int kQuestionCount = 3;
enum class QuestionAnswer { kAsk, kYes, kNo };

// The settings the Settings dialog shows, as the window keeps them.
struct WindowSettings {
  TimeStyle time;
  QuestionAnswer answers[kQuestionCount] = {};
};

// The pattern written for ISO 8601 dates; a space, not "T", reads better in
// a column and parses back the same.
inline constexpr char kIsoDateTimePattern[] = "%Y-%m-%d %H:%M:%S";

// A language file's date-and-time pattern, if it is one the window can write
// and read back: only %d %m %Y %H %I %M %S %p and "%%", with day, month,
// four-digit year, hour, minute and second each present. "" otherwise.
std::string CheckedDateTimePattern(const std::string& pattern);

class WindowContext : public QObject {
  Q_OBJECT

 public:
  explicit WindowContext(platform::Dialogs& dialogs, QObject* parent = nullptr);

  UiTexts& texts() { return texts_; }
  const UiTexts& texts() const { return texts_; }
  ErrorList& errors() { return errors_; }
  ThumbnailList& thumbnails() { return thumbnails_; }
  ImageStore& image_store() { return image_store_; }
  FoundCacheList& found_caches() { return found_caches_; }
  // The disk images the found caches' rows lie in, held open for opening them.
  OpenImages& open_images() { return open_images_; }
  platform::Dialogs& dialogs() const { return dialogs_; }

  QString UiText(int index) const { return QString::fromStdString(texts_[index]); }
  // Records a problem in the error list (which refreshes the commands).
  void AddError(int code, const QString& context, const QString& detail);
  // The one settings routine: "read" or "write" a string value. A store that
  // cannot be used is recorded as an error and gives "".
  QString RegistryString(const QString& value, const QString& name, const QString& mode);

  // The file the thumbnail list shows ("" when none).
  const QString& open_file() const { return open_file_; }
  void SetOpenFile(const QString& path);
  // The Windows Search index chosen by hand (a file or its folder) that
  // names the rows of every thumbcache opened from now on; "": the one the
  // Windows layout puts beside each cache.
  const QString& search_index() const { return search_index_; }
  void SetSearchIndex(const QString& path) { search_index_ = path; }
  // The list holds images carved from a raw file.
  bool carved_list() const { return carved_list_; }
  void SetCarvedList(bool carved) { carved_list_ = carved; }

  // The tags and notes of the list's rows, by row key: the case's for the
  // evidence the list was read from, or those made since it was opened.
  using MarksMap = std::unordered_map<std::string, RowMarks>;
  const MarksMap& marks() const { return marks_; }
  const RowMarks* MarksOf(const std::string& key) const;
  // Sets a row's marks; empty marks remove them.
  void SetMarks(const std::string& key, RowMarks marks);
  void ReplaceMarks(MarksMap marks);
  // The tags offered: the built-in ones, then the case's (or this
  // session's) own, in the order they were made.
  const std::vector<std::string>& tag_names() const { return tag_names_; }
  void SetTagNames(std::vector<std::string> names);
  // A built-in tag in the chosen language; another as it is.
  QString TagText(const std::string& tag) const;

  // The time style and the questions' answers kept in the settings.
  void LoadSettings();
  WindowSettings Settings() const;
  void ApplySettings(const WindowSettings& settings);
  QuestionAnswer answer(Question question) const { return answers_[static_cast<int>(question)]; }
  void SetAnswer(Question question, QuestionAnswer answer);
  // Asks `text` unless the question has been answered once and for all; the
  // person may answer it so here ("Don't ask again"). True on Yes.
  bool Ask(QWidget* parent, Question question, const QString& text, int help_context = 0);

  // Times as the window writes them.
  const TimeStyle& time_style() const { return time_style_; }
  // The strftime pattern in force: ISO 8601, or the language's own.
  std::string DateTimePattern() const;
  // Rewrites every time shown, and keeps the style for the next start.
  void SetTimeStyle(const TimeStyle& style);
  QString TimeText(uint64_t filetime) const;
  // An ISO 8601 UTC text ("2007-03-09T14:05:07Z") in the window's style; ""
  // when it cannot be read.
  QString IsoTimeText(const std::string& utc_iso) const;
  // The clock's name for column headers: "UTC", or the local zone's name.
  QString ZoneLabel() const;

 signals:
  // The command states may have changed.
  void CommandsChanged();
  // A new language: every part puts its texts in again.
  void TextsChanged();
  // The time style changed: every part writes its times again.
  void TimesChanged();
  void OpenFileChanged();
  // A read or a carving scan has filled the list anew.
  void ListReplaced();
  // Rows' tags or notes changed (ReplaceMarks: all of them).
  void MarksChanged();
  // The tags offered changed.
  void TagNamesChanged();

 private:
  // The dialogs' own words (titles, buttons, the application chooser).
  void PutTextsInDialogs();

  platform::Dialogs& dialogs_;
  UiTexts texts_;
  ErrorList errors_;
  ThumbnailList thumbnails_;
  ImageStore image_store_;
  FoundCacheList found_caches_;
  OpenImages open_images_;
  QString open_file_;
  QString search_index_;
  bool carved_list_ = false;
  MarksMap marks_;
  std::vector<std::string> tag_names_;
  TimeStyle time_style_;
  QuestionAnswer answers_[kQuestionCount] = {};
};

}  // namespace glintvane
