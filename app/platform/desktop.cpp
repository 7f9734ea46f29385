#include "platform/desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLocale>
#include <QStandardPaths>
#include <QUrl>

#include "texts/ui_texts.h"

namespace glintvane::platform {
namespace {

QString WithSlash(QString folder) {
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

}  // namespace

QString Desktop::ProgramDirectory() {
  return WithSlash(QCoreApplication::applicationDirPath());
}

QString Desktop::TemporaryFolder() {
  return WithSlash(QDir::tempPath());
}

QStringList Desktop::LanguageFolders() {
  QStringList folders{ProgramDirectory()};
  // An installed program keeps its language files in <prefix>/share/glintvane.
  const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                            QStringLiteral("/../share/glintvane"));
  folders << WithSlash(installed);
  for (const QString& data :
       QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("glintvane"),
                                 QStandardPaths::LocateDirectory)) {
    folders << WithSlash(data);
  }
  folders.removeDuplicates();
  return folders;
}

QString Desktop::UserLanguageAbbreviation() {
  return QString::fromStdString(
      LanguageAbbreviationForLocale(QLocale::system().name().toStdString()));
}

bool Desktop::OpenWithDesktop(const QString& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool Desktop::OpenAddress(const QString& address) {
  return QDesktopServices::openUrl(QUrl(address));
}

}  // namespace glintvane::platform
