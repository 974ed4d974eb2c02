// inform-host: plays the update agent showing an inform page. It calls the
// product's ShowInform with the texts, address and sizes of its switches,
// with a hidden window of its own as the owner (the agent's main window is
// hidden), and writes what the call returned. The tests look at the dialog
// itself from outside with ui-driver.
//
// Usage: inform-host.exe /result=PATH [options]
//   /result=PATH    JSON written once the call returned (see below)
//   /caption= /button= /link=   texts as given (default: empty)
//   /text=          the page (default: empty); /textfile=PATH reads it from
//                   a file instead (RTF pages, pages too long for a command line)
//   /width=N /height=N   the requested size (default 360 each)
//   /rtl            right-to-left text
//   /font=FACE /fontsize=N /charset=N   default Tahoma, 8, 0
// Values may contain blanks; only a blank followed by "/" ends one, and
// double quotes are dropped (the product's own switch rules).
//
// Result: {"shown" (ShowInform's answer), "elapsed_ms", "quit_reposted" (a
// quit request waited in the queue after the call), "quit_code"}.
// Exit code: 1 when shown, 0 when not, 2 for a bad command line, 3 when the
// result file cannot be written.

#include <windows.h>

#include <cstdio>
#include <string>

#include "common/Files.h"
#include "common/Utils.h"
#include "support/ToolSupport.h"
#include "ui/InformDialog.h"

namespace {

const char kMainClass[] = "VInformHostMain";

HWND CreateHiddenMain(HINSTANCE instance) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.hInstance = instance;
  window_class.lpszClassName = kMainClass;
  if (!RegisterClassA(&window_class)) return nullptr;
  return CreateWindowExA(0, kMainClass, "inform-host", WS_OVERLAPPEDWINDOW, 0, 0, 160, 120,
                         nullptr, nullptr, instance, nullptr);
}

std::string PageText() {
  const std::string path = GetSwitchValue("textfile", "");
  if (path.empty()) return GetSwitchValue("text", "");
  return ReadFilePart(path, 0, false, 0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const std::string result_path = GetSwitchValue("result", "");
  if (result_path.empty()) {
    std::fprintf(stderr,
                 "usage: inform-host.exe /result=PATH [/caption=...] [/button=...] [/text=...]"
                 " [/textfile=PATH] [/link=...] [/width=N] [/height=N] [/rtl] [/font=FACE]"
                 " [/fontsize=N] [/charset=N]\n");
    return 2;
  }
  HWND main = CreateHiddenMain(instance);
  const DWORD start = GetTickCount();
  const bool shown = ShowInform(
      main, GetSwitchValue("caption", ""), GetSwitchValue("button", ""), PageText(),
      GetSwitchValue("link", ""), static_cast<int>(GetSwitchInt("width", 360)),
      static_cast<int>(GetSwitchInt("height", 360)), HasSwitch("/rtl"),
      GetSwitchValue("font", "Tahoma"), static_cast<int>(GetSwitchInt("fontsize", 8)),
      static_cast<int>(GetSwitchInt("charset", 0)));
  const DWORD elapsed = GetTickCount() - start;
  MSG quit = {};
  const bool quit_reposted = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
  const std::string json = std::string("{\"shown\": ") + (shown ? "true" : "false") +
                           ", \"elapsed_ms\": " + std::to_string(elapsed) +
                           ", \"quit_reposted\": " + (quit_reposted ? "true" : "false") +
                           ", \"quit_code\": " + std::to_string(quit_reposted ? quit.wParam : 0) +
                           "}\n";
  if (!tools::WriteFileAtomically(result_path, json)) return 3;
  return shown ? 1 : 0;
}
