// The program: start Qt, show the main window, run until it closes.
#include <QApplication>
#include <QIcon>

#include "mainwindow.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Corvanta"));
  QApplication::setApplicationName(QStringLiteral("Glintvane"));
  // Outside a desktop session Qt finds no icon theme; the freedesktop
  // fallback keeps the tool bar from showing bare text.
  if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
    QIcon::setThemeName(QStringLiteral("Adwaita"));
  glintvane::MainWindow window;
  window.show();
  return QApplication::exec();
}
