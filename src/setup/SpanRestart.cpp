#include "setup/SpanRestart.h"

#include <windows.h>

#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/VDebug.h"
#include "setup/EngineCommand.h"
#include "setup/ExtractAndLaunch.h"
#include "setup/TempDrive.h"

void SpanRestart() {
  const std::string program = ProgramPath();
  const std::string copy = WorkingFolder() + "\\Y_" + ExtractFileName(program);
  if (!CopyFileA(program.c_str(), copy.c_str(), FALSE)) return;
  const std::string commandLine = SpanRestartCommandLine(copy, GetCmdLineParams(), program);
  DebugTrace() << " SpanRestart >>" << commandLine << "<<";
  if (HANDLE process = RunProgram(commandLine, SW_HIDE)) CloseHandle(process);
}
