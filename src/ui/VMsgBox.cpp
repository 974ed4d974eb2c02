#include "ui/VMsgBox.h"

#include <richedit.h>

#include <algorithm>

#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/VDebug.h"
#include "common/VSUB.h"
#include "common/WinHandles.h"
#include "ui/BoxLayout.h"
#include "ui/Markup.h"

namespace {

constexpr char kClassName[] = "VMsgBox";
constexpr char kRichEditLibrary[] = "RICHED32.DLL";
constexpr char kDeveloperQuestion[] = "Do you want to store the new Entry in";
constexpr COLORREF kBandColour = RGB(0, 78, 152);
constexpr UINT kRightAligned = 0x80000;
constexpr UINT kRightToLeft = 0x100000;
constexpr UINT_PTR kTimerId = 1;
constexpr int kTextId = 100;
constexpr int kFirstButtonId = 101;
constexpr int kMaxButtons = 3;
constexpr int kFitTries = 21;
constexpr int kTextPadding = 10;

// One button of a set: which caption of the button list it shows and the
// result code it answers with.
struct ButtonChoice {
  int item;  // index in the button list
  int code;  // result code
};
struct ButtonSet {
  int count;
  ButtonChoice buttons[kMaxButtons];
};
// By the low four bits of the style word.
constexpr ButtonSet kButtonSets[] = {
    {1, {{0, IDOK}}},
    {2, {{0, IDOK}, {1, IDCANCEL}}},
    {3, {{4, IDABORT}, {5, IDRETRY}, {6, IDIGNORE}}},
    {3, {{2, IDYES}, {3, IDNO}, {1, IDCANCEL}}},
    {2, {{2, IDYES}, {3, IDNO}}},
    {2, {{5, IDRETRY}, {1, IDCANCEL}}},
};

struct FontSettings {
  std::string face = "Tahoma";
  int charset = 1;
  int size = 8;
};
FontSettings fontSettings;
std::string richEditLibrary = kRichEditLibrary;

// Kept from the first box to the program's end, so the control class stays
// registered whatever each box does with its own reference.
UniqueModule programRichEdit;

// Everything one box owns. Members are released in reverse order after the
// window is gone, so the controls never outlive their font.
struct BoxState {
  UINT style = 0;
  int timeout = 0;
  UniqueModule library;  // the box's own reference to the rich-edit library
  UniqueGdiObject font;
  HWND window = nullptr;
  HWND text = nullptr;
  bool textIsRich = false;
  HICON icon = nullptr;
  int buttonCount = 0;
  HWND buttons[kMaxButtons] = {};
  int codes[kMaxButtons] = {};
  std::string captions[kMaxButtons];
  int focused = -1;
  int requestedWidth = -1;
  int requestedHeight = -1;
  int result = 0;
  bool chosen = false;
  bool done = false;
  HWND savedActive = nullptr;
  bool disabledByBox = false;  // the saved window was enabled, so the box enables it again
  bool ownerRestored = false;
  bool quitPending = false;
  WPARAM quitCode = 0;
};

BoxState* currentBox = nullptr;

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// The Close path of the box, and the clean-up path when it never got there.
void RestoreOwner(BoxState& box) {
  if (box.ownerRestored) return;
  box.ownerRestored = true;
  if (!box.savedActive || !IsWindow(box.savedActive)) return;
  if (box.disabledByBox) EnableWindow(box.savedActive, TRUE);
  // A window that someone else keeps disabled is not to be activated.
  if (!IsWindowEnabled(box.savedActive)) return;
  SetActiveWindow(box.savedActive);
  SetFocus(box.savedActive);
}

void ChooseResult(BoxState& box, int code) {
  // The first choice stands: a time-out or a second key that arrives before
  // the close request is handled must not change the answer.
  if (box.chosen) return;
  box.chosen = true;
  box.result = code;
  PostMessageA(box.window, WM_CLOSE, 0, 0);
}

void FocusButton(BoxState& box, int index) {
  if (index < 0 || index >= box.buttonCount || !box.buttons[index]) return;
  box.focused = index;
  for (int i = 0; i < box.buttonCount; ++i) {
    if (!box.buttons[i]) continue;
    SendMessageA(box.buttons[i], BM_SETSTYLE, i == index ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
  SetFocus(box.buttons[index]);
}

int FocusedButton(const BoxState& box) {
  const HWND focus = GetFocus();
  for (int i = 0; i < box.buttonCount; ++i) {
    if (focus && box.buttons[i] == focus) return i;
  }
  return -1;
}

bool MoveFocus(BoxState& box, int step) {
  if (box.buttonCount == 0) return false;
  const int current = FocusedButton(box);
  const int next = current < 0 ? (step > 0 ? 0 : box.buttonCount - 1)
                               : (current + step + box.buttonCount) % box.buttonCount;
  FocusButton(box, next);
  return true;
}

char UpperChar(char c) { return UpperText(std::string(1, c))[0]; }

// The character after the first "&", or the first character without one.
char HotKey(const std::string& caption) {
  const size_t amp = caption.find('&');
  if (amp == std::string::npos) return caption.empty() ? '\0' : UpperChar(caption[0]);
  return amp + 1 < caption.size() ? UpperChar(caption[amp + 1]) : '\0';
}

bool FilterChar(BoxState& box, WPARAM code) {
  const char typed = static_cast<char>(code);
  const char upper = UpperChar(typed);
  for (int i = 0; i < box.buttonCount; ++i) {
    const std::string& caption = box.captions[i];
    if (caption.size() >= 2 && (caption[1] == typed || caption[1] == upper)) {
      ChooseResult(box, box.codes[i]);
      return true;
    }
  }
  return false;
}

bool FilterLetter(BoxState& box, WPARAM key) {
  // Ctrl+C in the text is a copy, not the Cancel button.
  if (key < 'A' || key > 'Z' || GetKeyState(VK_CONTROL) < 0) return false;
  int match = -1;
  for (int i = 0; i < box.buttonCount; ++i) {
    if (HotKey(box.captions[i]) == static_cast<char>(key)) match = i;
  }
  if (match < 0) return false;
  ChooseResult(box, box.codes[match]);
  return true;
}

bool FilterKeyDown(BoxState& box, WPARAM key) {
  switch (key) {
    case VK_LEFT:
    case VK_UP:
      return MoveFocus(box, -1);
    case VK_TAB:
    case VK_RIGHT:
    case VK_DOWN:
      return MoveFocus(box, 1);
    case VK_RETURN: {
      const int focused = FocusedButton(box);
      if (focused < 0) return false;
      ChooseResult(box, box.codes[focused]);
      return true;
    }
    case VK_ESCAPE:
      ChooseResult(box, 0);
      return true;
    default:
      return FilterLetter(box, key);
  }
}

// True when the message is consumed: neither translated nor dispatched.
bool FilterKey(BoxState& box, const MSG& msg) {
  if (msg.message == WM_CHAR) return FilterChar(box, msg.wParam);
  if (msg.message == WM_KEYDOWN) return FilterKeyDown(box, msg.wParam);
  return false;
}

void FillArea(HDC dc, LONG left, LONG top, LONG right, LONG bottom, HBRUSH brush) {
  const RECT area{left, top, right, bottom};
  FillRect(dc, &area, brush);
}

void PaintBox(const BoxState& box, HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  const LONG r = client.right, b = client.bottom;
  FillArea(dc, 0, 0, r, b, GetSysColorBrush(COLOR_WINDOW));
  FillArea(dc, 0, b - 37, r, b - 36, GetSysColorBrush(COLOR_3DDKSHADOW));
  FillArea(dc, 0, b - 36, r, b - 35, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  FillArea(dc, 0, b - 35, r, b, GetSysColorBrush(COLOR_BTNFACE));
  UniqueGdiObject band(CreateSolidBrush(kBandColour));
  if (band) FillArea(dc, 0, 0, kBoxBandWidth, b - 37, static_cast<HBRUSH>(band.get()));
  if (box.icon) DrawIcon(dc, 11, 20, box.icon);
  EndPaint(window, &paint);
}

void OnRequestResize(BoxState& box, const NMHDR& header) {
  if (header.hwndFrom != box.text) return;
  // Only the height is the control's: the width is that of the text.
  const RECT& wanted = reinterpret_cast<const REQRESIZE&>(header).rc;
  box.requestedWidth = wanted.right - wanted.left;
  box.requestedHeight = wanted.bottom - wanted.top;
}

void OnCommand(BoxState& box, HWND from) {
  for (int i = 0; i < box.buttonCount; ++i) {
    if (from && box.buttons[i] == from) ChooseResult(box, box.codes[i]);
  }
}

// The plain edit control of the fallback paints its read-only face like a
// static one; give it the rich-edit control's white.
LRESULT TextBackground(HDC dc) {
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

bool HandleBoxMessage(BoxState& box, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                      LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_CREATE:
      box.window = window;
      if (box.timeout > 0) SetTimer(window, kTimerId, static_cast<UINT>(box.timeout), nullptr);
      return true;
    case WM_PAINT:
      PaintBox(box, window);
      return true;
    case WM_NOTIFY:
      if (reinterpret_cast<const NMHDR*>(lParam)->code != EN_REQUESTRESIZE) return false;
      OnRequestResize(box, *reinterpret_cast<const NMHDR*>(lParam));
      return true;
    case WM_COMMAND:
      OnCommand(box, reinterpret_cast<HWND>(lParam));
      return true;
    case WM_TIMER:
      if (wParam != kTimerId) return false;
      ChooseResult(box, box.buttonCount > 0 ? box.codes[0] : 0);
      return true;
    case WM_ACTIVATE:
      // Back from another window: the keys go to the button that had them.
      if (LOWORD(wParam) == WA_INACTIVE || box.focused < 0) return false;
      FocusButton(box, box.focused);
      return true;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      if (reinterpret_cast<HWND>(lParam) != box.text) return false;
      result = TextBackground(reinterpret_cast<HDC>(wParam));
      return true;
    case WM_CLOSE:
      RestoreOwner(box);
      if (box.timeout > 0) KillTimer(window, kTimerId);
      return false;  // the default handling destroys the window
    case WM_DESTROY:
      box.done = true;
      return true;
    default:
      if (message == 0 || message != AutoPlayMessage()) return false;
      result = 1;  // cancels AutoPlay while the box is up
      return true;
  }
}

LRESULT CALLBACK BoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (currentBox && HandleBoxMessage(*currentBox, window, message, wParam, lParam, result))
    return result;
  return DefWindowProcA(window, message, wParam, lParam);
}

// One showing of the box: makes it the current box, disables the active
// window, and on the way out, also when unwinding, gives back everything in
// the order the window needs: owner first (so it is activated, not some
// other window), then the window, the class, and a quit request it took.
class Session {
 public:
  explicit Session(BoxState& box) : box_(box) {
    currentBox = &box_;
    box_.savedActive = GetActiveWindow();
    // EnableWindow reports whether the window was disabled before.
    if (box_.savedActive) box_.disabledByBox = !EnableWindow(box_.savedActive, FALSE);
  }
  ~Session() {
    RestoreOwner(box_);
    if (box_.window && IsWindow(box_.window)) DestroyWindow(box_.window);
    if (classRegistered_) UnregisterClassA(kClassName, Instance());
    currentBox = nullptr;
    if (box_.quitPending) PostQuitMessage(static_cast<int>(box_.quitCode));
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool RegisterClass() { return classRegistered_ = RegisterDialogClass(kClassName, BoxProc); }

 private:
  BoxState& box_;
  bool classRegistered_ = false;
};

void CreateBoxFont(BoxState& box) {
  const FontSettings& settings = fontSettings;
  box.font.reset(CreateDialogFont(-PointsToPixels(settings.size), settings.charset, settings.face));
}

HFONT BoxFont(const BoxState& box) { return static_cast<HFONT>(box.font.get()); }

bool CreateBoxWindow(BoxState& box, HWND owner, const std::string& caption) {
  // Off screen and tiny until the text has been measured.
  box.window = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kClassName, caption.c_str(),
                               WS_VISIBLE | WS_CAPTION | WS_SYSMENU, -100, -100, 10, 10, owner,
                               nullptr, Instance(), nullptr);
  if (!box.window) return false;
  if (box.style & kMsgBoxNoClose) {
    EnableMenuItem(GetSystemMenu(box.window, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    box.style &= ~kMsgBoxNoClose;
  }
  return true;
}

struct TextSource {
  const char* next;
  size_t left;
};

DWORD CALLBACK StreamText(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* done) {
  TextSource& source = *reinterpret_cast<TextSource*>(cookie);
  const size_t count = std::min(source.left, static_cast<size_t>(size > 0 ? size : 0));
  std::copy(source.next, source.next + count, buffer);
  source.next += count;
  source.left -= count;
  *done = static_cast<LONG>(count);
  return 0;
}

// Streamed in as plain text: WM_SETTEXT would read a text that begins with
// "{\rtf" as RTF, dropping its words and shifting every bold range.
void SetRichText(HWND control, const std::string& text) {
  TextSource source{text.data(), text.size()};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = StreamText;
  SendMessageA(control, EM_STREAMIN, SF_TEXT, reinterpret_cast<LPARAM>(&stream));
}

void Select(HWND control, size_t start, size_t end) {
  CHARRANGE range{static_cast<LONG>(start), static_cast<LONG>(end)};
  SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

// The ranges count a CR LF as two characters, as this control does.
void ApplyBold(HWND control, const std::vector<BoldRange>& ranges) {
  CHARFORMATA format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
  format.dwEffects = CFE_BOLD;
  for (const BoldRange& range : ranges) {
    Select(control, range.start, range.end);
    SendMessageA(control, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  }
  Select(control, 0, 0);
}

HWND CreateTextWindow(const BoxState& box, const char* className) {
  DWORD style = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_WANTRETURN;
  if (box.style & kRightAligned) style |= ES_RIGHT;
  const DWORD exStyle = (box.style & kRightToLeft) ? WS_EX_RTLREADING : 0;
  return CreateWindowExA(exStyle, className, "", style, 86, 30, 100, 13, box.window,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextId)), Instance(),
                         nullptr);
}

// The control's device context with the box font selected, for measuring.
class ControlDC {
 public:
  ControlDC(HWND control, HFONT font) : control_(control), dc_(GetDC(control)) {
    if (dc_ && font) previous_ = SelectObject(dc_, font);
  }
  ~ControlDC() {
    if (!dc_) return;
    if (previous_) SelectObject(dc_, previous_);
    ReleaseDC(control_, dc_);
  }
  ControlDC(const ControlDC&) = delete;
  ControlDC& operator=(const ControlDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND control_;
  HDC dc_;
  HGDIOBJ previous_ = nullptr;
};

// Tabs advance to the control's default stops, every half inch.
int LineExtent(HDC dc, const std::string& line, int tabStop) {
  int extent = 0;
  for (size_t start = 0;;) {
    const size_t tab = line.find('\t', start);
    const size_t end = tab == std::string::npos ? line.size() : tab;
    SIZE size{0, 0};
    if (end > start) {
      GetTextExtentPoint32A(dc, line.data() + start, static_cast<int>(end - start), &size);
    }
    extent += size.cx;
    if (tab == std::string::npos) return extent;
    extent = (extent / tabStop + 1) * tabStop;
    start = tab + 1;
  }
}

struct TextMeasure {
  TextSize size;
  int lineHeight;
};

TextMeasure MeasureBoxText(const BoxState& box, const std::string& text) {
  ControlDC dc(box.text, BoxFont(box));
  if (!dc.get()) return TextMeasure{{0, 0}, 0};
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc.get(), &metrics);
  const int lineHeight =
      MarkupLineHeight(metrics.tmHeight, metrics.tmExternalLeading, fontSettings.face);
  const int tabStop = std::max(1, GetDeviceCaps(dc.get(), LOGPIXELSX) / 2);
  const TextSize size = MeasureText(text, lineHeight, [&](const std::string& line) {
    return LineExtent(dc.get(), line, tabStop);
  });
  return TextMeasure{size, lineHeight};
}

void SetControlSize(HWND control, int width, int height) {
  SetWindowPos(control, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The height the control needs at its present width, or -1 when it does not
// say. A resize alone does not always make it report, so ask. The control
// counts an empty line after a final line break, which the measure leaves
// out: `trailingLine` takes it off again.
int NeededHeight(BoxState& box, int trailingLine) {
  box.requestedHeight = -1;
  SendMessageA(box.text, EM_REQUESTRESIZE, 0, 0);
  return box.requestedHeight < 0 ? -1 : box.requestedHeight - trailingLine;
}

// Bold text is wider than the measure: widen the control in steps of 10
// until the text needs no more lines than measured. Returns the width.
int FitBoldText(BoxState& box, const TextSize& size, int trailingLine) {
  int widest = size.width;
  for (int i = 0; i < kFitTries; ++i) {
    const int width = size.width + kTextPadding * i;
    SetControlSize(box.text, width, size.height);
    const int needed = NeededHeight(box, trailingLine);
    if (needed < 0) return size.width + kTextPadding;
    if (needed <= size.height) return width;
    widest = std::max(widest, box.requestedWidth);
  }
  return widest + kTextPadding;
}

void FitTextControl(BoxState& box, const MarkupText& markup) {
  const TextMeasure measure = MeasureBoxText(box, markup.text);
  int width = measure.size.width + kTextPadding;
  int height = measure.size.height;
  SetControlSize(box.text, width, height);
  if (!box.textIsRich) return;
  const int trailingLine = EndsWithText("\r\n", markup.text, false) ? measure.lineHeight : 0;
  if (!markup.bold.empty()) width = FitBoldText(box, measure.size, trailingLine);
  SetControlSize(box.text, width, height);
  // Words wrap where the measure cannot see: a long paragraph may need more
  // lines than it counted. Grow rather than cut text off.
  height = std::max(height, NeededHeight(box, trailingLine));
  SetControlSize(box.text, width, height);
}

void CreateTextControl(BoxState& box, const MarkupText& markup) {
  if (box.library) box.text = CreateTextWindow(box, "RICHEDIT");
  box.textIsRich = box.text != nullptr;
  if (!box.text) box.text = CreateTextWindow(box, "EDIT");
  if (!box.text) return;
  if (box.textIsRich) SendMessageA(box.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
  // Before the text and the bold ranges: the rich-edit control's own default
  // is a bold system font, which would make every character bold.
  if (box.font) SendMessageA(box.text, WM_SETFONT, reinterpret_cast<WPARAM>(BoxFont(box)), FALSE);
  if (box.textIsRich) {
    SendMessageA(box.text, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
    SetRichText(box.text, markup.text);
    ApplyBold(box.text, markup.bold);
  } else {
    SetWindowTextA(box.text, markup.text.c_str());
  }
  FitTextControl(box, markup);
}

BoxRect WorkArea() {
  RECT work{};
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0) || work.right <= work.left) {
    work = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return BoxRect{work.left, work.top, work.right - work.left, work.bottom - work.top};
}

void PlaceBox(BoxState& box, const std::string& text) {
  RECT outer{};
  if (box.text) GetWindowRect(box.text, &outer);
  const int textWidth = outer.right - outer.left, textHeight = outer.bottom - outer.top;
  const BoxFrame frame{GetSystemMetrics(SM_CXDLGFRAME), GetSystemMetrics(SM_CYDLGFRAME),
                       GetSystemMetrics(SM_CYCAPTION)};
  const bool shifted = IsDeveloperMachine() && ContainsText(text, kDeveloperQuestion, false);
  const BoxRect placed =
      MsgBoxPosition(WorkArea(), MsgBoxSize(textWidth, textHeight, frame), shifted);
  SetWindowPos(box.window, nullptr, placed.x, placed.y, placed.width, placed.height,
               SWP_NOZORDER | SWP_SHOWWINDOW);
  if (!box.text) return;
  RECT client{};
  GetClientRect(box.window, &client);
  const BoxRect place = MsgBoxTextPlace(client.right, client.bottom, textWidth, textHeight);
  SetWindowPos(box.text, nullptr, place.x, place.y, place.width, place.height,
               SWP_NOZORDER | SWP_SHOWWINDOW);
}

// The system icon the style word names, or the program's own.
HICON BoxIcon(UINT style) {
  const UINT kind = (style & 0xF0) >> 4;  // 1 stop, 2 question, 3 exclamation, 4 information
  if (kind >= 1 && kind <= 4) return LoadIconA(nullptr, MAKEINTRESOURCEA(32512 + kind));
  return LoadIconA(Instance(), "MainIcon");
}

void CreateButton(BoxState& box, int index, const ButtonChoice& choice, const std::string& list) {
  RECT client{};
  GetClientRect(box.window, &client);
  const BoxRect place = MsgBoxButtonPlace(client.right, client.bottom, box.buttonCount - 1 - index);
  box.captions[index] = SUB::Item(list, choice.item);
  box.codes[index] = choice.code;
  HWND button = CreateWindowExA(
      0, "BUTTON", box.captions[index].c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
      place.x, place.y, place.width, place.height, box.window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + index)), Instance(), nullptr);
  box.buttons[index] = button;
  if (!button) return;
  SetWindowLongPtrA(button, GWLP_USERDATA, choice.code);
  if (box.font) SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(BoxFont(box)), FALSE);
}

void CreateButtons(BoxState& box, const std::string& list) {
  const UINT setIndex = box.style & 0xF;
  if (setIndex >= sizeof kButtonSets / sizeof kButtonSets[0]) return;  // no buttons
  const ButtonSet& set = kButtonSets[setIndex];
  box.buttonCount = set.count;
  for (int i = set.count - 1; i >= 0; --i) CreateButton(box, i, set.buttons[i], list);
  FocusButton(box, static_cast<int>((box.style >> 8) & 0xF) % set.count);
}

void RunModalLoop(BoxState& box) {
  while (!box.done) {
    MSG msg;
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == -1) return;
    if (got == 0) {
      // Meant for the program's own loop: kept, and posted again when the box has gone.
      box.quitPending = true;
      box.quitCode = msg.wParam;
      continue;
    }
    if (FilterKey(box, msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

int RunBox(HWND owner, const std::string& text, const std::string& caption,
           const std::string& buttons, UINT style, int timeoutMs) {
  if (!programRichEdit) programRichEdit.reset(LoadRichEditLibrary());
  BoxState box;
  box.style = style;
  box.timeout = timeoutMs;
  CreateBoxFont(box);
  box.library.reset(LoadRichEditLibrary());
  Session session(box);
  if (!session.RegisterClass() || !CreateBoxWindow(box, owner, caption)) {
    DebugTrace() << " ShowMsgBox: the box window could not be created";
    return 0;
  }
  CreateTextControl(box, ConvertMarkup(text));
  PlaceBox(box, text);
  box.icon = BoxIcon(box.style);
  CreateButtons(box, buttons);
  RunModalLoop(box);
  return box.result;
}

}  // namespace

void SetMsgBoxFont(const std::string& face, int size, int charset) {
  fontSettings.face = face;
  fontSettings.charset = charset;
  if (size != 0) fontSettings.size = size;
}

int ShowMsgBox(HWND owner, const std::string& text, const std::string& caption,
               const std::string& buttons, UINT style, int timeoutMs) {
  if (currentBox) {
    // The box keeps its state in this unit: a second one would corrupt the first.
    DebugTrace() << " ShowMsgBox: a box is already up, not shown: " << caption;
    return 0;
  }
  return RunBox(owner, text, caption, buttons, style, timeoutMs);
}

HMODULE LoadRichEditLibrary() {
  HMODULE library = LoadSystemLibrary(richEditLibrary.c_str());
  // Old systems report failure as a small number instead of NULL.
  if (reinterpret_cast<UINT_PTR>(library) <= 32) return nullptr;
  return library;
}

HFONT CreateDialogFont(int height, int charset, const std::string& face) {
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, static_cast<BYTE>(charset),
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, face.c_str());
}

bool RegisterDialogClass(const char* className, WNDPROC procedure) {
  WNDCLASSA windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = Instance();
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = className;
  if (RegisterClassA(&windowClass)) return true;
  UnregisterClassA(className, Instance());
  return RegisterClassA(&windowClass) != 0;
}

void SetRichEditLibraryForTesting(const std::string& name) {
  richEditLibrary = name.empty() ? kRichEditLibrary : name;
}
