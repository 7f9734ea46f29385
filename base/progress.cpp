#include "base/progress.h"

#include <algorithm>

namespace glintvane {

std::string PercentText(int position) {
  return std::to_string(position) + " %";
}

void ProgressMeter::Update(int base, double& counter, double total, int span) {
  if (sink_ == nullptr || base > position_ || total <= 0) return;
  counter += 1;
  const int p = base + static_cast<int>(counter / total * span);
  Advance(p);
}

void ProgressMeter::Advance(int position) {
  if (position > position_) position_ = position;
  // A phase may overshoot (the Catalog's counter starts at 1, so its last
  // entry lands past 100); the position keeps that, what is shown stops at full.
  const int shown = std::min(position_, kProgressFull);
  if (sink_ != nullptr) sink_->OnProgress(shown, PercentText(shown));
}

}  // namespace glintvane
