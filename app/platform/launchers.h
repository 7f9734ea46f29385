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

// Writes the launcher into `folder` (which must exist unless
// `create_folder`), replacing one of the same name without asking:
// executable, and trusted where the desktop keeps such a mark (GNOME's
// metadata::trusted through gio) when `mark_trusted`. Returns "" on success,
// else the reason in words; `written` receives the file's path.
QString WriteLauncher(const QString& folder, bool create_folder, const LauncherFields& fields,
                      bool mark_trusted, QString* written = nullptr);

// The fields of a launcher that starts the running program under `name`.
LauncherFields ProgramLauncherFields(const QString& name);

}  // namespace glintvane::platform
