#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "DebugCapture.h"
#include "common/ChildProcess.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"

namespace {

std::string ProbePath() { return ExtractFileDir(ProgramPath()) + "\\runtime-error-probe.exe"; }

// Pumps, so that the probe's debug line reaches the capture window.
bool EndedWithin(const ChildProcess& child, DWORD limitMs) {
  const DWORD start = GetTickCount();
  while (!child.Ended(0)) {
    if (GetTickCount() - start > limitMs) return false;
    WaitPumping(0, 50);
  }
  return true;
}

}  // namespace

// What the C++ runtime would have thrown ends the run: the failed-setup exit
// code for whoever waits, one trace line, and no box (a box would keep the
// process from ending).
TEST(RuntimeErrors, EndTheRunWithTheFailureCodeAndATraceLine) {
  for (const char* kind : {"allocation", "range"}) {
    DebugCapture capture;
    const ChildProcess probe =
        ChildProcess::Start("\"" + ProbePath() + "\" " + kind, ChildOptions());
    ASSERT_TRUE(probe) << ProbePath();
    const bool ended = EndedWithin(probe, 60000);
    if (!ended) TerminateProcess(probe.process(), 9);
    ASSERT_TRUE(ended) << kind << ": still running (a box waiting for a click?)";
    EXPECT_EQ(probe.ExitCode(0), 1603u) << kind;
    EXPECT_NE(capture.text().find(" --- "), std::string::npos) << kind << ": " << capture.text();
    EXPECT_NE(capture.text().find(" [ Method = RuntimeError ] "), std::string::npos)
        << kind << ": " << capture.text();
  }
}
