#include "base/progress.h"

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
  if (sink_ != nullptr) sink_->OnProgress(position_, PercentText(position_));
}

}  // namespace glintvane
