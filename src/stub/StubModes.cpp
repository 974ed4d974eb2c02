#include "stub/StubModes.h"

#include <windows.h>

#include "autoupdate/Agent.h"
#include "common/Files.h"
#include "common/RunLog.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "package/TGFileInfo.h"
#include "setup/SpanRestart.h"
#include "setup/ExitCodes.h"
#include "stub/MainWindow.h"
#include "stub/ModeRules.h"
#include "stub/StubMain.h"

namespace {

bool TopWindowOfClassExists(const std::string& className) {
  return FindWindowA(className.c_str(), nullptr) != nullptr;
}

std::string ProgramFileName() { return ExtractFileName(ProgramPath()); }

void RunAgentCopy() {
  // A second copy of the same file must neither run nor delete the file the
  // first one runs from.
  if (!ClaimAgentCopy()) {
    WriteLog("Another X_ copy of this agent runs: this one ends");
    return;
  }
  WriteLog("CheckTestMode");
  TestMode(true);
  WriteLog("WinMain");
  RunMainWindow();
  WriteLog("DeleteMySelf");
  DeleteMySelf(false);
}

// A run that could not even show its window started no engine: a deployment
// tool must not read that as success.
void RunSetup() {
  if (!RunMainWindow()) SetProcessExitCode(kExitSetupFailed);
  if (IsSpanLevel2()) DeleteMySelf(true);
}

void RunSpanRestart() {
  if (!SpanRestart()) SetProcessExitCode(kExitSetupFailed);
}

}  // namespace

bool X_ExeIsRunning() { return TopWindowOfClassExists(AgentCopyClassName(StubPackage().AgentExeName())); }

bool ThisIs_Plain_AutoUpdate_Exe() {
  return IsPlainAgentFile(StubPackage().IsUpdateAgent(), ProgramFileName(), StubPackage().AgentExeName());
}

bool ThisIs_X_AutoUpdate_Exe() {
  return IsAgentCopyFile(StubPackage().IsUpdateAgent(), ProgramFileName(), StubPackage().AgentExeName());
}

bool IsSpanLevel1() { return StubPackage().IsSpanCd() && SpanLevelOf(GetCmdLineParams()) == 1; }

bool IsSpanLevel2() { return SpanLevelOf(GetCmdLineParams()) == 2; }

std::string MainWindowClassName() {
  return MainWindowClassNameFor(StubPackage().IsUpdateAgent(), ProgramPath());
}

void DoRunStubWin() {
  WriteLog("DoRunStubWin() --- Start");
  const std::string className = MainWindowClassName();
  const bool agentCopyWasRunning = X_ExeIsRunning();
  WriteLog(std::string("X_ExeIsRunning=") + BoolText(X_ExeIsRunning()));
  WriteLog(std::string("ThisIs_Plain_AutoUpdate_Exe=") + BoolText(ThisIs_Plain_AutoUpdate_Exe()));
  WriteLog(std::string("ThisIs_X_AutoUpdate_Exe=") + BoolText(ThisIs_X_AutoUpdate_Exe()));

  // A second start of the same program leaves the work to the first one.
  if (!TopWindowOfClassExists(className)) {
    const StubRole role = ChooseStubRole(ThisIs_Plain_AutoUpdate_Exe(), ThisIs_X_AutoUpdate_Exe(),
                                         StubPackage().IsSpanCd(), SpanLevelOf(GetCmdLineParams()));
    switch (role) {
      case StubRole::kPlainAgent: CreateAndRun_X_Exe(StubPackage()); break;
      case StubRole::kAgentCopy: RunAgentCopy(); break;
      case StubRole::kSpanRestart: RunSpanRestart(); break;
      case StubRole::kSetupRun: RunSetup(); break;
    }
  }
  // The plain agent hands its switches on even when it found itself running.
  if (ThisIs_Plain_AutoUpdate_Exe()) HandleParamOK(StubPackage(), agentCopyWasRunning);
  WriteLog("DoRunStubWin() --- End");
}
