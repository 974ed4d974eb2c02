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
