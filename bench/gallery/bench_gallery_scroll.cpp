// Scrolls the gallery through a carved list of 100,000 images and reports
// the longest step (what the user feels as a stall), the decoding that kept
// up, and the peak memory. The baseline is the thumbnail list scrolled over
// the same rows in the same run.
//   bench_gallery_scroll [rows]      (run with QT_QPA_PLATFORM=offscreen)
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cache_list.h"
#include "file_info_pane.h"
#include "gallery_view.h"
#include "image_pane.h"
#include "item_opener.h"
#include "locator_panel.h"
#include "mainwindow.h"
#include "status_line.h"
#include "thumbnail_model.h"
#include "window_texts.h"
#include "work_controller.h"

namespace {

// Distinct pictures in the scanned file; rows cycle over them, so the file
// stays small while every row is an image of its own range.
constexpr int kDistinctImages = 2000;
constexpr int kSteps = 400;
// A step longer than this is a visible stall (three frames at 60 Hz).
constexpr double kStallMs = 50.0;
constexpr double kMemoryGoalMiB = 300.0;

double StatusMiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::string(field).size())) / 1024;
  }
  return 0;
}

QByteArray MakeJpeg(int i) {
  QImage image(160, 120, QImage::Format_RGB32);
  image.fill(QColor::fromHsv((i * 37) % 360, 160, 220));
  QPainter painter(&image);
  painter.setPen(Qt::black);
  painter.drawText(image.rect(), Qt::AlignCenter, QString::number(i));
  painter.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPG", 80);
  return bytes;
}

struct Sweep {
  double max_ms = 0;
  double median_ms = 0;
  double p99_ms = 0;
  double total_ms = 0;
};

// Moves the scroll bar over its whole range in kSteps steps, painting and
// handling events after each one as the window would.
Sweep Scroll(QAbstractItemView* view) {
  QScrollBar* bar = view->verticalScrollBar();
  std::vector<double> steps;
  QElapsedTimer total;
  total.start();
  for (int k = 0; k <= kSteps; ++k) {
    QElapsedTimer clock;
    clock.start();
    bar->setValue(static_cast<int>(static_cast<int64_t>(bar->maximum()) * k / kSteps));
    view->viewport()->repaint();
    QApplication::processEvents();
    steps.push_back(clock.nsecsElapsed() / 1e6);
  }
  Sweep sweep;
  sweep.total_ms = total.nsecsElapsed() / 1e6;
  std::sort(steps.begin(), steps.end());
  sweep.max_ms = steps.back();
  sweep.median_ms = steps[steps.size() / 2];
  sweep.p99_ms = steps[steps.size() * 99 / 100];
  return sweep;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
  QTemporaryDir temp;
  // Settings of the run stay in the scratch folder.
  qputenv("XDG_CONFIG_HOME", temp.path().toUtf8());

  const QString scanned = temp.filePath(QStringLiteral("pagefile.sys"));
  std::vector<std::pair<int64_t, int64_t>> ranges;
  {
    QFile file(scanned);
    file.open(QIODevice::WriteOnly);
    for (int i = 0; i < kDistinctImages; ++i) {
      const QByteArray jpeg = MakeJpeg(i);
      ranges.emplace_back(file.pos(), jpeg.size());
      file.write(jpeg);
      file.write(QByteArray(512, '\0'));  // what lies between carved images
    }
  }

  const double rss_start = StatusMiB("VmRSS:");
  glintvane::StartOptions options;
  options.system_language = QStringLiteral("ENU");
  glintvane::MainWindow window(options);
  window.resize(1200, 800);
  window.show();
  QApplication::processEvents();

  glintvane::ThumbnailList& list = window.thumbnails();
  const uint32_t source = list.AddSource(scanned.toStdString());
  for (int i = 0; i < rows; ++i) {
    glintvane::ThumbnailRow row;
    row.key = std::to_string(i + 1);
    row.carved = true;
    row.complete = true;
    row.kind = glintvane::ImageKind::kJfif;
    row.source_kind = glintvane::SourceKind::kOpenFile;
    row.source = source;
    row.start = ranges[static_cast<size_t>(i % kDistinctImages)].first;
    row.length = ranges[static_cast<size_t>(i % kDistinctImages)].second;
    row.end = row.start + row.length;
    list.Append(std::move(row));
  }
  window.list()->model()->Refresh();
  QApplication::processEvents();
  const double rss_rows = StatusMiB("VmRSS:");

  const Sweep baseline = Scroll(window.list()->ListView1);

  window.pane()->PageControl2->setCurrentWidget(window.pane()->GalleryTabSheet);
  QElapsedTimer layout;
  layout.start();
  // The grid is laid out in batches; wait until the scroll range stops growing.
  int last = -1;
  while (window.pane()->Gallery->verticalScrollBar()->maximum() != last || layout.elapsed() < 200) {
    last = window.pane()->Gallery->verticalScrollBar()->maximum();
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  const double layout_ms = layout.nsecsElapsed() / 1e6;
  const Sweep gallery = Scroll(window.pane()->Gallery);

  // Rest on the last screen until its pictures are in.
  QElapsedTimer settle;
  settle.start();
  const QModelIndex last_row = window.list()->model()->index(rows - 1, 0);
  while (window.pane()->Gallery->Icon(last_row.row()).isNull() && settle.elapsed() < 5000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  const double settle_ms = settle.nsecsElapsed() / 1e6;

  const double peak = StatusMiB("VmHWM:");
  std::printf("rows: %d carved images, %d distinct, window 1200 x 800\n", rows, kDistinctImages);
  std::printf("list scroll (baseline): %d steps, longest %.1f ms, p99 %.1f ms, median %.2f ms\n",
              kSteps, baseline.max_ms, baseline.p99_ms, baseline.median_ms);
  std::printf(
      "gallery layout: %.0f ms in batches (the window answers meanwhile), %d px to scroll\n",
      layout_ms, window.pane()->Gallery->verticalScrollBar()->maximum());
  std::printf("gallery scroll: %d steps, longest %.1f ms, p99 %.1f ms, median %.2f ms\n", kSteps,
              gallery.max_ms, gallery.p99_ms, gallery.median_ms);
  std::printf("ratio gallery/list: longest %.2f, median %.2f\n", gallery.max_ms / baseline.max_ms,
              gallery.median_ms / std::max(0.001, baseline.median_ms));
  std::printf("last screen's pictures decoded %.0f ms after scrolling stopped; %d icons cached\n",
              settle_ms, window.pane()->Gallery->cached_icons());
  std::printf("memory: %.0f MiB at start, %.0f MiB with the rows, peak %.0f MiB\n", rss_start,
              rss_rows, peak);
  const bool stall = gallery.max_ms > kStallMs;
  std::printf("stall: %s (goal: no step over %.0f ms); memory %s (goal: under %.0f MiB)\n",
              stall ? "YES" : "no", kStallMs, peak < kMemoryGoalMiB ? "ok" : "OVER",
              kMemoryGoalMiB);
  return 0;
}
