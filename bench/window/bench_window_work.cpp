// The window stays live while it works: carves a 4 GiB file (sparse, with a
// few pictures) in the window's worker while a timer on the UI thread
// records the largest gap between its ticks, then carves again and cancels,
// timing the way from the Cancel request to an idle window. The idle gap of
// the same timer, measured first, is the baseline.
//
//   bench_window_work [--size GIB] [--locate ROOT]
//
// With --locate it also times File Locator over ROOT (the tree that
// bench/discover makes) and the largest UI gap during that walk.
// Goals: largest gap under 50 ms; cancel to idle under 100 ms.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "cache_list.h"
#include "file_info_pane.h"
#include "image_pane.h"
#include "item_opener.h"
#include "locator_panel.h"
#include "mainwindow.h"
#include "platform/dialogs.h"
#include "status_line.h"
#include "window_texts.h"
#include "work_controller.h"

namespace {

using glintvane::MainWindow;

class Answers final : public glintvane::platform::Dialogs {
 public:
  void ShowMessage(QWidget*, glintvane::platform::MessageKind, const QString&) override {}
  bool AskYesNo(QWidget*, const QString&, int) override { return true; }
  QString ChooseOpenFile(QWidget*, const QStringList&) override { return file; }
  QString ChooseFolder(QWidget*, const QString&) override { return folder; }
  QString file;
  QString folder;
};

// Ticks every 5 ms on the UI thread and keeps the largest gap seen.
class GapMeter {
 public:
  GapMeter() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      if (last_ >= 0 && now - last_ > largest_) {
        largest_ = now - last_;
        largest_at_ = now;
      }
      last_ = now;
    });
  }
  void Start() {
    largest_ = 0;
    last_ = -1;
    clock_.start();
    timer_.start();
  }
  double StopMs() {
    timer_.stop();
    return static_cast<double>(largest_) / 1e6;
  }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = -1;
  qint64 largest_ = 0;
  qint64 largest_at_ = 0;

 public:
  // When the largest gap ended, in ms after Start.
  double LargestAtMs() const { return static_cast<double>(largest_at_) / 1e6; }
};

QByteArray Jpeg(int seed) {
  QImage picture(64 + seed, 48, QImage::Format_RGB32);
  picture.fill(QColor::fromHsv((seed * 37) % 360, 200, 200));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  picture.save(&buffer, "JPG");
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  qint64 gib = 4;
  QString locate_root;
  const QStringList args = app.arguments();
  for (int i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == QLatin1String("--size")) gib = args[i + 1].toLongLong();
    if (args[i] == QLatin1String("--locate")) locate_root = args[i + 1];
  }

  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("pagefile.sys"));
  {
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return 1;
    for (int i = 0; i < 16; ++i) {
      out.write(QByteArray(4096, '\0'));
      out.write(Jpeg(i));
    }
    out.resize(gib << 30);  // the rest is holes: read at memory speed, stored nowhere
  }

  Answers answers;
  answers.file = path;
  glintvane::StartOptions options;
  options.dialogs = &answers;
  options.system_language = QStringLiteral("ENU");
  MainWindow window(options);
  window.show();
  QApplication::processEvents();

  GapMeter meter;
  // Baseline: the timer's own gap on an idle window over one second.
  meter.Start();
  QEventLoop idle;
  QTimer::singleShot(1000, &idle, &QEventLoop::quit);
  idle.exec();
  const double idle_gap = meter.StopMs();

  // Second baseline: a plain spinning thread of ours, as busy as the scan
  // but doing nothing of the window's, for the same time. What the machine's
  // other load does to the UI thread shows here as well as during the scan.
  meter.Start();
  {
    std::atomic<bool> spin{true};
    std::thread busy([&spin] {
      volatile uint64_t x = 0;
      while (spin.load(std::memory_order_relaxed)) x = x + 1;
    });
    QEventLoop wait;
    QTimer::singleShot(3000, &wait, &QEventLoop::quit);
    wait.exec();
    spin = false;
    busy.join();
  }
  const double busy_gap = meter.StopMs();
  const double busy_at = meter.LargestAtMs();

  meter.Start();
  QElapsedTimer scan;
  scan.start();
  window.ActionBruteForceExecute();
  const double scan_s = static_cast<double>(scan.elapsed()) / 1000.0;
  const double work_gap = meter.StopMs();
  std::printf("carve %lld GiB in the worker: %.2f s, %zu rows\n", static_cast<long long>(gib),
              scan_s, window.thumbnails().size());
  std::printf(
      "largest UI gap: %.1f ms while carving (ending %.0f ms in), %.1f ms idle (ratio "
      "%.2f); goal < 50 ms\n",
      work_gap, meter.LargestAtMs(), idle_gap, idle_gap > 0 ? work_gap / idle_gap : 0.0);

  // Cancel a second scan half-way through its first second.
  QElapsedTimer since_cancel;
  QTimer::singleShot(400, &window, [&] {
    since_cancel.start();
    window.CancelWork();
  });
  window.ActionBruteForceExecute();
  if (!since_cancel.isValid()) {
    std::printf("the scan ended before the cancel; use a larger --size\n");
    return 1;
  }
  const double to_idle = static_cast<double>(since_cancel.nsecsElapsed()) / 1e6;
  std::printf("largest UI gap beside a plain busy thread for 3 s: %.1f ms (ending %.0f ms in)\n",
              busy_gap, busy_at);
  std::printf("cancel to idle: %.1f ms (worker stopped after %lld ms); goal < 100 ms\n", to_idle,
              static_cast<long long>(window.work()->runner()->last_stop_ms()));

  if (!locate_root.isEmpty()) {
    answers.folder = locate_root;
    // No cache is opened at the end: the walk alone is timed.
    meter.Start();
    QElapsedTimer walk;
    walk.start();
    window.ActionSearchAllExecute();
    const double walk_gap = meter.StopMs();
    std::printf(
        "File Locator over %s: %.2f s (including opening the first cache), %zu caches, "
        "largest UI gap %.1f ms\n",
        qPrintable(locate_root), static_cast<double>(walk.elapsed()) / 1000.0,
        window.found_caches().size(), walk_gap);
  }
  return work_gap < 50 && to_idle < 100 ? 0 : 1;
}
