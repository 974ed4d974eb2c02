// The resident agent's process state and the rules over it that need no
// system: the value protocol of the agent message, the switch values that
// feed waits, and the names of the agent's files. Portable.
#pragma once

#include <cstdint>
#include <string>

#include "autoupdate/UpdateDecision.h"

// What the resident copy keeps between ticks.
struct AgentState {
  // Ticks counted; the probe logic runs only when the count is above 0
  // after its increment, so the first run is at the fourth tick.
  int32_t timerCount = -3;
  // Ticks left before the copy quits; -1: never.
  int32_t quitCountdown = -1;
  ProbeFlags probe;  // ProbeEnabled, ProbeNow, ManualCheckState (2 pending, 1 running)
  bool justDownloadInfoFile = false;
  // 0 idle, 1 fetching the info file, 2 downloading the update or inform
  // page, 3 running the setup.
  int32_t activity = 0;
  bool busy = false;  // a tick is being handled
};
