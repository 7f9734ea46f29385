#include "work_runner.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <exception>
#include <thread>

namespace glintvane {

bool WorkRunner::Run(const std::function<void(std::stop_token)>& work,
                     const std::function<void()>& tick) {
  if (running_) return false;
  running_ = true;
  stop_ = std::stop_source();
  stop_requested_at_ = -1;
  last_stop_ms_ = -1;
  emit RunningChanged(true);

  QElapsedTimer clock;
  clock.start();
  QEventLoop loop;
  QTimer timer;
  timer.setInterval(kTickMs);
  if (tick) QObject::connect(&timer, &QTimer::timeout, &loop, tick);
  timer.start();

  std::exception_ptr failure;
  const std::stop_token token = stop_.get_token();
  std::thread worker([&work, &failure, &loop, token] {
    try {
      work(token);
    } catch (...) {
      failure = std::current_exception();
    }
    // Queued: the loop may not have started yet; it quits when it does.
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  timer.stop();
  if (tick) tick();

  last_elapsed_ms_ = clock.elapsed();
  const bool stopped = stop_.stop_requested();
  if (stopped && stop_requested_at_ >= 0) {
    QElapsedTimer now;
    now.start();
    last_stop_ms_ = (now.msecsSinceReference() - stop_requested_at_);
  }
  running_ = false;
  emit RunningChanged(false);
  if (failure) std::rethrow_exception(failure);
  return !stopped;
}

void WorkRunner::RequestStop() {
  if (!running_ || stop_.stop_requested()) return;
  QElapsedTimer now;
  now.start();
  stop_requested_at_ = now.msecsSinceReference();
  stop_.request_stop();
}

}  // namespace glintvane
