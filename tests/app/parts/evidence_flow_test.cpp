// A disk image is walked on the worker like a folder, however it is
// opened: the Cancel button shows while it runs, and the caches found are
// listed when it ends.
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "evidence_flow.h"
#include "mainwindow.h"
#include "part_test.h"
#include "status_line.h"
#include "test_dialogs.h"
#include "work_controller.h"

namespace glintvane {

class EvidenceFlowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void WalkRunsWithCancelShown();
};

void EvidenceFlowTest::WalkRunsWithCancelShown() {
  QTemporaryDir folder;
  QProcess script;
  script.start(QStringLiteral(GLINTVANE_TEST_DISK_SCRIPT),
               {folder.path(), QStringLiteral(GLINTVANE_CORPUS_DIR)});
  if (!script.waitForFinished(120000) || script.exitCode() != 0)
    QSKIP("the disk image tools (mkfs.vfat, mtools, mkntfs, sfdisk, ewfacquire) are missing");
  ScriptedDialogs dialogs;
  StartOptions options;
  options.system_language = QStringLiteral("ENU");
  options.dialogs = &dialogs;
  MainWindow window(options);
  window.show();
  bool cancel_shown = false;
  connect(window.work(), &WorkController::WorkingChanged, this, [&](bool working) {
    if (working) cancel_shown = !window.status()->cancel_button()->isHidden();
  });
  window.OpenEvidenceImage(folder.filePath(QStringLiteral("disk.E01")));
  QVERIFY(cancel_shown);
  QVERIFY(window.found_caches().size() >= 4);
  QVERIFY(window.status()->cancel_button()->isHidden());

  // Named at start or dropped, an image is walked too, not read as a cache
  // (which would fail as a damaged one and list nothing).
  const QString raw = folder.filePath(QStringLiteral("disk.raw"));
  window.OpenStartFiles({raw});
  QVERIFY(window.found_caches().size() >= 4);
  QVERIFY(QString::fromStdString(window.found_caches()[0].path).startsWith(raw + "#p"));
}

GLINTVANE_PART_TEST(EvidenceFlowTest);

}  // namespace glintvane

#include "evidence_flow_test.moc"
