// Not a test and not shipped: opens one cache in the real window, reports
// how long OpenThumbnailFile took, and saves a picture of the window.
//   glintvane_screenshot <cache> <out.png> [row]
#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QPixmap>
#include <QTreeView>

#include <cstdio>

#include "cache_list.h"
#include "file_info_pane.h"
#include "image_pane.h"
#include "item_opener.h"
#include "locator_panel.h"
#include "mainwindow.h"
#include "status_line.h"
#include "thumbnail_model.h"
#include "window_texts.h"
#include "work_controller.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <cache> <out.png> [row]\n", argv[0]);
    return 2;
  }
  if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
    QIcon::setThemeName(QStringLiteral("Adwaita"));
  glintvane::StartOptions options;
  options.system_language = QStringLiteral("ENU");
  options.language_folders = {QStringLiteral(GLINTVANE_LANG_DIR)};
  glintvane::MainWindow window(options);
  window.resize(960, 640);
  window.show();
  QApplication::processEvents();

  QElapsedTimer clock;
  clock.start();
  window.OpenThumbnailFile(QString::fromLocal8Bit(argv[1]));
  const qint64 elapsed_us = clock.nsecsElapsed() / 1000;
  std::printf("OpenThumbnailFile: %.1f ms, %d rows\n", elapsed_us / 1000.0,
              window.list()->model()->rowCount());

  if (argc > 3) {
    const int row = QString::fromLocal8Bit(argv[3]).toInt();
    window.list()->ListView1->setCurrentIndex(window.list()->model()->index(row, 0));
  }
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  return window.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
