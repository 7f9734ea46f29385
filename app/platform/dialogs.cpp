#include "platform/dialogs.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "carve_kinds_dialog.h"
#include "platform/app_chooser.h"
#include "platform/settings.h"

namespace glintvane::platform {
namespace {

// Each dialog starts in the folder it was last used in, across runs. A
// dialog is known by what it asks for (its filters, or its title), so the
// Open dialog and the Brute Force dialog keep folders of their own.
QString FolderKey(const QString& kind, const QString& what) {
  const QByteArray digest = QCryptographicHash::hash(what.toUtf8(), QCryptographicHash::Md5);
  return kind + QStringLiteral("_") + QString::fromLatin1(digest.toHex().left(8));
}

QString LastFolder(const QString& key) {
  QString error;
  const QString folder =
      Settings::RegistryString(Settings::Group(), {}, key, QStringLiteral("read"), &error);
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void KeepFolder(const QString& key, const QString& folder) {
  if (folder.isEmpty()) return;
  QString error;
  Settings::RegistryString(Settings::Group(), folder, key, QStringLiteral("write"), &error);
}

class QtDialogs final : public Dialogs {
 public:
  void ShowMessage(QWidget* parent, MessageKind kind, const QString& text) override {
    switch (kind) {
      case MessageKind::kError:
        QMessageBox::critical(parent, QStringLiteral("Error"), text);
        break;
      case MessageKind::kInformation:
        QMessageBox::information(parent, QStringLiteral("Information"), text);
        break;
      case MessageKind::kConfirmation:
        QMessageBox::question(parent, QStringLiteral("Confirm"), text,
                              QMessageBox::StandardButtons(QMessageBox::Ok));
        break;
    }
  }

  bool AskYesNo(QWidget* parent, const QString& text, int /*help_context*/) override {
    return QMessageBox::question(parent, QStringLiteral("Confirm"), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  }

  QString ChooseOpenFile(QWidget* parent, const QStringList& filters) override {
    QString selected = filters.value(0);
    const QString key = FolderKey(QStringLiteral("OpenFolder"), filters.join(QLatin1Char(';')));
    const QString path = QFileDialog::getOpenFileName(
        parent, {}, LastFolder(key), filters.join(QStringLiteral(";;")), &selected);
    if (!path.isEmpty()) KeepFolder(key, QFileInfo(path).absolutePath());
    return path;
  }

  QString ChooseFolder(QWidget* parent, const QString& title) override {
    const QString key = FolderKey(QStringLiteral("ChosenFolder"), title);
    const QString folder = QFileDialog::getExistingDirectory(parent, title, LastFolder(key));
    KeepFolder(key, folder);
    return folder;
  }

  QString ChooseFolderFrom(QWidget* parent, const QString& title, const QString& start) override {
    // Qt's own dialog: it lets a new folder be made and typed in.
    QFileDialog dialog(parent, title, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
  }
};

}  // namespace

bool Dialogs::OpenWithPortal(QWidget* parent, const QString& path) {
  return PortalOpenFileAsk(parent, path);
}

QStringList Dialogs::ChooseApplication(QWidget* parent, const QString& path) {
  AppChooserDialog dialog(path, parent);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.CommandLine();
}

std::optional<CarveKinds> Dialogs::ChooseCarveKinds(QWidget* parent, CarveKinds preselected) {
  return CarveKindsDialog::Ask(parent, preselected);
}

Dialogs& StandardDialogs() {
  static QtDialogs dialogs;
  return dialogs;
}

}  // namespace glintvane::platform
