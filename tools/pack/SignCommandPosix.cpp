#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "pack/SignCommand.h"

extern char** environ;

namespace {

// The tool's environment with "in" and "out" replaced by the two paths.
std::vector<std::string> SignEnvironment(const std::string& inPath, const std::string& outPath) {
  std::vector<std::string> variables;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    std::string variable(*entry);
    if (variable.rfind("in=", 0) == 0 || variable.rfind("out=", 0) == 0) continue;
    variables.push_back(variable);
  }
  variables.push_back("in=" + inPath);
  variables.push_back("out=" + outPath);
  return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(&text[0]);
  pointers.push_back(nullptr);
  return pointers;
}

// In the child: only async-signal-safe calls between fork and exec.
[[noreturn]] void ExecShell(const char* folder, char* const argv[], char* const envp[]) {
  setpgid(0, 0);  // its own group, so a time-out ends everything it started
  if (*folder != '\0' && chdir(folder) != 0) _exit(126);
  int empty = open("/dev/null", O_RDONLY);
  if (empty >= 0) dup2(empty, STDIN_FILENO);
  dup2(STDERR_FILENO, STDOUT_FILENO);
  execve("/bin/sh", argv, envp);
  _exit(127);
}

std::string ExitText(int status) {
  if (WIFEXITED(status)) {
    int code = WEXITSTATUS(status);
    if (code == 0) return std::string();
    if (code == 127) return "exited with 127 (the shell found no such command)";
    if (code == 126) return "exited with 126 (not runnable, or its folder cannot be entered)";
    return "exited with " + std::to_string(code);
  }
  if (WIFSIGNALED(status)) return "was ended by signal " + std::to_string(WTERMSIG(status));
  return "ended abnormally";
}

// Polls in short steps: a child that exits is seen within milliseconds, and
// the deadline bounds the whole wait.
std::string WaitWithDeadline(pid_t child, uint32_t timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  for (;;) {
    int status = 0;
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) return ExitText(status);
    if (done < 0 && errno != EINTR)
      return std::string("cannot be waited for: ") + std::strerror(errno);
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(-child, SIGKILL);
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return "did not finish within " + std::to_string(timeoutSeconds) +
             " s (SignTimeout) and was ended";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

std::string RunSignCommand(const std::string& command, const std::string& folder,
                           const std::string& inPath, const std::string& outPath,
                           uint32_t timeoutSeconds) {
  std::vector<std::string> environment = SignEnvironment(inPath, outPath);
  std::vector<char*> envp = Pointers(environment);
  std::vector<std::string> arguments = {"sh", "-c", command};
  std::vector<char*> argv = Pointers(arguments);
  pid_t child = fork();
  if (child < 0) return std::string("cannot be started: ") + std::strerror(errno);
  if (child == 0) ExecShell(folder.c_str(), argv.data(), envp.data());
  setpgid(child, child);  // also here: the child may not have run yet at a time-out
  return WaitWithDeadline(child, timeoutSeconds);
}
