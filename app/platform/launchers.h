// Launchers: the freedesktop ".desktop" files that stand for Windows shell
// links on a Linux desktop. One on the desktop folder, one in the user's
// application menu; both start the program itself.
#pragma once

#include <QString>

namespace glintvane::platform {

// What a launcher carries: the program's full path (Exec), its folder
// (Path), the icon (a theme name or a file) and the caption (Name).
struct LauncherFields {
  QString exec;
  QString path;
  QString icon;
  QString name;
};

// The text of the launcher file for `fields`.
QString LauncherText(const LauncherFields& fields);

// The file name a launcher captioned `name` gets: the caption with the
// characters a file name cannot hold replaced, then ".desktop".
QString LauncherFileName(const QString& name);

// The user's desktop folder (XDG_DESKTOP_DIR) and application-menu folder
// (~/.local/share/applications), as the desktop session names them.
QString DesktopFolder();
QString ApplicationMenuFolder();

// Why a launcher was not written; the window puts it in words.
enum class LauncherFailure {
  kNone,
  kNoFolderNamed,  // the desktop session names no folder for it
  kFolderMissing,  // the folder does not exist (and could not be made)
  kNotAFolder,     // something else lies where the folder should be
  kWriteFailed,    // the file could not be written: `detail` says why
};

struct LauncherOutcome {
  LauncherFailure failure = LauncherFailure::kNone;
  QString folder;  // the folder concerned, as the user writes it
  QString detail;  // the system's own words for kWriteFailed, with the path
  bool ok() const { return failure == LauncherFailure::kNone; }
};

// Writes the launcher into `folder` (which must exist unless
// `create_folder`), replacing one of the same name without asking:
// executable, and trusted where the desktop keeps such a mark (GNOME's
// metadata::trusted through gio) when `mark_trusted`. `written` receives the
// file's path.
LauncherOutcome WriteLauncher(const QString& folder, bool create_folder,
                              const LauncherFields& fields, bool mark_trusted,
                              QString* written = nullptr);

// The fields of a launcher that starts the running program under `name`.
LauncherFields ProgramLauncherFields(const QString& name);

}  // namespace glintvane::platform
