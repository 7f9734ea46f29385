// Places and services of the desktop: the program's folders, the user's
// language, handing files and addresses to the desktop.
#pragma once

#include <QString>
#include <QStringList>

namespace glintvane::platform {

class Desktop {
 public:
  Desktop() = delete;

  // The folder of the program's executable, ending in "/".
  static QString ProgramDirectory();
  // The temporary-files folder, ending in "/".
  static QString TemporaryFolder();
  // Where language files are looked for: beside the program first, then
  // the installed data folder(s). Each ends in "/".
  static QStringList LanguageFolders();
  // The user's language as a Windows three-letter abbreviation, from the
  // locale the desktop session runs in (de_DE gives DEU).
  static QString UserLanguageAbbreviation();

  // Opens a file or folder with the program the desktop associates with it.
  static bool OpenWithDesktop(const QString& path);
  // Whether the desktop has a program to show HTML pages: xdg-open with a
  // handler for text/html, $BROWSER, or a browser of the usual names. A
  // session without one would swallow a request to open the guide.
  static bool CanShowHtml();
  // Opens a web address in the user's browser.
  static bool OpenAddress(const QString& address);
};

}  // namespace glintvane::platform
