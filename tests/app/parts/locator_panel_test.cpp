// The found-caches panel: it follows opened files only while shown, and a
// sort keeps deleted rows marked.
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "locator_panel.h"
#include "mainwindow.h"
#include "part_test.h"
#include "test_dialogs.h"
#include "window_context.h"

namespace glintvane {

class LocatorPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void FollowsOpenedFilesOnlyWhileShown();
  void SortingKeepsDeletedRowsMarked();
  void RecycledRowsWriteBothTimesAlike();
  void CheckedRowsAreNotReplacedWithoutAsking();
};

void LocatorPanelTest::FollowsOpenedFilesOnlyWhileShown() {
  StartOptions options;
  options.system_language = QStringLiteral("ENU");
  MainWindow window(options);
  LocatorPanel* locator = window.locator();
  locator->SelectOrAddFoundCache(FileLocation{"/cases/a/Thumbs.db"});
  QVERIFY(window.found_caches().empty());
  locator->ShowPanel();
  locator->SelectOrAddFoundCache(FileLocation{"/cases/a/Thumbs.db"});
  locator->SelectOrAddFoundCache(FileLocation{"/cases/a/Thumbs.db"});
  QCOMPARE(window.found_caches().size(), size_t{1});
  QCOMPARE(locator->ListView2->currentIndex().row(), 0);
}

void LocatorPanelTest::SortingKeepsDeletedRowsMarked() {
  StartOptions options;
  options.system_language = QStringLiteral("ENU");
  MainWindow window(options);
  LocatorPanel* locator = window.locator();
  for (const char* name : {"b", "a"}) {
    CacheFileRecord record;
    record.name = name;
    record.path = std::string("/image/") + name;
    record.size = 1;
    record.location = ImageFileLocation{};
    record.entry_deleted = std::string(name) == "b";
    locator->AddFoundCacheRow(record);
  }
  locator->ColumnClick(0);
  QCOMPARE(locator->model()->item(0, 0)->text(), QStringLiteral("a"));
  QStandardItem* deleted = locator->model()->item(1, 0);
  QCOMPARE(deleted->text(), QStringLiteral("b"));
  QVERIFY(deleted->font().italic());
  QVERIFY(deleted->data(LocatorPanel::kDeletedRowRole).toBool());
  QVERIFY(!locator->model()->item(0, 0)->data(LocatorPanel::kDeletedRowRole).toBool());
}

void LocatorPanelTest::RecycledRowsWriteBothTimesAlike() {
  StartOptions options;
  options.system_language = QStringLiteral("DEU");
  options.language_folders = {QStringLiteral(GLINTVANE_LANG_DIR)};
  MainWindow window(options);
  window.show();
  LocatorPanel* locator = window.locator();
  CacheFileRecord record;
  record.name = "C:\\Photos\\Thumbs.db";
  record.path = "/case/RECYCLER/DC1.db";
  record.recycled = true;
  record.modified = "9.3.2007 14:5:7 - 03/10/2007 08:00:00";
  record.modified_utc = "2007-03-09T14:05:07Z";
  record.deleted = "03/10/2007 08:00:00";
  record.deleted_utc = "2007-03-10T08:00:00Z";
  locator->AddFoundCacheRow(record);
  // Both halves in the language's own pattern, the clock in the header.
  QCOMPARE(locator->model()->item(0, 2)->text(),
           QStringLiteral("09.03.2007 14:05:07 - 10.03.2007 08:00:00"));
  QVERIFY(locator->Caption(2).endsWith(QStringLiteral("(UTC)")));
  locator->ColumnClick(2);
  TimeStyle iso;
  iso.iso = true;
  window.context().SetTimeStyle(iso);
  QCOMPARE(locator->model()->item(0, 2)->text(),
           QStringLiteral("2007-03-09 14:05:07 - 2007-03-10 08:00:00"));
  QVERIFY(locator->Caption(2).endsWith(QStringLiteral(" v")));
}

void LocatorPanelTest::CheckedRowsAreNotReplacedWithoutAsking() {
  QTemporaryDir folder;
  QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("a")));
  const QString found = folder.filePath(QStringLiteral("a/Thumbs.db"));
  QVERIFY(QFile::copy(QStringLiteral(GLINTVANE_SAMPLE_CACHE), found));
  ScriptedDialogs dialogs;
  StartOptions options;
  options.system_language = QStringLiteral("ENU");
  options.dialogs = &dialogs;
  MainWindow window(options);
  window.show();
  window.OpenThumbnailFile(QStringLiteral(GLINTVANE_SAMPLE_CACHE));
  window.thumbnails()[0].checked = true;
  window.thumbnails()[3].checked = true;
  // No: the list and its checks stay, the found cache is listed.
  dialogs.folder = folder.path();
  window.ActionSearchAllExecute();
  QCOMPARE(dialogs.questions,
           QStringList{QStringLiteral("The list has 2 checked rows. Replace it?")});
  QCOMPARE(window.OpenFilePath(), QStringLiteral(GLINTVANE_SAMPLE_CACHE));
  QVERIFY(window.thumbnails()[3].checked);
  QCOMPARE(window.found_caches().size(), size_t{1});
  // The count names what it counts.
  QVERIFY(window.locator()->Panel2->text().contains(QStringLiteral("Thumbs.db files: 1.")));
  // Yes: the found cache replaces it.
  dialogs.answers = QQueue<bool>({true});
  window.ListView2DblClick();
  QCOMPARE(window.OpenFilePath(), found);
  QVERIFY(!window.thumbnails()[3].checked);
  CacheFileRecord thumbcache;
  thumbcache.name = "thumbcache_256.db";
  thumbcache.path = "/case/Explorer/thumbcache_256.db";
  window.locator()->AddFoundCacheRow(thumbcache);
  QCOMPARE(window.locator()->CountText(window.locator()->CountCaches()),
           QStringLiteral("Thumbs.db files: 1, thumbcache files: 1"));
}

GLINTVANE_PART_TEST(LocatorPanelTest);

}  // namespace glintvane
#include "locator_panel_test.moc"
