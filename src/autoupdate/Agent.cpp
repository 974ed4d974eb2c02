#include "autoupdate/Agent.h"

#include "common/Utils.h"
#include "common/VDebug.h"

void CreateAndRun_X_Exe() { DebugTrace() << " CreateAndRun_X_Exe: the agent copy is not built yet"; }

bool HandleParamOK(bool agentCopyWasRunning) {
  DebugTrace() << " HandleParamOK(" << BoolText(agentCopyWasRunning) << "): switch hand-over is not built yet";
  return false;
}

void TestMode(bool force) {
  DebugTrace() << " TestMode(" << BoolText(force) << "): test mode is not built yet";
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
