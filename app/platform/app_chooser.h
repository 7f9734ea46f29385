// Choosing an application to open a file with: the desktop portal's own
// chooser when the session has one, else a dialog of ours listing the
// installed applications (freedesktop .desktop entries) for the file's type,
// with a field for any other command.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include "platform/dialogs.h"

class QLineEdit;
class QListWidget;

namespace glintvane::platform {

struct DesktopApplication {
  QString id;    // the entry's file name, e.g. "org.gnome.eog.desktop"
  QString name;  // Name=
  QString exec;  // Exec=, with its field codes
  QString icon;  // Icon=
  QStringList mime_types;
};

// The folders .desktop entries are read from: $XDG_DATA_HOME and
// $XDG_DATA_DIRS, each + "/applications". Earlier folders win for one id.
QStringList ApplicationFolders();

// The shown applications of `folders` (hidden and NoDisplay entries left
// out) that declare `mime_type` or its parent type (image/*), by name.
QList<DesktopApplication> ApplicationsForMimeType(const QString& mime_type,
                                                  const QStringList& folders);

// The command line of an Exec= value for one file: quoting undone, the file
// put where %f %F %u %U stand (appended when none does), %i %c %k and
// deprecated codes dropped, "%%" kept as "%". Empty when nothing is left.
QStringList LaunchArguments(const QString& exec, const QString& path);

// Asks the desktop portal (org.freedesktop.portal.OpenURI, OpenFile with
// ask=true) to let the user choose an application. False when the session
// bus or the portal is missing or the call fails.
bool PortalOpenFileAsk(QWidget* parent, const QString& path);

class AppChooserDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AppChooserDialog(const QString& path, QWidget* parent = nullptr,
                            const QStringList& folders = ApplicationFolders(),
                            const DialogTexts& texts = {});
  // The chosen application's command line, or the typed command with the
  // file appended.
  QStringList CommandLine() const;
  QListWidget* list() const { return list_; }
  QLineEdit* command() const { return command_; }

 private:
  QString path_;
  QList<DesktopApplication> applications_;
  QListWidget* list_;
  QLineEdit* command_;
};

}  // namespace glintvane::platform
