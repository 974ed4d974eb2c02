// What the setup run shows while it works, implemented by the stub's main
// window; the run only talks to this, never to a window of its own.
#pragma once

#include <string>

#include "common/Progress.h"

class SetupView : public Progress {
 public:
  virtual void Show(bool show) = 0;
  // The text line in the given font; charsets 177 and 178 read right to left.
  virtual void SetText(const std::string& text, const std::string& fontName, int charset, int fontSize) = 0;
  // Shows the small activity bar that turns as the progress steps.
  virtual void ShowActivity() = 0;
};
