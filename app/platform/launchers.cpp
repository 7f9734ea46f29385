#include "platform/launchers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include "platform/app_paths.h"

namespace glintvane::platform {
namespace {

// gio answers at once on a working session; a hung bus must not hang the
// window.
constexpr int kGioTimeoutMs = 5000;

// A string value of a desktop entry: backslash and line breaks escaped.
QString EntryValue(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (const QChar c : text) {
    if (c == QLatin1Char('\\')) {
      out += QStringLiteral("\\\\");
    } else if (c == QLatin1Char('\n')) {
      out += QStringLiteral("\\n");
    } else if (c == QLatin1Char('\r')) {
      out += QStringLiteral("\\r");
    } else if (c == QLatin1Char('\t')) {
      out += QStringLiteral("\\t");
    } else {
      out += c;
    }
  }
  return out;
}

// The program as the one argument of Exec: quoted when it holds anything
// beyond plain path characters, with the quoting rules of the Exec key, and
// "%" doubled so it is never read as a field code.
QString ExecArgument(const QString& program) {
  bool plain = !program.isEmpty();
  for (const QChar c : program) {
    if (!(c.isLetterOrNumber() || QStringLiteral("/._-+").contains(c))) {
      plain = false;
      break;
    }
  }
  QString text;
  if (plain) {
    text = program;
  } else {
    text = QStringLiteral("\"");
    for (const QChar c : program) {
      if (QStringLiteral("\"`$\\").contains(c)) text += QLatin1Char('\\');
      text += c;
    }
    text += QLatin1Char('"');
  }
  text.replace(QLatin1Char('%'), QStringLiteral("%%"));
  return EntryValue(text);
}

}  // namespace

QString LauncherText(const LauncherFields& fields) {
  QString text;
  text += QStringLiteral("[Desktop Entry]\n");
  text += QStringLiteral("Type=Application\n");
  text += QStringLiteral("Version=1.4\n");
  text += QStringLiteral("Name=") + EntryValue(fields.name) + QLatin1Char('\n');
  text += QStringLiteral("Exec=") + ExecArgument(fields.exec) + QLatin1Char('\n');
  text += QStringLiteral("Path=") + EntryValue(fields.path) + QLatin1Char('\n');
  text += QStringLiteral("Icon=") + EntryValue(fields.icon) + QLatin1Char('\n');
  text += QStringLiteral("Terminal=false\n");
  text += QStringLiteral("Categories=Graphics;Viewer;\n");
  return text;
}

QString LauncherFileName(const QString& name) {
  QString file = name.trimmed();
  for (QChar& c : file) {
    if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
      c = QLatin1Char('-');
  }
  // "." and ".." would name a folder, and a leading dot hides the file.
  while (file.startsWith(QLatin1Char('.'))) file.remove(0, 1);
  if (file.isEmpty()) file = QStringLiteral("Glintvane");
  return file + QStringLiteral(".desktop");
}

QString DesktopFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString ApplicationMenuFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
}

LauncherOutcome WriteLauncher(const QString& folder, bool create_folder,
                              const LauncherFields& fields, bool mark_trusted, QString* written) {
  LauncherOutcome outcome;
  outcome.folder = QDir::toNativeSeparators(folder);
  if (folder.isEmpty()) {
    outcome.failure = LauncherFailure::kNoFolderNamed;
    return outcome;
  }
  const QFileInfo folder_info(folder);
  if (!folder_info.exists()) {
    if (!create_folder || !QDir().mkpath(folder)) {
      outcome.failure = LauncherFailure::kFolderMissing;
      return outcome;
    }
  } else if (!folder_info.isDir()) {
    outcome.failure = LauncherFailure::kNotAFolder;
    return outcome;
  }
  const QString path = QDir(folder).filePath(LauncherFileName(fields.name));
  if (written != nullptr) *written = path;

  // Written beside its place and renamed over it: an old launcher is
  // replaced whole, and a link of that name is replaced, never followed.
  QSaveFile file(path);
  const auto write_failed = [&outcome, &file, &path] {
    outcome.failure = LauncherFailure::kWriteFailed;
    outcome.detail = file.errorString() + QStringLiteral(": ") + path;
    return outcome;
  };
  if (!file.open(QIODevice::WriteOnly)) return write_failed();
  file.write(LauncherText(fields).toUtf8());
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                      QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                      QFileDevice::ExeOther);
  if (!file.commit()) return write_failed();

  // GNOME starts a desktop launcher only once it is marked trusted; other
  // desktops ignore the mark, and without gio there is nothing to mark.
  if (mark_trusted) {
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (!gio.isEmpty()) {
      QProcess process;
      process.setProcessChannelMode(QProcess::MergedChannels);
      process.start(gio, {QStringLiteral("set"), path, QStringLiteral("metadata::trusted"),
                          QStringLiteral("true")});
      if (process.waitForStarted(kGioTimeoutMs) && !process.waitForFinished(kGioTimeoutMs))
        process.kill();
    }
  }
  return outcome;
}

LauncherFields ProgramLauncherFields(const QString& name) {
  LauncherFields fields;
  fields.exec = QCoreApplication::applicationFilePath();
  fields.path = QDir::cleanPath(QCoreApplication::applicationDirPath());
  fields.icon = AppPaths::IconName();
  fields.name = name;
  return fields;
}

}  // namespace glintvane::platform
