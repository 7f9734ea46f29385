// Message boxes and file choosers. The window asks through this interface
// only, so a test can answer the questions itself.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "carve/carve_kinds.h"

class QWidget;

namespace glintvane::platform {

enum class MessageKind { kError, kInformation, kConfirmation };

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A message with one OK button. The kind chooses the icon and the title
  // ("Error", "Information", "Confirm").
  virtual void ShowMessage(QWidget* parent, MessageKind kind, const QString& text) = 0;
  // A confirmation with Yes and No; true on Yes. `help_context` is kept for
  // the help page the question belongs to (0: none).
  virtual bool AskYesNo(QWidget* parent, const QString& text, int help_context) = 0;
  // The open-file dialog. `filters` are Qt name filters, the first one
  // chosen; "" when the user cancels.
  virtual QString ChooseOpenFile(QWidget* parent, const QStringList& filters) = 0;
  // The folder chooser; "" when the user cancels.
  virtual QString ChooseFolder(QWidget* parent, const QString& title) = 0;

  // The folder chooser opened at `start`; a folder typed that does not exist
  // is returned as typed. By default the plain chooser.
  virtual QString ChooseFolderFrom(QWidget* parent, const QString& title, const QString& start) {
    (void)start;
    return ChooseFolder(parent, title);
  }
  // Open With through the desktop portal's chooser (the session's own
  // "open with" dialog); false when the session has no portal or it refused.
  virtual bool OpenWithPortal(QWidget* parent, const QString& path);
  // The application chooser of the program itself: the command line to run
  // (program first, the file among its arguments), or empty when cancelled.
  virtual QStringList ChooseApplication(QWidget* parent, const QString& path);
  // The kinds of picture the Brute Force command carves, `preselected`
  // ticked at first; nullopt when cancelled. By default the window's
  // CarveKindsDialog.
  virtual std::optional<CarveKinds> ChooseCarveKinds(QWidget* parent, CarveKinds preselected);
};

// The platform's standard dialogs.
Dialogs& StandardDialogs();

}  // namespace glintvane::platform
