// The window's shared state: one date pattern per language (or ISO 8601),
// read back only when the window can parse it, in the local clock or UTC.
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QTest>

#include "part_test.h"
#include "platform/dialogs.h"
#include "settings_dialog.h"
#include "window_context.h"

namespace glintvane {
namespace {

// 2004-08-19 12:01:45 UTC.
constexpr uint64_t kFileTime = 127373905050000000ULL;

}  // namespace

class WindowContextTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void DatePatternComesFromTheLanguage();
  void SettingsDialogRoundTrip();
};

void WindowContextTest::DatePatternComesFromTheLanguage() {
  WindowContext context(platform::StandardDialogs());
  QCOMPARE(context.TimeText(kFileTime), QStringLiteral("08/19/2004 12:01:45"));
  context.texts().Set(kTextDateTimePattern, "%d.%m.%Y %H:%M:%S");
  QCOMPARE(context.TimeText(kFileTime), QStringLiteral("19.08.2004 12:01:45"));
  QCOMPARE(context.IsoTimeText("2004-08-19T12:01:45Z"), QStringLiteral("19.08.2004 12:01:45"));
  QCOMPARE(context.IsoTimeText("19.8.2004"), QString());
  // A pattern the window could not read back gives the English one.
  for (const char* bad : {"%d.%m.%y %H:%M:%S", "%d.%m.%Y %H:%M", "%A %d.%m.%Y %H:%M:%S %Z", "%"}) {
    QCOMPARE(CheckedDateTimePattern(bad), std::string());
    context.texts().Set(kTextDateTimePattern, bad);
    QCOMPARE(context.TimeText(kFileTime), QStringLiteral("08/19/2004 12:01:45"));
  }
  QCOMPARE(CheckedDateTimePattern("%I:%M:%S %p %m/%d/%Y"), std::string("%I:%M:%S %p %m/%d/%Y"));
  // ISO 8601 in UTC, kept for the next start.
  context.SetTimeStyle({TimeZoneChoice::kUtc, true});
  QCOMPARE(context.TimeText(kFileTime), QStringLiteral("2004-08-19 12:01:45"));
  QCOMPARE(context.ZoneLabel(), QStringLiteral("UTC"));
  WindowContext next(platform::StandardDialogs());
  next.LoadSettings();
  QVERIFY(next.time_style().iso);
  QCOMPARE(next.time_style().zone, TimeZoneChoice::kUtc);
}

void WindowContextTest::SettingsDialogRoundTrip() {
  WindowContext context(platform::StandardDialogs());
  context.texts().Set(kTextAlwaysNo, "Immer nein");
  WindowSettings settings;
  settings.time.zone = TimeZoneChoice::kUtc;
  settings.answers[static_cast<int>(Question::kRunReport)] = QuestionAnswer::kNo;
  SettingsDialog dialog(context, settings);
  QVERIFY(dialog.UtcTime->isChecked() && !dialog.IsoDates->isChecked());
  const int report = static_cast<int>(Question::kRunReport);
  QCOMPARE(dialog.Answers[report]->currentText(), QStringLiteral("Immer nein"));
  dialog.IsoDates->setChecked(true);
  dialog.Answers[report]->setCurrentIndex(static_cast<int>(QuestionAnswer::kAsk));
  const WindowSettings chosen = dialog.settings();
  QVERIFY(chosen.time.iso);
  QCOMPARE(chosen.time.zone, TimeZoneChoice::kUtc);
  QCOMPARE(chosen.answers[report], QuestionAnswer::kAsk);
}

GLINTVANE_PART_TEST(WindowContextTest);

}  // namespace glintvane

#include "window_context_test.moc"
