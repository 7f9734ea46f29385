// The window's long work and the commands built on it, driven headless:
// cancelling a scan, File Locator over a tree with a recycle bin, extraction
// with its report and records, opening items and Open With, and the mends
// to carving (numbering, the offer, the time counted).
#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <thread>

#include "cache_list.h"
#include "carve_kinds_dialog.h"
#include "file_info_pane.h"
#include "image_pane.h"
#include "item_opener.h"
#include "locator_panel.h"
#include "mainwindow.h"
#include "platform/app_chooser.h"
#include "status_line.h"
#include "test_dialogs.h"
#include "thumbnail_model.h"
#include "window_texts.h"
#include "work_controller.h"

namespace glintvane {
namespace {

const QString kCorpus = QStringLiteral(GLINTVANE_CORPUS_DIR "/real/");
const QString kCache = kCorpus + QStringLiteral("001-oldcode-Thumbs.db");

// A file holding `count` JFIF pictures with filler between them.
void WriteCarvable(const QString& path, int count) {
  QFile out(path);
  QVERIFY(out.open(QIODevice::WriteOnly));
  for (int i = 0; i < count; ++i) {
    out.write(QByteArray(1000, '\0'));
    QImage picture(16 + i, 16, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    picture.save(&buffer, "JPG");
    out.write(jpeg);
  }
}

// An INFO2 index of one record (record size 800) naming C:\Photos\Thumbs.db,
// deleted from drive C as index 1: its file is DC1.db beside the index.
QByteArray RecycleIndex() {
  QByteArray bytes(20 + 800, '\0');
  bytes[12] = static_cast<char>(800 & 0xFF);
  bytes[13] = static_cast<char>(800 >> 8);
  const QByteArray original("C:\\Photos\\Thumbs.db");
  bytes.replace(20, original.size(), original);
  bytes[16 + 264] = 1;  // record index
  bytes[16 + 268] = 2;  // drive C
  return bytes;
}

QStringList Keys(MainWindow& window) {
  QStringList keys;
  ThumbnailModel* model = window.list()->model();
  for (int row = 0; row < model->rowCount(); ++row)
    keys << model->data(model->index(row, 0), Qt::DisplayRole).toString();
  return keys;
}

}  // namespace

class WindowWorkTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME")) QStandardPaths::setTestModeEnabled(true);
  }
  void init() {
    QSettings(QStringLiteral("Corvanta"), QStringLiteral("Glintvane")).clear();
    dialogs_ = ScriptedDialogs();
  }

  void CancelStopsCarvingKeepsRowsAndFreesCommands();
  void ExitWhileWorkingStopsTheWorkFirst();
  void CarvedRowsNumberOnAndTheOfferIsHonest();
  void BruteForceAsksWhichKindsAndRemembersThem();
  void QuestionTimeIsNotWorkTime();
  void FileLocatorListsCachesAndRecycledOnes();
  void ExtractCheckedWritesReportAndRecords();
  void ExtractSelectedAndOpeningItems();
  void AppChooserListsApplicationsForTheType();
  void LaterWindowsStreamsShowWhole();
  void EveryLanguageKeepsModifiedVisible();

 private:
  StartOptions Options() {
    StartOptions options;
    options.language_folders = {QStringLiteral(GLINTVANE_LANG_DIR)};
    options.system_language = QStringLiteral("ENU");
    options.dialogs = &dialogs_;
    return options;
  }
  ScriptedDialogs dialogs_;
};

