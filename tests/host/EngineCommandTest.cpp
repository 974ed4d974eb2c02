#include <gtest/gtest.h>

#include "setup/EngineCommand.h"

TEST(EngineCommand, RemoveSwitch) {
  struct {
    const char* line;
    const char* switchText;
    const char* expected;
  } cases[] = {
      {"a.exe /SpanCdLvl=2 /X=1", "/SpanCdLvl=", "a.exe /X=1"},  // the blank before it stays
      {"a.exe /X=1 /SpanCdLvl=2", "/SpanCdLvl=", "a.exe /X=1 "},
      {"a.exe /X=1", "/SpanCdLvl=", "a.exe /X=1"},
      {"a.exe /spancdlvl=2", "/SpanCdLvl=", "a.exe /spancdlvl=2"},  // case-sensitive
      // A quoted path with no "/" inside disappears up to the next switch.
      {"a.exe /SpanDiskFName1=\"C:\\Setup Files\\s.exe.001\" /Y", "/SpanDiskFName1=", "a.exe /Y"},
  };
  for (const auto& c : cases) EXPECT_EQ(RemoveSwitch(c.line, c.switchText), c.expected) << c.line;
}

TEST(EngineCommand, EngineCommandLine) {
  EngineLaunch launch{"C:\\Temp\\SETUP_1", "engine.exe*/B", "/A", "_42", "C:\\Dl\\setup.exe", false};
  // Tail A, entry argument B, the token, then the stub's own path.
  EXPECT_EQ(BuildEngineCommandLine(launch), "C:\\Temp\\SETUP_1\\engine.exe /A /B /TH_ID=_42 /OriginExe=\"C:\\Dl\\setup.exe\"");

  struct {
    const char* entry;
    const char* tail;
    bool agent;
    const char* expected;
  } cases[] = {
      {"engine.exe", "", false, "W\\engine.exe /TH_ID=_7 /OriginExe=\"P\""},
      {" engine.exe * ", "", false, "W\\engine.exe /TH_ID=_7 /OriginExe=\"P\""},
      {"sub\\engine.exe*/X", "", true, "W\\sub\\engine.exe /X /TH_ID=_7 /OriginExe=\"P\" /AutoUpdateProg"},
      // The span copy brings its own origin; the span switches never reach the engine.
      {"engine.exe", "/SpanCdLvl=2 /SpanDiskFName1=\"D:\\s.exe.001\" /OriginExe=\"D:\\s.exe\" /Z",
       false, "W\\engine.exe /OriginExe=\"D:\\s.exe\" /Z /TH_ID=_7"},
  };
  for (const auto& c : cases) {
    const EngineLaunch l{"W\\", c.entry, c.tail, "_7", "P", c.agent};
    EXPECT_EQ(BuildEngineCommandLine(l), c.expected) << c.entry << " | " << c.tail;
  }
  EXPECT_EQ(EngineFileName(" setup.exe *args"), "setup.exe");
}

TEST(EngineCommand, SpanRestart) {
  EXPECT_EQ(SpanRestartCommandLine("C:\\Temp\\SETUP_1\\Y_setup.exe", "/A=1", "D:\\setup.exe"),
            "\"C:\\Temp\\SETUP_1\\Y_setup.exe\" /A=1 /SpanCdLvl=2 /SpanDiskFName1=\"D:\\setup.exe.001\" "
            "/OriginExe=\"D:\\setup.exe\"");
  EXPECT_EQ(SpanRestartCommandLine("Y.exe", "", "P"),
            "\"Y.exe\" /SpanCdLvl=2 /SpanDiskFName1=\"P.001\" /OriginExe=\"P\"");
  // A level given by the user must not win over the copy's: it would restart without end.
  EXPECT_EQ(SpanRestartCommandLine("Y.exe", "/SpanCdLvl=1 /A /SpanDiskFName1=\"x\"", "P"),
            "\"Y.exe\" /A /SpanCdLvl=2 /SpanDiskFName1=\"P.001\" /OriginExe=\"P\"");
}
