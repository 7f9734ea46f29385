// The window on the desktop: launcher files, the About box, the keyboard,
// state kept between runs, times in UTC, the gallery and the files named at
// start.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <set>

#include "about_box.h"
#include "cache_list.h"
#include "file_info_pane.h"
#include "gallery_view.h"
#include "image_pane.h"
#include "image_view.h"
#include "item_opener.h"
#include "locator_panel.h"
#include "mainwindow.h"
#include "platform/launchers.h"
#include "status_line.h"
#include "test_dialogs.h"
#include "thumbnail_model.h"
#include "window_texts.h"
#include "work_controller.h"

namespace glintvane {
namespace {

const QString kCorpus = QStringLiteral(GLINTVANE_CORPUS_DIR "/real/");
const QString kLangDir = QStringLiteral(GLINTVANE_LANG_DIR);

void ClearSettings() {
  QSettings settings(QStringLiteral("Corvanta"), QStringLiteral("Glintvane"));
  settings.clear();
  settings.sync();
}

// Points the session's desktop folder at `folder` the way xdg-user-dirs does.
void SetDesktopFolder(const QString& folder) {
  const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
  QDir().mkpath(config);
  QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
  QVERIFY(dirs.open(QIODevice::WriteOnly | QIODevice::Truncate));
  dirs.write(QStringLiteral("XDG_DESKTOP_DIR=\"%1\"\n").arg(folder).toUtf8());
}

QMap<QString, QString> EntryKeys(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QMap<QString, QString> keys;
  for (const QByteArray& line : file.readAll().split('\n')) {
    const int eq = line.indexOf('=');
    if (eq > 0) keys[QString::fromUtf8(line.left(eq))] = QString::fromUtf8(line.mid(eq + 1));
  }
  return keys;
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init() { ClearSettings(); }

  void DesktopLauncherIsWrittenAndReplaced();
  void LauncherFailuresNameTheReason();
  void QuickLaunchGoesToTheApplicationMenu();
  void ExecIsQuotedForOddPaths();
  void AboutBoxSwapsPicturesOnShiftClick();
  void ShortcutsReachTheCommands();
  void EnterAndSpaceInTheList();
  void StateIsKeptBetweenRuns();
  void TimesInUtcNameTheZone();
  void StartFilesOpenAndNameTheWindow();
  void GallerySharesTheSelectionAndDecodes();
  void BestFitEnlargesAtMostTwice();

 private:
  StartOptions Options() {
    StartOptions options;
    options.language_folders = {kLangDir};
    options.system_language = QStringLiteral("ENU");
    options.dialogs = &dialogs_;
    options.open_address = [this](const QString& address) { opened_ << address; };
    return options;
  }
  ScriptedDialogs dialogs_;
  QStringList opened_;
  QTemporaryDir temp_;
};

void DesktopTest::initTestCase() {
  if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME"))
    qputenv("XDG_CONFIG_HOME", (temp_.path() + QStringLiteral("/config")).toUtf8());
  // The menu folder lives in the data home; keep it inside the test's folder.
  qputenv("XDG_DATA_HOME", (temp_.path() + QStringLiteral("/data")).toUtf8());
}

void DesktopTest::DesktopLauncherIsWrittenAndReplaced() {
  const QString desktop = temp_.path() + QStringLiteral("/Desktop");
  QDir().mkpath(desktop);
  SetDesktopFolder(desktop);
  MainWindow window(Options());
  window.show();
  dialogs_.messages.clear();
  window.ActionDesktopIcon->trigger();
  QCOMPARE(dialogs_.messages, QStringList{QStringLiteral("Operation complete")});

  const QString path = desktop + QStringLiteral("/Glintvane.desktop");
  const QMap<QString, QString> keys = EntryKeys(path);
  QCOMPARE(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
  QCOMPARE(keys.value(QStringLiteral("Name")), QStringLiteral("Glintvane"));
  QCOMPARE(keys.value(QStringLiteral("Exec")), QCoreApplication::applicationFilePath());
  QCOMPARE(keys.value(QStringLiteral("Path")), QCoreApplication::applicationDirPath());
  QVERIFY(!keys.value(QStringLiteral("Icon")).isEmpty());
  QVERIFY(QFileInfo(path).isExecutable());

  // Again, over a stale file: replaced whole, nothing asked.
  QFile stale(path);
  QVERIFY(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
  stale.write("[Desktop Entry]\nName=old\nExec=/bin/false\nStale=1\n");
  stale.close();
  window.ActionDesktopIcon->trigger();
  QVERIFY(dialogs_.questions.isEmpty());
  QVERIFY(!EntryKeys(path).contains(QStringLiteral("Stale")));
  QCOMPARE(QDir(desktop).entryList(QDir::Files | QDir::Hidden).size(), 1);

  const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
  if (!validate.isEmpty()) {
    QProcess process;
    process.start(validate, {path});
    QVERIFY(process.waitForFinished());
    QVERIFY2(process.exitCode() == 0, process.readAllStandardOutput().constData());
  }
}

void DesktopTest::LauncherFailuresNameTheReason() {
  const QString missing = temp_.path() + QStringLiteral("/NoSuchDesktop");
  SetDesktopFolder(missing);
  MainWindow window(Options());
  window.show();
  dialogs_.messages.clear();
  window.ActionDesktopIcon->trigger();
  QCOMPARE(dialogs_.messages.size(), 1);
  QVERIFY(dialogs_.messages[0].startsWith(
      QStringLiteral("Error: \nUnable to create a desktop icon\n")));
  QVERIFY(dialogs_.messages[0].contains(missing));
  QVERIFY(!QFileInfo::exists(missing));
  // A file where the folder should be is no folder either.
  QFile blocker(missing);
  QVERIFY(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  window.ActionDesktopIcon->trigger();
  QVERIFY(dialogs_.messages.last().contains(QStringLiteral("is not a folder")));
}

void DesktopTest::QuickLaunchGoesToTheApplicationMenu() {
  MainWindow window(Options());
  window.show();
  dialogs_.messages.clear();
  window.ActionQuickLaunchIcon->trigger();
  QCOMPARE(dialogs_.messages, QStringList{QStringLiteral("Operation complete")});
  const QString path = temp_.path() + QStringLiteral("/data/applications/Glintvane.desktop");
  QCOMPARE(EntryKeys(path).value(QStringLiteral("Exec")), QCoreApplication::applicationFilePath());
}

void DesktopTest::ExecIsQuotedForOddPaths() {
  platform::LauncherFields fields;
  fields.exec = QStringLiteral("/opt/my tools/100%/glint\"vane");
  fields.path = QStringLiteral("/opt/my tools/100%");
  fields.icon = QStringLiteral("glintvane");
  fields.name = QStringLiteral("Glint/vane");
  const QString text = platform::LauncherText(fields);
  // Quoted, the quote escaped, "%" doubled; the value's backslashes doubled again.
  QVERIFY(text.contains(QStringLiteral("Exec=\"/opt/my tools/100%%/glint\\\\\"vane\"\n")));
  QVERIFY(text.contains(QStringLiteral("Path=/opt/my tools/100%\n")));
  QCOMPARE(platform::LauncherFileName(fields.name), QStringLiteral("Glint-vane.desktop"));
  QCOMPARE(platform::LauncherFileName(QStringLiteral("..")), QStringLiteral("Glintvane.desktop"));
}

void DesktopTest::AboutBoxSwapsPicturesOnShiftClick() {
  QStringList opened;
  AboutBox about(QStringLiteral("https://example.org/x"), QStringLiteral("ver. 1.2"),
                 [&](const QString& address) { opened << address; });
  about.show();
  QCOMPARE(about.windowTitle(), QStringLiteral("About..."));
  QCOMPARE(about.size(), QSize(225, 287));
  QCOMPARE(about.minimumSize(), about.maximumSize());
  QVERIFY(!about.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  QVERIFY(!about.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  QCOMPARE(about.palette().color(QPalette::Window), QColor(Qt::black));
  QCOMPARE(about.ImgAbout1->toolTip(), QStringLiteral("ver. 1.2"));
  QVERIFY(!about.Image1.isNull());
  QCOMPARE(about.Image2.size(), QSize(180, 204));
  QCOMPARE(about.tag(), 1);

  QTest::mouseClick(about.ImgAbout1, Qt::LeftButton);
  QCOMPARE(about.tag(), 1);
  QTest::mouseClick(about.ImgAbout1, Qt::RightButton, Qt::ShiftModifier);
  QCOMPARE(about.tag(), 1);
  QTest::mouseClick(about.ImgAbout1, Qt::LeftButton, Qt::ShiftModifier);
  QCOMPARE(about.tag(), 2);
  QCOMPARE(about.ImgAbout1->pixmap().size(), QSize(180, 204));
  QTest::mouseClick(about.ImgAbout1, Qt::LeftButton, Qt::ShiftModifier);
  QCOMPARE(about.tag(), 1);

  QTest::mouseClick(about.Panel2, Qt::LeftButton);
  QCOMPARE(opened, QStringList{QStringLiteral("https://example.org/x")});
  about.ImageMainClick();
  about.accept();
  QCOMPARE(about.tag(), 1);  // the next showing starts with the logo
}

void DesktopTest::ShortcutsReachTheCommands() {
  MainWindow window(Options());
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  // With rows, so that the commands on rows are enabled.
  window.OpenThumbnailFile(kCorpus + QStringLiteral("017-feng33-Thumbs.db"));
  QCOMPARE(window.ActionOpen->shortcut(), QKeySequence(QKeySequence::Open));
  QCOMPARE(window.ActionExit->shortcut(), QKeySequence(QKeySequence::Quit));
  QCOMPARE(window.ActionHelp->shortcut(), QKeySequence(QKeySequence::HelpContents));
  QCOMPARE(window.ActionSelectAll->shortcut(), QKeySequence(QKeySequence::SelectAll));

  // No two commands share a key.
  std::set<QString> keys;
  for (QAction* action : window.findChildren<QAction*>()) {
    if (action->shortcut().isEmpty()) continue;
    QVERIFY2(keys.insert(action->shortcut().toString()).second,
             qPrintable(action->shortcut().toString()));
  }
  // Pressed in the list, the keys run their commands.
  window.list()->ListView1->setFocus();
  const std::pair<QAction*, QKeySequence> pressed[] = {
      {window.ActionSearchAll, QKeySequence(QStringLiteral("Ctrl+F"))},
      {window.ActionBruteForce, QKeySequence(QStringLiteral("Ctrl+B"))},
      {window.ActionExtract, QKeySequence(QStringLiteral("Ctrl+E"))},
      {window.ActionOpen, QKeySequence(QKeySequence::Open)},
  };
  for (const auto& [action, key] : pressed) {
    QSignalSpy spy(action, &QAction::triggered);
    QTest::keySequence(window.list()->ListView1, key);
    QVERIFY2(spy.count() == 1, qPrintable(key.toString()));
  }
}

void DesktopTest::EnterAndSpaceInTheList() {
  MainWindow window(Options());
  window.show();
  window.OpenThumbnailFile(kCorpus + QStringLiteral("017-feng33-Thumbs.db"));
  QVERIFY(window.list()->model()->rowCount() > 1);
  window.list()->ListView1->setFocus();
  window.list()->ListView1->setCurrentIndex(window.list()->model()->index(1, 0));
  QVERIFY(!window.list()->model()->RowAt(1)->checked);
  QTest::keyClick(window.list()->ListView1, Qt::Key_Space);
  QVERIFY(window.list()->model()->RowAt(1)->checked);
  QTest::keyClick(window.list()->ListView1, Qt::Key_Space);
  QVERIFY(!window.list()->model()->RowAt(1)->checked);
  QSignalSpy view(window.ActionView, &QAction::triggered);
  QTest::keyClick(window.list()->ListView1, Qt::Key_Return);
  QCOMPARE(view.count(), 1);
}

void DesktopTest::StateIsKeptBetweenRuns() {
  QList<int> sizes;
  int column_width = 0;
  {
    MainWindow window(Options());
    window.show();
    window.resize(900, 650);
    window.Splitter1->setSizes({250, 650});
    sizes = window.Splitter1->sizes();
    window.list()->ListView1->header()->resizeSection(1, 177);
    column_width = window.list()->ListView1->header()->sectionSize(1);
    window.pane()->PreImage->SetStretch(false);
    window.pane()->PageControl2->setCurrentWidget(window.pane()->GalleryTabSheet);
    window.close();
  }
  MainWindow window(Options());
  window.show();
  QCOMPARE(window.size(), QSize(900, 650));
  QCOMPARE(window.Splitter1->sizes(), sizes);
  QCOMPARE(window.list()->ListView1->header()->sectionSize(1), column_width);
  QVERIFY(!window.pane()->PreImage->stretch());
  QVERIFY(window.ActionActualSize->isChecked());
  QCOMPARE(window.pane()->PageControl2->currentWidget(), window.pane()->GalleryTabSheet);
}

void DesktopTest::TimesInUtcNameTheZone() {
  // The test runs with TZ=UTC; another zone shows that the text changes.
  qputenv("TZ", "Asia/Tokyo");
  tzset();
  MainWindow window(Options());
  window.show();
  window.OpenThumbnailFile(kCorpus + QStringLiteral("017-feng33-Thumbs.db"));
  ThumbnailModel* model = window.list()->model();
  int row = 0;
  while (row < model->rowCount() && model->RowAt(row)->filetime == 0) ++row;
  QVERIFY(row < model->rowCount());
  const QString local = model->data(model->index(row, 2), Qt::DisplayRole).toString();
  QVERIFY(!model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString().contains("UTC"));

  window.ActionUtcTimes->trigger();
  QCOMPARE(window.context().time_style().zone, TimeZoneChoice::kUtc);
  const QString utc = model->data(model->index(row, 2), Qt::DisplayRole).toString();
  QVERIFY(utc != local);
  QCOMPARE(model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
           QStringLiteral("Modified (UTC)"));
  window.ListView1ColumnClick(2);
  QCOMPARE(model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
           QStringLiteral("Modified (UTC) v"));
  window.close();

  // Kept for the next run, and files read then are in UTC from the start.
  MainWindow again(Options());
  again.show();
  QCOMPARE(again.context().time_style().zone, TimeZoneChoice::kUtc);
  again.OpenThumbnailFile(kCorpus + QStringLiteral("017-feng33-Thumbs.db"));
  QCOMPARE(
      again.list()->model()->data(again.list()->model()->index(row, 2), Qt::DisplayRole).toString(),
      utc);
  qputenv("TZ", "UTC");
  tzset();
}

void DesktopTest::StartFilesOpenAndNameTheWindow() {
  StartOptions options = Options();
  options.system_language = QStringLiteral("DEU");
  MainWindow window(options);
  window.show();
  QCOMPARE(window.pane()->TabCaption(window.pane()->GalleryTabSheet), QStringLiteral("Galerie"));
  window.findChild<QAction*>(QStringLiteral("LangItem_ENU"))->trigger();
  QCOMPARE(window.pane()->TabCaption(window.pane()->GalleryTabSheet), QStringLiteral("Gallery"));
  QCOMPARE(window.windowTitle(), QStringLiteral("Glintvane"));
  window.OpenStartFiles({kCorpus + QStringLiteral("017-feng33-Thumbs.db")});
  QVERIFY(window.list()->model()->rowCount() > 0);
  QCOMPARE(window.windowTitle(), QStringLiteral("017-feng33-Thumbs.db \u2014 Glintvane"));
}

void DesktopTest::GallerySharesTheSelectionAndDecodes() {
  MainWindow window(Options());
  window.show();
  window.OpenThumbnailFile(kCorpus + QStringLiteral("017-feng33-Thumbs.db"));
  const int rows = window.list()->model()->rowCount();
  QVERIFY(rows > 2);
  window.pane()->PageControl2->setCurrentWidget(window.pane()->GalleryTabSheet);
  QCOMPARE(window.pane()->Gallery->model()->rowCount(), rows);
  QCOMPARE(window.pane()->Gallery->selectionModel(), window.list()->ListView1->selectionModel());

  window.pane()->Gallery->setCurrentIndex(window.list()->model()->index(2, 0));
  QCOMPARE(window.list()->FocusedRow(), 2);
  QCOMPARE(window.list()->ListView1->currentIndex().row(), 2);

  // Decoded off the window's thread, then kept.
  QVERIFY(window.pane()->Gallery->Icon(2).isNull() || true);
  QTRY_VERIFY(!window.pane()->Gallery->Icon(2).isNull());
  const QImage icon = window.pane()->Gallery->Icon(2);
  QVERIFY(icon.width() <= GalleryView::kIconEdge && icon.height() <= GalleryView::kIconEdge);
  // A list refilled forgets the old pictures.
  window.ClearThumbnailList();
  QCOMPARE(window.pane()->Gallery->cached_icons(), 0);
}

void DesktopTest::BestFitEnlargesAtMostTwice() {
  ImageView view;
  view.resize(400, 300);
  QImage tiny(16, 11, QImage::Format_RGB32);
  tiny.fill(Qt::red);
  view.SetPicture(tiny);
  QCOMPARE(view.PictureRect(), QRect((400 - 32) / 2, (300 - 22) / 2, 32, 22));
  view.SetStretch(false);
  QCOMPARE(view.PictureRect().size(), QSize(16, 11));
  // Large pictures still shrink to fit.
  view.SetStretch(true);
  view.SetPicture(QImage(800, 600, QImage::Format_RGB32));
  QCOMPARE(view.PictureRect().size(), QSize(400, 300));
}

}  // namespace glintvane

QTEST_MAIN(glintvane::DesktopTest)
#include "desktop_test.moc"
