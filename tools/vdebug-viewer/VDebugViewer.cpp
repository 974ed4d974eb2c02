// vdebug-viewer: shows the debug channel of programs that trace to a window of
// class ".VDebug.". A sender adds each piece of text as a global atom and sends
// the registered message ".V_DebugMsg." with wParam 1 and the atom as lParam;
// the viewer reads the atom while it handles the message (the sender deletes
// it as soon as SendMessage returns) and answers 1.
//
// Usage: vdebug-viewer.exe [/log=PATH] [/pieces=PATH] [/ready=PATH]
//   /log=PATH     append every piece, byte for byte, to PATH
//   /pieces=PATH  append every piece's length to PATH, one decimal per line
//   /ready=PATH   write PATH (the window handle in decimal) once the window
//                 exists, so a script knows when senders can start
// Both files are opened and closed per piece, so they can be read while the
// viewer runs; the log is written before the length, so a reader that has
// seen N lengths finds at least those N pieces in the log.

#include <windows.h>

#include <cstdio>
#include <string>

#include "common/Files.h"
#include "support/ToolSupport.h"

namespace {

const char kClassName[] = ".VDebug.";
const char kMessageName[] = ".V_DebugMsg.";
const char kTitle[] = "VDebug viewer";
// An atom name has at most 255 characters.
const int kAtomBufferSize = 256;

struct ViewerOptions {
  std::string log_path;
  std::string pieces_path;
  std::string ready_path;
};

// The viewer has one window; its procedure reaches the state through here.
struct ViewerState {
  ViewerOptions options;
  UINT debug_message = 0;
  HWND edit = nullptr;
};
ViewerState g_viewer;

bool ParseOptions(int argc, char** argv, ViewerOptions* options) {
  static const char* const kKnown[] = {"/log", "/pieces", "/ready", nullptr};
  for (int i = 1; i < argc; ++i) {
    if (!tools::IsKnownOption(argv[i], kKnown)) return false;
  }
  tools::FindOption(argc, argv, 1, "/log", &options->log_path);
  tools::FindOption(argc, argv, 1, "/pieces", &options->pieces_path);
  tools::FindOption(argc, argv, 1, "/ready", &options->ready_path);
  return true;
}

// An edit control breaks lines only at CR LF; senders normally send CR LF
// already, but a bare LF or CR should still start a new line on screen.
std::string ForDisplay(const char* text, int length) {
  std::string out;
  out.reserve(length + 8);
  for (int i = 0; i < length; ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < length && text[i + 1] == '\n') {
      out += "\r\n";
      ++i;
    } else if (c == '\r' || c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

void AppendToEdit(const std::string& text) {
  const LRESULT end = SendMessageA(g_viewer.edit, WM_GETTEXTLENGTH, 0, 0);
  SendMessageA(g_viewer.edit, EM_SETSEL, end, end);
  SendMessageA(g_viewer.edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageA(g_viewer.edit, EM_SCROLLCARET, 0, 0);
}

// Returns the answer to the sender: 1 when the atom held text.
LRESULT OnDebugPiece(ATOM atom) {
  char text[kAtomBufferSize];
  const UINT length = GlobalGetAtomNameA(atom, text, sizeof(text));
  if (length == 0) return 0;
  const ViewerOptions& options = g_viewer.options;
  if (!options.log_path.empty()) AppendToFile(options.log_path, std::string(text, length), false, 0);
  if (!options.pieces_path.empty()) {
    char line[16];
    const int n = std::snprintf(line, sizeof(line), "%u\r\n", length);
    AppendToFile(options.pieces_path, std::string(line, n), false, 0);
  }
  AppendToEdit(ForDisplay(text, static_cast<int>(length)));
  return 1;
}

HWND CreateEdit(HWND parent) {
  const DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                      ES_AUTOVSCROLL | ES_AUTOHSCROLL;
  HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", style, 0, 0, 0, 0, parent, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  if (edit == nullptr) return nullptr;
  SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), FALSE);
  // The default limit of a multi-line edit (32K) would silently stop a long session.
  SendMessageA(edit, EM_SETLIMITTEXT, 0, 0);
  return edit;
}

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == g_viewer.debug_message && message != 0) {
    if (wparam != 1) return 0;
    return OnDebugPiece(static_cast<ATOM>(lparam));
  }
  switch (message) {
    case WM_CREATE:
      g_viewer.edit = CreateEdit(window);
      return g_viewer.edit != nullptr ? 0 : -1;
    case WM_SIZE:
      MoveWindow(g_viewer.edit, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
      return 0;
    case WM_SETFOCUS:
      SetFocus(g_viewer.edit);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

HWND CreateViewerWindow(HINSTANCE instance) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = ViewerProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconA(nullptr, IDI_INFORMATION);
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kClassName;
  if (!RegisterClassA(&window_class)) return nullptr;
  return CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                         720, 420, nullptr, nullptr, instance, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  if (!ParseOptions(__argc, __argv, &g_viewer.options)) {
    MessageBoxA(nullptr, "Usage: vdebug-viewer.exe [/log=PATH] [/pieces=PATH] [/ready=PATH]",
                kTitle, MB_OK | MB_ICONERROR);
    return 2;
  }
  g_viewer.debug_message = RegisterWindowMessageA(kMessageName);
  HWND window = CreateViewerWindow(instance);
  if (window == nullptr || g_viewer.debug_message == 0) return 1;
  // Wine does not pass STARTUPINFO's show state to the first ShowWindow call;
  // nCmdShow does carry it.
  ShowWindow(window, show_command);
  UpdateWindow(window);
  const std::string& ready = g_viewer.options.ready_path;
  if (!ready.empty()) {
    char handle[32];
    std::snprintf(handle, sizeof(handle), "%lu\r\n",
                  static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
    if (!tools::WriteFileAtomically(ready, handle)) return 1;
  }
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}
