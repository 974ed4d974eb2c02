// Starting another program. The one place that calls CreateProcess: the
// process and thread handles it hands back are owned by a ChildProcess and
// closed with it, so no caller closes either by hand.
#pragma once

#include <windows.h>

#include <string>

#include "common/WinHandles.h"

// The standard handles a console program is given instead of a console of
// its own. They must be inheritable: the child inherits every inheritable
// handle of this process.
struct StandardHandles {
  HANDLE input = nullptr;
  HANDLE output = nullptr;
  HANDLE error = nullptr;
};

struct ChildOptions {
  static constexpr int kShowAsProgramDecides = -1;

  int showState = kShowAsProgramDecides;  // SW_... for the program's first window
  DWORD priorityClass = 0;                // 0: the normal class
  std::string program;                    // empty: the command line's first item
  std::string workingFolder;              // empty: this process's current folder
  const StandardHandles* standardHandles = nullptr;  // null: none handed over, nothing inherited
};

class ChildProcess {
 public:
  ChildProcess() = default;

  // Starts the whole command line (a program path with blanks must come
  // quoted). On failure the result is empty and startError() holds the
  // system's error code.
  static ChildProcess Start(const std::string& commandLine, const ChildOptions& options);

  // True when there is a started process to wait on.
  explicit operator bool() const { return static_cast<bool>(process_); }
  // True when the system started the program, even without handing back a
  // process handle, as Wine does for a Unix program (which then cannot be
  // waited on).
  bool started() const { return started_; }
  HANDLE process() const { return process_.get(); }
  DWORD id() const { return id_; }
  DWORD startError() const { return startError_; }

  // True once the process has ended, waiting at most `waitMs` (0: a look).
  bool Ended(DWORD waitMs) const;
  // The exit code of the ended process; `fallback` when it cannot be read.
  DWORD ExitCode(DWORD fallback) const;
  // Pumps window messages until the process has ended or cannot be waited
  // on. No time limit: for a program that runs as long as its user wants,
  // while this program's windows stay alive.
  void WaitPumpingUntilEnded() const;

 private:
  UniqueKernelHandle process_;
  UniqueKernelHandle thread_;
  DWORD id_ = 0;
  DWORD startError_ = 0;
  bool started_ = false;
};
