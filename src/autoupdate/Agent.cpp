#include "autoupdate/Agent.h"

#include "autoupdate/AgentRecords.h"
#include "common/Utils.h"
#include "common/VDebug.h"

void CreateAndRun_X_Exe() {
  DebugTrace() << " CreateAndRun_X_Exe: the agent copy is not built yet";
}

bool HandleParamOK(bool agentCopyWasRunning) {
  DebugTrace() << " HandleParamOK(" << BoolText(agentCopyWasRunning)
               << "): switch hand-over is not built yet";
  return false;
}

bool TestMode(bool force) {
  TestModeState& state = ProcessTestMode();
  const bool on = state.Check(force);
  // Forced checks come at start-up and before a probe: worth a line; the
  // agent's per-tick checks are not.
  if (force)
    DebugTrace() << " TestMode(" << BoolText(force) << ")=" << BoolText(on)
                 << " TestModeURL=" << state.Url();
  return on;
}

// Until the agent's probing exists, the resident copy ends at its first tick
// instead of staying up with nothing to do.
void OnAgentTimer() {
  DebugTrace() << " OnAgentTimer: the agent's probing is not built yet; the copy ends";
  PostQuitMessage(0);
}

LRESULT AgentMessage(WPARAM, LPARAM) { return 0; }

void SetQuitCountdown(int) {}

void SetAgentTimerCount(int) {}

AgentState& ProcessAgentState() {
  static AgentState state;
  return state;
}
