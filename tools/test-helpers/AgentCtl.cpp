// agent-ctl: finds the resident copy of an update agent by its window and
// talks to it the way another process would: asks it values, posts it control
// messages, and waits until it has ended. Tests use it, and so can a person
// who wants to see what a running agent is doing.
//
// Usage: agent-ctl.exe AGENT | /class=CLASS  [options, done in the order given]
//   AGENT          the agent's program name or path, e.g. agent.exe or
//                  C:\x\agent.exe: its resident copy's window has the class
//                  ".AutoUpdate.X_" + the file name without its last extension
//   /class=CLASS   any window class instead (a stand-in window, a plain agent)
//   /find=SECONDS  wait up to this long for the window to appear (default 0)
//   /timeout=MS    limit of each /ask (default 5000)
//   /ask=CODE[:VALUE]  send the agent message (WM_USER+101) with wParam CODE,
//                  lParam VALUE (default 0); prints "CODE=ANSWER"
//   /post=CODE:VALUE   post the agent message instead (no answer)
//   /shutdown=N    post the shut-down message (WM_USER+99) with wParam N
//   /host=HWND:MSG post the host registration (WM_USER+100): wParam HWND,
//                  lParam MSG, both decimal as the agent's "/WM_MSG=" takes them
//   /close         post WM_CLOSE
//   /pid           print "pid=N" of the window's process
//   /count         print "windows=N": top-level windows of the class right now
//   /gone=SECONDS  wait up to this long until the window's process has ended;
//                  prints "gone"
// Numbers are decimal and must fit 32 bits: CODE, HWND and MSG unsigned,
// VALUE and N signed. Exit code 0 when everything was done, 2 for a bad
// command line, 3 when no window of the class exists (or it went before a
// message reached it), 4 when an /ask got no answer in time, 5 when the
// process still ran at the end of /gone. Stops at the first failure.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/WinHandles.h"

