#include "window_context.h"

#include <QDateTime>
#include <QTimeZone>

#include <ctime>

#include "base/error_codes.h"
#include "platform/dialogs.h"
#include "platform/settings.h"

namespace glintvane {

namespace {

constexpr char kIsoDatesValue[] = "IsoDates";
constexpr char kTimeZoneValue[] = "TimeZone";
// Where each question's answer is kept, in the order of Question.
constexpr const char* kAnswerValues[kQuestionCount] = {"AnswerSeeErrorDetails", "AnswerRunReport",
                                                       "AnswerOpenDestination"};

// Settings of taste: a store that cannot be used leaves the defaults, and is
// no error worth the list.
QString Stored(const char* name) {
  QString error;
  return platform::Settings::RegistryString(
      platform::Settings::Group(), {}, QString::fromLatin1(name), QStringLiteral("read"), &error);
}

void Store(const char* name, const QString& value) {
  QString error;
  platform::Settings::RegistryString(platform::Settings::Group(), value, QString::fromLatin1(name),
                                     QStringLiteral("write"), &error);
}

}  // namespace

std::string CheckedDateTimePattern(const std::string& pattern) {
  // Everything the window writes it must read back for sorting, and a
  // translator's slip must not print "%Z" or an empty column.
  bool day = false, month = false, year = false, hour = false, minute = false, second = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    if (++i == pattern.size()) return {};
    switch (pattern[i]) {
      case 'd':
        day = true;
        break;
      case 'm':
        month = true;
        break;
      case 'Y':
        year = true;
        break;
      case 'H':
      case 'I':
        hour = true;
        break;
      case 'M':
        minute = true;
        break;
      case 'S':
        second = true;
        break;
      case 'p':
      case '%':
        break;
      default:
        return {};
    }
  }
  return day && month && year && hour && minute && second ? pattern : std::string();
}

WindowContext::WindowContext(platform::Dialogs& dialogs, QObject* parent)
    : QObject(parent), dialogs_(dialogs) {
  errors_.SetChangedCallback([this] { emit CommandsChanged(); });
  connect(this, &WindowContext::TextsChanged, this, &WindowContext::PutTextsInDialogs);
  PutTextsInDialogs();
}

void WindowContext::PutTextsInDialogs() {
  platform::DialogTexts words;
  words.error = UiText(kTextError);
  words.information = UiText(kTextInformation);
  words.confirm = UiText(kTextConfirm);
  words.yes = UiText(kTextYes);
  words.no = UiText(kTextNo);
  words.ok = UiText(kTextOk);
  words.cancel = UiText(kTextCancel);
  words.open = UiText(kTextOpen);
  words.open_with = UiText(kTextOpenWith);
  words.open_file_with = UiText(kTextOpenFileWith);
  words.type_command = UiText(kTextTypeCommand);
  words.command = UiText(kTextCommand);
  words.carve_title = UiText(kTextBruteForceAttack);
  words.carve_prompt = UiText(kTextCarveKindsPrompt);
  const int kinds[kCarveKindCount] = {kTextCarveJfif, kTextCarveExif, kTextCarveJpeg, kTextCarvePng,
                                      kTextCarveBmp};
  for (int k = 0; k < kCarveKindCount; ++k)
    words.carve_kinds[static_cast<size_t>(k)] = UiText(kinds[k]);
  words.carve_unallocated = UiText(kTextCarveUnallocated);
  dialogs_.SetTexts(words);
}

WindowSettings WindowContext::Settings() const {
  WindowSettings settings;
  settings.time = time_style_;
  for (int i = 0; i < kQuestionCount; ++i) settings.answers[i] = answers_[i];
  return settings;
}

void WindowContext::ApplySettings(const WindowSettings& settings) {
  for (int i = 0; i < kQuestionCount; ++i) SetAnswer(Question(i), settings.answers[i]);
  SetTimeStyle(settings.time);
}

void WindowContext::AddError(int code, const QString& context, const QString& detail) {
  errors_.AddError(code, context.toStdString(), detail.toStdString());
}