void WindowWorkTest::CancelStopsCarvingKeepsRowsAndFreesCommands() {
  QTemporaryDir folder;
  // Pictures first, then a long sparse stretch the scan is stopped in.
  const QString path = folder.filePath(QStringLiteral("pagefile.sys"));
  WriteCarvable(path, 3);
  QVERIFY(QFile::resize(path, qint64(8) << 30));

  MainWindow window(Options());
  window.show();
  dialogs_.open_file = path;
  bool disabled_while_running = false;
  bool cancel_shown = false;
  QTimer::singleShot(150, &window, [&] {
    disabled_while_running = !window.ActionOpen->isEnabled() &&
                             !window.ActionExtract->isEnabled() && window.ActionExit->isEnabled();
    cancel_shown = window.status()->cancel_button()->isVisible();
    // Escape, as the user presses it.
    QTest::keyClick(&window, Qt::Key_Escape);
  });
  window.ActionBruteForceExecute();

  QVERIFY(disabled_while_running);
  QVERIFY(cancel_shown);
  QVERIFY(window.work()->runner()->last_stop_ms() >= 0);
  QVERIFY(!window.status()->cancel_button()->isVisible());
  QVERIFY(window.ActionOpen->isEnabled());
  QVERIFY(window.status()->Text(0).endsWith(QStringLiteral("Files: 3. Cancelled")));
  // The rows found before the stop stay; nothing asks "Sorry!".
  QCOMPARE(window.thumbnails().size(), size_t{3});
  QVERIFY(dialogs_.messages.isEmpty());
}

void WindowWorkTest::ExitWhileWorkingStopsTheWorkFirst() {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("hiberfil.sys"));
  WriteCarvable(path, 1);
  QVERIFY(QFile::resize(path, qint64(8) << 30));
  MainWindow window(Options());
  window.show();
  dialogs_.open_file = path;
  bool visible_after_exit = false;
  QTimer::singleShot(100, &window, [&] {
    window.ActionExit->trigger();
    // The window waits for the work to end before it goes.
    visible_after_exit = window.isVisible();
  });
  window.ActionBruteForceExecute();
  QVERIFY(visible_after_exit);
  QVERIFY(!window.IsWorking());
  QTRY_VERIFY(!window.isVisible());
}

void WindowWorkTest::CarvedRowsNumberOnAndTheOfferIsHonest() {
  QTemporaryDir folder;
  const QString carvable = folder.filePath(QStringLiteral("swap.bin"));
  WriteCarvable(carvable, 2);

  MainWindow window(Options());
  window.show();
  window.OpenThumbnailFile(kCache);
  const QStringList cache_keys = Keys(window);
  QVERIFY(!cache_keys.isEmpty());
  int highest = 0;
  for (const QString& key : cache_keys) highest = std::max(highest, key.toInt());

  // Appended after the cache's rows (No to "Clear list?"), numbered on from
  // the highest number: never a second row of the same number.
  dialogs_.open_file = carvable;
  dialogs_.answers = QQueue<bool>({false});
  window.ActionBruteForceExecute();
  const QStringList keys = Keys(window);
  QCOMPARE(keys.size(), cache_keys.size() + 2);
  QCOMPARE(keys[cache_keys.size()], QString::number(highest + 1));
  QCOMPARE(keys[cache_keys.size() + 1], QString::number(highest + 2));
  QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
  // The appended rows still read from the file they were carved from.
  const ThumbnailRow& carved = window.thumbnails()[window.thumbnails().size() - 1];
  QCOMPARE(QString::fromStdString(window.thumbnails().SourceOf(carved)), carvable);

  // An empty file and a file that cannot be opened are not offered for
  // carving: nothing there to find, and a second "Fatal error" says nothing.
  const QString empty = folder.filePath(QStringLiteral("empty.db"));
  QFile(empty).open(QIODevice::WriteOnly);
  for (const QString& path : {empty, folder.filePath(QStringLiteral("missing.db"))}) {
    dialogs_.questions.clear();
    dialogs_.answers = QQueue<bool>({false});
    window.OpenThumbnailFile(path);
    QCOMPARE(dialogs_.questions.size(), 1);  // only the offer to see the errors
    QVERIFY(dialogs_.questions[0].endsWith(QStringLiteral("Do you want to see error details?")));
  }
}

