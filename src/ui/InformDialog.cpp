#include "ui/InformDialog.h"

#include <richedit.h>

#include "common/UtilsUi.h"
#include "common/VDebug.h"
#include "common/WinHandles.h"
#include "ui/InformRules.h"
#include "ui/VMsgBox.h"

namespace {

constexpr char kClassName[] = "VRichEditBox";
constexpr int kTextId = 100;
constexpr int kButtonId = 101;
constexpr int kTextFontHeight = 15;

// Everything one dialog owns. The window goes first (InformSession), then
// the fonts, then the library, so no control outlives what it uses.
struct InformState {
  std::string link;
  UniqueModule library;
  UniqueGdiObject buttonFont;
  UniqueGdiObject textFont;
  HWND window = nullptr;
  HWND text = nullptr;
  HWND button = nullptr;
  bool linkOpened = false;
  bool done = false;
  bool quitPending = false;
  WPARAM quitCode = 0;
};

InformState* currentInform = nullptr;

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

void ApplyLayout(const InformState& inform) {
  RECT client{};
  GetClientRect(inform.window, &client);
  const InformLayout layout = InformLayoutFor(client.right, client.bottom, !inform.link.empty());
  if (inform.text) {
    MoveWindow(inform.text, layout.text.x, layout.text.y, layout.text.width, layout.text.height,
               TRUE);
  }
  if (inform.button) {
    MoveWindow(inform.button, layout.button.x, layout.button.y, layout.button.width,
               layout.button.height, TRUE);
  }
}

void FillArea(HDC dc, LONG left, LONG top, LONG right, LONG bottom, int colour) {
  const RECT area{left, top, right, bottom};
  FillRect(dc, &area, GetSysColorBrush(colour));
}

void PaintInform(const InformState& inform, HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  const LONG r = client.right, b = client.bottom;
  FillArea(dc, 0, 0, r, b, COLOR_WINDOW);
  if (!inform.link.empty()) {
    FillArea(dc, 0, b - kInformButtonBand, r, b - kInformButtonBand + 1, COLOR_3DDKSHADOW);
    FillArea(dc, 0, b - kInformButtonBand + 1, r, b, COLOR_BTNFACE);
  }
  EndPaint(window, &paint);
}

// A second click or Enter before the close request is handled must not open
// the address twice.
void OpenLinkAndClose(InformState& inform) {
  if (inform.linkOpened) return;
  inform.linkOpened = true;
  if (!OpenDocument(inform.link))
    DebugTrace() << " ShowInform: the shell did not open " << inform.link;
  PostMessageA(inform.window, WM_CLOSE, 0, 0);
}

bool HandleInformMessage(InformState& inform, HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      inform.window = window;
      return true;
    case WM_SIZE:
      ApplyLayout(inform);
      return true;
    case WM_PAINT:
      PaintInform(inform, window);
      return true;
    case WM_COMMAND:
      if (!inform.button || reinterpret_cast<HWND>(lParam) != inform.button ||
          HIWORD(wParam) != BN_CLICKED) {
        return false;
      }
      OpenLinkAndClose(inform);
      return true;
    case WM_DESTROY:
      inform.done = true;
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK InformProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (currentInform && HandleInformMessage(*currentInform, window, message, wParam, lParam))
    return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

// One showing: makes the dialog current and on the way out, also when
// unwinding, destroys the window, unregisters the class and posts again a
// quit request that ended the dialog.
class InformSession {
 public:
  explicit InformSession(InformState& inform) : inform_(inform) { currentInform = &inform_; }
  ~InformSession() {
    if (inform_.window && IsWindow(inform_.window)) DestroyWindow(inform_.window);
    if (classRegistered_) UnregisterClassA(kClassName, Instance());
    currentInform = nullptr;
    if (inform_.quitPending) PostQuitMessage(static_cast<int>(inform_.quitCode));
  }
  InformSession(const InformSession&) = delete;
  InformSession& operator=(const InformSession&) = delete;

  bool RegisterClass() { return classRegistered_ = RegisterDialogClass(kClassName, InformProc); }

 private:
  InformState& inform_;
  bool classRegistered_ = false;
};

BoxRect WorkArea() {
  RECT work{};
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0) || work.right <= work.left) {
    work = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return BoxRect{work.left, work.top, work.right - work.left, work.bottom - work.top};
}

bool CreateInformWindow(InformState& inform, HWND owner, const std::string& caption, int width,
                        int height) {
  const BoxRect place = InformWindowPlace(WorkArea(), width, height);
  // Shown only once its controls are in (ShowBuilt): an empty frame would
  // flash first where loading the rich-edit library takes a moment.
  inform.window = CreateWindowExA(WS_EX_DLGMODALFRAME, kClassName, caption.c_str(),
                                  WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, place.x, place.y,
                                  place.width, place.height, owner, nullptr, Instance(), nullptr);
  return inform.window != nullptr;
}

HWND CreateChild(const InformState& inform, DWORD exStyle, const char* className,
                 const std::string& text, DWORD style, int id, const UniqueGdiObject& font) {
  HWND child = CreateWindowExA(
      exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, inform.window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
  if (child && font) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
  return child;
}

// Without the rich-edit library the window shows without text: a plain
// edit control would show an RTF page as its raw codes.
void CreateTextControl(InformState& inform, const std::string& text, bool rightToLeft) {
  if (!inform.library) return;
  const DWORD style = WS_VSCROLL | ES_MULTILINE | ES_READONLY | (rightToLeft ? ES_RIGHT : 0);
  inform.text = CreateChild(inform, rightToLeft ? WS_EX_RTLREADING : 0, "RICHEDIT", "", style,
                            kTextId, inform.textFont);
  if (!inform.text) return;
  SendMessageA(inform.text, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
  SendMessageA(inform.text, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(kInformMaxPageBytes));
  // As window text, so an RTF page is read as RTF. No OLE callback is ever
  // given to the control, and the page has its object words renamed.
  SetWindowTextA(inform.text, InformPageText(text).c_str());
}

void CreateButton(InformState& inform, const std::string& buttonText) {
  inform.button = CreateChild(inform, 0, "BUTTON", buttonText, WS_TABSTOP | BS_DEFPUSHBUTTON,
                              kButtonId, inform.buttonFont);
  if (!inform.button) return;
  SetWindowLongPtrA(inform.button, GWLP_USERDATA, 1);
  SendMessageA(inform.button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

void ShowBuilt(const InformState& inform) {
  ApplyLayout(inform);
  ShowWindow(inform.window, SW_SHOWNORMAL);
  UpdateWindow(inform.window);
  if (inform.button) SetFocus(inform.button);
}

// Enter anywhere in the dialog presses the button, as the default button
// of a dialog does.
bool FilterKey(InformState& inform, const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN || !inform.button) return false;
  if (msg.hwnd != inform.window && !IsChild(inform.window, msg.hwnd)) return false;
  OpenLinkAndClose(inform);
  return true;
}

void RunModalLoop(InformState& inform) {
  while (!inform.done) {
    MSG msg;
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == -1) return;
    if (got == 0) {
      // The program is asked to end: so is the dialog, and the program's
      // own loop gets the request again (InformSession).
      inform.quitPending = true;
      inform.quitCode = msg.wParam;
      return;
    }
    if (FilterKey(inform, msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool RunInformDialog(HWND owner, const std::string& caption, const std::string& buttonText,
                     const std::string& text, const std::string& link, int width, int height,
                     bool rightToLeft, const std::string& fontName, int fontSize, int charset) {
  InformState inform;
  inform.link = link;
  inform.library.reset(LoadRichEditLibrary());
  inform.buttonFont.reset(CreateDialogFont(-PointsToPixels(fontSize), charset, fontName));
  inform.textFont.reset(CreateDialogFont(kTextFontHeight, charset, InformTextFace(fontName)));
  InformSession session(inform);
  if (!session.RegisterClass() || !CreateInformWindow(inform, owner, caption, width, height)) {
    DebugTrace() << " ShowInform: the window could not be created";
    return false;
  }
  CreateTextControl(inform, text, rightToLeft);
  if (!inform.link.empty()) CreateButton(inform, buttonText);
  ShowBuilt(inform);
  RunModalLoop(inform);
  return true;
}

}  // namespace

bool ShowInform(HWND owner, const std::string& caption, const std::string& buttonText,
                const std::string& text, const std::string& link, int width, int height,
                bool rightToLeft, const std::string& fontName, int fontSize, int charset) {
  if (currentInform) {
    DebugTrace() << " ShowInform: a dialog is already up, not shown: " << caption;
    return false;
  }
  const InformPlan plan = PlanInform(text, link);
  if (plan.linkRefused) DebugTrace() << " ShowInform: not a web address, not opened: " << link;
  switch (plan.action) {
    case InformAction::kOpenLink:
      if (!OpenDocument(plan.link))
        DebugTrace() << " ShowInform: the shell did not open " << plan.link;
      return true;
    case InformAction::kShowDialog:
      return RunInformDialog(owner, caption, buttonText, text, plan.link, width, height,
                             rightToLeft, fontName, fontSize, charset);
    case InformAction::kNothing:
      break;
  }
  return false;
}
