#include "platform/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

#include "platform/app_chooser.h"

namespace glintvane::platform {
namespace {

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
    return QFileDialog::getOpenFileName(parent, {}, last_folder_,
                                        filters.join(QStringLiteral(";;")), &selected);
  }

  QString ChooseFolder(QWidget* parent, const QString& title) override {
    return QFileDialog::getExistingDirectory(parent, title, last_folder_);
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

 private:
  QString last_folder_;
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

Dialogs& StandardDialogs() {
  static QtDialogs dialogs;
  return dialogs;
}

}  // namespace glintvane::platform
