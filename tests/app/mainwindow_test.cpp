// The main window driven headless: start-up and settings, languages, opening
// real caches, the error list of a file that is no cache, sorting, checking
// and the image view's bookkeeping.
#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>
#include <QTreeView>

#include "cache_list.h"
#include "file_info_pane.h"
#include "image_pane.h"
#include "image_view.h"
#include "item_opener.h"
#include "locator_panel.h"
#include "mainwindow.h"
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

QString StoredValue(const QString& name) {
  QSettings settings(QStringLiteral("Corvanta"), QStringLiteral("Glintvane"));
  return settings.value(QStringLiteral("Sys/") + name).toString();
}

QStringList MenuTitles(QMainWindow& window) {
  QStringList titles;
  for (QAction* action : window.menuBar()->actions()) titles << action->text();
  return titles;
}

QStringList ColumnTexts(MainWindow& window, int column) {
  QStringList texts;
  ThumbnailModel* model = window.list()->model();
  for (int row = 0; row < model->rowCount(); ++row)
    texts << model->data(model->index(row, column), Qt::DisplayRole).toString();
  return texts;
}

void AddRow(ThumbnailList& list, const std::string& key, const std::string& name,
            uint64_t filetime) {
  ThumbnailRow row;
  row.key = key;
  row.name = name;
  // Whole seconds after 2001-01-01, as a cache records them.
  row.filetime = filetime == 0 ? 0 : 126227808000000000ULL + filetime * 10000000ULL;
  row.time_text = std::to_string(filetime);
  list.Append(row);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init() { ClearSettings(); }

  void FirstRunStoresLanguageAndVersion();
  void LaterRunUsesStoredSettings();
  void SettingsRoutineModes();
  void LanguageFilesMakeTheMenu();
  void OpenCacheShowsRowsDetailsAndPicture();
  void OpenAllCorpusCaches();
  void FileThatIsNoCacheShowsItsErrors();
  void FailedReadCanBeCarved();
  void SortingByColumns();
  void HundredThousandRows();
  void CheckingCommands();
  void RotationIsRememberedPerRow();
  void RowWithoutImageLeavesViewEmpty();
  void OpenThumbcacheShowsBmpDetailsAndRowNotes();

 private:
  StartOptions Options(const QStringList& folders = {kLangDir}) {
    StartOptions options;
    options.language_folders = folders;
    options.system_language = QStringLiteral("ENU");
    options.dialogs = &dialogs_;
    return options;
  }
  ScriptedDialogs dialogs_;
};

void MainWindowTest::initTestCase() {
  // Run by hand without the test's environment, settings still stay away
  // from the user's own.
  if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME")) QStandardPaths::setTestModeEnabled(true);
}

void MainWindowTest::FirstRunStoresLanguageAndVersion() {
  StartOptions options = Options();
  options.system_language = QStringLiteral("DEU");
  MainWindow window(options);
  // Written at construction, before the window is shown.
  QCOMPARE(StoredValue(QStringLiteral("Language")), QStringLiteral("DEU"));
  QCOMPARE(StoredValue(QStringLiteral("Version")), QStringLiteral("ver. 1.2"));

  window.show();
  QCOMPARE(window.activation_state(), 2);
  // The German file matches the user's locale and is chosen by itself.
  QCOMPARE(MenuTitles(window), QStringList({"Datei", "Aktionen", "Sprache", "Hilfe"}));
  QCOMPARE(window.ActionOpen->text(), QStringLiteral("Öffnen"));
  QCOMPARE(window.windowTitle(), QStringLiteral("Glintvane"));
  QCOMPARE(StoredValue(QStringLiteral("Language")), QStringLiteral("DEU"));

  // Showing the window again builds nothing a second time.
  window.hide();
  window.show();
  QCOMPARE(window.languages()->LangItem->actions().size(), 6);
}

