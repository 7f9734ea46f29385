// "Open evidence image...": a disk image walked like File Locator walks a
// folder, its caches (deleted ones marked) put into the found-caches list,
// each opened from inside the image when chosen.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QLabel>
#include <QMenu>
#include <QStandardItemModel>
#include <QTreeView>

#include "base/error_codes.h"
#include "evidence/evidence_search.h"
#include "mainwindow.h"
#include "platform/dialogs.h"

namespace glintvane {
namespace {

// The status line follows the walk at this pace; repainting per folder would
// cost more than the walk.
constexpr qint64 kRepaintMs = 100;

class EvidenceWalkProgress final : public SearchProgressSink {
 public:
  explicit EvidenceWalkProgress(QLabel* panel) : panel_(panel) { clock_.start(); }
  void OnFolder(uint64_t folder_count, std::string_view name) override {
    if (clock_.elapsed() < kRepaintMs) return;
    clock_.restart();
    panel_->setText(QString::number(folder_count) + QStringLiteral("  ") +
                    QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }

 private:
  QLabel* panel_;
  QElapsedTimer clock_;
};

}  // namespace

void MainWindow::CreateEvidenceCommands() {
  MakeAction(ActionOpenEvidence, &MainWindow::ActionOpenEvidenceExecute)
      ->setText(QStringLiteral("Open evidence image..."));
  File1->insertAction(ActionSearchAll, ActionOpenEvidence);
}

void MainWindow::ActionOpenEvidenceExecute() {
  const QStringList filters{
      QStringLiteral("Disk images (*.E01 *.e01 *.dd *.raw *.img *.001 *.bin *.vmdk *.vhd *.vhdx "
                     "*.qcow2 *.qcow *.aff)"),
      UiText(kTextAllFiles) + QStringLiteral(" (*)")};
  const QString path = dialogs().ChooseOpenFile(this, filters);
  if (path.isEmpty()) return;
  repaint();
  OpenEvidenceImage(path);
}

void MainWindow::OpenEvidenceImage(const QString& path) {
  AllDbPanel->show();
  found_caches_.Clear();
  found_model_->removeRows(0, found_model_->rowCount());
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QElapsedTimer clock;
  clock.start();
  FoundCacheList found;
  EvidenceWalkProgress progress(Panel2);
  SearchOptions options;
  options.date_time_format = date_time_format_;
  options.progress = &progress;
  const EvidenceSearchOutcome outcome = SearchEvidenceImage(found, path.toStdString(), options);
  for (const CacheFileRecord& record : found.rows()) {
    AddFoundCacheRow(record);
    if (!record.evidence || !record.evidence->deleted) continue;
    // A deleted file's row: italic and grey, and said so where the pointer rests.
    const int row = found_model_->rowCount() - 1;
    for (int column = 0; column < found_model_->columnCount(); ++column) {
      QStandardItem* item = found_model_->item(row, column);
      if (item == nullptr) continue;
      QFont font = item->font();
      font.setItalic(true);
      item->setFont(font);
      item->setForeground(QBrush(Qt::darkGray));
      item->setToolTip(QStringLiteral("Deleted: its entry in the file system is unallocated"));
      item->setData(true, kDeletedRowRole);
    }
  }
  QApplication::restoreOverrideCursor();

  errors_.Clear();
  if (!outcome.opened) {
    AddError(kErrPlatform, path, QString::fromStdString(outcome.error));
  }
  for (const EvidenceVolumeReport& volume : outcome.volumes) {
    if (!volume.error.empty()) AddError(kErrPlatform, path, QString::fromStdString(volume.error));
  }
  for (const std::string& note : outcome.notes) {
    AddError(kErrPlatform, path, QString::fromStdString(note));
  }
  if (outcome.unreadable_sectors > 0) {
    AddError(kErrRead, path,
             QString::number(outcome.unreadable_sectors) +
                 QStringLiteral(" unreadable sectors were read as zeros; the walk went on"));
  }
  if (!errors_.empty()) ShowErrorList(path);
  Panel2->setText(UiText(kTextThumbsDbFiles) + QStringLiteral(": ") +
                  QString::number(found_caches_.size()) + QStringLiteral(" (") +
                  QString::number(outcome.deleted_rows) + QStringLiteral(" deleted). ") +
                  UiText(kTextTime) + QStringLiteral(": ") +
                  QString::number(clock.elapsed() / 1000) + QStringLiteral(" ") + UiText(kTextSec));
  if (found_model_->rowCount() > 0) {
    ListView2->setCurrentIndex(found_model_->index(0, 0));
    ListView2->setFocus();
  }
  UpdateCommands();
}

}  // namespace glintvane
