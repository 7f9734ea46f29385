// The window's languages: the menu names each language in itself, every
// shipped file translates every text, and what the window shows follows a
// change of language with no English left behind.
#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTest>
#include <QTreeView>

#include <set>

#include "cache_list.h"
#include "mainwindow.h"
#include "part_test.h"
#include "status_line.h"
#include "test_dialogs.h"
#include "window_texts.h"

namespace glintvane {
namespace {

const QString kLangDir = QStringLiteral(GLINTVANE_LANG_DIR);
const QString kSample = QStringLiteral(GLINTVANE_SAMPLE_CACHE);
const QStringList kShipped = {QStringLiteral("DEU"), QStringLiteral("ESN"), QStringLiteral("FRA"),
                              QStringLiteral("ITA"), QStringLiteral("RUS")};

// Every text the window shows now: menus, commands, tabs, headers,
// buttons, labels and the status line.
QStringList ShownTexts(MainWindow& window) {
  QStringList texts;
  for (QAction* menu : window.menuBar()->actions()) {
    texts << menu->text();
    if (menu->menu() == nullptr) continue;
    for (QAction* action : menu->menu()->actions()) texts << action->text() << action->toolTip();
  }
  for (QTabBar* bar : window.findChildren<QTabBar*>()) {
    for (int i = 0; i < bar->count(); ++i) texts << bar->tabText(i);
  }
  for (QHeaderView* header : window.findChildren<QHeaderView*>()) {
    QAbstractItemModel* model = header->model();
    for (int i = 0; model != nullptr && i < model->columnCount(); ++i)
      texts << model->headerData(i, Qt::Horizontal).toString();
  }
  for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
    texts << button->text() << button->toolTip();
  for (QLabel* label : window.findChildren<QLabel*>()) texts << label->text();
  return texts;
}

}  // namespace

class WindowTextsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void LanguageFilesTranslateEveryText();
  void MenuNamesEachLanguageInItself();
  void NoEnglishLeftInAnyLanguage();
};

void WindowTextsTest::LanguageFilesTranslateEveryText() {
  for (const QString& language : kShipped) {
    QFile file(kLangDir + QLatin1Char('/') + language + QStringLiteral(".lang"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    // One line per text, and a final line end.
    QCOMPARE(lines.size(), kUiTextCount + 1);
    for (int i = 0; i < kUiTextCount; ++i)
      QVERIFY2(!lines[i].isEmpty(), qPrintable(language + QString::number(i)));
    UiTexts texts;
    LoadLanguage(texts, (language + QStringLiteral(".lang")).toStdString(), kLangDir.toStdString());
    QCOMPARE(CheckedDateTimePattern(texts[kTextDateTimePattern]), texts[kTextDateTimePattern]);
  }
}

void WindowTextsTest::MenuNamesEachLanguageInItself() {
  StartOptions options;
  options.language_folders = {kLangDir};
  options.system_language = QStringLiteral("RUS");
  MainWindow window(options);
  window.show();
  QStringList names;
  for (QAction* item : window.languages()->LangItem->actions()) names << item->text();
  QCOMPARE(names, QStringList({QStringLiteral("English"), QStringLiteral("Deutsch"),
                               QStringLiteral("Español"), QStringLiteral("Français"),
                               QStringLiteral("Italiano"), QStringLiteral("Русский")}));
  QCOMPARE(window.languages()->CheckedLanguage(), QStringLiteral("RUS"));
}

void WindowTextsTest::NoEnglishLeftInAnyLanguage() {
  ScriptedDialogs dialogs;
  StartOptions options = EnglishStart(&dialogs);
  MainWindow window(options);
  window.show();
  window.OpenThumbnailFile(kSample);
  QVERIFY(window.list()->RowCount() > 0);
  QVERIFY(window.status()->Text(1).startsWith(QStringLiteral("Image dimension: ")));
  const auto& english = DefaultUiTexts();
  for (const QString& language : kShipped) {
    window.findChild<QAction*>(QStringLiteral("LangItem_") + language)->trigger();
    const UiTexts& texts = window.context().texts();
    std::set<QString> leftovers;
    for (const QString& shown : ShownTexts(window)) {
      for (int i = 0; i < kUiTextCount; ++i) {
        const QString default_text = QString::fromUtf8(english[i].data(), english[i].size());
        if (shown == default_text && texts[i] != english[i]) leftovers.insert(shown);
      }
    }
    QVERIFY2(
        leftovers.empty(),
        qPrintable(language + QStringLiteral(": ") +
                   QStringList(leftovers.begin(), leftovers.end()).join(QStringLiteral(", "))));
    // The status line speaks the language too, what it said before included.
    QVERIFY(window.status()->Text(0).contains(QString::fromStdString(texts[kTextFiles])));
    QVERIFY(
        window.status()->Text(1).startsWith(QString::fromStdString(texts[kTextImageDimension])));
  }
  window.findChild<QAction*>(QStringLiteral("LangItem_ENU"))->trigger();
  QVERIFY(window.status()->Text(1).startsWith(QStringLiteral("Image dimension: ")));
  QVERIFY(window.status()->Text(0).endsWith(QStringLiteral("sec. Files: 13")));
}

GLINTVANE_PART_TEST(WindowTextsTest);

}  // namespace glintvane

#include "window_texts_test.moc"
