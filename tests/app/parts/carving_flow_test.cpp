// Carving shows its Cancel button where a click reaches it, and a click on
// it stops the scan with the rows found so far kept.
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "carving_flow.h"
#include "mainwindow.h"
#include "part_test.h"
#include "status_line.h"
#include "test_dialogs.h"
#include "work_controller.h"

namespace glintvane {

class CarvingFlowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void CancelButtonStopsTheScan();
};

void CarvingFlowTest::CancelButtonStopsTheScan() {
  QTemporaryDir folder;
  // One picture, then a long sparse stretch the scan is stopped in.
  const QString path = folder.filePath(QStringLiteral("pagefile.sys"));
  {
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QImage picture(24, 16, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QBuffer jpeg;
    jpeg.open(QIODevice::WriteOnly);
    picture.save(&jpeg, "JPG");
    out.write(QByteArray(512, '\0'));
    out.write(jpeg.data());
  }
  QVERIFY(QFile::resize(path, qint64(8) << 30));

  ScriptedDialogs dialogs;
  dialogs.open_file = path;
  StartOptions options;
  options.system_language = QStringLiteral("ENU");
  options.dialogs = &dialogs;
  MainWindow window(options);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QPushButton* cancel = window.status()->cancel_button();
  bool reachable = false;
  // As soon as the scan runs: the button is there, not under the progress
  // bar, and a click on it is what stops the scan.
  connect(window.work(), &WorkController::WorkingChanged, this, [&](bool working) {
    if (!working) return;
    QTimer::singleShot(0, &window, [&] {
      QStatusBar* bar = window.statusBar();
      reachable = cancel->isVisible() && bar->childAt(cancel->geometry().center()) == cancel &&
                  cancel->text() == QStringLiteral("Cancel");
      QTest::mouseClick(cancel, Qt::LeftButton);
    });
  });
  window.ActionBruteForceExecute();
  QVERIFY(reachable);
  QVERIFY(window.work()->stopped());
  // The rows found before the stop stay, and the count says so.
  QVERIFY2(window.status()->Text(0).endsWith(
               QStringLiteral("Files: %1. Cancelled").arg(window.thumbnails().size())),
           qPrintable(window.status()->Text(0)));
  QVERIFY(cancel->isHidden());
}

GLINTVANE_PART_TEST(CarvingFlowTest);

}  // namespace glintvane

#include "carving_flow_test.moc"