void MainWindowTest::LaterRunUsesStoredSettings() {
  {
    QSettings settings(QStringLiteral("Corvanta"), QStringLiteral("Glintvane"));
    settings.setValue(QStringLiteral("Sys/Language"), QStringLiteral("fra"));
    settings.setValue(QStringLiteral("Sys/Version"), QStringLiteral("ver. 1.0"));
  }
  StartOptions options = Options();
  options.system_language = QStringLiteral("DEU");
  MainWindow window(options);
  QCOMPARE(window.version_text(), QStringLiteral("ver. 1.0"));
  window.show();
  // Matched without regard to case; the stored key becomes the file's own.
  QCOMPARE(window.ActionOpen->text(), QStringLiteral("Ouvrir"));
  QCOMPARE(StoredValue(QStringLiteral("Language")), QStringLiteral("FRA"));
  QCOMPARE(StoredValue(QStringLiteral("Version")), QStringLiteral("ver. 1.0"));

  // A stored language whose file has gone gives English, stored as "en".
  {
    QSettings settings(QStringLiteral("Corvanta"), QStringLiteral("Glintvane"));
    settings.setValue(QStringLiteral("Sys/Language"), QStringLiteral("NLD"));
  }
  MainWindow second(Options());
  second.show();
  QCOMPARE(second.ActionOpen->text(), QStringLiteral("Open"));
  QCOMPARE(StoredValue(QStringLiteral("Language")), QStringLiteral("en"));
}

void MainWindowTest::SettingsRoutineModes() {
  MainWindow window(Options());
  QCOMPARE(window.RegistryString({}, QStringLiteral("Missing"), QStringLiteral("read")), QString());
  QCOMPARE(
      window.RegistryString(QStringLiteral("x"), QStringLiteral("Extra"), QStringLiteral("write")),
      QString());
  QCOMPARE(StoredValue(QStringLiteral("Extra")), QStringLiteral("x"));
  QCOMPARE(window.RegistryString({}, QStringLiteral("Extra"), QStringLiteral("read")),
           QStringLiteral("x"));
  // Mode words are exact; anything else touches nothing.
  QCOMPARE(
      window.RegistryString(QStringLiteral("y"), QStringLiteral("Extra"), QStringLiteral("Write")),
      QString());
  QCOMPARE(window.RegistryString({}, QStringLiteral("Extra"), QStringLiteral("READ")), QString());
  QCOMPARE(StoredValue(QStringLiteral("Extra")), QStringLiteral("x"));
  // A value that is no text is a failure, recorded and read as "".
  {
    QSettings settings(QStringLiteral("Corvanta"), QStringLiteral("Glintvane"));
    settings.setValue(QStringLiteral("Sys/List"), QStringList({"a", "b"}));
  }
  QCOMPARE(window.RegistryString({}, QStringLiteral("List"), QStringLiteral("read")), QString());
  QCOMPARE(window.errors().entries().size(), size_t{1});
}

