// Helpers the Windows tests share for other processes: the target program
// of the test helpers, environment variables set for a while, waits on a
// condition, and child tests.
//
// A child test is a disabled test (DISABLED_...) of a test program, run in
// a new process of that program (this one or a copy of it) by a test that
// looks at what it did. It takes its inputs from environment variables the
// parent sets with ScopedEnvironment (the child inherits them), writes what
// it found to a report file named the same way, and skips when started
// without them (by hand, with --gtest_also_run_disabled_tests).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/ChildProcess.h"
#include "common/TextRules.h"
#include "common/Utils.h"

// target-program.exe of the test helpers: named by VARNIX_TARGET_PROGRAM,
// else found from the test program's place in the build tree.
inline std::string TargetProgramSource() {
  char fromEnvironment[MAX_PATH] = {};
  if (GetEnvironmentVariableA("VARNIX_TARGET_PROGRAM", fromEnvironment, MAX_PATH))
    return fromEnvironment;
  return ExtractFileDir(ProgramPath()) + "\\..\\..\\tools\\test-helpers\\target-program.exe";
}

inline bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Checks every 20 ms; false when `limitMs` passed first.
inline bool WaitUntil(DWORD limitMs, const std::function<bool()>& condition) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > limitMs) return false;
    Sleep(20);
  }
  return true;
}

inline DWORD ElapsedSince(DWORD start) { return GetTickCount() - start; }

// Sets an environment variable for as long as it lives, then restores it.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    char old[MAX_PATH] = {};
    had_ = GetEnvironmentVariableA(name, old, sizeof old) > 0;
    old_ = old;
    SetEnvironmentVariableA(name, value.c_str());
  }
  ~ScopedEnvironment() { SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

constexpr DWORD kChildNotStarted = 0xFFFFFFFF;
constexpr DWORD kChildDidNotEnd = 0xFFFFFFFE;

// Runs the child test `test` ("Suite.DISABLED_Name") in a new process of
// `program` and returns its exit code (0: passed), or kChildNotStarted, or
// kChildDidNotEnd when it ran longer than a minute (it is then ended).
inline DWORD RunChildTest(const std::string& test, const std::string& program = ProgramPath()) {
  const std::string commandLine =
      "\"" + program + "\" --gtest_also_run_disabled_tests --gtest_filter=" + test;
  const ChildProcess child = ChildProcess::Start(commandLine, ChildOptions());
  if (!child) return kChildNotStarted;
  if (!child.Ended(60000)) {
    TerminateProcess(child.process(), kChildDidNotEnd);
    return kChildDidNotEnd;
  }
  return child.ExitCode(kChildNotStarted);
}
