#include "inet/ProgBar.h"

#include <climits>

#include "common/UtilsUi.h"

namespace {

int ClampedSteps(uint64_t steps) { return steps > INT_MAX ? INT_MAX : static_cast<int>(steps); }

}  // namespace

void TProgBar::Start(uint64_t position, uint64_t max) {
  PumpWhenDue();
  max_ = static_cast<uint64_t>(ClampedSteps(max));
  position_ = 0;
  sink_.Reset(static_cast<int>(max_));
  StepTo(position, "");
}

void TProgBar::StepTo(uint64_t position, const std::string& text) {
  if (position > max_) position = max_;
  // The view draws at most every 30 ms, so a stride of steps costs little.
  for (; position_ < position; ++position_) sink_.Step();
  if (!text.empty()) sink_.SetDetail(text);
  PumpWhenDue();
}

void TProgBar::Caption(const std::string&) { PumpWhenDue(); }
