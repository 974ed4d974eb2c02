#include "common/ConsoleCommand.h"

#include "common/ChildProcess.h"
#include "common/ProcessRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/VDebug.h"
#include "common/WinHandles.h"

namespace {

std::string ErrorText(DWORD error) {
  const std::string text = SystemErrorText(error);
  return text.empty() ? "Error " + std::to_string(error) : text;
}

struct ConsolePipes {
  UniqueKernelHandle inRead, inWrite;
  UniqueKernelHandle outRead, outWrite;
  UniqueKernelHandle errRead, errWrite;
};

// Reads never wait here anyway (only what the pipe reports waiting is
// read); the time-out is only a second guard, where the system accepts one
// on a pipe.
void ApplyReadTimeout(HANDLE pipe) {
  COMMTIMEOUTS timeouts = {};
  timeouts.ReadTotalTimeoutConstant = 10;
  SetCommTimeouts(pipe, &timeouts);
}

bool MakePipe(UniqueKernelHandle& read, UniqueKernelHandle& write) {
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &attributes, 0)) return false;
  read.reset(readEnd);
  write.reset(writeEnd);
  ApplyReadTimeout(readEnd);
  ApplyReadTimeout(writeEnd);
  return true;
}

bool MakePipes(ConsolePipes& pipes) {
  return MakePipe(pipes.inRead, pipes.inWrite) && MakePipe(pipes.outRead, pipes.outWrite) &&
         MakePipe(pipes.errRead, pipes.errWrite);
}

ChildProcess StartConsoleProcess(const std::string& commandLine, int showState,
                                 const ConsolePipes& pipes) {
  const StandardHandles handles{pipes.inRead.get(), pipes.outWrite.get(), pipes.errWrite.get()};
  ChildOptions options;
  options.showState = showState;
  options.priorityClass = IDLE_PRIORITY_CLASS;
  options.standardHandles = &handles;
  return ChildProcess::Start(commandLine, options);
}

bool ReportStartFailure(DWORD error, const std::string& commandLine, ConsoleOutputCallback callback,
                        void* user, ConsoleResult& result) {
  result.exitCode = kConsoleStartFailed;
  result.stderrText = StartFailureText(ErrorText(error), commandLine);
  bool stop = false;
  if (callback) callback(result.stderrText + "\r\n", user, stop);
  return false;
}

// Follows a started console command until it has ended and its pipes are
// empty.
class ConsoleWatch {
 public:
  ConsoleWatch(const ChildProcess& child, const ConsolePipes& pipes, ConsoleOutputCallback callback,
               void* user, ConsoleResult& result)
      : process_(child.process()),
        out_(pipes.outRead.get()),
        err_(pipes.errRead.get()),
        callback_(callback),
        user_(user),
        result_(result) {}

  void Poll() {
    DWORD interval = FirstPollInterval(callback_ != nullptr);
    bool running = true;
    bool more = false;
    do {
      interval = NextPollInterval(interval, !result_.stdoutText.empty());
      // The wait, not the exit code, tells whether the process runs: a
      // command that ends with code 259 (STILL_ACTIVE) would otherwise be
      // watched for ever.
      running = WaitForSingleObject(process_, interval) == WAIT_TIMEOUT;
      more = ReadOutputs();
      if (stop_ && !stopped_) stopped_ = TerminateProcess(process_, kConsoleStopped) != FALSE;
    } while (running || more);
    // An end that cannot be told is no success.
    DWORD exitCode = 0;
    result_.exitCode = GetExitCodeProcess(process_, &exitCode) ? exitCode : kConsoleStopped;
  }

  void ReadLate(DWORD tailWaitMs) {
    if (tailWaitMs > 0) WaitPumping(0, tailWaitMs);
    ReadOutputs();
  }

 private:
  // True when a pipe held more than one read took.
  bool ReadOutputs() {
    const bool moreOut = Read(out_, result_.stdoutText);
    const bool moreErr = Read(err_, result_.stderrText);
    return moreOut || moreErr;
  }

  // Reads only what waits, so a silent command never blocks the thread.
  bool Read(HANDLE pipe, std::string& text) {
    DWORD waiting = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0) return false;
    std::string piece(waiting < kMaxConsoleRead ? waiting : kMaxConsoleRead, '\0');
    DWORD got = 0;
    if (!ReadFile(pipe, &piece[0], static_cast<DWORD>(piece.size()), &got, nullptr) || got == 0)
      return false;
    piece.resize(got);
    // Console programs write the OEM code page; the rest of the program reads ANSI.
    OemToCharBuffA(piece.data(), &piece[0], got);
    text += piece;
    if (callback_) callback_(piece, user_, stop_);
    return waiting > got;
  }

  HANDLE process_;
  HANDLE out_;
  HANDLE err_;
  ConsoleOutputCallback callback_;
  void* user_;
  ConsoleResult& result_;
  bool stop_ = false;
  bool stopped_ = false;
};

}  // namespace

bool RunConsoleCommand(const std::string& program, const std::string& arguments, int showState,
                       ConsoleOutputCallback callback, void* user, DWORD tailWaitMs,
                       ConsoleResult& result) {
  result = ConsoleResult();
  const std::string commandLine = ConsoleCommandLine(program, arguments);
  ConsolePipes pipes;
  if (!MakePipes(pipes)) {
    return ReportStartFailure(GetLastError(), commandLine, callback, user, result);
  }
  const ChildProcess child = StartConsoleProcess(commandLine, showState, pipes);
  if (!child.started())
    return ReportStartFailure(child.startError(), commandLine, callback, user, result);
  ConsoleWatch watch(child, pipes, callback, user, result);
  watch.Poll();
  watch.ReadLate(tailWaitMs);
  return result.exitCode == 0;
}
