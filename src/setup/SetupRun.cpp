#include "setup/SetupRun.h"

#include <windows.h>

#include "common/Utils.h"
#include "common/VDebug.h"
#include "package/TGFileInfo.h"
#include "setup/ExtractAndLaunch.h"
#include "setup/TempDrive.h"
#include "stub/ExitCodes.h"
#include "stub/MainWindow.h"
#include "stub/StubMain.h"

namespace {

bool started = false;  // a tick queued before the timer died must not start a second run
bool active = false;

LaunchRequest OrdinaryRunRequest() {
  const TGFileInfo& package = StubPackage();
  LaunchRequest request;
  request.packageFile = GetSwitchValue("/SpanDiskFName1=", "");
  if (request.packageFile.empty()) request.packageFile = ProgramPath();
  request.foreground = !(HasSwitch("/hide") || package.SilentRun());
  request.commandTail = GetCmdLineParams();
  request.workingFolder = WorkingFolder();
  if (package.HasUpdateAgent()) request.agentFileName = package.AgentExeName();
  return request;
}

unsigned long SetupJob() {
  if (StubPackage().IsWebStub()) {
    DebugTrace() << " StartSetupRun: the web-stub download is not built yet";
    return kExitSetupFailed;
  }
  return ExtractAndLaunch(OrdinaryRunRequest()).exitCode;
}

}  // namespace

unsigned long RunSetupJob(unsigned long (*job)()) {
  active = true;
  const unsigned long exitCode = GuardedCall("StartSetupRun", static_cast<unsigned long>(kExitSetupFailed), job);
  active = false;
  RemoveWorkingFolder();
  PostQuitMessage(0);
  return exitCode;
}

bool SetupRunActive() { return active; }

void StartSetupRun() {
  KillTimer(MainWindowHandle(), 1);
  if (started) return;
  started = true;
  SetProcessExitCode(RunSetupJob(SetupJob));
}
