// box-host: plays a caller of the product's message box. It shows one box the
// way the product does (through one of the four shortcuts, or ShowMsgBox
// itself), optionally with the texts, buttons and font of a package's
// language section, and writes what the call returned. The tests look at the
// box itself from outside with ui-driver.
//
// Usage: box-host.exe /kind=KIND /result=PATH [options]
//   /kind=         error | attention | yesno | okcancel (ShowErrorBox,
//                  ShowAttentionBox, AskYesNo, AskOkCancel) or raw (ShowMsgBox)
//   /result=PATH   JSON written once the call returned (see below)
//   /owner=        0, 1 or 2: the shortcuts' owner codes (default 1); main:
//                  the host's own window as an explicit owner. For raw: 0 is
//                  no owner, anything else the host's window (default)
//   /text= /caption= /buttons=   texts as given (empty or absent: the defaults)
//   /charset=N     the shortcuts' character set (default 0, or the package's)
//   /timeout=MS    attention, yesno and raw (default 0: none)
//   /style=N       raw: the style word, decimal or 0x hexadecimal (default 0)
//   /package=PATH  a package whose language section gives the texts:
//                  /textkey=KEY and /captionkey=KEY name the keys of text and
//                  caption, /buttonskey=KEY that of the buttons (default
//                  BtnText); its Charset is the charset unless /charset is
//                  given, and its FontName, FontSize and Charset go to
//                  SetMsgBoxFont, as the product's main window does
//   /font=FACE /fontsize=N /fontcharset=N   SetMsgBoxFont without a package
//   /nomain        no window of its own, so no window is active
// Values may contain blanks; only a blank followed by "/" ends one, and
// double quotes are dropped (the product's own switch rules).
//
// Before the box the host shows a small window of its own in the top-left
// corner and activates it: the product always has its main window up when it
// asks something, and the shortcuts take the active window as owner.
//
// Result: {"kind", "result" (the code for raw and error/attention: null; true
// or false for yesno/okcancel), "elapsed_ms" (the call, the shortcut's
// 100 ms pump included), "text", "caption", "buttons", "charset",
// "main_window", "main_enabled_after", "main_active_after"}.
// Exit code: the box's result code for raw, 1 or 0 for yesno and okcancel, 0
// for error and attention, 2 for a bad command line, 3 when the result file
// cannot be written.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "package/Language.h"
#include "package/TGFileInfo.h"
#include "support/ToolSupport.h"
#include "ui/VMsgBox.h"

