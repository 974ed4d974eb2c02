#include "setup/SpanRestart.h"

#include <windows.h>

#include "common/ChildProcess.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/VDebug.h"
#include "setup/EngineCommand.h"
#include "setup/TempDrive.h"

bool SpanRestart() {
  const std::string program = ProgramPath();
  WorkFolder folder = ClaimWorkingFolder();
  const std::string copy = folder.path() + "\\Y_" + ExtractFileName(program);
  if (folder.path().empty() || !CopyFileA(program.c_str(), copy.c_str(), FALSE)) {
    DebugTrace() << " SpanRestart: cannot copy the program to " << copy << " (error "
                 << static_cast<unsigned long>(GetLastError()) << ")";
    return false;
  }
  const std::string commandLine = SpanRestartCommandLine(copy, GetCmdLineParams(), program);
  DebugTrace() << " SpanRestart >>" << commandLine << "<<";
  ChildOptions hidden;
  hidden.showState = SW_HIDE;
  // Not waited for: the copy goes on after this program has ended.
  const ChildProcess copyRun = ChildProcess::Start(commandLine, hidden);
  if (!copyRun) {
    DebugTrace() << " SpanRestart: cannot start the copy (error " << static_cast<unsigned long>(copyRun.startError())
                 << ")";
    return false;
  }
  folder.Keep();  // the copy runs from it
  return true;
}