void WindowWorkTest::BruteForceAsksWhichKindsAndRemembersThem() {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("swap.bin"));
  WriteCarvable(path, 1);
  {
    QFile out(path);
    QVERIFY(out.open(QIODevice::Append));
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkYellow);
    for (const char* format : {"PNG", "BMP"}) {
      out.write(QByteArray(1000, '\0'));
      QByteArray bytes;
      QBuffer buffer(&bytes);
      picture.save(&buffer, format);
      out.write(bytes);
    }
    out.write(QByteArray(1000, '\0'));
  }
  MainWindow window(Options());
  window.show();
  dialogs_.open_file = path;

  // JFIF is offered the first time; the PNG and BMP asked for are found,
  // each decoding, and the choice is kept.
  dialogs_.carve_kinds = CarveKinds::Only(CarveKind::kPng).With(CarveKind::kBmp);
  window.ActionBruteForceExecute();
  QCOMPARE(dialogs_.kinds_offered.size(), 1);
  QVERIFY(dialogs_.kinds_offered[0] == kDefaultCarveKinds);
  QCOMPARE(window.thumbnails().size(), size_t{2});
  QCOMPARE(window.thumbnails()[0].kind, ImageKind::kPng);
  QCOMPARE(window.thumbnails()[1].kind, ImageKind::kBmp);
  ThumbnailModel* model = window.list()->model();
  for (int row = 0; row < 2; ++row) {
    QCOMPARE(window.thumbnails()[static_cast<size_t>(row)].decodes, DecodeCheck::kDecodes);
    QVERIFY(model->data(model->index(row, 0), Qt::ToolTipRole)
                .toString()
                .endsWith(QStringLiteral("; whole; it decodes.")));
  }
  QVERIFY(LoadCarveKinds() == *dialogs_.carve_kinds);

  // The next Brute Force offers that choice; cancelling it changes nothing.
  dialogs_.cancel_kinds = true;
  window.ActionBruteForceExecute();
  QCOMPARE(dialogs_.kinds_offered.size(), 2);
  QVERIFY(dialogs_.kinds_offered[1] == *dialogs_.carve_kinds);
  QCOMPARE(window.thumbnails().size(), size_t{2});

  // The dialog itself: JFIF ticked by default, and no OK without a kind.
  CarveKindsDialog dialog(CarveChoice{CarveKinds{}}, false);
  QVERIFY(dialog.kinds() == kDefaultCarveKinds);
  dialog.box(CarveKind::kJfif)->setChecked(false);
  auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
  QVERIFY(!ok->isEnabled());
  dialog.box(CarveKind::kExif)->setChecked(true);
  QVERIFY(ok->isEnabled());
  QVERIFY(dialog.kinds() == CarveKinds::Only(CarveKind::kExif));
}

// Answers every question after a pause, as a person would.
class SlowDialogs final : public ScriptedDialogs {
 public:
  bool AskYesNo(QWidget* parent, const QString& text, int help_context) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    return ScriptedDialogs::AskYesNo(parent, text, help_context);
  }
};

void WindowWorkTest::QuestionTimeIsNotWorkTime() {
  QTemporaryDir folder;
  const QString carvable = folder.filePath(QStringLiteral("swap.bin"));
  WriteCarvable(carvable, 1);
  SlowDialogs slow;
  StartOptions options = Options();
  options.dialogs = &slow;
  MainWindow window(options);
  window.show();
  window.OpenThumbnailFile(kCache);
  slow.open_file = carvable;
  slow.answers = QQueue<bool>({false});
  window.ActionBruteForceExecute();
  // A second spent on "Clear list?" is not counted: the scan takes well
  // under a second.
  QVERIFY2(window.status()->Text(0).startsWith(QStringLiteral("0 sec.")),
           qPrintable(window.status()->Text(0)));
  QVERIFY(window.work()->elapsed_ms() < 1000);
}

