#include "setup/SetupRun.h"

#include <windows.h>

#include "common/Utils.h"
#include "common/VDebug.h"
#include "package/TGFileInfo.h"
#include "setup/ExitCodes.h"
#include "setup/ExtractAndLaunch.h"
#include "setup/TempDrive.h"

namespace {

bool active = false;

LaunchRequest OrdinaryRunRequest(const TGFileInfo& package) {
  LaunchRequest request;
  request.packageFile = GetSwitchValue("/SpanDiskFName1=", "");
  if (request.packageFile.empty()) request.packageFile = ProgramPath();
  request.foreground = !(HasSwitch("/hide") || package.SilentRun());
  request.commandTail = GetCmdLineParams();
  request.workingFolder = WorkingFolder();
  if (package.HasUpdateAgent()) request.agentFileName = package.AgentExeName();
  return request;
}

}  // namespace

unsigned long RunSetup(const TGFileInfo& program, SetupView& view) {
  if (program.IsWebStub()) {
    DebugTrace() << " StartSetupRun: the web-stub download is not built yet";
    return kExitSetupFailed;
  }
  return ExtractAndLaunch(OrdinaryRunRequest(program), program, view);
}

unsigned long RunSetupJob(unsigned long (*job)()) {
  active = true;
  const unsigned long exitCode = GuardedCall("StartSetupRun", static_cast<unsigned long>(kExitSetupFailed), job);
  active = false;
  RemoveWorkingFolder();
  PostQuitMessage(0);
  return exitCode;
}

bool SetupRunActive() { return active; }
