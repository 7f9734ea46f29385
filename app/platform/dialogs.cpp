#include "platform/dialogs.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

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
  // A question with Yes and No in the chosen language, and the check box
  // "Don't ask again" when `remember_text` is given.
  bool Ask(QWidget* parent, const QString& text, int /*help_context*/, const QString& remember_text,
           bool* remember) {
    const DialogTexts& words = texts();
    QMessageBox box(QMessageBox::Question, words.confirm, text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QMessageBox::Yes);
    yes->setText(words.yes);
    box.addButton(QMessageBox::No)->setText(words.no);
    box.setDefaultButton(yes);
    QCheckBox* check = nullptr;
    if (!remember_text.isEmpty()) {
      check = new QCheckBox(remember_text, &box);
      box.setCheckBox(check);
    }
    box.exec();
    *remember = check != nullptr && check->isChecked();
    return box.clickedButton() == yes;
  }

 public:
  void ShowMessage(QWidget* parent, MessageKind kind, const QString& text) override {
    const DialogTexts& words = texts();
    QMessageBox box(parent);
    box.setText(text);
    // Paths in a message can be copied.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    switch (kind) {
      case MessageKind::kError:
        box.setIcon(QMessageBox::Critical);
        box.setWindowTitle(words.error);
        break;
      case MessageKind::kInformation:
        box.setIcon(QMessageBox::Information);
        box.setWindowTitle(words.information);
        break;
      case MessageKind::kConfirmation:
        box.setIcon(QMessageBox::Question);
        box.setWindowTitle(words.confirm);
        break;
    }
    box.addButton(QMessageBox::Ok)->setText(words.ok);
    box.exec();
  }

  bool AskYesNo(QWidget* parent, const QString& text, int help_context) override {
    bool remember = false;
    return Ask(parent, text, help_context, {}, &remember);
  }

  bool AskYesNoRemember(QWidget* parent, const QString& text, int help_context,
                        const QString& remember_text, bool* remember) override {
    return Ask(parent, text, help_context, remember_text, remember);
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
    FolderChooser dialog(parent, title, start);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.chosen();
  }
};

}  // namespace

FolderChooser::FolderChooser(QWidget* parent, const QString& title, const QString& start)
    : QFileDialog(parent, title, start) {
  setFileMode(QFileDialog::Directory);
  setOption(QFileDialog::ShowDirsOnly, true);
  setOption(QFileDialog::DontUseNativeDialog, true);
}

void FolderChooser::accept() {
  // Qt's chooser refuses a name that does not exist yet; it is taken here,
  // and the caller asks before making it.
  const QStringList files = selectedFiles();
  if (files.isEmpty()) return;
  const QFileInfo file(files.first());
  if (!file.exists()) {
    chosen_ = file.absoluteFilePath();
    QDialog::accept();
    return;
  }
  if (!file.isDir()) return;
  chosen_ = file.absoluteFilePath();
  QFileDialog::accept();
}

bool Dialogs::OpenWithPortal(QWidget* parent, const QString& path) {
  return PortalOpenFileAsk(parent, path);
}

QStringList Dialogs::ChooseApplication(QWidget* parent, const QString& path) {
  AppChooserDialog dialog(path, parent, ApplicationFolders(), texts());
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.CommandLine();
}

std::optional<CarveChoice> Dialogs::ChooseCarveKinds(QWidget* parent,
                                                     const CarveChoice& preselected,
                                                     bool disk_image) {
  return CarveKindsDialog::Ask(parent, preselected, disk_image, texts());
}

Dialogs& StandardDialogs() {
  static QtDialogs dialogs;
  return dialogs;
}

}  // namespace glintvane::platform
