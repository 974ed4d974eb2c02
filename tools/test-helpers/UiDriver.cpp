// ui-driver: watches for another program's top-level window of a class,
// writes what it shows as JSON (caption, geometry, styles, the close command's
// state, every child control with its text, focus, default-button style and
// user data, the bold runs of a rich-edit control), then acts on it as a user
// would (button clicks, key presses, the close command) and reports when the
// window is gone.
//
// Usage: ui-driver.exe CLASS /out=PATH [/wait=MS] [/until=PATH] [/gone=MS]
//                      [/pause=PATH] [/action=STEP[,STEP...]]
//   CLASS        class name of a visible top-level window (case ignored), e.g.
//                VMsgBox, or a program's full path for the stub's main window
//   /out=PATH    the JSON; written once the window has settled, and again at
//                the end with the steps and the time it went away
//   /wait=MS     how long to wait for the window to appear (default 30000)
//   /until=PATH  stop waiting for the window once PATH exists, after one
//                more full look: the caller knows that no window can come any
//                more (the program that would show it has ended)
//   /hidden      accept a hidden window too (the stub's main window while the
//                engine runs), so its controls' last state can be read
//   /gone=MS     how long to wait for it to go after the last step (30000)
//   /pause=PATH  after the first JSON, wait until PATH exists before acting,
//                so the caller can look at the window (a screenshot) first
//   /action=     steps, done in order:
//                  click:N   BM_CLICK on the N-th button from the left (1-based)
//                  key:NAME  a key press (WM_KEYDOWN, WM_KEYUP) posted to the
//                            focused control: Escape, Enter, Tab, Left, Right,
//                            Up, Down, Space, or one letter or digit
//                  char:C    a WM_CHAR of the character C to the focused control
//                  closebutton  a mouse click on the caption's close button
//                  close     the close command (WM_SYSCOMMAND SC_CLOSE), as the
//                            window menu and Alt+F4 give it
//                  wmclose   WM_CLOSE
//                  size:W:H  gives the window an outer size of W x H, as a
//                            user dragging its border would
//                  quit:N    posts WM_QUIT with exit code N to the window's
//                            thread, as PostQuitMessage in that thread would
//                  send:MSG:W:L  sends message MSG (a number, or a name that
//                            RegisterWindowMessageA gives a number) with
//                            wParam W and lParam L (numbers); the answer is
//                            kept in "results" of the JSON
//                  none      nothing (the default): let the window go by itself
//                Between steps the window is described again ("steps" in the JSON).
// Output lines: FOUND=<ms since start>, then GONE=<ms after the last step> or
// STILL_THERE. Exit code 0 when the window went away, 1 when it stayed, 2 for
// a bad command line, 3 when no window appeared, 4 when the JSON could not be
// written, 5 when a step could not be done (no such button, unknown key).
//
// Everything is read from outside: window data through USER32 calls and
// messages the controls answer across processes. The bold runs need a
// CHARFORMAT in the target's address space; the driver borrows a page there
// and puts the selection back as it found it. "close_greyed" is null where
// another process's window menu cannot be read (Wine); "closebutton" then
// shows by its effect whether the close button works.

#include <richedit.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "common/WinHandles.h"
#include "support/ToolSupport.h"

