// The window on a disk image: opening it fills the found-caches list with
// deleted rows marked, and a deleted cache opens from inside the image.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "cache_list.h"
#include "file_info_pane.h"
#include "image_pane.h"
#include "item_opener.h"
#include "locator_panel.h"
#include "mainwindow.h"
#include "status_line.h"
#include "test_dialogs.h"
#include "window_texts.h"
#include "work_controller.h"

namespace glintvane {

class EvidenceOpenTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void OpeningAnImageListsItsCachesAndMarksDeletedOnes();

 private:
  QTemporaryDir folder_;
  bool built_ = false;
  ScriptedDialogs dialogs_;
};

void EvidenceOpenTest::initTestCase() {
  if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME")) QStandardPaths::setTestModeEnabled(true);
  QProcess script;
  script.start(QStringLiteral(GLINTVANE_TEST_DISK_SCRIPT),
               {folder_.path(), QStringLiteral(GLINTVANE_CORPUS_DIR)});
  built_ = script.waitForFinished(60000) && script.exitStatus() == QProcess::NormalExit &&
           script.exitCode() == 0;
}

void EvidenceOpenTest::OpeningAnImageListsItsCachesAndMarksDeletedOnes() {
  if (!built_)
    QSKIP("the disk image tools (mkfs.vfat, mtools, mkntfs, sfdisk, ewfacquire) are missing");
  StartOptions options;
  options.language_folders = {QStringLiteral(GLINTVANE_LANG_DIR)};
  options.system_language = QStringLiteral("ENU");
  options.dialogs = &dialogs_;
  MainWindow window(options);
  window.show();

  QStringList commands;
  for (QAction* menu : window.menuBar()->actions()) {
    if (menu->menu() == nullptr) continue;
    for (QAction* action : menu->menu()->actions()) commands << action->text();
  }
  QVERIFY(commands.contains(QStringLiteral("Open evidence image...")));

  // "Open" recognises the image by its content and walks it.
  dialogs_.open_file = folder_.filePath(QStringLiteral("disk.E01"));
  window.ActionOpen->trigger();
  const FoundCacheList& found = window.found_caches();
  QVERIFY(found.size() >= 4);
  auto* model = qobject_cast<QStandardItemModel*>(window.locator()->ListView2->model());
  QVERIFY(model != nullptr);
  QCOMPARE(static_cast<size_t>(model->rowCount()), found.size());
  int deleted_row = -1;
  for (int row = 0; row < model->rowCount(); ++row) {
    const bool deleted = found[static_cast<size_t>(row)].entry_deleted;
    QCOMPARE(model->item(row, 0)->data(LocatorPanel::kDeletedRowRole).toBool(), deleted);
    QCOMPARE(model->item(row, 0)->font().italic(), deleted);
    if (deleted && deleted_row < 0) deleted_row = row;
  }
  QVERIFY(deleted_row >= 0);

  // The deleted cache opens from inside the image, every thumbnail of it.
  window.locator()->ListView2->setCurrentIndex(model->index(deleted_row, 0));
  window.ListView2DblClick();
  QCOMPARE(window.OpenFilePath(),
           QString::fromStdString(found[static_cast<size_t>(deleted_row)].path));
  QCOMPARE(window.thumbnails().size(), size_t{12});
  QVERIFY(window.errors().empty());
}

}  // namespace glintvane

QTEST_MAIN(glintvane::EvidenceOpenTest)
#include "evidence_open_test.moc"
