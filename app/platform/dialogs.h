// Message boxes and file choosers. The window asks through this interface
// only, so a test can answer the questions itself.
#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

#include "carve/carve_kinds.h"

class QWidget;

namespace glintvane {

// What the Brute Force command carves: the kinds of picture and, for a disk
// image, whether only the unallocated space of its file systems.
struct CarveChoice {
  CarveKinds kinds = kDefaultCarveKinds;
  bool unallocated = false;
  bool operator==(const CarveChoice&) const = default;
};

}  // namespace glintvane

namespace glintvane::platform {

enum class MessageKind { kError, kInformation, kConfirmation };

// The words the dialogs show beside the window's own texts, in the chosen
// language; English until the window sets them.
struct DialogTexts {
  QString error = QStringLiteral("Error");
  QString information = QStringLiteral("Information");
  QString confirm = QStringLiteral("Confirm");
  QString yes = QStringLiteral("Yes");
  QString no = QStringLiteral("No");
  QString ok = QStringLiteral("OK");
  QString cancel = QStringLiteral("Cancel");
  QString open = QStringLiteral("Open");
  // The application chooser.
  QString open_with = QStringLiteral("Open With");
  QString open_file_with = QStringLiteral("Open \"%1\" (%2) with:");  // file name, its type
  QString type_command = QStringLiteral("Or type a command, e.g. gimp");
  QString command = QStringLiteral("Command");
  // The Brute Force command's question of what to carve.
  QString carve_title = QStringLiteral("Brute Force Attack");
  QString carve_prompt = QStringLiteral("Look for these kinds of picture:");
  std::array<QString, kCarveKindCount> carve_kinds = {
      QStringLiteral("JPEG images with a JFIF header"),
      QStringLiteral("JPEG images that start with Exif data (camera pictures)"),
      QStringLiteral("Other JPEG images (kept only when whole)"), QStringLiteral("PNG pictures"),
      QStringLiteral("BMP pictures")};
  QString carve_unallocated =
      QStringLiteral("Only the unallocated space of the image's file systems");
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  void SetTexts(const DialogTexts& texts) { texts_ = texts; }
  const DialogTexts& texts() const { return texts_; }

  // A message with one OK button. The kind chooses the icon and the title
  // ("Error", "Information", "Confirm").
  virtual void ShowMessage(QWidget* parent, MessageKind kind, const QString& text) = 0;
  // A confirmation with Yes and No; true on Yes. `help_context` is kept for
  // the help page the question belongs to (0: none).
  virtual bool AskYesNo(QWidget* parent, const QString& text, int help_context) = 0;
  // The same with a check box captioned `remember_text` ("Don't ask
  // again"), whose state goes to *remember. By default the plain question,
  // never remembered.
  virtual bool AskYesNoRemember(QWidget* parent, const QString& text, int help_context,
                                const QString& remember_text, bool* remember) {
    (void)remember_text;
    *remember = false;
    return AskYesNo(parent, text, help_context);
  }
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
  // What the Brute Force command carves, `preselected` ticked at first; the
  // unallocated-only choice is offered for a `disk_image` only. nullopt when
  // cancelled. By default the window's CarveKindsDialog.
  virtual std::optional<CarveChoice> ChooseCarveKinds(QWidget* parent,
                                                      const CarveChoice& preselected,
                                                      bool disk_image);

 private:
  DialogTexts texts_;
};

// The platform's standard dialogs.
Dialogs& StandardDialogs();

// The folder chooser of ChooseFolderFrom: Qt's own dialog (a new folder can
// be made in it), which also takes the name of a folder that does not exist
// yet, for the caller to make.
class FolderChooser : public QFileDialog {
  Q_OBJECT

 public:
  FolderChooser(QWidget* parent, const QString& title, const QString& start);
  // The folder chosen, existing or not; "" until accepted.
  QString chosen() const { return chosen_; }
  void accept() override;

 private:
  QString chosen_;
};

}  // namespace glintvane::platform