namespace {

const DWORD kDefaultWaitMs = 30000;
const DWORD kPollMs = 10;
// A window counts as settled when two descriptions this far apart agree.
const DWORD kSettleMs = 100;
const UINT kSendTimeoutMs = 5000;

struct Options {
  std::string class_name;
  std::string out_path;
  std::string pause_path;
  std::string until_path;
  std::vector<std::string> steps;
  DWORD wait_ms = kDefaultWaitMs;
  DWORD gone_ms = kDefaultWaitMs;
  bool accept_hidden = false;
};

std::vector<std::string> SplitSteps(const std::string& text) {
  std::vector<std::string> steps;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    if (comma > start) steps.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return steps;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  static const char* const kKnown[] = {"/out",    "/wait",   "/until", "/gone",
                                       "/pause", "/action", nullptr};
  if (argc < 3 || argv[1][0] == '\0') return false;
  for (int i = 2; i < argc; ++i) {
    if (lstrcmpiA(argv[i], "/hidden") == 0) {
      options->accept_hidden = true;
    } else if (!tools::IsKnownOption(argv[i], kKnown)) {
      return false;
    }
  }
  options->class_name = argv[1];
  if (!tools::FindOption(argc, argv, 2, "/out", &options->out_path)) return false;
  tools::FindOption(argc, argv, 2, "/pause", &options->pause_path);
  tools::FindOption(argc, argv, 2, "/until", &options->until_path);
  std::string value;
  if (tools::FindOption(argc, argv, 2, "/wait", &value)) {
    options->wait_ms = std::strtoul(value.c_str(), nullptr, 10);
  }
  if (tools::FindOption(argc, argv, 2, "/gone", &value)) {
    options->gone_ms = std::strtoul(value.c_str(), nullptr, 10);
  }
  if (tools::FindOption(argc, argv, 2, "/action", &value)) options->steps = SplitSteps(value);
  if (options->steps.empty()) options->steps.push_back("none");
  return true;
}

std::string JsonNumber(long long value) { return std::to_string(value); }

// A message to another process's control that cannot hang the driver.
long long SendTimeout(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) return -1;
  return static_cast<long long>(static_cast<LONG>(result));
}
std::string JsonBool(bool value) { return value ? "true" : "false"; }
std::string JsonHandle(HWND window) {
  return JsonNumber(static_cast<long long>(reinterpret_cast<ULONG_PTR>(window)));
}
std::string JsonRect(const RECT& r) {
  return "[" + JsonNumber(r.left) + ", " + JsonNumber(r.top) + ", " + JsonNumber(r.right) + ", " +
         JsonNumber(r.bottom) + "]";
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

bool IsRichEdit(const std::string& class_name) {
  return _strnicmp(class_name.c_str(), "RICHEDIT", 8) == 0;
}

bool IsButton(HWND window) { return lstrcmpiA(ClassOf(window).c_str(), "Button") == 0; }

DWORD StyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)); }

// A sent message that cannot hang the driver on a stuck target.
bool SendWithin(HWND window, UINT message, WPARAM wparam, LPARAM lparam, DWORD_PTR* result) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             result != nullptr ? result : &ignored) != 0;
}

// WM_GETTEXT through the control's own window procedure: for a rich-edit
// that is the whole text with its CR LF line ends.
std::string ControlText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendWithin(window, WM_GETTEXTLENGTH, 0, 0, &length)) return std::string();
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendWithin(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), &copied)) {
    return std::string();
  }
  text.resize(std::min<size_t>(copied, length));
  return text;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

// Visible buttons from left to right, as a user sees them.
std::vector<HWND> ButtonsLeftToRight(HWND box) {
  std::vector<std::pair<LONG, HWND>> found;
  for (HWND child : ChildrenOf(box)) {
    RECT rect;
    if (IsButton(child) && IsWindowVisible(child) && GetWindowRect(child, &rect)) {
      found.emplace_back(rect.left, child);
    }
  }
  std::sort(found.begin(), found.end(),
            [](const std::pair<LONG, HWND>& a, const std::pair<LONG, HWND>& b) {
              return a.first < b.first;
            });
  std::vector<HWND> buttons;
  for (const auto& entry : found) buttons.push_back(entry.second);
  return buttons;
}

