#include "setup/SetupRun.h"

#include <windows.h>

#include "common/Utils.h"
#include "common/VDebug.h"
#include "package/TGFileInfo.h"
#include "setup/ExitCodes.h"
#include "setup/ExtractAndLaunch.h"
#include "setup/TempDrive.h"
#include "setup/WebStub.h"

namespace {

LaunchRequest OrdinaryRunRequest(const TGFileInfo& package, const std::string& workingFolder) {
  LaunchRequest request;
  request.packageFile = GetSwitchValue("/SpanDiskFName1=", "");
  if (request.packageFile.empty()) request.packageFile = ProgramPath();
  request.foreground = !(HasSwitch("/hide") || package.SilentRun());
  request.commandTail = GetCmdLineParams();
  request.workingFolder = workingFolder;
  if (package.HasUpdateAgent()) request.agentFileName = package.AgentExeName();
  return request;
}

}  // namespace

unsigned long RunSetup(const TGFileInfo& program, SetupView& view) {
  // Removed when the run is over: after the walk, and after the engine that
  // runs from it has ended.
  const WorkFolder folder = ClaimWorkingFolder();
  if (program.IsWebStub()) {
    if (program.HasUpdateAgent()) WriteWebStubAgent(program, folder.path());
    return WebStubDownload(program, folder.path(), view);
  }
  return ExtractAndLaunch(OrdinaryRunRequest(program, folder.path()), program, view);
}

unsigned long RunSetupJob(unsigned long (*job)()) {
  const unsigned long exitCode = job();
  PostQuitMessage(0);
  return exitCode;
}
