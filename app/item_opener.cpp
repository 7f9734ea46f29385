#include "item_opener.h"

#include <QFileInfo>
#include <QProcess>
#include <QWidget>

#include "base/error_codes.h"
#include "cache_list.h"
#include "export/extract_run.h"
#include "export/private_temp.h"
#include "export/shell_open.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "window_context.h"

namespace glintvane {

QString LocateOriginalFile(const QString& open_file, const ThumbnailRow& row) {
  if (open_file.isEmpty()) return {};
  const std::string folder = QFileInfo(open_file).absolutePath().toStdString() + "/";
  const std::string path = OriginalPathFor(folder, row);
  if (path.empty()) return {};
  const QFileInfo file(QString::fromStdString(path));
  return file.isFile() ? file.filePath() : QString();
}

ItemOpener::ItemOpener(WindowContext& context, CacheList& list, QWidget* window)
    : QObject(window), context_(context), list_(list), window_(window) {}

bool ItemOpener::WriteTempCopy(const ThumbnailRow& row, QString* path) {
  const auto folder = PrivateTempFolder();
  if (!folder) {
    context_.AddError(kErrCreateOutput, platform::Desktop::TemporaryFolder(),
                      QString::fromStdString(folder.error().message));
    return false;
  }
  const ViewingCopy copy = WriteViewingCopy(context_.thumbnails(), context_.image_store(), row,
                                            *folder, context_.errors());
  if (!copy.ok) return false;
  *path = QString::fromStdString(copy.path);
  return true;
}

void ItemOpener::ShellOpen(const QString& path) {
  // A script, program or launcher is never run by its default handler; it
  // goes to a chooser, where the user decides.
  const std::string local = path.toStdString();
  if (ShellOpenFile(local, ReadShellFileFacts(local)) == ShellOpenHandler::kDefault &&
      platform::Desktop::OpenWithDesktop(path)) {
    return;
  }
  OfferApplications(path);
}

void ItemOpener::OfferApplications(const QString& path) {
  // The session's own chooser first; ours where there is none.
  platform::Dialogs& dialogs = context_.dialogs();
  if (dialogs.OpenWithPortal(window_, path)) {
    last_open_with_route_ = QStringLiteral("portal");
    return;
  }
  last_open_with_route_ = QStringLiteral("chooser");
  const QStringList command = dialogs.ChooseApplication(window_, path);
  if (command.isEmpty()) return;
  if (!QProcess::startDetached(command.first(), command.mid(1))) {
    dialogs.ShowMessage(
        window_, platform::MessageKind::kError,
        context_.UiText(kTextProgramNotStarted) + QStringLiteral(":\n") + command.first());
  }
}

void ItemOpener::OpenSelected() {
  const ThumbnailRow* row = list_.FocusedRecord();
  if (row == nullptr) return;
  QString path;
  if (WriteTempCopy(*row, &path)) ShellOpen(path);
}

void ItemOpener::OpenSelectedWith() {
  const ThumbnailRow* row = list_.FocusedRecord();
  if (row == nullptr) return;
  QString path;
  if (WriteTempCopy(*row, &path)) OfferApplications(path);
}

bool ItemOpener::OpenOriginal(const QString& path) {
  if (path.isEmpty() || !QFileInfo(path).isFile()) return false;
  ShellOpen(path);
  return true;
}

}  // namespace glintvane
