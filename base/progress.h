// Progress reported by long core routines. The routine owns a ProgressMeter;
// whoever shows progress (a progress bar, a terminal line, nothing) implements
// ProgressSink and decides how often to repaint.
#pragma once

#include <string>

namespace glintvane {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // The position (0 and up; a bar shows anything above 100 as full) and the
  // percent text to show beside it, e.g. "45 %".
  virtual void OnProgress(int position, const std::string& text) = 0;
};

// What a progress display shows when the work is done.
inline constexpr int kProgressFull = 100;

// The percent text: the number, a blank and one percent sign.
std::string PercentText(int position);

// Stepped progress over the phases of one read. Each phase covers the span
// [base, base + span) and advances a counter owned by the caller.
class ProgressMeter {
 public:
  explicit ProgressMeter(ProgressSink* sink) : sink_(sink) {}

  // Adds 1 to counter and moves the position to base + counter / total * span
  // when that is further on. Does nothing when base lies beyond the current
  // position (a later phase has not been reached), when there is no sink, or
  // when total is 0 or less.
  void Update(int base, double& counter, double total, int span);

  // Moves to `position` if that is further on, and reports it (never above
  // kProgressFull).
  void Advance(int position);

  int position() const { return position_; }
  void Reset() { position_ = 0; }

 private:
  ProgressSink* sink_;
  int position_ = 0;
};

}  // namespace glintvane
