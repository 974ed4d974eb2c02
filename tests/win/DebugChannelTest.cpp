#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "common/VDebug.h"

namespace {

std::vector<std::string> received;
UINT viewerMessage = 0;

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == viewerMessage && wParam == 1) {
    char text[256] = {};
    GlobalGetAtomNameA(static_cast<ATOM>(lParam), text, sizeof text);
    received.push_back(text);
    return 1;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A viewer window of the debug channel's class, in this process.
class InProcessViewer {
 public:
  InProcessViewer() {
    viewerMessage = RegisterWindowMessageA(".V_DebugMsg.");
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = ".VDebug.";
    RegisterClassA(&wc);
    window_ = CreateWindowA(".VDebug.", "viewer", 0, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    received.clear();
  }
  ~InProcessViewer() {
    DestroyWindow(window_);
    UnregisterClassA(".VDebug.", GetModuleHandleA(nullptr));
  }

 private:
  HWND window_;
};

}  // namespace

TEST(DebugChannel, LongLineArrivesIn128CharacterPieces) {
  InProcessViewer viewer;
  DebugChannel() << std::string(300, 'x');
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0], std::string(128, 'x'));
  EXPECT_EQ(received[1], std::string(128, 'x'));
  EXPECT_EQ(received[2], std::string(44, 'x') + "\r\n");
}

TEST(DebugChannel, TraceLinesStartWithTheProcessId) {
  InProcessViewer viewer;
  DebugTrace() << " ==== value=" << 42 << "<";
  DebugChannel();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0], std::to_string(GetCurrentProcessId()) + " ==== value=42<\r\n");
  EXPECT_EQ(received[1], "\r\n");
}

TEST(DebugChannel, LogExceptionLeavesOutEmptyParts) {
  InProcessViewer viewer;
  LogException("Utils.GetExeVersion()", "", "out of memory");
  LogException("YieldX", "a remark", nullptr);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0], " ---  [ Method = Utils.GetExeVersion() ]  [ ErrMsg = out of memory ] \r\n");
  EXPECT_EQ(received[1], " ---  [ Method = YieldX ]  [ Remark = a remark ] \r\n");
}

TEST(DebugChannel, NoViewerDropsTheText) {
  received.clear();
  DebugChannel() << "nobody listens";
  EXPECT_TRUE(received.empty());
}
