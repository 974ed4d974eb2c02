#include <gtest/gtest.h>
#include <windows.h>

#include "setup/SetupRun.h"

namespace {

unsigned long JobEndingWith7() { return 7; }

// The job's own quit request, taken off the queue so the next test starts clean.
bool TakeQuitRequest() {
  MSG msg;
  return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

}  // namespace

// The job's code passes on, and the message loop is told to end. (A job
// that fails inside the C++ runtime ends the process: RuntimeErrorTest.)
TEST(SetupRun, JobEndsTheRunWithItsCode) {
  EXPECT_EQ(RunSetupJob(JobEndingWith7), 7u);
  EXPECT_TRUE(TakeQuitRequest());
}
