#include "work_controller.h"

#include <QApplication>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>

#include "status_line.h"
#include "window_context.h"

namespace glintvane {

WorkController::WorkController(WindowContext& context, StatusLine& status, QWidget* window)
    : QObject(window), context_(context), status_(status), runner_(new WorkRunner(this)) {
  connect(status_.cancel_button(), &QPushButton::clicked, this, &WorkController::Cancel);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &WorkController::Cancel);
  ApplyTexts();
}

void WorkController::ApplyTexts() {
  status_.cancel_button()->setText(context_.UiText(kTextCancel));
  status_.cancel_button()->setToolTip(context_.UiText(kTextCancelHint));
}

void WorkController::ShowProgress(bool shown) {
  progress_shown_ = shown;
  status_.ShowProgress(shown);
}

void WorkController::Cancel() {
  if (IsWorking()) runner_->RequestStop();
}

bool WorkController::Run(const std::function<void(std::stop_token)>& work,
                         const std::function<void()>& tick) {
  progress_.Reset();
  status_.ShowCancel(true);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  emit WorkingChanged(true);
  int shown = -1;
  const bool done = runner_->Run(work, [this, &tick, &shown] {
    // The event loop runs: setting the values is enough, it paints them.
    // Nothing here paints at once or handles events itself, so a tick costs
    // the window next to nothing even on a loaded machine.
    const int position = progress_.position();
    if (progress_shown_ && position != shown) {
      shown = position;
      status_.SetProgress(position);
      status_.SetText(0, QString::fromStdString(PercentText(position)));
    }
    if (tick) tick();
  });
  elapsed_ms_ += runner_->last_elapsed_ms();
  stopped_ = !done;
  status_.ShowCancel(false);
  QApplication::restoreOverrideCursor();
  emit WorkingChanged(false);
  return done;
}

void WorkController::ShowCancelled() {
  // Panel 0, beside the time and count: panel 1 belongs to the image view.
  status_.SetText(0, [this, before = status_.Maker(0)] {
    const QString text = before();
    return text.isEmpty() ? context_.UiText(kTextCancelled)
                          : text + QStringLiteral(". ") + context_.UiText(kTextCancelled);
  });
}

bool WorkController::AllowClose() {
  if (IsWorking()) {
    close_pending_ = true;
    runner_->RequestStop();
    return false;
  }
  if (busy_) {
    close_pending_ = true;
    return false;
  }
  return true;
}

void WorkController::AfterWork() {
  if (!close_pending_) return;
  close_pending_ = false;
  emit CloseRequested();
}

}  // namespace glintvane
