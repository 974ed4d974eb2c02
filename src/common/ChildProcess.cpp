#include "common/ChildProcess.h"

#include "common/UtilsUi.h"

namespace {

STARTUPINFOA StartupInfoFor(const ChildOptions& options) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (options.showState != ChildOptions::kShowAsProgramDecides) {
    startup.dwFlags |= STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(options.showState);
  }
  if (options.standardHandles) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = options.standardHandles->input;
    startup.hStdOutput = options.standardHandles->output;
    startup.hStdError = options.standardHandles->error;
  }
  return startup;
}

const char* TextOrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

}  // namespace

ChildProcess ChildProcess::Start(const std::string& commandLine, const ChildOptions& options) {
  ChildProcess child;
  STARTUPINFOA startup = StartupInfoFor(options);
  PROCESS_INFORMATION started = {};
  std::string writable = commandLine;  // CreateProcessA may write into it
  const BOOL inherit = options.standardHandles ? TRUE : FALSE;
  if (!CreateProcessA(TextOrNull(options.program), &writable[0], nullptr, nullptr, inherit,
                      options.priorityClass, nullptr, TextOrNull(options.workingFolder), &startup,
                      &started)) {
    child.startError_ = GetLastError();
    return child;
  }
  child.started_ = true;
  child.process_.reset(started.hProcess);
  child.thread_.reset(started.hThread);
  child.id_ = started.dwProcessId;
  return child;
}

bool ChildProcess::Ended(DWORD waitMs) const {
  return process_ && WaitForSingleObject(process_.get(), waitMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode(DWORD fallback) const {
  DWORD code = 0;
  return process_ && GetExitCodeProcess(process_.get(), &code) ? code : fallback;
}

void ChildProcess::WaitPumpingUntilEnded() const {
  // The handle, not the exit code, says whether the process still runs: a
  // program may well end with 259, the code that reads as "still active".
  do {
    WaitPumping(0, 500);
  } while (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT);
}
