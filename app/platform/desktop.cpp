#include "platform/desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "texts/ui_texts.h"

namespace glintvane::platform {
namespace {

// xdg-mime answers at once; a hung one must not hang the Help command.
constexpr int kQueryTimeoutMs = 2000;

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

bool Desktop::CanShowHtml() {
  if (!qEnvironmentVariableIsEmpty("BROWSER")) return true;
  if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()) return false;
  const QString mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (!mime.isEmpty()) {
    QProcess query;
    query.start(mime,
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (query.waitForFinished(kQueryTimeoutMs) &&
        !query.readAllStandardOutput().trimmed().isEmpty())
      return true;
  }
  for (const char* browser : {"x-www-browser", "sensible-browser", "firefox", "firefox-esr",
                              "chromium", "google-chrome", "epiphany", "falkon", "konqueror"}) {
    if (!QStandardPaths::findExecutable(QString::fromLatin1(browser)).isEmpty()) return true;
  }
  return false;
}

bool Desktop::OpenAddress(const QString& address) {
  return QDesktopServices::openUrl(QUrl(address));
}

}  // namespace glintvane::platform
