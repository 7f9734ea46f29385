// Where the program finds the files that ship with it: in the build folder
// beside the executable, or in an installed tree under <prefix>/share.
#pragma once

#include <QString>
#include <QStringList>

namespace glintvane::platform {

class AppPaths {
 public:
  AppPaths() = delete;

  // The folders searched for shipped files, first match wins: the
  // program's own folder (a build tree), <prefix>/share/glintvane beside
  // <prefix>/bin, then glintvane/ in every XDG data folder. Each ends in "/".
  static QStringList DataFolders();

  // The first existing `relative` file in DataFolders(); "" when none.
  static QString FindDataFile(const QString& relative);

  // The user guide's front page; "" when it is nowhere to be found.
  static QString GuideFile();

  // The icon a launcher names: the theme name when the icon is installed in
  // the hicolor theme, else the scalable icon's full path from the build
  // tree, else the theme name all the same.
  static QString IconName();
};

}  // namespace glintvane::platform
