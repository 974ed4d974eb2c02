#include "common/ChildProcess.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "WinTestFiles.h"
#include "WinTestProcesses.h"
#include "common/TextRules.h"

namespace {

std::string SystemCmd() {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  return std::string(system) + "\\cmd.exe";
}

}  // namespace

TEST(ChildProcess, FailedStartHoldsOnlyTheReason) {
  const std::string missing =
      "\"C:\\Nowhere\\no-such-program-" + std::to_string(GetCurrentProcessId()) + ".exe\" /a";
  const ChildProcess child = ChildProcess::Start(missing, ChildOptions());
  EXPECT_FALSE(child.started());
  EXPECT_FALSE(child);
  EXPECT_EQ(child.process(), nullptr);
  EXPECT_EQ(child.id(), 0u);
  EXPECT_TRUE(child.startError() == ERROR_PATH_NOT_FOUND ||
              child.startError() == ERROR_FILE_NOT_FOUND)
      << child.startError();
  EXPECT_FALSE(child.Ended(0));
  EXPECT_EQ(child.ExitCode(7), 7u);
  const DWORD start = GetTickCount();
  child.WaitPumpingUntilEnded();  // nothing to wait for: back at once
  EXPECT_LT(ElapsedSince(start), 5000u);
}

// The wait watches the handle: an exit code of 259 reads as "still active"
// and must not keep it waiting.
TEST(ChildProcess, WaitEndsWithTheProgramAndKeepsAll32BitsOfItsCode) {
  const struct {
    const char* command;
    DWORD exitCode;
  } cases[] = {
      {"cmd /c exit 0", 0},
      {"cmd /c exit 259", 259},       // STILL_ACTIVE
      {"cmd /c exit -2", 0xFFFFFFFE},  // the top bit set
  };
  for (const auto& c : cases) {
    const ChildProcess child = ChildProcess::Start(c.command, ChildOptions());
    ASSERT_TRUE(child) << c.command << ": error " << child.startError();
    EXPECT_NE(child.id(), 0u) << c.command;
    child.WaitPumpingUntilEnded();
    EXPECT_TRUE(child.Ended(0)) << c.command;
    EXPECT_EQ(child.ExitCode(12345), c.exitCode) << c.command;
  }
}

// The program named in the options runs, whatever the command line's first
// item says, and in the working folder named there.
TEST(ChildProcess, ProgramAndWorkingFolderFromTheOptions) {
  ScratchFolder folder;
  const std::string report = folder.Path("where.txt");
  ChildOptions options;
  options.program = SystemCmd();
  options.workingFolder = folder.path();
  options.showState = SW_HIDE;
  const ChildProcess child = ChildProcess::Start("not-a-program.exe /c cd > where.txt", options);
  ASSERT_TRUE(child) << "error " << child.startError();
  ASSERT_TRUE(child.Ended(60000));
  EXPECT_EQ(child.ExitCode(12345), 0u);
  const std::string printed = ReadWholeFile(report);
  EXPECT_TRUE(SameTrimmedText(printed, folder.path())) << printed;  // cd prints it with CR LF
}

// Wine starts a Unix program but hands back no process handle: the start
// counts, and the waits and the exit code must cope with having nothing.
TEST(ChildProcess, StartWithoutAProcessHandle) {
  if (!RunningUnderWine()) GTEST_SKIP() << "only Wine starts Unix programs";
  ChildOptions options;
  options.program = "Z:\\bin\\true";
  const ChildProcess child = ChildProcess::Start("/bin/true", options);
  ASSERT_TRUE(child.started()) << "error " << child.startError();
  EXPECT_FALSE(child);
  EXPECT_FALSE(child.Ended(0));
  EXPECT_EQ(child.ExitCode(7), 7u);
  const DWORD start = GetTickCount();
  child.WaitPumpingUntilEnded();
  EXPECT_LT(ElapsedSince(start), 5000u);
}
