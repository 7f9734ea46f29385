// Carving shows its Cancel button where a click reaches it, and a click on
// it stops the scan with the rows found so far kept. A disk image is carved
// through its disk, and its rows read through it.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>

#include "cache_list.h"
#include "carving_flow.h"
#include "file_info_pane.h"
#include "gallery_view.h"
#include "image_pane.h"
#include "image_view.h"
#include "mainwindow.h"
#include "part_test.h"
#include "status_line.h"
#include "test_dialogs.h"
#include "thumbnail_model.h"
#include "work_controller.h"

namespace glintvane {

class CarvingFlowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearTestSettings(); }
  void CancelButtonStopsTheScan();
  void ImageIsCarvedThroughItsDiskAndReadThroughIt();
};

namespace {

QByteArray Jpeg(int width, int height, Qt::GlobalColor colour) {
  QImage picture(width, height, QImage::Format_RGB32);
  picture.fill(colour);
  QBuffer jpeg;
  jpeg.open(QIODevice::WriteOnly);
  picture.save(&jpeg, "JPG");
  return jpeg.data();
}

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct CarvedRow {
  int64_t start = 0;
  int64_t length = 0;
  bool operator==(const CarvedRow&) const = default;
};

QList<CarvedRow> Rows(MainWindow& window) {
  QList<CarvedRow> rows;
  for (size_t i = 0; i < window.thumbnails().size(); ++i)
    rows << CarvedRow{window.thumbnails()[i].start, window.thumbnails()[i].length};
  return rows;
}

// The view row whose carved bytes start at `start`, or -1.
int RowAt(MainWindow& window, int64_t start) {
  ThumbnailModel* model = window.list()->model();
  for (int row = 0; row < model->rowCount(); ++row)
    if (model->RowAt(row)->start == start) return row;
  return -1;
}

}  // namespace

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

void CarvingFlowTest::ImageIsCarvedThroughItsDiskAndReadThroughIt() {
  // A picture kept in the FAT file system and one deleted from it.
  QTemporaryDir folder;
  const QByteArray kept = Jpeg(40, 30, Qt::darkGreen);
  const QByteArray deleted = Jpeg(36, 20, Qt::darkMagenta);
  for (const auto& [name, bytes] : {std::pair{QStringLiteral("kept.jpg"), kept},
                                    std::pair{QStringLiteral("deleted.jpg"), deleted}}) {
    QFile out(folder.filePath(name));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
  }
  QProcess script;
  script.start(QStringLiteral(GLINTVANE_TEST_DISK_SCRIPT),
               {folder.path(), QStringLiteral(GLINTVANE_CORPUS_DIR)});
  if (!script.waitForFinished(120000) || script.exitCode() != 0)
    QSKIP("the disk image tools (mkfs.vfat, mtools, mkntfs, sfdisk, ewfacquire) are missing");
  const QByteArray disk = FileBytes(folder.filePath(QStringLiteral("disk.raw")));
  const int64_t kept_at = disk.indexOf(kept);
  QVERIFY(kept_at > 0);

  ScriptedDialogs dialogs;
  StartOptions options;
  options.system_language = QStringLiteral("ENU");
  options.dialogs = &dialogs;
  MainWindow window(options);
  window.show();
  const auto carve = [&](const QString& name) {
    dialogs.open_file = folder.filePath(name);
    dialogs.answers = QQueue<bool>({true});  // clear the list
    window.ActionBruteForceExecute();
  };
  carve(QStringLiteral("disk.raw"));
  const QList<CarvedRow> raw_rows = Rows(window);
  QVERIFY(raw_rows.contains(CarvedRow{kept_at, kept.size()}));

  // The disk inside the EWF image, split raw and VMDK gives the raw disk's
  // rows, each decoding (the container's own bytes give none); a disk
  // image is offered its unallocated space.
  for (const QString& image :
       {QStringLiteral("disk.E01"), QStringLiteral("split.raw.001"), QStringLiteral("disk.vmdk")}) {
    carve(image);
    QCOMPARE(dialogs.offered_unallocated.last(), true);
    QCOMPARE(Rows(window), raw_rows);
    for (size_t i = 0; i < window.thumbnails().size(); ++i)
      QCOMPARE(window.thumbnails()[i].decodes, window.thumbnails()[0].decodes);
  }
  QCOMPARE(window.thumbnails()[0].decodes, DecodeCheck::kDecodes);
  carve(QStringLiteral("disk.E01"));
  QVERIFY(window.context().errors().empty());
  QVERIFY(window.info()->RichEdit1->toPlainText().contains(
      QStringLiteral("Carved: the disk in the EWF image, 46137344 bytes")));

  // The row is viewed, drawn in the gallery and extracted from the disk's
  // bytes, never from the container file's.
  const int row = RowAt(window, kept_at);
  QVERIFY(row >= 0);
  window.list()->ListView1->setCurrentIndex(window.list()->model()->index(row, 0));
  QCOMPARE(window.pane()->PreImage->picture().size(), QSize(40, 30));
  GalleryView* gallery = window.pane()->Gallery;
  QVERIFY(gallery->Icon(row).isNull());  // on its way
  QTRY_VERIFY(!gallery->Icon(row).isNull());
  QCOMPARE(gallery->Icon(row).size(), QSize(40, 30));
  QTemporaryDir out;
  dialogs.folder = out.path();
  window.ActionExtractSelectedExecute();
  const QStringList written = QDir(out.path()).entryList(QDir::Files);
  QCOMPARE(written.size(), 1);
  QCOMPARE(FileBytes(out.filePath(written[0])), kept);

  // Only the unallocated space: the deleted picture, read through the
  // stream of free blocks, and not the kept one.
  dialogs.carve_unallocated = true;
  carve(QStringLiteral("disk.E01"));
  QCOMPARE(window.thumbnails().size(), size_t{1});
  const ThumbnailRow& found = window.thumbnails()[0];
  QCOMPARE(found.length, int64_t{deleted.size()});
  window.list()->ListView1->setCurrentIndex(window.list()->model()->index(0, 0));
  QCOMPARE(window.pane()->PreImage->picture().size(), QSize(36, 20));
  QTemporaryDir free_out;
  dialogs.folder = free_out.path();
  window.ActionExtractSelectedExecute();
  const QStringList freed = QDir(free_out.path()).entryList(QDir::Files);
  QCOMPARE(freed.size(), 1);
  QCOMPARE(FileBytes(free_out.filePath(freed[0])), deleted);

  // Damaged chunks are read as zeros and counted, and the window says so.
  dialogs.carve_unallocated = false;
  carve(QStringLiteral("bad.E01"));
  QVERIFY2(window.info()->RichEdit1->toPlainText().contains(
               QStringLiteral("128 unreadable sectors were read as zeros")),
           qPrintable(window.info()->RichEdit1->toPlainText()));
}

GLINTVANE_PART_TEST(CarvingFlowTest);

}  // namespace glintvane

#include "carving_flow_test.moc"