// A page in another process, freed again when this goes out of scope.
class RemotePage {
 public:
  RemotePage(HANDLE process, SIZE_T size)
      : process_(process),
        address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {
  }
  ~RemotePage() {
    if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemotePage(const RemotePage&) = delete;
  RemotePage& operator=(const RemotePage&) = delete;

  bool ok() const { return address_ != nullptr; }
  LPARAM At(size_t offset) const {
    return reinterpret_cast<LPARAM>(static_cast<char*>(address_) + offset);
  }
  template <typename T>
  bool Write(size_t offset, const T& value) const {
    SIZE_T done = 0;
    return WriteProcessMemory(process_, reinterpret_cast<void*>(At(offset)), &value, sizeof(T),
                              &done) &&
           done == sizeof(T);
  }
  template <typename T>
  bool Read(size_t offset, T* value) const {
    SIZE_T done = 0;
    return ReadProcessMemory(process_, reinterpret_cast<void*>(At(offset)), value, sizeof(T),
                             &done) &&
           done == sizeof(T);
  }

 private:
  HANDLE process_;
  void* address_;
};

const size_t kRangeOffset = 0;
const size_t kFormatOffset = 64;

// Selects one character and asks for its format; -1 when the target did not
// answer, else 1 for bold and 0 for not.
int CharacterIsBold(HWND edit, const RemotePage& page, LONG position) {
  CHARRANGE range = {position, position + 1};
  CHARFORMATA format = {};
  format.cbSize = sizeof(format);
  if (!page.Write(kRangeOffset, range) ||
      !SendWithin(edit, EM_EXSETSEL, 0, page.At(kRangeOffset), nullptr) ||
      !page.Write(kFormatOffset, format) ||
      !SendWithin(edit, EM_GETCHARFORMAT, SCF_SELECTION, page.At(kFormatOffset), nullptr) ||
      !page.Read(kFormatOffset, &format)) {
    return -1;
  }
  return (format.dwMask & CFM_BOLD) != 0 && (format.dwEffects & CFE_BOLD) != 0 ? 1 : 0;
}

// The bold runs [start, end) in the control's character positions, as a
// JSON list; an error text instead when the target's memory is out of reach.
// Line breaks count as not bold: the control reports a break's format from
// the text before it, which says nothing about what the reader sees.
std::string BoldRangesJson(HWND edit, const std::string& text) {
  const LONG length = static_cast<LONG>(text.size());
  DWORD pid = 0;
  GetWindowThreadProcessId(edit, &pid);
  UniqueKernelHandle process(OpenProcess(
      PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE,
      pid));
  if (!process) return "\"cannot open the process: error " + JsonNumber(GetLastError()) + "\"";
  RemotePage page(process.get(), 4096);
  if (!page.ok()) return "\"no memory in the process: error " + JsonNumber(GetLastError()) + "\"";
  CHARRANGE saved = {0, 0};
  const bool have_saved = SendWithin(edit, EM_EXGETSEL, 0, page.At(kRangeOffset), nullptr) &&
                          page.Read(kRangeOffset, &saved);
  std::string json = "[";
  LONG run_start = -1;
  bool failed = false;
  for (LONG i = 0; i <= length && !failed; ++i) {
    const bool line_break = i < length && (text[i] == '\r' || text[i] == '\n');
    const int bold = i < length && !line_break ? CharacterIsBold(edit, page, i) : 0;
    failed = bold < 0;
    if (bold == 1 && run_start < 0) run_start = i;
    if (bold == 0 && run_start >= 0) {
      json += (json.size() > 1 ? ", [" : "[") + JsonNumber(run_start) + ", " + JsonNumber(i) + "]";
      run_start = -1;
    }
  }
  if (have_saved && page.Write(kRangeOffset, saved)) {
    SendWithin(edit, EM_EXSETSEL, 0, page.At(kRangeOffset), nullptr);
  }
  if (failed) return "\"the control did not answer EM_GETCHARFORMAT\"";
  return json + "]";
}

// The state of the window menu's Close command: "true"/"false", or "null"
// when the menu cannot be read from this process.
std::string CloseGreyedJson(HWND box) {
  HMENU menu = GetSystemMenu(box, FALSE);
  if (menu == nullptr) return "null";
  const UINT state = GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND);
  if (state == static_cast<UINT>(-1)) return "null";
  return JsonBool((state & (MF_GRAYED | MF_DISABLED)) != 0);
}

