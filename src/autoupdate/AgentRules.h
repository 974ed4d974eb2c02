// The resident agent's process state and the rules over it that need no
// system: the value protocol of the agent message, the switch values that
// feed waits, and the names of the agent's files. Portable.
#pragma once

#include <cstdint>
#include <string>

#include "autoupdate/SetupRecords.h"
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

// Class of the resident copy's main window: ".AutoUpdate.X_" + agent name
// without its last extension. Other programs find the copy by it.
std::string AgentCopyClassName(const std::string& agentExeName);

// The agent message's codes, numbered as other programs send them.
enum AgentMessageCode {
  kAskVersionOriginal = 4,
  kAskVersionNew = 5,
  kAskActivity = 7,
  kAskProbeInterval = 8,
  kAskReAskInterval = 9,
  kAskProbeLast = 10,
  kAskReAskLast = 11,
  kSetProbeInterval = 12,
  kSetReAskInterval = 13,
  kSetProbeLast = 14,
  kSetReAskLast = 15,
  kSetFirstOverride = 20,  // 20 to 25: override items 0 to 5
  kSetLastOverride = 25,
  kSetQuitCountdown = 30,
  kProbeNowCode = 31,  // value 2: a check the user asked for
  kRefreshInfoFile = 32,
};

// The answer to the agent message `code` with `value`: values are read from
// and written to the records and the process state; setters and unknown
// codes answer 0. Times and intervals answer their low 32 bits.
int32_t AnswerAgentMessage(AgentState& state, SetupRecords& records, OverrideFlags& overrides,
                           uint32_t code, int32_t value);

// What a tick does before its probe logic: the quit request when the
// countdown has run out, and whether the probe logic runs (the count is
// above 0 after its increment). A check the user asked for runs at once.
struct TickStart {
  bool quit;
  bool probeLogic;
};
TickStart AdvanceTick(AgentState& state);

// Waits and counts read from switches are clamped: a day of ticks at most
// ("/SleepX=", "/STOP="), ten minutes of "/WAIT=" seconds; negative values
// count as absent (-1).
constexpr int64_t kMaxSwitchTicks = 24 * 3600;
constexpr int64_t kMaxWaitSeconds = 600;
int32_t ClampedSwitchValue(int64_t value, int64_t limit);

// "/WM_MSG=" text: a window handle and a message number joined by ":"
// (decimal; a part that is not a number counts 0). The message is
// acceptable only from WM_USER (1024) up to 65535, the range programs may
// define for themselves; the window's existence is the caller's to check.
struct HostSwitch {
  uint32_t window;
  uint32_t message;
};
HostSwitch ParseHostSwitch(const std::string& value);
bool IsHostMessageNumber(uint32_t message);
