// Long work (reading a cache, carving, a folder walk, extraction) on a
// thread of its own, so the window repaints, moves and resizes while it
// runs and a Cancel button or Escape can stop it.
#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <stop_token>
#include <string>

#include "base/progress.h"

namespace glintvane {

// Progress written by the worker and read by the window's timer. Only
// numbers and one short text cross the threads, under a lock or atomically.
class WorkProgress final : public ProgressSink {
 public:
  void OnProgress(int position, const std::string&) override { position_.store(position); }
  int position() const { return position_.load(); }
  void Reset() { position_.store(0); }

 private:
  std::atomic<int> position_{0};
};

class WorkRunner : public QObject {
  Q_OBJECT

 public:
  // How often the window hears of the work while it runs: often enough for
  // a moving bar, rarely enough that a folder walk of 100,000 folders does
  // not spend its time repainting.
  static constexpr int kTickMs = 50;

  explicit WorkRunner(QObject* parent = nullptr) : QObject(parent) {}

  // Runs `work` on a worker thread and returns once it has ended. Meanwhile
  // the window's events are handled here (a local event loop) and `tick`
  // runs on this thread every kTickMs and once at the end. Returns false
  // when the work was asked to stop. An exception thrown by `work` is
  // rethrown here. Runs do not nest: a second Run while one runs does
  // nothing and returns false.
  bool Run(const std::function<void(std::stop_token)>& work, const std::function<void()>& tick);

  bool running() const { return running_; }
  // Asks the running work to stop; it ends at its next check.
  void RequestStop();
  // Milliseconds the last run took, from start to end.
  qint64 last_elapsed_ms() const { return last_elapsed_ms_; }
  // Milliseconds from the last stop request to the end of the work.
  qint64 last_stop_ms() const { return last_stop_ms_; }

 signals:
  void RunningChanged(bool running);

 private:
  bool running_ = false;
  std::stop_source stop_;
  qint64 stop_requested_at_ = -1;
  qint64 last_elapsed_ms_ = 0;
  qint64 last_stop_ms_ = -1;
};

}  // namespace glintvane
