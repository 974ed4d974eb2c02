// Running a console command with its output captured through pipes, while
// this program's windows stay alive. Nothing here raises or shows.
#pragma once

#include <windows.h>

#include <string>

#include "common/ProcessRules.h"  // kConsoleStartFailed, kConsoleStopped

// Receives each piece a console command printed (on standard output or
// error, converted to the ANSI code page); setting `stop` ends the command
// with exit code kConsoleStopped.
using ConsoleOutputCallback = void (*)(const std::string& text, void* user, bool& stop);
struct ConsoleResult {
  std::string stdoutText;
  std::string stderrText;
  DWORD exitCode = 0;
};
// Runs `program` with `arguments` at idle priority with the given show
// state, captures both outputs through pipes until it has ended, then
// waits `tailWaitMs` processing window messages and reads what came late.
// When it cannot start: exit code kConsoleStartFailed and the reason in
// stderrText (also handed to the callback with CR LF). Every handle is
// closed on return. True when the exit code is 0.
bool RunConsoleCommand(const std::string& program, const std::string& arguments, int showState,
                       ConsoleOutputCallback callback, void* user, DWORD tailWaitMs,
                       ConsoleResult& result);