namespace {

const char kMainClass[] = "VBoxHostMain";
const char kNoValue[] = "\x01";  // cannot come from a command line

struct BoxCall {
  std::string kind;
  std::string owner;
  std::string text;
  std::string caption;
  std::string buttons;
  int charset = 0;
  int timeout_ms = 0;
  UINT style = 0;
};

bool Given(const std::string& value) { return value != kNoValue; }

// Texts from the package's chosen language section, as the product takes
// them; a switch given on the command line still wins.
void TakeFromPackage(const std::string& path, BoxCall* call) {
  TGFileInfo info(path);
  const std::string text_key = GetSwitchValue("textkey", "");
  const std::string caption_key = GetSwitchValue("captionkey", "");
  const std::string buttons_key = GetSwitchValue("buttonskey", "BtnText");
  if (!text_key.empty()) call->text = info.LangText(text_key, "(no text for " + text_key + ")");
  if (!caption_key.empty()) call->caption = info.LangText(caption_key, "");
  call->buttons = info.LangText(buttons_key, "");
  call->charset = info.Charset();
  SetMsgBoxFont(info.FontName(), info.FontSize(), info.Charset());
}

bool ReadCall(BoxCall* call) {
  call->kind = GetSwitchValue("kind", "");
  if (call->kind != "error" && call->kind != "attention" && call->kind != "yesno" &&
      call->kind != "okcancel" && call->kind != "raw") {
    return false;
  }
  call->owner = GetSwitchValue("owner", "1");
  call->text = GetSwitchValue("text", "");
  call->caption = GetSwitchValue("caption", "");
  call->buttons = GetSwitchValue("buttons", "");
  call->timeout_ms = static_cast<int>(GetSwitchInt("timeout", 0));
  call->style = static_cast<UINT>(std::strtoul(GetSwitchValue("style", "0").c_str(), nullptr, 0));
  const std::string package = GetSwitchValue("package", "");
  if (!package.empty()) TakeFromPackage(package, call);
  const std::string font = GetSwitchValue("font", kNoValue);
  if (Given(font)) {
    SetMsgBoxFont(font, static_cast<int>(GetSwitchInt("fontsize", 0)),
                  static_cast<int>(GetSwitchInt("fontcharset", 0)));
  }
  call->charset = static_cast<int>(GetSwitchInt("charset", call->charset));
  return true;
}

HWND ShowMainWindow(HINSTANCE instance) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kMainClass;
  if (!RegisterClassA(&window_class)) return nullptr;
  // Top left and small, so it stays clear of the box centred on the screen.
  HWND window = CreateWindowExA(0, kMainClass, "box-host", WS_OVERLAPPEDWINDOW, 0, 0, 160, 120,
                                nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return nullptr;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  SetForegroundWindow(window);
  SetActiveWindow(window);
  return window;
}

BoxOwner ShortcutOwner(const std::string& owner, HWND main) {
  if (owner == "main") return OwnerWindow(main);
  return static_cast<BoxOwner>(std::strtoul(owner.c_str(), nullptr, 10));
}

// The call itself; returns the result as JSON.
std::string Show(const BoxCall& call, HWND main) {
  const BoxOwner owner = ShortcutOwner(call.owner, main);
  if (call.kind == "error") {
    ShowErrorBox(owner, call.text, call.caption, call.charset, call.buttons);
    return "null";
  }
  if (call.kind == "attention") {
    ShowAttentionBox(owner, call.text, call.caption, call.charset, call.buttons, call.timeout_ms);
    return "null";
  }
  if (call.kind == "yesno") {
    return AskYesNo(owner, call.text, call.caption, call.charset, call.buttons, call.timeout_ms)
               ? "true"
               : "false";
  }
  if (call.kind == "okcancel") {
    return AskOkCancel(owner, call.text, call.caption, call.charset, call.buttons) ? "true"
                                                                                   : "false";
  }
  const std::string buttons = call.buttons.empty() ? LangDefault::BtnText : call.buttons;
  HWND raw_owner = call.owner == "0" ? nullptr : main;
  return std::to_string(
      ShowMsgBox(raw_owner, call.text, call.caption, buttons, call.style, call.timeout_ms));
}

int ExitCodeOf(const std::string& result) {
  if (result == "true") return 1;
  if (result == "false" || result == "null") return 0;
  return std::atoi(result.c_str());
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  BoxCall call;
  const std::string result_path = GetSwitchValue("result", "");
  if (result_path.empty() || !ReadCall(&call)) {
    std::fprintf(stderr,
                 "usage: box-host.exe /kind=error|attention|yesno|okcancel|raw"
                 " /result=PATH [/owner=0|1|2|main] [/text=...] [/caption=...]"
                 " [/buttons=...] [/charset=N] [/timeout=MS] [/style=N]"
                 " [/package=PATH /textkey=KEY /captionkey=KEY /buttonskey=KEY]\n");
    return 2;
  }
  HWND main = HasSwitch("/nomain") ? nullptr : ShowMainWindow(instance);
  const DWORD start = GetTickCount();
  const std::string result = Show(call, main);
  const DWORD elapsed = GetTickCount() - start;
  const std::string json =
      "{\"kind\": " + tools::JsonString(call.kind) + ", \"result\": " + result +
      ", \"elapsed_ms\": " + std::to_string(elapsed) + ", \"text\": " + tools::JsonString(call.text) +
      ", \"caption\": " + tools::JsonString(call.caption) + ", \"buttons\": " + tools::JsonString(call.buttons) +
      ", \"charset\": " + std::to_string(call.charset) +
      ", \"main_window\": " + std::to_string(reinterpret_cast<ULONG_PTR>(main)) +
      ", \"main_enabled_after\": " + (main != nullptr && IsWindowEnabled(main) ? "true" : "false") +
      ", \"main_active_after\": " +
      (main != nullptr && GetActiveWindow() == main ? "true" : "false") + "}\n";
  if (!tools::WriteFileAtomically(result_path, json)) return 3;
  return ExitCodeOf(result);
}
