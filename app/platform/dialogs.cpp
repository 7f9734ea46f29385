#include "platform/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

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

 private:
  QString last_folder_;
};

}  // namespace

Dialogs& StandardDialogs() {
  static QtDialogs dialogs;
  return dialogs;
}

}  // namespace glintvane::platform