void MainWindowTest::LanguageFilesMakeTheMenu() {
  QTemporaryDir folder;
  QVERIFY(folder.isValid());
  auto write = [&folder](const QString& name, const QByteArray& text) {
    QFile file(folder.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
  };
  // Ten lines: entries 0 to 9 replaced, the rest stay English.
  write(QStringLiteral("DEU.lang"),
        "Glanzfahne\r\nFehlerliste\r\nNummer\r\nName\r\nDatum\r\nDatei\r\nAktionen\r\nHilfe\r\n"
        "Oeffnen\r\nEnde\r\n");
  write(QStringLiteral("Klingon.lang"), "tlhIngan\n");
  write(QStringLiteral("enu.lang"), "Glintvane US\n");

  StartOptions options = Options({folder.path()});
  options.system_language = QStringLiteral("en");
  MainWindow window(options);
  window.show();
  const QList<QAction*> items = window.languages()->LangItem->actions();
  QCOMPARE(items.size(), 3);  // English, German; Klingon is no known language
  QCOMPARE(items[0]->objectName(), QStringLiteral("LangItem_ENU"));
  QCOMPARE(items[1]->objectName(), QStringLiteral("LangItem_DEU"));
  QCOMPARE(items[2]->text(), QStringLiteral("English - 2"));
  QVERIFY(items[0]->isChecked());

  // Mark a column first: new texts replace captions whole.
  AddRow(window.thumbnails(), "1", "a.jpg", 0);
  window.list()->model()->Refresh();
  window.ListView1ColumnClick(0);
  QCOMPARE(window.list()->model()->Caption(0), QStringLiteral("Number v"));

  window.LangClick(items[1]);
  QCOMPARE(window.windowTitle(), QStringLiteral("Glanzfahne"));
  QCOMPARE(window.ActionExit->text(), QStringLiteral("Ende"));
  QCOMPARE(window.ActionBestFit->text(), QStringLiteral("Best Fit"));
  QCOMPARE(window.context().texts()[78], std::string("Root Entry modify timestamp"));
  QCOMPARE(window.list()->model()->Caption(0), QStringLiteral("Nummer"));
  QCOMPARE(window.list()->sort_column(), 0);
  QCOMPARE(StoredValue(QStringLiteral("Language")), QStringLiteral("DEU"));

  // Back to the second English: every default first, then its one line.
  window.LangClick(items[2]);
  QCOMPARE(window.windowTitle(), QStringLiteral("Glintvane US"));
  QCOMPARE(window.ActionExit->text(), QStringLiteral("Exit"));
  QVERIFY(items[2]->isChecked() && !items[1]->isChecked());
  QCOMPARE(StoredValue(QStringLiteral("Language")), QStringLiteral("enu"));
}

void MainWindowTest::OpenCacheShowsRowsDetailsAndPicture() {
  MainWindow window(Options());
  window.show();
  const QString path = kCorpus + QStringLiteral("017-feng33-Thumbs.db");
  window.OpenThumbnailFile(path);

  const int rows = window.list()->model()->rowCount();
  QVERIFY(rows > 0);
  QVERIFY(window.errors().empty());
  QVERIFY(dialogs_.questions.isEmpty());
  const QRegularExpression status(QStringLiteral("^\\d+ sec\\. Files: (\\d+)$"));
  const auto match = status.match(window.status()->Text(0));
  QVERIFY2(match.hasMatch(), qPrintable(window.status()->Text(0)));
  QCOMPARE(match.captured(1).toInt(), rows);

  QCOMPARE(window.list()->Caption(), QStringLiteral("017-feng33-Thumbs.db"));
  QVERIFY(window.info()->IsTabVisible());
  QCOMPARE(window.info()->Caption(), QStringLiteral("File Details"));
  QTextDocument* details = window.info()->RichEdit1->document();
  const QStringList lines = details->toPlainText().split(QLatin1Char('\n'));
  QCOMPARE(lines.first(), QString());
  QCOMPARE(lines.last(), QString());
  QCOMPARE(lines.at(1), QStringLiteral("File Name: 017-feng33-Thumbs.db"));
  QCOMPARE(lines.at(2), QStringLiteral("Directory Name: ") + kCorpus);
  QVERIFY(lines.contains(QStringLiteral("Thumbnails: %1").arg(rows)));
  // The details are bullets, the framing lines are not.
  QVERIFY(details->findBlockByNumber(1).textList() != nullptr);
  QVERIFY(details->firstBlock().textList() == nullptr);

  // Row 0 is highlighted and shown.
  QCOMPARE(window.list()->FocusedRow(), 0);
  const QImage& picture = window.pane()->PreImage->picture();
  QVERIFY(!picture.isNull());
  QCOMPARE(window.status()->Text(1),
           QStringLiteral("Image dimension: %1 x %2").arg(picture.height()).arg(picture.width()));
  const ThumbnailRow* first = window.list()->model()->RowAt(0);
  QCOMPARE(window.pane()->TabCaption(window.pane()->ImageViewTabSheet),
           QString::fromStdString(first->key + " - " + first->name));
  QVERIFY(window.ActionLeftRotate->isEnabled());
  QVERIFY(window.ActionSelectAll->isEnabled());

  // Opening another file replaces the rows.
  window.OpenThumbnailFile(kCorpus + QStringLiteral("001-oldcode-Thumbs.db"));
  QCOMPARE(window.list()->Caption(), QStringLiteral("001-oldcode-Thumbs.db"));
  QCOMPARE(window.list()->model()->rowCount(), static_cast<int>(window.thumbnails().size()));
  QVERIFY(
      window.info()->RichEdit1->toPlainText().contains(QStringLiteral("001-oldcode-Thumbs.db")));
}

void MainWindowTest::OpenAllCorpusCaches() {
  // Every real cache opens without a question and shows its first picture.
  MainWindow window(Options());
  window.show();
  const QStringList caches =
      QDir(kCorpus).entryList({QStringLiteral("*-Thumbs.db")}, QDir::Files, QDir::Name);
  QVERIFY(caches.size() >= 30);
  int shown = 0;
  for (const QString& name : caches) {
    dialogs_.questions.clear();
    window.OpenThumbnailFile(kCorpus + name);
    QVERIFY2(window.status()->Text(0).endsWith(
                 QStringLiteral("Files: %1").arg(window.thumbnails().size())),
             qPrintable(name));
    if (!window.pane()->PreImage->picture().isNull()) ++shown;
  }
  QVERIFY(shown >= caches.size() - 2);
}

void MainWindowTest::FileThatIsNoCacheShowsItsErrors() {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("photo.db"));
  QImage(64, 48, QImage::Format_RGB32).save(path, "JPG");

  MainWindow window(Options());
  window.show();
  dialogs_.questions.clear();
  dialogs_.answers = QQueue<bool>({true, false});  // see the errors; do not carve
  window.OpenThumbnailFile(path);

  QCOMPARE(dialogs_.questions.size(), 2);
  QCOMPARE(dialogs_.questions[0], QStringLiteral("Fatal error!\nFile:\n") + path +
                                      QStringLiteral("\nDo you want to see error details?"));
  // The offer says what carving will do with the file.
  QVERIFY(dialogs_.questions[1].startsWith(QStringLiteral("Brute Force Attack?\n") + path));
  QVERIFY(dialogs_.questions[1].contains(QStringLiteral("lists every JPEG picture")));
  QCOMPARE(dialogs_.help_contexts[1], 2);
  QVERIFY(!window.errors().empty());
  QCOMPARE(window.info()->Caption(), QStringLiteral("Errors List"));
  QVERIFY(window.info()->IsTabVisible());
  QCOMPARE(window.PageControl1->currentWidget(), window.info()->FileInfoTabSheet);
  const QString text = window.info()->RichEdit1->toPlainText();
  QVERIFY2(text.contains(QStringLiteral("Details: header signature error")), qPrintable(text));
  // Error lines are indented, not bulleted.
  const QTextBlock heading = window.info()->RichEdit1->document()->findBlockByNumber(1);
  QVERIFY(heading.blockFormat().leftMargin() > 0);
  QVERIFY(heading.textList() == nullptr);
  QCOMPARE(window.status()->Text(0), QStringLiteral("0 sec. Files: 0"));
  QVERIFY(window.pane()->PreImage->picture().isNull());
}

