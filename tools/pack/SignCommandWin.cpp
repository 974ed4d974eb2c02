#include <windows.h>

#include <vector>

#include "common/WinHandles.h"
#include "pack/SignCommand.h"

namespace {

// Sets an environment variable for the child and restores the old value
// when the run is over, so the tool's own environment stays as it was.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    char old[1];
    hadValue_ = GetEnvironmentVariableA(name, old, 0) != 0;
    if (hadValue_) {
      DWORD size = GetEnvironmentVariableA(name, old, 0);
      old_.assign(size, '\0');
      DWORD length = GetEnvironmentVariableA(name, &old_[0], size);
      old_.resize(length < size ? length : 0);
    }
    SetEnvironmentVariableA(name, value.c_str());
  }
  ~ScopedVariable() { SetEnvironmentVariableA(name_, hadValue_ ? old_.c_str() : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  bool hadValue_ = false;
  std::string old_;
};

std::string ShellPath() {
  char folder[MAX_PATH];
  UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "cmd.exe";
  return std::string(folder, length) + "\\cmd.exe";
}

std::string ErrorText(const char* what) {
  return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

std::string RunSignCommand(const std::string& command, const std::string& folder,
                           const std::string& inPath, const std::string& outPath,
                           uint32_t timeoutSeconds) {
  ScopedVariable in("in", inPath);
  ScopedVariable out("out", outPath);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  UniqueFile empty(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr));
  // A job holds the command and everything it starts, so a time-out ends them all.
  UniqueKernelHandle job(CreateJobObjectA(nullptr, nullptr));
  if (!job) return ErrorText("cannot be started: no job object");
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = empty.get();
  startup.hStdOutput = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::string shell = ShellPath();
  // /s keeps the command text exactly as written between the outer quotes.
  std::string line = "\"" + shell + "\" /d /s /c \"" + command + "\"";
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(shell.c_str(), buffer.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                      nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    return ErrorText("cannot be started");
  }
  UniqueKernelHandle processHandle(process.hProcess);
  UniqueKernelHandle thread(process.hThread);
  AssignProcessToJobObject(job.get(), processHandle.get());
  ResumeThread(thread.get());
  if (WaitForSingleObject(processHandle.get(), timeoutSeconds * 1000u) != WAIT_OBJECT_0) {
    TerminateJobObject(job.get(), 1);
    TerminateProcess(processHandle.get(), 1);
    WaitForSingleObject(processHandle.get(), 5000);
    return "did not finish within " + std::to_string(timeoutSeconds) +
           " s (SignTimeout) and was ended";
  }
  DWORD code = 1;
  if (!GetExitCodeProcess(processHandle.get(), &code)) return ErrorText("left no exit code");
  return code == 0 ? std::string() : "exited with " + std::to_string(code);
}