std::string DescribeChild(HWND box, HWND child, HWND focus, bool with_bold) {
  const std::string class_name = ClassOf(child);
  const std::string text = ControlText(child);
  RECT rect = {};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&rect), 2);
  const DWORD style = StyleOf(child);
  std::string json =
      "{\"hwnd\": " + JsonHandle(child) + ", \"class\": " + tools::JsonString(class_name) +
      ", \"text\": " + tools::JsonString(text) + ", \"rect\": " + JsonRect(rect) +
      ", \"style\": " + JsonNumber(style) +
      ", \"exstyle\": " + JsonNumber(static_cast<DWORD>(GetWindowLongA(child, GWL_EXSTYLE))) +
      ", \"id\": " + JsonNumber(GetDlgCtrlID(child)) +
      ", \"user_data\": " + JsonNumber(GetWindowLongPtrA(child, GWLP_USERDATA)) +
      ", \"visible\": " + JsonBool(IsWindowVisible(child) != FALSE) +
      ", \"enabled\": " + JsonBool(IsWindowEnabled(child) != FALSE) +
      ", \"focused\": " + JsonBool(child == focus) +
      ", \"default\": " + JsonBool(IsButton(child) && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
  if (with_bold && IsRichEdit(class_name)) {
    json += ", \"bold\": " + BoldRangesJson(child, text);
  }
  if (lstrcmpiA(class_name.c_str(), PROGRESS_CLASSA) == 0) {
    // [low, high, position]: the range and the count of steps taken.
    json += ", \"progress\": [" + JsonNumber(SendTimeout(child, PBM_GETRANGE, TRUE, 0)) + ", " +
            JsonNumber(SendTimeout(child, PBM_GETRANGE, FALSE, 0)) + ", " +
            JsonNumber(SendTimeout(child, PBM_GETPOS, 0, 0)) + "]";
  }
  return json + "}";
}

std::string DescribeWindow(HWND box, bool with_bold) {
  DWORD pid = 0;
  const DWORD thread = GetWindowThreadProcessId(box, &pid);
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof(gui);
  GetGUIThreadInfo(thread, &gui);
  char caption[512] = {};
  GetWindowTextA(box, caption, sizeof(caption));
  RECT window_rect = {}, client_rect = {};
  GetWindowRect(box, &window_rect);
  GetClientRect(box, &client_rect);
  HWND owner = GetWindow(box, GW_OWNER);
  RECT work_area = {};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work_area, 0);
  std::string json =
      "{\"hwnd\": " + JsonHandle(box) + ", \"class\": " + tools::JsonString(ClassOf(box)) +
      ", \"pid\": " + JsonNumber(pid) + ", \"caption\": " + tools::JsonString(caption) +
      ", \"window_rect\": " + JsonRect(window_rect) +
      ", \"client_rect\": " + JsonRect(client_rect) + ", \"style\": " + JsonNumber(StyleOf(box)) +
      ", \"exstyle\": " + JsonNumber(static_cast<DWORD>(GetWindowLongA(box, GWL_EXSTYLE))) +
      ", \"close_greyed\": " + CloseGreyedJson(box) + ", \"owner\": " + JsonHandle(owner) +
      ", \"owner_enabled\": " +
      (owner != nullptr ? JsonBool(IsWindowEnabled(owner) != FALSE) : "null") +
      ", \"focus\": " + JsonHandle(gui.hwndFocus) + ", \"active\": " + JsonHandle(gui.hwndActive) +
      ", \"foreground\": " + JsonBool(GetForegroundWindow() == box) +
      ", \"work_area\": " + JsonRect(work_area) + ", \"children\": [";
  bool first = true;
  for (HWND child : ChildrenOf(box)) {
    json += (first ? "\n  " : ",\n  ") + DescribeChild(box, child, gui.hwndFocus, with_bold);
    first = false;
  }
  return json + "]}";
}