void MainWindowTest::FailedReadCanBeCarved() {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("photo.db"));
  QImage image(64, 48, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  QVERIFY(image.save(path, "JPG"));

  MainWindow window(Options());
  window.show();
  dialogs_.answers = QQueue<bool>({false, true});  // no details; carve
  window.OpenThumbnailFile(path);
  QVERIFY(window.context().carved_list());
  QCOMPARE(window.list()->model()->rowCount(), 1);
  QCOMPARE(window.status()->Text(0), QStringLiteral("0 sec. Files: 1"));
  QCOMPARE(window.info()->Caption(), QStringLiteral("File Details"));
  // The carved picture is shown, with the hint about white pictures.
  QCOMPARE(window.pane()->PreImage->picture().size(), QSize(64, 48));
  QVERIFY(!window.pane()->GammaPanel->isHidden());
  const QString key = QString::fromStdString(window.list()->model()->RowAt(0)->key);
  QCOMPARE(window.pane()->TabCaption(window.pane()->ImageViewTabSheet), key + " - " + key + ".jpg");
}

void MainWindowTest::SortingByColumns() {
  MainWindow window(Options());
  window.show();
  // Clicking a column of an empty list changes nothing.
  window.ListView1ColumnClick(0);
  QCOMPARE(window.list()->sort_column(), -1);
  QCOMPARE(window.list()->model()->Caption(0), QStringLiteral("Number"));

  ThumbnailList& list = window.thumbnails();
  AddRow(list, "10", "b.jpg", 3);
  AddRow(list, "9", "C.jpg", 1);
  AddRow(list, "1", "a.jpg", 2);
  window.list()->model()->Refresh();

  window.ListView1ColumnClick(0);
  QCOMPARE(ColumnTexts(window, 0), QStringList({"1", "9", "10"}));  // numbers, not texts
  window.ListView1ColumnClick(0);
  QCOMPARE(ColumnTexts(window, 0), QStringList({"10", "9", "1"}));
  QCOMPARE(window.list()->model()->Caption(0), QStringLiteral("Number ^"));

  window.ListView1ColumnClick(1);
  QCOMPARE(ColumnTexts(window, 1), QStringList({"a.jpg", "b.jpg", "C.jpg"}));  // case folded
  QCOMPARE(window.list()->model()->Caption(0), QStringLiteral("Number"));
  QCOMPARE(window.list()->model()->Caption(1), QStringLiteral("Original Name v"));

  window.ListView1ColumnClick(2);
  QCOMPARE(ColumnTexts(window, 0), QStringList({"9", "1", "10"}));
  QVERIFY(window.errors().empty());

  // Clearing forgets the sort state, not the marker on the caption.
  window.ClearThumbnailList();
  QCOMPARE(window.list()->sort_column(), -1);
  AddRow(list, "2", "x.jpg", 5);
  window.list()->model()->Refresh();
  window.ListView1ColumnClick(0);
  QCOMPARE(window.list()->model()->Caption(2), QStringLiteral("Modified v"));
  QCOMPARE(window.list()->model()->Caption(0), QStringLiteral("Number v"));

  // Carved rows have no time: they stay in order and the failure is
  // recorded once, not once per comparison.
  window.ClearThumbnailList();
  for (int i = 1; i <= 50; ++i) {
    ThumbnailRow row;
    row.key = std::to_string(i);
    row.carved = true;
    list.Append(row);
  }
  window.list()->model()->Refresh();
  window.ListView1ColumnClick(2);
  QCOMPARE(ColumnTexts(window, 0).first(), QStringLiteral("1"));
  QCOMPARE(ColumnTexts(window, 0).last(), QStringLiteral("50"));
  QCOMPARE(window.errors().entries().size(), size_t{1});
}

