#include "status_progress.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

#include <algorithm>

namespace glintvane {
namespace {

// Repainting the status bar for every step of a 100,000-row read would cost
// more than the read; 30 repaints a second look smooth.
constexpr qint64 kRepaintIntervalMs = 33;
// Expose and paint events of the rest of the window are let through this
// often, so that a covered window does not look frozen. Input stays queued:
// nothing may start while a file is read.
constexpr qint64 kEventIntervalMs = 150;

}  // namespace

StatusProgress::StatusProgress(QStatusBar* status_bar, QLabel* panel0, QLabel* panel1, int min,
                               int max)
    : status_bar_(status_bar), panel0_(panel0) {
  bar_ = new QProgressBar(status_bar);
  bar_->setRange(min, max);
  bar_->setValue(min);
  bar_->setTextVisible(false);
  bar_->setGeometry(panel1->geometry());
  bar_->show();
  bar_->raise();
  since_paint_.start();
  since_events_.start();
}

StatusProgress::~StatusProgress() {
  if (bar_ != nullptr) {
    bar_->hide();
    delete bar_;
  }
}

int StatusProgress::position() const {
  return bar_ != nullptr ? bar_->value() : 0;
}

void StatusProgress::OnProgress(int position, const std::string& text) {
  if (bar_ == nullptr || status_bar_ == nullptr) return;
  // The bar shows anything past its end as full.
  bar_->setValue(std::clamp(position, bar_->minimum(), bar_->maximum()));
  if (position == last_position_) return;
  last_position_ = position;
  panel0_->setText(QString::fromStdString(text));
  if (position >= bar_->maximum() || since_paint_.elapsed() >= kRepaintIntervalMs) {
    status_bar_->repaint();
    since_paint_.restart();
  }
  if (since_events_.elapsed() >= kEventIntervalMs) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    since_events_.restart();
  }
}

}  // namespace glintvane
