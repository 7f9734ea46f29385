// The program: start Qt, show the main window, open the files named on the
// command line, run until it closes.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QMenu>
#include <QTimer>

#include <cstdio>

#include "mainwindow.h"
#include "platform/app_paths.h"
#include "platform/desktop.h"
#include "window_texts.h"

namespace {

// For packagers and CI: starts the window, reports the language files and
// the guide this copy of the program finds, and ends. 0 when it finds both.
int CheckInstall() {
  glintvane::MainWindow window;
  window.show();
  QApplication::processEvents();
  int languages = 0;
  for (const QString& folder : glintvane::platform::Desktop::LanguageFolders()) {
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.lang")}, QDir::Files)) {
      std::printf("language file: %s%s\n", qPrintable(folder), qPrintable(name));
      ++languages;
    }
  }
  const QMenu* menu_items = window.languages()->LangItem;
  const int menu = menu_items != nullptr ? static_cast<int>(menu_items->actions().size()) : 0;
  std::printf("language menu entries: %d\n", menu);
  const QString guide = glintvane::platform::AppPaths::GuideFile();
  std::printf("user guide: %s\n", guide.isEmpty() ? "(none)" : qPrintable(guide));
  std::printf("icon: %s\n", qPrintable(glintvane::platform::AppPaths::IconName()));
  return languages > 0 && menu > 1 && !guide.isEmpty() ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Corvanta"));
  QApplication::setApplicationName(QStringLiteral("Glintvane"));
  QApplication::setApplicationVersion(QStringLiteral(GLINTVANE_VERSION));
  // The desktop matches the window to its launcher and icon by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("com.corvanta.Glintvane"));
  // Outside a desktop session Qt finds no icon theme; the freedesktop
  // fallback keeps the tool bar from showing bare text.
  if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
    QIcon::setThemeName(QStringLiteral("Adwaita"));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Lists, shows and extracts the thumbnails of Windows Thumbs.db caches."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("files"),
                               QStringLiteral("Thumbs.db caches to open at start."),
                               QStringLiteral("[FILE...]"));
  const QCommandLineOption check_install(
      QStringLiteral("check-install"),
      QStringLiteral("Start, report the language files and the user guide found, and quit."));
  parser.addOption(check_install);
  parser.process(app);
  if (parser.isSet(check_install)) return CheckInstall();

  glintvane::MainWindow window;
  window.show();
  const QStringList files = parser.positionalArguments();
  // Opened once the window is on screen, so a long read shows its progress.
  if (!files.isEmpty())
    QTimer::singleShot(0, &window, [&window, files] { window.OpenStartFiles(files); });
  return QApplication::exec();
}