void WindowWorkTest::FileLocatorListsCachesAndRecycledOnes() {
  QTemporaryDir root;
  QDir tree(root.path());
  QVERIFY(tree.mkpath(QStringLiteral("photos/2007")));
  QVERIFY(tree.mkpath(QStringLiteral("RECYCLER/S-1-5-21")));
  QVERIFY(QFile::copy(kCache, tree.filePath(QStringLiteral("photos/Thumbs.db"))));
  QVERIFY(QFile::copy(kCorpus + QStringLiteral("002-pyliu-docs-Thumbs.db"),
                      tree.filePath(QStringLiteral("photos/2007/Thumbs.db"))));
  QVERIFY(QFile::copy(kCache, tree.filePath(QStringLiteral("RECYCLER/S-1-5-21/DC1.db"))));
  QFile index(tree.filePath(QStringLiteral("RECYCLER/S-1-5-21/INFO2")));
  QVERIFY(index.open(QIODevice::WriteOnly));
  index.write(RecycleIndex());
  index.close();

  MainWindow window(Options());
  window.show();
  dialogs_.folder = root.path();
  window.ActionSearchAllExecute();

  QCOMPARE(window.found_caches().size(), size_t{3});
  QVERIFY(!window.locator()->AllDbPanel->isHidden());
  QVERIFY(window.ActionShowThumb->isVisible());
  QVERIFY(window.locator()->Panel2->text().startsWith(QStringLiteral("Root: ")));
  QVERIFY(window.locator()->Panel2->text().contains(QStringLiteral("Thumbs.db files: 3.")));
  auto* model = qobject_cast<QStandardItemModel*>(window.locator()->ListView2->model());
  QCOMPARE(model->rowCount(), 3);
  bool recycled_row = false;
  for (int row = 0; row < 3; ++row) {
    if (model->item(row, 0)->text() != QStringLiteral("C:\\Photos\\Thumbs.db")) continue;
    recycled_row = true;
    QVERIFY(model->item(row, 2)->text().contains(QStringLiteral(" - ")));
  }
  QVERIFY(recycled_row);
  // The first cache found is open at once.
  QCOMPARE(window.OpenFilePath(), QString::fromStdString(window.found_caches()[0].path));
  QVERIFY(window.list()->model()->rowCount() > 0);

  // Sorting by Size: marker and order; a second click turns both round.
  window.ListView2ColumnClick(1);
  QVERIFY(window.locator()->Caption(1).endsWith(QStringLiteral(" v")));
  QVERIFY(*window.found_caches()[0].size <= *window.found_caches()[2].size);
  window.ListView2ColumnClick(1);
  QVERIFY(window.locator()->Caption(1).endsWith(QStringLiteral(" ^")));
  QVERIFY(*window.found_caches()[0].size >= *window.found_caches()[2].size);

  // Searching again without clearing adds nothing and opens nothing new.
  window.locator()->ListView2->setCurrentIndex(model->index(2, 0));
  const QString opened = window.OpenFilePath();
  dialogs_.answers = QQueue<bool>({false});
  window.ActionSearchAllExecute();
  QCOMPARE(window.found_caches().size(), size_t{3});
  QCOMPARE(window.OpenFilePath(), opened);

  // ActionShowThumb opens the highlighted row; a file opened elsewhere joins
  // the list while it is shown.
  window.locator()->ListView2->setCurrentIndex(model->index(2, 0));
  window.ActionShowThumb->trigger();
  QCOMPARE(window.OpenFilePath(), QString::fromStdString(window.found_caches()[2].path));
  window.OpenThumbnailFile(kCorpus + QStringLiteral("003-sabhaadv-Thumbs.db"));
  QCOMPARE(window.found_caches().size(), size_t{4});
  QCOMPARE(window.locator()->Panel2->text(), QStringLiteral("Thumbs.db files: 4"));
}

void WindowWorkTest::ExtractCheckedWritesReportAndRecords() {
  QTemporaryDir out;
  MainWindow window(Options());
  window.show();
  window.OpenThumbnailFile(kCache);
  window.ActionSelectAll->trigger();
  const int rows = window.list()->model()->rowCount();

  // A typed folder that does not exist is made after asking.
  dialogs_.folder = out.filePath(QStringLiteral("new/sub"));
  dialogs_.answers = QQueue<bool>({true, false, false});  // create; no report; no folder
  window.ActionExtractExecute();
  const QDir destination(dialogs_.folder);
  QVERIFY(destination.exists(QStringLiteral("index.html")));
  QVERIFY(destination.exists(QStringLiteral("thumbnails.csv")));
  QVERIFY(destination.exists(QStringLiteral("thumbnails.json")));
  QCOMPARE(dialogs_.questions.mid(1),
           QStringList({QStringLiteral("Run HTML File"),
                        QStringLiteral("Do you want to open destination folder?")}));
  // One result line per row, as the command line writes them.
  QCOMPARE(static_cast<int>(window.errors().entries().size()), rows);
  QVERIFY(QString::fromStdString(window.errors().Lines(window.context().texts())[0])
              .startsWith(QStringLiteral("Operation complete. File:") + dialogs_.folder));
  QCOMPARE(destination.entryList({QStringLiteral("*_thmb.jpg")}).size() > 0, true);

  // The next extraction starts where this one went, also after a restart.
  dialogs_.folder.clear();  // cancelled
  window.ActionExtractSelectedExecute();
  QCOMPARE(dialogs_.folder_starts.last(), out.filePath(QStringLiteral("new/sub/")));
  MainWindow again(Options());
  again.show();
  again.OpenThumbnailFile(kCache);
  again.ActionExtractExecute();
  QCOMPARE(dialogs_.folder_starts.last(), out.filePath(QStringLiteral("new/sub/")));
}