struct FindRequest {
  const char* class_name;
  bool accept_hidden;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
  FindRequest* request = reinterpret_cast<FindRequest*>(param);
  if ((request->accept_hidden || IsWindowVisible(window)) &&
      lstrcmpiA(ClassOf(window).c_str(), request->class_name) == 0) {
    request->found = window;
    return FALSE;
  }
  return TRUE;
}

// The give-up file is checked before the look, not after: a window that
// was up when the caller gave up is still found.
HWND WaitForWindow(const Options& options) {
  const DWORD start = GetTickCount();
  for (;;) {
    const bool last_look = !options.until_path.empty() && tools::PathExists(options.until_path);
    FindRequest request = {options.class_name.c_str(), options.accept_hidden, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&request));
    if (request.found != nullptr) return request.found;
    if (last_look || GetTickCount() - start >= options.wait_ms) return nullptr;
    Sleep(kPollMs);
  }
}

// Returns once the window's thread has handled everything queued before this
// call: a sent message is taken before posted ones, so the first WM_NULL can
// overtake a posted key; the second returns only after the loop came back.
void SyncWith(HWND window) {
  SendWithin(window, WM_NULL, 0, 0, nullptr);
  SendWithin(window, WM_NULL, 0, 0, nullptr);
  Sleep(20);
  SendWithin(window, WM_NULL, 0, 0, nullptr);
}

// A window that shows itself while it is being built (the message box is
// visible from its creation on and gets its children and size afterwards)
// is described only once two looks a moment apart agree.
bool WaitUntilSettled(HWND box, DWORD deadline_ms, DWORD start) {
  std::string before;
  while (IsWindow(box)) {
    SyncWith(box);
    const std::string now = DescribeWindow(box, false);
    if (now == before) return true;
    if (GetTickCount() - start >= deadline_ms) return false;
    before = now;
    Sleep(kSettleMs);
  }
  return false;
}

struct KeyName {
  const char* name;
  WORD key;
};
const KeyName kKeys[] = {{"Escape", VK_ESCAPE}, {"Enter", VK_RETURN}, {"Tab", VK_TAB},
                         {"Left", VK_LEFT},     {"Right", VK_RIGHT},  {"Up", VK_UP},
                         {"Down", VK_DOWN},     {"Space", VK_SPACE}};

WORD VirtualKeyOf(const std::string& name) {
  for (const KeyName& entry : kKeys) {
    if (lstrcmpiA(entry.name, name.c_str()) == 0) return entry.key;
  }
  // Letters and digits: the virtual-key code is the upper-case ASCII code.
  if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
    return static_cast<WORD>(std::toupper(static_cast<unsigned char>(name[0])));
  }
  return 0;
}

HWND FocusOf(HWND box) {
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof(gui);
  GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &gui);
  return gui.hwndFocus != nullptr ? gui.hwndFocus : box;
}

bool PressKey(HWND box, const std::string& name) {
  const WORD key = VirtualKeyOf(name);
  if (key == 0) return false;
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(key, 0)) << 16;
  HWND target = FocusOf(box);
  return PostMessageA(target, WM_KEYDOWN, key, scan | 1) &&
         PostMessageA(target, WM_KEYUP, key, scan | 1 | (1L << 30) | (1UL << 31));
}

