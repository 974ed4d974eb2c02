// The progress object a download reports to: it forwards the bar's range and
// position, and the line of sizes and rate, to a display it does not know
// (the main window's view), and keeps the windows responsive around each
// report.
#pragma once

#include <cstdint>
#include <string>

#include "common/Progress.h"

class TProgBar {
 public:
  explicit TProgBar(Progress& sink) : sink_(sink) {}

  // A range of `max` steps, standing at `position`.
  void Start(uint64_t position, uint64_t max);
  // Moves the bar on to `position` (never back, never past the range) and
  // shows `text` beside it.
  void StepTo(uint64_t position, const std::string& text);
  // One step.
  void Step(const std::string& text) { StepTo(position_ + 1, text); }
  // The display has no caption; the windows are served all the same.
  void Caption(const std::string& text);

 private:
  Progress& sink_;
  uint64_t position_ = 0;
  uint64_t max_ = 0;
};
