// Progress of long core routines in the status bar: a bar over panel 1 and
// the percent text in panel 0. Only the status bar is repainted while the
// window is busy, and not more often than the eye can follow.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressBar>
#include <QStatusBar>

#include "base/progress.h"

class QLabel;

namespace glintvane {

class StatusProgress final : public ProgressSink {
 public:
  // Creates the bar (range min..max, at min) over `panel1` inside
  // `status_bar`; panel 0 receives the percent text.
  StatusProgress(QStatusBar* status_bar, QLabel* panel0, QLabel* panel1, int min, int max);
  // Hides and frees the bar.
  ~StatusProgress() override;
  StatusProgress(const StatusProgress&) = delete;
  StatusProgress& operator=(const StatusProgress&) = delete;

  void OnProgress(int position, const std::string& text) override;

  int position() const;
  QProgressBar* bar() const { return bar_; }

 private:
  QPointer<QStatusBar> status_bar_;
  QLabel* panel0_;
  QPointer<QProgressBar> bar_;
  int last_position_ = -1;
  QElapsedTimer since_paint_;
  QElapsedTimer since_events_;
};

}  // namespace glintvane
