// Long work (reading a cache, carving, a folder or disk-image walk,
// extraction) on the worker thread, with the progress bar and the Cancel
// button in the status line, Escape as a second Cancel, and Exit waiting
// for the work to stop. The window's lists are never touched by the worker:
// it fills lists of its own that are handed over when it has ended.
#pragma once

#include <QObject>

#include <functional>
#include <stop_token>

#include "work_runner.h"

class QWidget;

namespace glintvane {

class StatusLine;
class WindowContext;

class WorkController : public QObject {
  Q_OBJECT

 public:
  WorkController(WindowContext& context, StatusLine& status, QWidget* window);

  WorkRunner* runner() const { return runner_; }
  // Where the work reports its percent (read by the window's ticks).
  ProgressSink* progress() { return &progress_; }
  bool IsWorking() const { return runner_->running(); }

  // Runs `work` on the worker thread; `tick` runs on this thread every
  // WorkRunner::kTickMs. With the progress bar shown (ShowProgress), the
  // work's percent moves it and panel 0 shows the percent. The time is
  // added to elapsed_ms(). False when cancelled.
  bool Run(const std::function<void(std::stop_token)>& work,
           const std::function<void()>& tick = {});
  // The progress bar in panel 1's place until ShowProgress(false).
  void ShowProgress(bool shown);
  // The Cancel button and Escape: the running work stops at its next check.
  void Cancel();

  // Milliseconds of work counted since ResetElapsed: the status line counts
  // the work only, never a question left open.
  qint64 elapsed_ms() const { return elapsed_ms_; }
  void ResetElapsed() { elapsed_ms_ = 0; }
  // The last run was cancelled.
  bool stopped() const { return stopped_; }
  // After a cancelled run: panel 0 says so, beside the time and count.
  void ShowCancelled();

  // A routine that asks questions between runs is under way: the window
  // must not close under it.
  void SetBusy(bool busy) { busy_ = busy; }
  // Exit asked for: true when the window may close now; otherwise the work
  // is stopped and the close happens in AfterWork.
  bool AllowClose();
  bool close_pending() const { return close_pending_; }
  // The end of a command that ran work: a close asked for meanwhile goes on.
  void AfterWork();

  void ApplyTexts();

 signals:
  // Before the first and after the last step of a run: the window disables
  // and enables the commands that would change the lists.
  void WorkingChanged(bool working);
  void CloseRequested();

 private:
  WindowContext& context_;
  StatusLine& status_;
  WorkRunner* runner_;
  WorkProgress progress_;
  bool progress_shown_ = false;
  qint64 elapsed_ms_ = 0;
  bool stopped_ = false;
  bool busy_ = false;
  bool close_pending_ = false;
};

}  // namespace glintvane
