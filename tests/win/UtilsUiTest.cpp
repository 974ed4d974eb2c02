#include <gtest/gtest.h>

#include <windows.h>

#include "common/UtilsUi.h"

TEST(UtilsUi, WaitPumpingSteps) {
  struct {
    DWORD step, milliseconds, expected;
  } cases[] = {
      {0, 50, 5}, {0, 5000, 25}, {0, 5, 1}, {0, 0, 1}, {7, 5000, 7},
  };
  for (const auto& c : cases) EXPECT_EQ(WaitPumpingStep(c.step, c.milliseconds), c.expected) << c.milliseconds;
}

namespace {

int timerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++timerTicks; }

}  // namespace

TEST(UtilsUi, WaitingKeepsMessagesFlowing) {
  timerTicks = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 10, CountTick);
  const int64_t start = MillisecondClock();
  WaitPumping(0, 200);
  const int64_t elapsed = MillisecondClock() - start;
  KillTimer(nullptr, timer);
  EXPECT_GE(elapsed, 200);
  EXPECT_GT(timerTicks, 2);  // the timer ran while we waited
  WaitPumping(0, 0);         // a zero wait still pumps once
}

TEST(UtilsUi, QuitRequestSurvivesAWait) {
  PostQuitMessage(42);
  WaitPumping(0, 30);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 42u);
}

TEST(UtilsUi, ScreenAndEnvironment) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(PointsToPixels(8), MulDiv(8, dpi, 72));
  EXPECT_EQ(IsDeveloperMachine(), false);  // the test run does not set DVX=853
  SetAutoPlaySuppression(true);
  EXPECT_EQ(AutoPlayMessage(), RegisterWindowMessageA("QueryCancelAutoPlay"));
  SetAutoPlaySuppression(false);
  EXPECT_EQ(AutoPlayMessage(), 0u);
}
