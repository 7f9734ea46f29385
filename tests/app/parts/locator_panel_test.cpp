// The found-caches panel: it follows opened files only while shown, and a
// sort keeps deleted rows marked.
#include <QFont>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

#include "locator_panel.h"
#include "mainwindow.h"
#include "part_test.h"

namespace glintvane {

class LocatorPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void FollowsOpenedFilesOnlyWhileShown();
  void SortingKeepsDeletedRowsMarked();
};

void LocatorPanelTest::FollowsOpenedFilesOnlyWhileShown() {
  StartOptions options;
  options.system_language = QStringLiteral("ENU");
  MainWindow window(options);
  LocatorPanel* locator = window.locator();
  locator->SelectOrAddFoundCache(QStringLiteral("/cases/a/Thumbs.db"));
  QVERIFY(window.found_caches().empty());
  locator->ShowPanel();
  locator->SelectOrAddFoundCache(QStringLiteral("/cases/a/Thumbs.db"));
  locator->SelectOrAddFoundCache(QStringLiteral("/cases/a/Thumbs.db"));
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
    record.evidence = EvidenceLocation{};
    record.evidence->deleted = std::string(name) == "b";
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

GLINTVANE_PART_TEST(LocatorPanelTest);

}  // namespace glintvane
#include "locator_panel_test.moc"