void MainWindowTest::HundredThousandRows() {
  // A carved swap file easily lists this many rows; the list must stay
  // usable: filling, sorting both ways and checking all in well under the
  // time a person waits for a click.
  constexpr int kRows = 100000;
  MainWindow window(Options());
  window.show();
  ThumbnailList& list = window.thumbnails();
  for (int i = kRows; i >= 1; --i)
    AddRow(list, std::to_string(i), "n" + std::to_string(i % 977), i);
  QElapsedTimer clock;
  clock.start();
  window.list()->model()->Refresh();
  window.list()->ListView1->setCurrentIndex(window.list()->model()->index(kRows - 1, 0));
  window.ListView1ColumnClick(0);
  QCOMPARE(ColumnTexts(window, 0).first(), QStringLiteral("1"));
  // The highlighted record stays highlighted, wherever it moved.
  QCOMPARE(window.list()->FocusedRow(), 0);
  window.ListView1ColumnClick(0);
  window.ListView1ColumnClick(1);
  window.ListView1ColumnClick(2);
  window.ActionSelectAll->trigger();
  QVERIFY(list[kRows / 2].checked);
  QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
  QVERIFY(window.errors().empty());
}

void MainWindowTest::CheckingCommands() {
  MainWindow window(Options());
  window.show();
  QVERIFY(!window.ActionSelectAll->isEnabled());
  window.ActionSelectExecute(window.ActionSelectAll);  // run anyway: nothing happens

  ThumbnailList& list = window.thumbnails();
  for (int i = 0; i < 4; ++i) AddRow(list, std::to_string(i), "p.jpg", 1);
  window.list()->model()->Refresh();
  window.UpdateCommands();
  QVERIFY(window.ActionSelectAll->isEnabled());
  list[1].checked = true;
  window.ActionInvert->trigger();
  QCOMPARE(window.list()->model()->data(window.list()->model()->index(0, 0), Qt::CheckStateRole),
           QVariant(Qt::Checked));
  QVERIFY(list[0].checked && !list[1].checked && list[2].checked && list[3].checked);
  window.ActionUnselectAll->trigger();
  QVERIFY(!list[0].checked && !list[1].checked && !list[2].checked && !list[3].checked);
  window.ActionSelectAll->trigger();
  QVERIFY(list[0].checked && list[1].checked && list[2].checked && list[3].checked);
  // The check box of a row is the record's flag.
  window.list()->model()->setData(window.list()->model()->index(2, 0), Qt::Unchecked,
                                  Qt::CheckStateRole);
  QVERIFY(!list[2].checked);
}