// The screen point in the middle of the caption's close button, found by
// asking the window itself (WM_NCHITTEST) along the right end of its caption.
bool FindCloseButton(HWND box, POINT* centre) {
  RECT window = {};
  if (!GetWindowRect(box, &window)) return false;
  RECT hits = {LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
  for (LONG y = window.top; y < window.top + 48 && y < window.bottom; y += 2) {
    for (LONG x = window.right - 1; x >= window.right - 64 && x >= window.left; x -= 2) {
      DWORD_PTR hit = HTNOWHERE;
      if (SendWithin(box, WM_NCHITTEST, 0, MAKELPARAM(x, y), &hit) && hit == HTCLOSE) {
        hits = {std::min(hits.left, x), std::min(hits.top, y), std::max(hits.right, x),
                std::max(hits.bottom, y)};
      }
    }
  }
  if (hits.left > hits.right) return false;
  *centre = {(hits.left + hits.right) / 2, (hits.top + hits.bottom) / 2};
  return true;
}

// A left click at a screen point through the input queue, as a mouse gives it.
bool ClickAt(const POINT& point) {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  INPUT inputs[3] = {};
  for (INPUT& input : inputs) {
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(point.x, 65536, width) + 1;
    input.mi.dy = MulDiv(point.y, 65536, height) + 1;
  }
  inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
  inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
  return SendInput(3, inputs, sizeof(INPUT)) == 3;
}

bool ClickCloseButton(HWND box) {
  POINT centre;
  return FindCloseButton(box, &centre) && ClickAt(centre);
}

std::vector<long long> sendResults;  // one per "send:" step, in order

UINT MessageNumber(const std::string& name) {
  char* end = nullptr;
  const unsigned long number = std::strtoul(name.c_str(), &end, 0);
  if (!name.empty() && *end == '\0') return static_cast<UINT>(number);
  return RegisterWindowMessageA(name.c_str());
}

// "send:MSG:W:L" as a message sent to the window; its answer is recorded.
bool SendStep(HWND box, const std::string& step) {
  const size_t first = step.find(':');
  const size_t second = first == std::string::npos ? first : step.find(':', first + 1);
  if (second == std::string::npos) return false;
  const UINT message = MessageNumber(step.substr(0, first));
  const auto wparam = static_cast<WPARAM>(std::strtoull(step.c_str() + first + 1, nullptr, 0));
  const auto lparam = static_cast<LPARAM>(std::strtoll(step.c_str() + second + 1, nullptr, 0));
  DWORD_PTR result = 0;
  if (message == 0 || !SendWithin(box, message, wparam, lparam, &result)) return false;
  sendResults.push_back(static_cast<long long>(static_cast<LONG_PTR>(result)));
  return true;
}

// "W:H" as the window's new outer size; its place stays.
bool SizeStep(HWND box, const std::string& size) {
  const size_t colon = size.find(':');
  if (colon == std::string::npos) return false;
  const int width = std::atoi(size.c_str());
  const int height = std::atoi(size.c_str() + colon + 1);
  return SetWindowPos(box, nullptr, 0, 0, width, height,
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

bool QuitStep(HWND box, const std::string& code) {
  const DWORD thread = GetWindowThreadProcessId(box, nullptr);
  return thread != 0 &&
         PostThreadMessageA(thread, WM_QUIT, std::strtoul(code.c_str(), nullptr, 10), 0) != FALSE;
}

bool DoStep(HWND box, const std::string& step) {
  if (step == "none") return true;
  if (step.compare(0, 5, "send:") == 0) return SendStep(box, step.substr(5));
  if (step == "closebutton") return ClickCloseButton(box);
  if (step == "close") return PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE;
  if (step == "wmclose") return PostMessageA(box, WM_CLOSE, 0, 0) != FALSE;
  if (step.compare(0, 6, "click:") == 0) {
    const size_t index = std::strtoul(step.c_str() + 6, nullptr, 10);
    const std::vector<HWND> buttons = ButtonsLeftToRight(box);
    if (index < 1 || index > buttons.size()) return false;
    return SendWithin(buttons[index - 1], BM_CLICK, 0, 0, nullptr);
  }
  if (step.compare(0, 4, "key:") == 0) return PressKey(box, step.substr(4));
  if (step.compare(0, 5, "size:") == 0) return SizeStep(box, step.substr(5));
  if (step.compare(0, 5, "quit:") == 0) return QuitStep(box, step.substr(5));
  if (step.compare(0, 5, "char:") == 0 && step.size() == 6) {
    return PostMessageA(FocusOf(box), WM_CHAR, static_cast<unsigned char>(step[5]), 1) != FALSE;
  }
  return false;
}

// Milliseconds until the window is gone, or -1 when it is still there.
long WaitUntilGone(HWND box, DWORD limit_ms) {
  const DWORD start = GetTickCount();
  while (IsWindow(box)) {
    if (GetTickCount() - start >= limit_ms) return -1;
    Sleep(kPollMs);
  }
  return static_cast<long>(GetTickCount() - start);
}

// Lets the window finish what a step started before it is described again.
// A click through the input queue is not ordered with the driver's sent
// messages, so a click that closes the window gets a moment to do so.
void AfterStep(HWND box, const std::string& step) {
  if (step == "closebutton") WaitUntilGone(box, 500);
  if (IsWindow(box)) WaitUntilSettled(box, 5000, GetTickCount());
}

void WaitForFile(const std::string& path) {
  while (!tools::PathExists(path)) Sleep(kPollMs);
}

// Does the steps in order, describing the window after each but the last;
// stops early when the window has gone. Appends the "steps" list to `json`
// and returns false when a step could not be done.
bool RunSteps(HWND box, const std::vector<std::string>& steps, std::string* json) {
  *json += ", \"steps\": [";
  bool ok = true;
  for (size_t i = 0; i < steps.size() && IsWindow(box) && ok; ++i) {
    ok = DoStep(box, steps[i]);
    if (!ok || i + 1 == steps.size()) break;
    AfterStep(box, steps[i]);
    *json += (i > 0 ? ",\n " : "\n ") + std::string("{\"action\": ") + tools::JsonString(steps[i]) +
             ", \"window\": " + (IsWindow(box) ? DescribeWindow(box, false) : "null") + "}";
  }
  *json += "]";
  return ok;
}

int Usage() {
  std::fprintf(stderr,
               "usage: ui-driver.exe CLASS /out=PATH [/wait=MS] [/until=PATH] [/gone=MS]"
               " [/pause=PATH] [/action=STEP[,STEP...]]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) return Usage();
  const DWORD start = GetTickCount();
  HWND box = WaitForWindow(options);
  if (box == nullptr) {
    std::printf("NOT_FOUND\n");
    return 3;
  }
  const DWORD found_ms = GetTickCount() - start;
  std::printf("FOUND=%lu\n", static_cast<unsigned long>(found_ms));
  std::fflush(stdout);
  const bool settled = WaitUntilSettled(box, found_ms + options.wait_ms, start);
  // Gone already (a short time-out): report what there is rather than nothing.
  std::string json = "{\"found_ms\": " + JsonNumber(found_ms) +
                     ", \"settled\": " + JsonBool(settled) +
                     ", \"settled_ms\": " + JsonNumber(GetTickCount() - start) +
                     ", \"window\": " + (IsWindow(box) ? DescribeWindow(box, true) : "null");
  if (!tools::WriteFileAtomically(options.out_path, json + "}\n")) return 4;
  if (!options.pause_path.empty()) WaitForFile(options.pause_path);

  const bool steps_done = RunSteps(box, options.steps, &json);
  const long gone_ms = steps_done ? WaitUntilGone(box, options.gone_ms) : -1;
  std::string results;
  for (const long long result : sendResults) results += (results.empty() ? "" : ", ") + std::to_string(result);
  json += ", \"results\": [" + results + "]";
  json += ", \"step_failed\": " + JsonBool(!steps_done) +
          ", \"gone_ms\": " + (gone_ms >= 0 ? JsonNumber(gone_ms) : "null") +
          ", \"gone_at_ms\": " + (gone_ms >= 0 ? JsonNumber(GetTickCount() - start) : "null") +
          "}\n";
  if (!tools::WriteFileAtomically(options.out_path, json)) return 4;
  if (!steps_done) {
    std::printf("STEP_FAILED\n");
    return 5;
  }
  if (gone_ms < 0) {
    std::printf("STILL_THERE\n");
    return 1;
  }
  std::printf("GONE=%ld\n", gone_ms);
  return 0;
}
