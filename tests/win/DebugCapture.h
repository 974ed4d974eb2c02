// A window of the debug viewer's class inside the test process: everything
// the debug channel delivers while it exists is collected in order.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class DebugCapture {
 public:
  DebugCapture() {
    text_.clear();
    pieces_.clear();
    message_ = RegisterWindowMessageA(".V_DebugMsg.");
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = ".VDebug.";
    RegisterClassA(&wc);
    window_ = CreateWindowA(".VDebug.", "viewer", 0, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  }
  ~DebugCapture() {
    DestroyWindow(window_);
    UnregisterClassA(".VDebug.", GetModuleHandleA(nullptr));
  }
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  // All pieces received so far, joined.
  const std::string& text() const { return text_; }
  // Each piece as it arrived.
  const std::vector<std::string>& pieces() const { return pieces_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == message_ && wParam == 1) {
      char piece[256] = {};
      GlobalGetAtomNameA(static_cast<ATOM>(lParam), piece, sizeof piece);
      text_ += piece;
      pieces_.push_back(piece);
      return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  static inline UINT message_ = 0;
  static inline std::string text_;
  static inline std::vector<std::string> pieces_;
  HWND window_;
};