void MainWindowTest::RotationIsRememberedPerRow() {
  MainWindow window(Options());
  window.resize(900, 700);
  window.show();
  window.OpenThumbnailFile(kCorpus + QStringLiteral("017-feng33-Thumbs.db"));
  QVERIFY(window.list()->model()->rowCount() >= 2);
  // Find a row whose picture is not square, so that turns show.
  int row = -1;
  QSize decoded;
  for (int r = 0; r < window.list()->model()->rowCount() && row < 0; ++r) {
    window.list()->ListView1->setCurrentIndex(window.list()->model()->index(r, 0));
    decoded = window.pane()->PreImage->picture().size();
    if (!decoded.isEmpty() && decoded.width() != decoded.height()) row = r;
  }
  QVERIFY(row >= 0);
  const QString dimension = window.status()->Text(1);

  for (int i = 0; i < 3; ++i) window.ActionLeftRotateExecute();
  QCOMPARE(window.list()->model()->RowAt(row)->rotation, int8_t{-1});
  QCOMPARE(window.pane()->PreImage->picture().size(), decoded.transposed());
  QCOMPARE(window.status()->Text(1), dimension);  // turning keeps the text
  // Turns wrap around past a half turn either way.
  window.ActionRightRotateExecute();
  QCOMPARE(window.list()->model()->RowAt(row)->rotation, int8_t{-2});
  window.ActionRightRotateExecute();
  QCOMPARE(window.list()->model()->RowAt(row)->rotation, int8_t{1});
  window.ActionLeftRotateExecute();
  QCOMPARE(window.list()->model()->RowAt(row)->rotation, int8_t{2});
  window.ActionLeftRotateExecute();
  QCOMPARE(window.list()->model()->RowAt(row)->rotation, int8_t{-1});
  QCOMPARE(window.pane()->PreImage->picture().size(), decoded.transposed());

  // Shown anew, the row's picture gets its turn again: one to the right.
  const QImage turned = window.pane()->PreImage->picture();
  const int other = row == 0 ? 1 : 0;
  window.list()->ListView1->setCurrentIndex(window.list()->model()->index(other, 0));
  QCOMPARE(window.list()->model()->RowAt(other)->rotation, int8_t{0});
  window.list()->ListView1->setCurrentIndex(window.list()->model()->index(row, 0));
  QCOMPARE(window.pane()->PreImage->picture(), turned);

  // Actual size draws a small picture pixel for pixel, best fit fills.
  window.ActionActualSize->trigger();
  QVERIFY(!window.pane()->PreImage->stretch());
  QCOMPARE(window.pane()->PreImage->PictureRect().size(), turned.size());
  QCOMPARE(window.list()->model()->RowAt(row)->view_type, int8_t{1});
  window.ActionBestFit->trigger();
  QVERIFY(window.pane()->PreImage->stretch());
  QVERIFY(window.pane()->PreImage->PictureRect().width() > turned.width());
}

void MainWindowTest::RowWithoutImageLeavesViewEmpty() {
  MainWindow window(Options());
  window.show();
  AddRow(window.thumbnails(), "1", "gone.jpg", 1);
  window.list()->model()->Refresh();
  window.list()->ListView1->setCurrentIndex(window.list()->model()->index(0, 0));
  QVERIFY(window.pane()->PreImage->picture().isNull());
  QCOMPARE(window.status()->Text(1), QString());
  QVERIFY(!window.ActionBestFit->isEnabled());
  QVERIFY(!window.ActionLeftRotate->isEnabled());
  QCOMPARE(window.pane()->TabCaption(window.pane()->ImageViewTabSheet),
           QStringLiteral("1 - gone.jpg"));
}

void MainWindowTest::OpenThumbcacheShowsBmpDetailsAndRowNotes() {
  // A Windows 10 cache is told by its signature, not its name, and its
  // 32-bit BMPs with a V5 header are shown.
  MainWindow window(Options());
  window.show();
  dialogs_.questions.clear();
  window.OpenThumbnailFile(kCorpus + QStringLiteral("thumbcache/win10-a/thumbcache_32.db"));
  QVERIFY(dialogs_.questions.isEmpty());
  QVERIFY(window.errors().empty());
  QCOMPARE(window.list()->model()->rowCount(), 777);
  const QStringList lines =
      window.info()->RichEdit1->document()->toPlainText().split(QLatin1Char('\n'));
  for (const char* line : {"Version: 0x20 (Windows 10/11)", "Cache type: 1 (32)", "Thumbnails: 777",
                           "Free space: 1034496", "Index: thumbcache_idx.db (3010 hashes)"}) {
    QVERIFY2(lines.contains(QString::fromUtf8(line)), line);
  }
  QCOMPARE(window.pane()->PreImage->picture().size(), QSize(32, 32));
  const QModelIndex first = window.list()->model()->index(0, 0);
  QCOMPARE(first.data(Qt::DisplayRole).toString().size(), 16);
  QVERIFY(first.data(Qt::ToolTipRole)
              .toString()
              .contains(QStringLiteral("Index: still points at this entry")));
  // The whole key fits in the Number column.
  QVERIFY(window.list()->ListView1->columnWidth(0) >=
          window.list()->ListView1->fontMetrics().horizontalAdvance(first.data().toString()));
}

}  // namespace glintvane

QTEST_MAIN(glintvane::MainWindowTest)
#include "mainwindow_test.moc"
