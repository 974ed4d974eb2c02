// What the agent's work sees of its main window: the setup view (text line,
// progress bars, shown or hidden), the window itself (the owner of downloads
// and dialogs), and the notifications to a host window of another process.
#pragma once

#include <windows.h>

#include "setup/SetupView.h"

class AgentView : public SetupView {
 public:
  // The agent's main window; null when there is none.
  virtual HWND Window() = 0;
  // Posts the host's message with these values, when a host registered.
  virtual void NotifyHost(WPARAM code, LPARAM value) = 0;
};
