// Handing a thumbnail or its original file to the desktop: Open Selected
// File (and double click) through the private viewing folder and the
// default handler, Open With through the portal or our own chooser, and
// Original File View.
#include <QAction>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTreeView>

#include "base/error_codes.h"
#include "export/extract_run.h"
#include "export/private_temp.h"
#include "export/shell_open.h"
#include "mainwindow.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "thumbnail_model.h"

namespace glintvane {

QString MainWindow::LocateOriginalFile(const ThumbnailRow& row) const {
  if (open_file_.isEmpty()) return {};
  const std::string folder = QFileInfo(open_file_).absolutePath().toStdString() + "/";
  const std::string path = OriginalPathFor(folder, row);
  if (path.empty()) return {};
  const QFileInfo file(QString::fromStdString(path));
  return file.isFile() ? file.filePath() : QString();
}

bool MainWindow::WriteTempCopy(const ThumbnailRow& row, QString* path) {
  const auto folder = PrivateTempFolder();
  if (!folder) {
    AddError(kErrCreateOutput, temporary_folder_, QString::fromStdString(folder.error().message));
    return false;
  }
  const ViewingCopy copy =
      WriteViewingCopy(thumbnails_, image_store_, row, *folder, errors_, texts_);
  if (!copy.ok) return false;
  *path = QString::fromStdString(copy.path);
  return true;
}

void MainWindow::ShellOpen(const QString& path) {
  // A script, program or launcher is never run by its default handler; it
  // goes to a chooser, where the user decides.
  const std::string local = path.toStdString();
  if (ShellOpenFile(local, ReadShellFileFacts(local)) == ShellOpenHandler::kDefault &&
      platform::Desktop::OpenWithDesktop(path)) {
    return;
  }
  OfferApplications(path);
}

void MainWindow::OfferApplications(const QString& path) {
  // The session's own chooser first; ours where there is none.
  if (dialogs().OpenWithPortal(this, path)) {
    last_open_with_route_ = QStringLiteral("portal");
    return;
  }
  last_open_with_route_ = QStringLiteral("chooser");
  const QStringList command = dialogs().ChooseApplication(this, path);
  if (command.isEmpty()) return;
  if (!QProcess::startDetached(command.first(), command.mid(1))) {
    dialogs().ShowMessage(this, platform::MessageKind::kError,
                          QStringLiteral("The program could not be started:\n") + command.first());
  }
}

void MainWindow::ListView1DblClick() {
  if (IsWorking() || !ActionView->isEnabled()) return;
  if (thumbnails_.empty() || !ListView1->selectionModel()->hasSelection()) return;
  const ThumbnailRow* row = thumbnail_model_->RowAt(FocusedRow());
  if (row == nullptr) return;
  QString path;
  if (WriteTempCopy(*row, &path)) ShellOpen(path);
}

void MainWindow::ActionOpenWithExecute() {
  if (IsWorking()) return;
  if (thumbnails_.empty() || !ListView1->selectionModel()->hasSelection()) return;
  const ThumbnailRow* row = thumbnail_model_->RowAt(FocusedRow());
  if (row == nullptr) return;
  QString path;
  if (!WriteTempCopy(*row, &path)) return;
  OfferApplications(path);
}

void MainWindow::ActionOrigViewExecute() {
  const QString path = OrgFileViewBtn->toolTip();
  if (path.isEmpty() || !QFileInfo(path).isFile()) {
    ActionOrigView->setEnabled(false);
    OrgFileViewBtn->hide();
    return;
  }
  ShellOpen(path);
}

}  // namespace glintvane