namespace {

const UINT kShutDownMessage = WM_USER + 99;
const UINT kLocalMessage = WM_USER + 100;
const UINT kAgentMessage = WM_USER + 101;

const DWORD kPollMs = 50;
const DWORD kDefaultSendTimeoutMs = 5000;
// Every wait is bounded; an hour is far beyond any sensible use.
const unsigned long kMaxWaitSeconds = 3600;
const unsigned long kMaxSendTimeoutMs = 600000;
// RegisterClass refuses longer class names, so no window can have one.
const size_t kMaxClassLength = 255;

enum ExitCode { kDone = 0, kBadCommandLine = 2, kNoWindow = 3, kSendTimedOut = 4, kStillRunning = 5 };

enum class Step { kAsk, kPost, kShutDown, kHost, kClose, kPid, kCount, kGone };

struct Action {
  Step step;
  unsigned long first = 0;  // code, wParam, window handle or seconds
  long second = 0;          // value or message number
};

struct Options {
  std::string class_name;
  unsigned long find_seconds = 0;
  unsigned long timeout_ms = kDefaultSendTimeoutMs;
  std::vector<Action> actions;
};

// Strict decimal: an optional "-" only where allowed, digits only, and the
// result within [low, high]. strtoll alone would accept blanks, "+" and tails.
bool ParseNumber(const std::string& text, long long low, long long high, long long* value) {
  size_t start = (!text.empty() && text[0] == '-') ? 1 : 0;
  if (start == text.size() || text.size() - start > 10) return false;
  for (size_t i = start; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  const long long parsed = std::strtoll(text.c_str(), nullptr, 10);
  if (parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

bool ParseUnsigned32(const std::string& text, unsigned long* value) {
  long long parsed = 0;
  if (!ParseNumber(text, 0, 0xFFFFFFFFLL, &parsed)) return false;
  *value = static_cast<unsigned long>(parsed);
  return true;
}

bool ParseSigned32(const std::string& text, long* value) {
  long long parsed = 0;
  if (!ParseNumber(text, -2147483647LL - 1, 2147483647LL, &parsed)) return false;
  *value = static_cast<long>(parsed);
  return true;
}

bool ParseBounded(const std::string& text, unsigned long low, unsigned long high,
                  unsigned long* value) {
  long long parsed = 0;
  if (!ParseNumber(text, low, high, &parsed)) return false;
  *value = static_cast<unsigned long>(parsed);
  return true;
}

// "A:B" with an unsigned A and a signed B; B may be left out when optional.
bool ParsePair(const std::string& text, bool second_optional, Action* action) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) {
    return second_optional && ParseUnsigned32(text, &action->first);
  }
  return ParseUnsigned32(text.substr(0, colon), &action->first) &&
         ParseSigned32(text.substr(colon + 1), &action->second);
}

// For /host the message number is unsigned too; it travels as the lParam bits.
bool ParseHost(const std::string& text, Action* action) {
  const size_t colon = text.find(':');
  unsigned long message = 0;
  if (colon == std::string::npos || !ParseUnsigned32(text.substr(0, colon), &action->first) ||
      !ParseUnsigned32(text.substr(colon + 1), &message)) {
    return false;
  }
  action->second = static_cast<long>(message);
  return true;
}

// The value of "NAME=value" (name compared without regard to case), or false.
bool OptionValue(const char* arg, const char* name, std::string* value) {
  const size_t length = std::strlen(name);
  if (_strnicmp(arg, name, length) != 0 || arg[length] != '=') return false;
  value->assign(arg + length + 1);
  return true;
}

// ".AutoUpdate.X_" + file name without its last extension; empty when the
// name has no file name part or could not be a class name.
std::string ResidentClassOf(const std::string& agent) {
  const size_t slash = agent.find_last_of("\\/:");
  std::string name = slash == std::string::npos ? agent : agent.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  if (name.empty()) return std::string();
  const std::string class_name = ".AutoUpdate.X_" + name;
  return class_name.size() <= kMaxClassLength ? class_name : std::string();
}

bool ParseStep(const char* arg, Options* options) {
  std::string value;
  Action action{Step::kAsk};
  if (OptionValue(arg, "/ask", &value)) {
    if (!ParsePair(value, true, &action)) return false;
  } else if (OptionValue(arg, "/post", &value)) {
    action.step = Step::kPost;
    if (value.find(':') == std::string::npos || !ParsePair(value, false, &action)) return false;
  } else if (OptionValue(arg, "/shutdown", &value)) {
    action.step = Step::kShutDown;
    if (!ParseSigned32(value, &action.second)) return false;
  } else if (OptionValue(arg, "/host", &value)) {
    action.step = Step::kHost;
    if (!ParseHost(value, &action)) return false;
  } else if (OptionValue(arg, "/gone", &value)) {
    action.step = Step::kGone;
    if (!ParseBounded(value, 0, kMaxWaitSeconds, &action.first)) return false;
  } else if (lstrcmpiA(arg, "/close") == 0) {
    action.step = Step::kClose;
  } else if (lstrcmpiA(arg, "/pid") == 0) {
    action.step = Step::kPid;
  } else if (lstrcmpiA(arg, "/count") == 0) {
    action.step = Step::kCount;
  } else {
    return false;
  }
  options->actions.push_back(action);
  return true;
}

bool ParseArgument(const char* arg, Options* options, std::string* agent) {
  std::string value;
  if (OptionValue(arg, "/class", &value)) {
    if (value.empty() || value.size() > kMaxClassLength || !options->class_name.empty()) return false;
    options->class_name = value;
    return true;
  }
  if (OptionValue(arg, "/find", &value)) {
    return ParseBounded(value, 0, kMaxWaitSeconds, &options->find_seconds);
  }
  if (OptionValue(arg, "/timeout", &value)) {
    return ParseBounded(value, 1, kMaxSendTimeoutMs, &options->timeout_ms);
  }
  if (arg[0] == '/' && std::strchr(arg, '\\') == nullptr && std::strchr(arg + 1, '/') == nullptr) {
    return ParseStep(arg, options);
  }
  // Not an option: the agent's name (a Unix-style path also starts with "/").
  if (!agent->empty() || arg[0] == '\0') return false;
  agent->assign(arg);
  return true;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  std::string agent;
  for (int i = 1; i < argc; ++i) {
    if (!ParseArgument(argv[i], options, &agent)) {
      std::fprintf(stderr, "agent-ctl: bad argument: %s\n", argv[i]);
      return false;
    }
  }
  if (agent.empty() == options->class_name.empty()) return false;  // exactly one of the two
  if (!agent.empty()) options->class_name = ResidentClassOf(agent);
  return !options->class_name.empty() && !options->actions.empty();
}

bool NeedsWindow(const Options& options) {
  for (const Action& action : options.actions) {
    if (action.step != Step::kCount && action.step != Step::kGone) return true;
  }
  return false;
}

HWND FindAgentWindow(const std::string& class_name, unsigned long seconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    HWND window = FindWindowA(class_name.c_str(), nullptr);
    if (window != nullptr || GetTickCount() - start >= seconds * 1000) return window;
    Sleep(kPollMs);
  }
}

struct ClassCount {
  const char* class_name;
  int count;
};

BOOL CALLBACK CountIfSameClass(HWND window, LPARAM data) {
  ClassCount* counting = reinterpret_cast<ClassCount*>(data);
  char name[kMaxClassLength + 2] = {};
  if (GetClassNameA(window, name, sizeof(name)) > 0 && lstrcmpiA(name, counting->class_name) == 0) {
    ++counting->count;
  }
  return TRUE;
}

int CountWindows(const std::string& class_name) {
  ClassCount counting{class_name.c_str(), 0};
  EnumWindows(CountIfSameClass, reinterpret_cast<LPARAM>(&counting));
  return counting.count;
}

int Ask(HWND window, const Action& action, DWORD timeout_ms) {
  DWORD_PTR answer = 0;
  SetLastError(ERROR_SUCCESS);
  if (!SendMessageTimeoutA(window, kAgentMessage, action.first, action.second, SMTO_ABORTIFHUNG,
                           timeout_ms, &answer)) {
    if (!IsWindow(window)) {
      std::fprintf(stderr, "agent-ctl: the window went before it answered\n");
      return kNoWindow;
    }
    std::fprintf(stderr, "agent-ctl: no answer to %lu within %lu ms\n", action.first,
                 static_cast<unsigned long>(timeout_ms));
    return kSendTimedOut;
  }
  std::printf("%lu=%ld\n", action.first, static_cast<long>(static_cast<LONG>(answer)));
  return kDone;
}

int Post(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (PostMessageA(window, message, wparam, lparam)) return kDone;
  std::fprintf(stderr, "agent-ctl: could not post message %u (error %lu)\n", message,
               static_cast<unsigned long>(GetLastError()));
  return kNoWindow;
}

bool WaitByPolling(HWND window, DWORD limit_ms) {
  const DWORD start = GetTickCount();
  while (IsWindow(window)) {
    if (GetTickCount() - start >= limit_ms) return false;
    Sleep(kPollMs);
  }
  return true;
}

// Waits on the process itself: its window can go some time before it ends
// (an agent still deleting its files). Without access to the process, the
// window's disappearance is the best sign there is.
int WaitUntilGone(HWND window, unsigned long seconds) {
  const DWORD limit_ms = seconds * 1000;
  bool gone = true;
  if (window != nullptr && IsWindow(window)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    UniqueKernelHandle process(pid != 0 ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr);
    gone = process ? WaitForSingleObject(process.get(), limit_ms) == WAIT_OBJECT_0
                   : WaitByPolling(window, limit_ms);
  }
  if (!gone) {
    std::fprintf(stderr, "agent-ctl: still running after %lu s\n", seconds);
    return kStillRunning;
  }
  std::printf("gone\n");
  return kDone;
}

int PrintPid(HWND window) {
  DWORD pid = 0;
  if (GetWindowThreadProcessId(window, &pid) == 0 || pid == 0) {
    std::fprintf(stderr, "agent-ctl: the window went before its process could be told\n");
    return kNoWindow;
  }
  std::printf("pid=%lu\n", static_cast<unsigned long>(pid));
  return kDone;
}

int DoAction(HWND window, const Action& action, const Options& options) {
  switch (action.step) {
    case Step::kAsk:
      return Ask(window, action, options.timeout_ms);
    case Step::kPost:
      return Post(window, kAgentMessage, action.first, action.second);
    case Step::kShutDown:
      return Post(window, kShutDownMessage, static_cast<WPARAM>(action.second), 0);
    case Step::kHost:
      return Post(window, kLocalMessage, action.first, action.second);
    case Step::kClose:
      return Post(window, WM_CLOSE, 0, 0);
    case Step::kPid:
      return PrintPid(window);
    case Step::kCount:
      std::printf("windows=%d\n", CountWindows(options.class_name));
      return kDone;
    case Step::kGone:
      return WaitUntilGone(window, action.first);
  }
  return kBadCommandLine;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: agent-ctl.exe AGENT|/class=CLASS [/find=S] [/timeout=MS] [/ask=CODE[:VALUE]]"
                 " [/post=CODE:VALUE] [/shutdown=N] [/host=HWND:MSG] [/close] [/pid] [/count]"
                 " [/gone=S]\n");
    return kBadCommandLine;
  }
  // /count and /gone answer without a window too (none, or already gone).
  HWND window = FindAgentWindow(options.class_name, options.find_seconds);
  if (window == nullptr && NeedsWindow(options)) {
    std::fprintf(stderr, "agent-ctl: no window of class %s\n", options.class_name.c_str());
    return kNoWindow;
  }
  for (const Action& action : options.actions) {
    const int result = DoAction(window, action, options);
    std::fflush(stdout);
    if (result != kDone) return result;
  }
  return kDone;
}
