#include "stub/MainWindow.h"

#include <commctrl.h>

#include "autoupdate/Agent.h"
#include "autoupdate/AgentView.h"
#include "common/Files.h"
#include "common/RunLog.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/VDebug.h"
#include "common/WinHandles.h"
#include "inet/Download.h"
#include "package/Language.h"
#include "package/TGFileInfo.h"
#include "setup/SetupRun.h"
#include "setup/SetupView.h"
#include "stub/StubMain.h"
#include "stub/StubModes.h"
#include "ui/VMsgBox.h"

namespace {

constexpr DWORD kMainStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;  // 0x02C80000
constexpr int kWidth = 492;
constexpr int kHeight = 110;
constexpr UINT_PTR kStartTimer = 1;
// Progress steps come once per file; drawing each one (two control messages,
// a repaint) costs more under Wine than writing a small file. They are drawn
// at most this often.
constexpr DWORD kProgressDrawMs = 30;

struct MainWindowState {
  HWND window = nullptr;
  HWND textLine = nullptr;
  HWND progressBar = nullptr;
  HWND activityBar = nullptr;
  HWND detailLine = nullptr;  // a download's sizes and rate
  HWND hostWindow = nullptr;
  UINT hostMessage = 0;
  int activity = 0;
  int position = 0;         // the progress bar's position as stepped
  int drawnPosition = 0;    // and as last drawn
  std::string detail;       // the detail line as set
  bool detailDrawn = true;  // and whether it is drawn
  DWORD lastDraw = 0;
  bool destroyed = false;
  bool setupStarted = false;  // a tick queued before the timer died must not start a second run
  UniqueGdiObject textFont;
  UniqueGdiObject detailFont;
};
MainWindowState state;

bool RightToLeft(int charset) { return charset == 177 || charset == 178; }

HFONT CreateTextFont(const std::string& face, int height, int charset) {
  return CreateFontA(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, static_cast<DWORD>(charset),
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                     face.c_str());
}

HWND CreateChild(HWND parent, const char* className, DWORD style, int x, int y, int width,
                 int height) {
  return CreateWindowExA(0, className, "", WS_CHILD | style, x, y, width, height, parent, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

void CreateChildren(HWND window) {
  const bool rtl = RightToLeft(StubPackage().Charset());
  state.textLine = CreateChild(window, "Static", WS_VISIBLE, rtl ? 122 : 70, 20, 340, 18);
  state.progressBar = CreateChild(window, PROGRESS_CLASSA, WS_VISIBLE, 70, 38, 392, 13);
  state.activityBar = CreateChild(window, PROGRESS_CLASSA, 0, rtl ? 70 : 416, 20, 46, 13);
  state.detailLine = CreateChild(window, "Static", WS_VISIBLE, 70, 54, 392, 14);
  state.textFont.reset(CreateTextFont("Tahoma", -11, DEFAULT_CHARSET));
  SendMessageA(state.textLine, WM_SETFONT, reinterpret_cast<WPARAM>(state.textFont.get()), TRUE);
  state.detailFont.reset(CreateTextFont("Tahoma", -11, DEFAULT_CHARSET));
  SendMessageA(state.detailLine, WM_SETFONT, reinterpret_cast<WPARAM>(state.detailFont.get()),
               TRUE);
  SetTimer(window, kStartTimer, 1000, nullptr);
}

void Paint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  if (HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MainIcon")) DrawIcon(dc, 18, 20, icon);
  EndPaint(window, &paint);
}

void DrawProgress() {
  if (!state.detailDrawn) {
    SendMessageA(state.detailLine, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(state.detail.c_str()));
    state.detailDrawn = true;
  }
  state.lastDraw = GetTickCount();
  if (state.drawnPosition == state.position) return;
  SendMessageA(state.progressBar, PBM_SETPOS, state.position, 0);
  state.activity = state.activity >= 5 ? 0 : state.activity + 1;
  SendMessageA(state.activityBar, PBM_SETPOS, state.activity, 0);
  state.drawnPosition = state.position;
}

void DrawProgressWhenDue() {
  if (GetTickCount() - state.lastDraw >= kProgressDrawMs) DrawProgress();
}

// The setup run's and the agent's view of the main window.
class MainView : public AgentView {
 public:
  HWND Window() override { return MainWindowHandle(); }
  void NotifyHost(WPARAM code, LPARAM value) override { ::NotifyHost(code, value); }
  void Reset(int total) override {
    // The 32-bit range message: a package may hold more than 65,535 files.
    SendMessageA(state.progressBar, PBM_SETRANGE32, 0, total);
    SendMessageA(state.progressBar, PBM_SETPOS, 0, 0);
    SendMessageA(state.activityBar, PBM_SETRANGE32, 0, 5);
    SendMessageA(state.activityBar, PBM_SETPOS, 0, 0);
    state.position = state.drawnPosition = 0;
    state.detail.clear();
    SendMessageA(state.detailLine, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    state.detailDrawn = true;
  }
  void Step() override {
    ++state.position;
    DrawProgressWhenDue();
  }
  void SetDetail(const std::string& text) override {
    if (text == state.detail) return;
    state.detail = text;
    state.detailDrawn = false;
    DrawProgressWhenDue();
  }
  void Show(bool show) override {
    DrawProgress();  // the last steps, made since the last draw
    if (!MainWindowHandle()) return;
    ShowWindow(state.window, show ? SW_SHOWNORMAL : SW_HIDE);
    if (show) UpdateWindow(state.window);
  }
  void SetText(const std::string& text, const std::string& fontName, int charset,
               int fontSize) override;
  void ShowActivity() override {
    if (state.activityBar) ShowWindow(state.activityBar, SW_SHOW);
  }
};

void MainView::SetText(const std::string& text, const std::string& fontName, int charset,
                       int fontSize) {
  if (!state.textLine) return;
  const bool rtl = RightToLeft(charset);
  SetWindowLongA(state.textLine, GWL_EXSTYLE, rtl ? WS_EX_RTLREADING : 0);
  SetWindowLongA(state.textLine, GWL_STYLE, WS_CHILD | WS_VISIBLE | (rtl ? SS_RIGHT : 0));
  state.textFont.reset(CreateTextFont(fontName, -PointsToPixels(fontSize), charset));
  SendMessageA(state.textLine, WM_SETFONT, reinterpret_cast<WPARAM>(state.textFont.get()), TRUE);
  SendMessageA(state.textLine, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

MainView& View() {
  static MainView view;
  return view;
}

unsigned long SetupJob() { return RunSetup(StubPackage(), View()); }

// Runs the setup job inside this timer message, pumping messages while it
// works; its result becomes the process exit code. Runs once.
void StartSetupRun(HWND window) {
  KillTimer(window, kStartTimer);
  if (state.setupStarted) return;
  state.setupStarted = true;
  SetProcessExitCode(RunSetupJob(SetupJob));
}

// Any process may send this: only an existing window and a message number
// programs may define for themselves are taken as the host.
void OnLocalMessage(HWND window, WPARAM host, LPARAM message) {
  if (!IsWindow(reinterpret_cast<HWND>(host)) ||
      !IsHostMessageNumber(static_cast<uint32_t>(message))) {
    WriteLog("wm_LocalMsg refused: no such window or a message number below WM_USER");
    return;
  }
  state.hostWindow = reinterpret_cast<HWND>(host);
  state.hostMessage = static_cast<UINT>(message);
  NotifyHost(50, reinterpret_cast<LPARAM>(window));
  NotifyHost(51, 1125);
}

// Every handler may run while a job pumps messages inside the timer message.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CreateChildren(window);
      break;
    case WM_DESTROY:
      DebugChannel() << "- wm_Destroy -";
      DestroyMainWindow();
      break;
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_CLOSE:
      if (!CloseMainWindow()) return 0;
      break;
    case WM_QUIT:
      DebugChannel() << "- wm_Quit -";
      DestroyMainWindow();
      break;
    case WM_TIMER:
      if (StubPackage().IsUpdateAgent()) {
        OnAgentTimer(StubPackage(), View());
      } else {
        StartSetupRun(window);
      }
      break;
    case wm_ShutDown:
      SetQuitCountdown(static_cast<int>(wParam));
      break;
    case wm_LocalMsg:
      OnLocalMessage(window, wParam, lParam);
      break;
    case wm_AgentMsg:
      return AgentMessage(StubPackage(), wParam, lParam);
    default:
      if (message != 0 && message == AutoPlayMessage())
        return 1;  // no AutoPlay while we wait for a disk
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterMainClass(const std::string& className) {
  WNDCLASSA windowClass = {};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hIcon = LoadIconA(windowClass.hInstance, "MainIcon");
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = className.c_str();
  return RegisterClassA(&windowClass) != 0;
}

HWND CreateMainWindow(const std::string& className) {
  RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - kWidth) / 2;
  const int y = work.top + (work.bottom - work.top - kHeight) / 2;
  const std::string title = StubPackage().LangText("s0", LangDefault::s0);
  return CreateWindowExA(0, className.c_str(), title.c_str(), kMainStyle, x, y, kWidth, kHeight,
                         nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

void RunMessageLoop() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    if (state.destroyed) break;
  }
}

// The progress bar's class. The Ex form came with version 4.70 of the common
// controls (Internet Explorer 3), which Windows 95 and NT 4 may lack; the old
// call registers every class, the progress bar's among them.
void RegisterProgressClass() {
  using InitEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const HMODULE controls = GetModuleHandleA("comctl32.dll");
  const auto initEx = reinterpret_cast<InitEx>(reinterpret_cast<void (*)()>(
      controls ? GetProcAddress(controls, "InitCommonControlsEx") : nullptr));
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
  if (!initEx || !initEx(&classes)) InitCommonControls();
}

}  // namespace

bool RunMainWindow() {
  const int32_t sleep = ClampedSwitchValue(GetSwitchInt("/SleepX=", -1), kMaxSwitchTicks);
  if (sleep >= 0) SetAgentTimerCount(-sleep);

  RegisterProgressClass();
  const std::string className = MainWindowClassName();
  if (!RegisterMainClass(className)) {
    DebugTrace() << " The main window's class cannot be registered (error "
                 << static_cast<unsigned long>(GetLastError()) << ")";
  }
  state.window = CreateMainWindow(className);
  if (!state.window) {
    DebugTrace() << " The main window cannot be created (error "
                 << static_cast<unsigned long>(GetLastError()) << ")";
  }
  const TGFileInfo& package = StubPackage();
  SetMsgBoxFont(package.FontName(), package.FontSize(), package.Charset());
  if (state.window) {
    ShowWindow(state.window, SW_HIDE);
    RunMessageLoop();
  }

  if (state.window) KillTimer(state.window, kStartTimer);
  SetDownloadAbort(true);
  ReleaseWinInetLibrary();
  NotifyHost(43, 0);
  return state.window != nullptr;
}

HWND MainWindowHandle() { return state.window && IsWindow(state.window) ? state.window : nullptr; }

void NotifyHost(WPARAM wParam, LPARAM lParam) {
  if (state.hostWindow && state.hostMessage)
    PostMessageA(state.hostWindow, state.hostMessage, wParam, lParam);
}

bool CloseMainWindow() {
  WriteLog(".. CloseMainWindow() - Start");
  const bool mayClose = DownloadAbort();
  if (!mayClose) SetDownloadAbort(true);
  WriteLog(".. CloseMainWindow() - End");
  return mayClose;
}

void DestroyMainWindow() {
  WriteLog(".. DestroyMainWindow() - Start");
  // A running job still unpacks into its working folder or has an engine
  // running from it: the job removes the folder itself once it is done.
  SetDownloadAbort(true);
  PostQuitMessage(0);
  state.destroyed = true;
  WriteLog(".. DestroyMainWindow() - End");
}
