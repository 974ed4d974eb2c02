// A progress display as the long jobs (unpacking, downloading) see it.
#pragma once

#include <string>

// A progress bar: reset to a range of `total` steps at 0, then stepped once
// per unit of work. A view may draw steps later than they are made (it
// coalesces them), but shows the last position before it hides. Beside the
// bar, a line of detail (a download's sizes and rate) that a view may show.
class Progress {
 public:
  virtual ~Progress() = default;
  virtual void Reset(int total) = 0;
  virtual void Step() = 0;
  virtual void SetDetail(const std::string& text) { (void)text; }
};