void WindowWorkTest::ExtractSelectedAndOpeningItems() {
  QTemporaryDir out;
  MainWindow window(Options());
  window.show();
  window.OpenThumbnailFile(kCache);
  QVERIFY(window.ActionExtractSelected->isEnabled());

  dialogs_.folder = out.path();
  dialogs_.answers = QQueue<bool>({false});
  window.ActionExtractSelectedExecute();
  QCOMPARE(dialogs_.messages.size(), 1);
  QVERIFY(dialogs_.messages[0].startsWith(QStringLiteral("Operation complete!\nFile:\n") +
                                          out.path() + QStringLiteral("/")));
  QCOMPARE(QDir(out.path()).entryList({QStringLiteral("*_thmb.jpg")}).size(), 1);

  // Open With without a portal: our chooser gets the viewing copy, written
  // into the private folder, and its command is run.
  dialogs_.application = QStringList({QStringLiteral("true")});
  window.ActionOpenWith->trigger();
  QCOMPARE(dialogs_.portal_paths.size(), 1);
  QCOMPARE(dialogs_.chooser_paths.size(), 1);
  QCOMPARE(window.opener()->last_open_with_route(), QStringLiteral("chooser"));
  const QFileInfo copy(dialogs_.chooser_paths[0]);
  QVERIFY(copy.isFile());
  QVERIFY(copy.fileName().endsWith(QStringLiteral("_thmb.jpg")));
  QCOMPARE(QFileInfo(copy.absolutePath()).permissions() &
               (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther),
           QFile::Permissions());
  // With a portal the session's chooser takes it.
  dialogs_.portal_answer = true;
  window.ActionOpenWith->trigger();
  QCOMPARE(window.opener()->last_open_with_route(), QStringLiteral("portal"));
  QCOMPARE(dialogs_.chooser_paths.size(), 1);

  // Original File View is offered only when the original lies beside the
  // cache.
  QVERIFY(!window.ActionOrigView->isEnabled());
  QTemporaryDir beside;
  const QString cache = beside.filePath(QStringLiteral("Thumbs.db"));
  QVERIFY(QFile::copy(kCache, cache));
  window.OpenThumbnailFile(cache);
  const ThumbnailRow* first = window.list()->model()->RowAt(0);
  QVERIFY(first != nullptr && !first->name.empty());
  QFile original(beside.filePath(QString::fromStdString(first->name)));
  QVERIFY(original.open(QIODevice::WriteOnly));
  original.close();
  window.UpdateImageView(0);
  QVERIFY(window.ActionOrigView->isEnabled());
  QCOMPARE(window.pane()->OrgFileViewBtn->toolTip(), QFileInfo(original).filePath());
  original.remove();
  window.ActionOrigViewExecute();
  QVERIFY(!window.ActionOrigView->isEnabled());
}