QString WindowContext::RegistryString(const QString& value, const QString& name,
                                      const QString& mode) {
  QString error;
  const QString result =
      platform::Settings::RegistryString(platform::Settings::Group(), value, name, mode, &error);
  if (!error.isEmpty()) {
    AddError(kErrException, open_file_, error);
    return {};
  }
  return result;
}

void WindowContext::SetOpenFile(const QString& path) {
  open_file_ = path;
  emit OpenFileChanged();
}

std::string WindowContext::DateTimePattern() const {
  if (time_style_.iso) return kIsoDateTimePattern;
  // One pattern per language, from its file; one it could not read back
  // gives the English one.
  std::string pattern = CheckedDateTimePattern(texts_[kTextDateTimePattern]);
  if (pattern.empty()) pattern = DefaultUiTexts()[kTextDateTimePattern];
  return pattern;
}

void WindowContext::LoadSettings() {
  time_style_.iso = Stored(kIsoDatesValue) == QLatin1String("1");
  time_style_.zone = Stored(kTimeZoneValue) == QLatin1String("UTC") ? TimeZoneChoice::kUtc
                                                                    : TimeZoneChoice::kLocal;
  for (int i = 0; i < kQuestionCount; ++i) {
    const QString stored = Stored(kAnswerValues[i]);
    answers_[i] = stored == QLatin1String("Yes")  ? QuestionAnswer::kYes
                  : stored == QLatin1String("No") ? QuestionAnswer::kNo
                                                  : QuestionAnswer::kAsk;
  }
  emit TimesChanged();
}

void WindowContext::SetAnswer(Question question, QuestionAnswer answer) {
  const int at = static_cast<int>(question);
  answers_[at] = answer;
  Store(kAnswerValues[at], answer == QuestionAnswer::kYes  ? QStringLiteral("Yes")
                           : answer == QuestionAnswer::kNo ? QStringLiteral("No")
                                                           : QStringLiteral("Ask"));
}

bool WindowContext::Ask(QWidget* parent, Question question, const QString& text, int help_context) {
  switch (answer(question)) {
    case QuestionAnswer::kYes:
      return true;
    case QuestionAnswer::kNo:
      return false;
    case QuestionAnswer::kAsk:
      break;
  }
  bool remember = false;
  const bool yes =
      dialogs_.AskYesNoRemember(parent, text, help_context, UiText(kTextDontAskAgain), &remember);
  if (remember) SetAnswer(question, yes ? QuestionAnswer::kYes : QuestionAnswer::kNo);
  return yes;
}

void WindowContext::SetTimeStyle(const TimeStyle& style) {
  time_style_ = style;
  Store(kIsoDatesValue, style.iso ? QStringLiteral("1") : QStringLiteral("0"));
  Store(kTimeZoneValue,
        style.zone == TimeZoneChoice::kUtc ? QStringLiteral("UTC") : QStringLiteral("Local"));
  emit TimesChanged();
}

QString WindowContext::TimeText(uint64_t filetime) const {
  return QString::fromStdString(FileTimeText(filetime, DateTimePattern(), time_style_.zone));
}

QString WindowContext::IsoTimeText(const std::string& utc_iso) const {
  std::tm tm{};
  const char* end = strptime(utc_iso.c_str(), "%Y-%m-%dT%H:%M:%SZ", &tm);
  if (end == nullptr || *end != '\0') return {};
  const int64_t seconds = static_cast<int64_t>(timegm(&tm));
  const int64_t ticks = (seconds + kFileTimeEpochOffsetSeconds) * 10000000;
  return ticks > 0 ? TimeText(static_cast<uint64_t>(ticks)) : QString();
}

QString WindowContext::ZoneLabel() const {
  if (time_style_.zone == TimeZoneChoice::kUtc) return QStringLiteral("UTC");
  const QByteArray id = QTimeZone::systemTimeZoneId();
  if (!id.isEmpty()) return QString::fromLatin1(id);
  return QTimeZone::systemTimeZone().abbreviation(QDateTime::currentDateTime());
}

}  // namespace glintvane
