// window-holder: owns a hidden top-level window of a given class, standing in
// for another running program (a second instance, a running agent copy, an
// engine dialog, a host window that collects notifications).
//
// Usage: window-holder.exe CLASSNAME [/title=TEXT] [/ready=PATH] [/until=PATH]
//                          [/msglog=PATH]
//   CLASSNAME     any class name, e.g. a full Windows path or ".AutoUpdate.X_agent"
//   /title=TEXT   window title (default: empty)
//   /ready=PATH   written (the window handle in decimal) once the window exists
//   /until=PATH   the holder closes its window once this file exists
//   /msglog=PATH  every message from WM_USER up that reaches the window is
//                 appended as a line "message wParam lParam" (decimal), so a
//                 test can see what another process posted or sent to it
// The window also closes on WM_CLOSE. Exit code 0, or 2 for a bad command line
// and 1 when the window could not be made.

#include <windows.h>

#include <cstdio>
#include <string>

#include "common/Files.h"
#include "support/ToolSupport.h"

namespace {

const UINT_PTR kPollTimer = 1;
// Short enough that a test does not wait noticeably for the holder to go.
const UINT kPollMilliseconds = 50;

struct HolderOptions {
  std::string class_name;
  std::string title;
  std::string ready_path;
  std::string until_path;
  std::string message_log_path;
};
HolderOptions g_options;

bool ParseOptions(int argc, char** argv, HolderOptions* options) {
  static const char* const kKnown[] = {"/title", "/ready", "/until", "/msglog", nullptr};
  if (argc < 2 || argv[1][0] == '\0') return false;
  for (int i = 2; i < argc; ++i) {
    if (!tools::IsKnownOption(argv[i], kKnown)) return false;
  }
  options->class_name = argv[1];
  tools::FindOption(argc, argv, 2, "/title", &options->title);
  tools::FindOption(argc, argv, 2, "/ready", &options->ready_path);
  tools::FindOption(argc, argv, 2, "/until", &options->until_path);
  tools::FindOption(argc, argv, 2, "/msglog", &options->message_log_path);
  return true;
}

void LogMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  char line[64];
  const int n = std::snprintf(line, sizeof(line), "%u %lu %ld\r\n", message,
                              static_cast<unsigned long>(wparam), static_cast<long>(lparam));
  AppendToFile(g_options.message_log_path, std::string(line, n), false, 0);
}

LRESULT CALLBACK HolderProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message >= WM_USER && !g_options.message_log_path.empty()) {
    LogMessage(message, wparam, lparam);
  }
  switch (message) {
    case WM_TIMER:
      if (wparam == kPollTimer && !g_options.until_path.empty() &&
          tools::PathExists(g_options.until_path)) {
        DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      KillTimer(window, kPollTimer);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

HWND CreateHolderWindow(HINSTANCE instance) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = HolderProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.lpszClassName = g_options.class_name.c_str();
  if (!RegisterClassA(&window_class)) return nullptr;
  // Never shown: FindWindowA finds hidden top-level windows of other processes too.
  return CreateWindowExA(0, g_options.class_name.c_str(), g_options.title.c_str(),
                         WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr, instance, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (!ParseOptions(__argc, __argv, &g_options)) {
    std::fprintf(stderr,
                 "usage: window-holder.exe CLASSNAME [/title=TEXT] [/ready=PATH] [/until=PATH]"
                 " [/msglog=PATH]\n");
    return 2;
  }
  HWND window = CreateHolderWindow(instance);
  if (window == nullptr) return 1;
  if (!g_options.until_path.empty()) SetTimer(window, kPollTimer, kPollMilliseconds, nullptr);
  if (!g_options.ready_path.empty()) {
    char handle[32];
    std::snprintf(handle, sizeof(handle), "%lu\r\n",
                  static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
    if (!tools::WriteFileAtomically(g_options.ready_path, handle)) return 1;
  }
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
