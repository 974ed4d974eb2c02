#include "common/UtilsUi.h"

#include <shellapi.h>

#include "common/BoxRequest.h"
#include "common/VDebug.h"
#include "ui/VMsgBox.h"

namespace {

UINT autoPlayMessage = 0;

// One pass over the thread's queue. A thread quit request ends the pass and
// stays queued for the loop that owns the program's life.
void PumpWaitingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT && msg.hwnd == nullptr) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// The common core of the four shortcuts.
int ShowShortcut(BoxOwner owner, const std::string& text, const std::string& caption, int charset,
                 const std::string& buttons, UINT style, int timeoutMs, DefaultCaption fallback) {
  const BoxRequest request = ComposeBoxRequest(owner == kOwnerHeading, owner == kOwnerNoClose, text,
                                               caption, charset, buttons, style, fallback);
  HWND window = owner > kOwnerNoClose ? reinterpret_cast<HWND>(owner) : GetActiveWindow();
  const int result =
      ShowMsgBox(window, request.text, request.caption, request.buttons, request.style, timeoutMs);
  WaitPumping(0, 100);
  return result;
}

}  // namespace

int64_t MillisecondClock() {
  static const double factor = [] {
    LARGE_INTEGER frequency;
    return QueryPerformanceFrequency(&frequency) && frequency.QuadPart ? 1000.0 / frequency.QuadPart
                                                                       : 0.0;
  }();
  LARGE_INTEGER counter;
  if (factor == 0.0 || !QueryPerformanceCounter(&counter)) return GetTickCount();
  return static_cast<int64_t>(counter.QuadPart * factor);
}

void YieldX(DWORD milliseconds) {
  PumpWaitingMessages();
  Sleep(milliseconds);
}

void PumpWhenDue() {
  static DWORD lastPump = 0;
  const DWORD now = GetTickCount();
  if (now - lastPump < 30) return;
  lastPump = now;
  YieldX(0);
}

DWORD WaitPumpingStep(DWORD step, DWORD milliseconds) {
  if (step != 0) return step;
  const DWORD tenth = milliseconds / 10;
  return tenth < 1 ? 1 : (tenth > 25 ? 25 : tenth);
}

void WaitPumping(DWORD step, DWORD milliseconds) {
  step = WaitPumpingStep(step, milliseconds);
  const int64_t deadline = MillisecondClock() + milliseconds;
  do {
    YieldX(step);
  } while (MillisecondClock() < deadline);
}

void ShowErrorBox(BoxOwner owner, const std::string& text, const std::string& caption, int charset,
                  const std::string& buttons) {
  ShowShortcut(owner, text, caption, charset, buttons, MB_ICONHAND, 0, DefaultCaption::kError);
}

void ShowAttentionBox(BoxOwner owner, const std::string& text, const std::string& caption,
                      int charset, const std::string& buttons, int timeoutMs) {
  ShowShortcut(owner, text, caption, charset, buttons, MB_ICONEXCLAMATION, timeoutMs,
               DefaultCaption::kAttention);
}

bool AskYesNo(BoxOwner owner, const std::string& text, const std::string& caption, int charset,
              const std::string& buttons, int timeoutMs) {
  return ShowShortcut(owner, text, caption, charset, buttons, MB_ICONQUESTION | MB_YESNO, timeoutMs,
                      DefaultCaption::kConfirm) == IDYES;
}

bool AskOkCancel(BoxOwner owner, const std::string& text, const std::string& caption, int charset,
                 const std::string& buttons) {
  return ShowShortcut(owner, text, caption, charset, buttons, MB_ICONQUESTION | MB_OKCANCEL, 0,
                      DefaultCaption::kConfirm) == IDOK;
}

void SetAutoPlaySuppression(bool on) {
  autoPlayMessage = on ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0;
}

UINT AutoPlayMessage() { return autoPlayMessage; }

bool OpenDocument(const std::string& target, const std::string& parameters, int showMode) {
  const HINSTANCE result =
      ShellExecuteA(GetDesktopWindow(), nullptr, target.c_str(),
                    parameters.empty() ? nullptr : parameters.c_str(), nullptr, showMode);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

int PointsToPixels(int points) {
  static const int dotsPerInch = [] {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi;
  }();
  return MulDiv(points, dotsPerInch, 72);
}

bool IsDeveloperMachine() {
  static const bool developer = [] {
    char value[8] = {};
    const DWORD length = GetEnvironmentVariableA("DVX", value, sizeof value);
    return length == 3 && std::string(value) == "853";
  }();
  return developer;
}
