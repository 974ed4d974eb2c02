// target-program: stands in for a product's running program that the
// process tools look for, rank the windows of, post to, close or end, and
// for a console command whose output and priority they capture.
//
// Usage: target-program.exe [/hidden=N] [/owned=N] [/visible=TITLE] [/ready=PATH]
//                           [/msglog=PATH] [/ignoreclose=1] [/until=PATH] [/life=MS]
//        target-program.exe /write=HEX
//        target-program.exe /report=1
//   /hidden=N       N hidden, untitled top-level windows without owner
//   /owned=N        N hidden, untitled windows owned by the first hidden window
//   /visible=TITLE  one visible top-level window with that title
//   /ready=PATH     written once every window exists: a line "KIND INDEX HANDLE"
//                   per window (KIND hidden, owned or visible; decimal handle)
//   /msglog=PATH    WM_CLOSE and every message from WM_USER up that reaches a
//                   window is appended as a line "message wParam lParam"
//   /ignoreclose=1  WM_CLOSE is logged but does not end the program
//   /until=PATH     the program ends once this file exists
//   /life=MS        the program ends after this many milliseconds (default
//                   60000), so a failed test leaves nothing running for long
//   /write=HEX      writes these bytes to standard output and ends
//   /report=1       writes "PROCESSID THREADID PRIORITYCLASS" to standard output
//                   and ends
// All windows have the class "VarnixTarget". Exit code: the wParam of a
// WM_QUIT that ended the loop, 0 after WM_CLOSE, /until or /life, 2 for a
// bad command line, 1 when a window could not be made.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/ToolSupport.h"

namespace {

const char kClassName[] = "VarnixTarget";
const UINT kPollMilliseconds = 50;

struct TargetOptions {
  int hidden = 0;
  int owned = 0;
  bool hasVisible = false;
  std::string visibleTitle;
  std::string readyPath;
  std::string messageLogPath;
  bool ignoreClose = false;
  std::string untilPath;
  DWORD lifeMs = 60000;
  bool hasWrite = false;
  std::string writeHex;
  bool report = false;
};
TargetOptions g_options;
DWORD g_start = 0;

int OptionInt(int argc, char** argv, const char* name, int fallback) {
  std::string value;
  return tools::FindOption(argc, argv, 1, name, &value) ? std::atoi(value.c_str()) : fallback;
}

bool ParseOptions(int argc, char** argv, TargetOptions* options) {
  static const char* const kKnown[] = {"/hidden", "/owned",       "/visible", "/ready",
                                       "/msglog", "/ignoreclose", "/until",   "/life",
                                       "/write",  "/report",      nullptr};
  for (int i = 1; i < argc; ++i) {
    if (!tools::IsKnownOption(argv[i], kKnown)) return false;
  }
  options->hidden = OptionInt(argc, argv, "/hidden", 0);
  options->owned = OptionInt(argc, argv, "/owned", 0);
  options->hasVisible = tools::FindOption(argc, argv, 1, "/visible", &options->visibleTitle);
  tools::FindOption(argc, argv, 1, "/ready", &options->readyPath);
  tools::FindOption(argc, argv, 1, "/msglog", &options->messageLogPath);
  options->ignoreClose = OptionInt(argc, argv, "/ignoreclose", 0) != 0;
  tools::FindOption(argc, argv, 1, "/until", &options->untilPath);
  options->lifeMs = static_cast<DWORD>(OptionInt(argc, argv, "/life", 60000));
  options->hasWrite = tools::FindOption(argc, argv, 1, "/write", &options->writeHex);
  options->report = OptionInt(argc, argv, "/report", 0) != 0;
  return options->owned == 0 || options->hidden > 0;
}

bool WriteStdout(const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
                   &written, nullptr) &&
         written == bytes.size();
}

std::string BytesFromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
  }
  return bytes;
}

std::string Report() {
  char text[64];
  std::snprintf(text, sizeof text, "%lu %lu %lu", GetCurrentProcessId(), GetCurrentThreadId(),
                GetPriorityClass(GetCurrentProcess()));
  return text;
}

void LogMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (g_options.messageLogPath.empty()) return;
  char line[64];
  const int n = std::snprintf(line, sizeof line, "%u %lu %ld\r\n", message,
                              static_cast<unsigned long>(wparam), static_cast<long>(lparam));
  HANDLE file = CreateFileA(g_options.messageLogPath.c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
  CloseHandle(file);
}

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message >= WM_USER || message == WM_CLOSE) LogMessage(message, wparam, lparam);
  if (message == WM_CLOSE) {
    if (!g_options.ignoreClose) PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

void CALLBACK PollTimer(HWND, UINT, UINT_PTR, DWORD) {
  const bool untilNow = !g_options.untilPath.empty() && tools::PathExists(g_options.untilPath);
  if (untilNow || GetTickCount() - g_start >= g_options.lifeMs) PostQuitMessage(0);
}

HWND MakeWindow(HINSTANCE instance, const std::string& title, HWND owner, bool visible) {
  const DWORD style = WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0);
  return CreateWindowExA(0, kClassName, title.c_str(), style, 10, 10, 240, 120, owner, nullptr,
                         instance, nullptr);
}

// Creates the windows and returns the ready file's text; empty on failure.
std::string MakeWindows(HINSTANCE instance) {
  std::string ready;
  std::vector<HWND> hidden;
  auto record = [&ready](const char* kind, int index, HWND window) {
    ready += std::string(kind) + " " + std::to_string(index) + " " +
             std::to_string(reinterpret_cast<ULONG_PTR>(window)) + "\r\n";
  };
  for (int i = 0; i < g_options.hidden; ++i) {
    hidden.push_back(MakeWindow(instance, "", nullptr, false));
    if (!hidden.back()) return "";
    record("hidden", i, hidden.back());
  }
  for (int i = 0; i < g_options.owned; ++i) {
    const HWND window = MakeWindow(instance, "", hidden.front(), false);
    if (!window) return "";
    record("owned", i, window);
  }
  if (g_options.hasVisible) {
    const HWND window = MakeWindow(instance, g_options.visibleTitle, nullptr, true);
    if (!window) return "";
    record("visible", 0, window);
  }
  return ready.empty() ? "none\r\n" : ready;
}

int RunWindows(HINSTANCE instance) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = TargetProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kClassName;
  if (!RegisterClassA(&windowClass)) return 1;
  const std::string ready = MakeWindows(instance);
  if (ready.empty()) return 1;
  SetTimer(nullptr, 0, kPollMilliseconds, PollTimer);
  if (!g_options.readyPath.empty() && !tools::WriteFileAtomically(g_options.readyPath, ready))
    return 1;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_start = GetTickCount();
  if (!ParseOptions(__argc, __argv, &g_options)) {
    std::fprintf(
        stderr,
        "usage: target-program.exe [/hidden=N] [/owned=N] [/visible=TITLE] [/ready=PATH]"
        " [/msglog=PATH] [/ignoreclose=1] [/until=PATH] [/life=MS] | /write=HEX | /report=1\n");
    return 2;
  }
  if (g_options.hasWrite) return WriteStdout(BytesFromHex(g_options.writeHex)) ? 0 : 1;
  if (g_options.report) return WriteStdout(Report()) ? 0 : 1;
  return RunWindows(instance);
}
