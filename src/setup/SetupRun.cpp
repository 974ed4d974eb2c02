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

}  // namespace

void StartSetupRun() {
  KillTimer(MainWindowHandle(), 1);
  if (started) return;
  started = true;
  if (StubPackage().IsWebStub()) {
    DebugTrace() << " StartSetupRun: the web-stub download is not built yet";
    SetProcessExitCode(kExitSetupFailed);
  } else {
    SetProcessExitCode(ExtractAndLaunch(OrdinaryRunRequest()).exitCode);
  }
  RemoveWorkingFolder();
  PostQuitMessage(0);
}
