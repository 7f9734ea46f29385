#include "platform/app_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace glintvane::platform {
namespace {

constexpr char kIconTheme[] = "glintvane";
constexpr char kGuide[] = "guide/Glintvane.html";
constexpr char kScalableIcon[] = "icons/hicolor/scalable/apps/glintvane.svg";

QString WithSlash(QString folder) {
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

QString InstalledShare() {
  return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share"));
}

}  // namespace

QStringList AppPaths::DataFolders() {
  QStringList folders{WithSlash(QCoreApplication::applicationDirPath()),
                      WithSlash(InstalledShare() + QStringLiteral("/glintvane"))};
  for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
    folders << WithSlash(data + QStringLiteral("/glintvane"));
  folders.removeDuplicates();
  return folders;
}

QString AppPaths::FindDataFile(const QString& relative) {
  for (const QString& folder : DataFolders()) {
    const QFileInfo file(folder + relative);
    if (file.isFile()) return file.absoluteFilePath();
  }
  return {};
}

QString AppPaths::GuideFile() {
  return FindDataFile(QString::fromLatin1(kGuide));
}

QString AppPaths::IconName() {
  if (QFileInfo::exists(InstalledShare() + QLatin1Char('/') + QString::fromLatin1(kScalableIcon)) ||
      !QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                              QString::fromLatin1(kScalableIcon))
           .isEmpty()) {
    return QString::fromLatin1(kIconTheme);
  }
  const QString built = FindDataFile(QStringLiteral("glintvane.svg"));
  return built.isEmpty() ? QString::fromLatin1(kIconTheme) : built;
}

}  // namespace glintvane::platform