void WindowWorkTest::AppChooserListsApplicationsForTheType() {
  QTemporaryDir apps;
  const auto write = [&](const QString& name, const QByteArray& text) {
    QFile file(apps.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
  };
  write(QStringLiteral("viewer.desktop"),
        "[Desktop Entry]\nType=Application\nName=Picture Viewer\nExec=viewer --new %U\n"
        "MimeType=image/jpeg;image/png;\n[Desktop Action x]\nName=Other\n");
  write(QStringLiteral("editor.desktop"),
        "[Desktop Entry]\nType=Application\nName=Any Image Editor\nExec=\"edit it\" %f -x\n"
        "MimeType=image/*;\n");
  write(QStringLiteral("hidden.desktop"),
        "[Desktop Entry]\nType=Application\nName=Hidden\nExec=h %f\nNoDisplay=true\n"
        "MimeType=image/jpeg;\n");
  write(QStringLiteral("text.desktop"),
        "[Desktop Entry]\nType=Application\nName=Text\nExec=t %f\nMimeType=text/plain;\n");

  const auto found = platform::ApplicationsForMimeType(QStringLiteral("image/jpeg"), {apps.path()});
  QCOMPARE(found.size(), 2);
  QCOMPARE(found[0].name, QStringLiteral("Any Image Editor"));
  QCOMPARE(found[1].name, QStringLiteral("Picture Viewer"));

  const QString file = QStringLiteral("/tmp/a b/1_thmb.jpg");
  QCOMPARE(platform::LaunchArguments(found[0].exec, file),
           QStringList({QStringLiteral("edit it"), file, QStringLiteral("-x")}));
  QCOMPARE(platform::LaunchArguments(found[1].exec, file),
           QStringList({QStringLiteral("viewer"), QStringLiteral("--new"),
                        QStringLiteral("file:///tmp/a%20b/1_thmb.jpg")}));
  // A typed command without a field code gets the file at its end.
  QCOMPARE(platform::LaunchArguments(QStringLiteral("gimp -n"), file),
           QStringList({QStringLiteral("gimp"), QStringLiteral("-n"), file}));

  platform::AppChooserDialog dialog(file, nullptr, {apps.path()});
  QCOMPARE(dialog.list()->count(), 2);
  QCOMPARE(dialog.CommandLine().first(), QStringLiteral("edit it"));
  dialog.command()->setText(QStringLiteral("display"));
  QCOMPARE(dialog.CommandLine(), QStringList({QStringLiteral("display"), file}));
}

void WindowWorkTest::LaterWindowsStreamsShowWhole() {
  MainWindow window(Options());
  window.show();
  window.OpenThumbnailFile(kCorpus + QStringLiteral("024-deskinet-Thumbs.db"));
  ThumbnailModel* model = window.list()->model();
  int at = 0;
  while (at < model->rowCount() && !model->data(model->index(at, 0), Qt::DisplayRole)
                                        .toString()
                                        .startsWith(QStringLiteral("256_")))
    ++at;
  QVERIFY(at < model->rowCount());
  const QString key = model->data(model->index(at, 0), Qt::DisplayRole).toString();
  // No original name: the Name column shows the stream's name.
  QCOMPARE(model->data(model->index(at, 1), Qt::DisplayRole).toString(), key);
  window.list()->ListView1->selectionModel()->setCurrentIndex(
      model->index(at, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  // The Number column is wide enough for the whole name.
  QVERIFY(window.list()->ListView1->columnWidth(0) >
          window.list()->ListView1->fontMetrics().horizontalAdvance(key));
  QCOMPARE(window.pane()->TabCaption(window.pane()->ImageViewTabSheet), key);
}

void WindowWorkTest::EveryLanguageKeepsModifiedVisible() {
  for (const QString& language :
       {QStringLiteral("ENU"), QStringLiteral("DEU"), QStringLiteral("ESN"), QStringLiteral("FRA"),
        QStringLiteral("ITA"), QStringLiteral("RUS")}) {
    QSettings(QStringLiteral("Corvanta"), QStringLiteral("Glintvane")).clear();
    StartOptions options = Options();
    options.system_language = language;
    MainWindow window(options);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    QTreeView* list = window.list()->ListView1;
    const int right = list->header()->sectionViewportPosition(2) + 20;
    QVERIFY2(right < list->viewport()->width(),
             qPrintable(QStringLiteral("%1: list %2 px, Modified at %3")
                            .arg(language)
                            .arg(list->width())
                            .arg(right)));
    // The tabs speak the chosen language from the start.
    QCOMPARE(window.list()->Caption(), window.UiText(kTextFile));
    QCOMPARE(window.pane()->TabCaption(window.pane()->ImageViewTabSheet),
             window.UiText(kTextImageView));
  }
}

}  // namespace glintvane

QTEST_MAIN(glintvane::WindowWorkTest)
#include "window_work_test.moc"
