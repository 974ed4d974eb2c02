#include <gtest/gtest.h>

#include <windows.h>

#include <new>

#include "setup/SetupRun.h"

namespace {

unsigned long JobThatThrows() { throw std::bad_alloc(); }

unsigned long JobEndingWith7() { return 7; }

// The job's own quit request, taken off the queue so the next test starts clean.
bool TakeQuitRequest() {
  MSG msg;
  return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

}  // namespace

// A hidden setup process whose job failed inside must still end, with the
// failure code, or a deployment tool would wait for it for ever.
TEST(SetupRun, JobBoundaryEndsTheRunWhateverTheJobDoes) {
  struct {
    unsigned long (*job)();
    unsigned long expected;
  } cases[] = {
      {JobEndingWith7, 7},       // the job's code passes on
      {JobThatThrows, 1603},     // an exception is a failed run, not a hang
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunSetupJob(c.job), c.expected);
    EXPECT_TRUE(TakeQuitRequest()) << c.expected << ": the message loop is told to end";
  }
}
