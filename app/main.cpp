// The program: start Qt, show the main window, open the files named on the
// command line, run until it closes.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QTimer>

#include "mainwindow.h"

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
  parser.process(app);

  glintvane::MainWindow window;
  window.show();
  const QStringList files = parser.positionalArguments();
  // Opened once the window is on screen, so a long read shows its progress.
  if (!files.isEmpty())
    QTimer::singleShot(0, &window, [&window, files] { window.OpenStartFiles(files); });
  return QApplication::exec();
}
