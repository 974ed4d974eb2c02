// launcher: starts one program with an exact command line and reports its
// full 32-bit exit code. A Linux caller of "wine x.exe" sees only the low byte
// of the exit code; this console program prints all of it.
//
// Environment:
//   VARNIX_CMDLINE  the child's whole command line, passed to CreateProcessA as is
//   VARNIX_CWD      optional working folder of the child
//   VARNIX_SHOW     optional show state (decimal SW_ value) handed to the child
//                   through STARTUPINFO, which it sees as nCmdShow
//   VARNIX_TIMEOUT_MS  optional limit; a child still running then is terminated
// These variables are removed before the child starts, so it sees the
// environment a user would give it.
// Output: "EXITCODE=<decimal>" and exit with that code;
// "LAUNCH_FAILED=<GetLastError>" and exit code 255 when the child cannot start;
// "TIMEOUT=<milliseconds>" and exit code 254 when it had to be terminated.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/ChildProcess.h"
#include "support/ToolSupport.h"

namespace {

// Returns false when the variable is not set.
bool ReadEnvironment(const char* name, std::string* value) {
  const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size == 0) return false;
  std::vector<char> buffer(size);
  const DWORD length = GetEnvironmentVariableA(name, buffer.data(), size);
  if (length == 0 || length >= size) return false;
  value->assign(buffer.data(), length);
  return true;
}

ChildOptions MakeOptions(const std::string& folder, const std::string& show) {
  ChildOptions options;
  options.workingFolder = folder;
  if (!show.empty()) options.showState = static_cast<int>(std::strtoul(show.c_str(), nullptr, 10));
  return options;
}

}  // namespace

int main() {
  std::string command_line;
  std::string folder;
  std::string show;
  if (!ReadEnvironment("VARNIX_CMDLINE", &command_line)) {
    std::fprintf(stderr, "launcher: VARNIX_CMDLINE is not set\n");
    std::printf("LAUNCH_FAILED=%lu\n", static_cast<unsigned long>(ERROR_BAD_ARGUMENTS));
    return 255;
  }
  ReadEnvironment("VARNIX_CWD", &folder);
  ReadEnvironment("VARNIX_SHOW", &show);
  std::string limit;
  const DWORD timeout = ReadEnvironment("VARNIX_TIMEOUT_MS", &limit)
                            ? static_cast<DWORD>(std::strtoul(limit.c_str(), nullptr, 10))
                            : INFINITE;
  for (const char* name : {"VARNIX_CMDLINE", "VARNIX_CWD", "VARNIX_SHOW", "VARNIX_TIMEOUT_MS"}) {
    SetEnvironmentVariableA(name, nullptr);
  }

  const ChildProcess child = ChildProcess::Start(command_line, MakeOptions(folder, show));
  if (!child.started()) {
    std::printf("LAUNCH_FAILED=%lu\n", static_cast<unsigned long>(child.startError()));
    return 255;
  }
  if (WaitForSingleObject(child.process(), timeout) == WAIT_TIMEOUT) {
    // Leaving a hung child behind would disturb the tests that follow.
    TerminateProcess(child.process(), WAIT_TIMEOUT);
    child.Ended(5000);
    std::printf("TIMEOUT=%lu\n", static_cast<unsigned long>(timeout));
    std::fflush(stdout);
    return 254;
  }
  const DWORD exit_code = child.ExitCode(0);
  std::printf("EXITCODE=%lu\n", static_cast<unsigned long>(exit_code));
  std::fflush(stdout);
  // ExitProcess keeps all 32 bits; a return from main would too, but say so plainly.
  ExitProcess(exit_code);
}
