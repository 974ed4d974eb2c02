#include <gtest/gtest.h>

#include "common/CmdLine.h"
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
      // A quoted path with no "/" inside disappears up to the next switch.
      {"a.exe /SpanDiskFName1=\"C:\\Setup Files\\s.exe.001\" /Y", "/SpanDiskFName1=", "a.exe /Y"},
      // Every form the switch reader reads goes: any case, blanks before "=",
      // every occurrence.
      {"a.exe /spancdlvl=1 /X=1", "/SpanCdLvl=", "a.exe /X=1"},
      {"a.exe /SPANCDLVL=1", "/SpanCdLvl=", "a.exe "},
      {"a.exe /SpanCdLvl =1 /X", "/SpanCdLvl=", "a.exe /X"},
      {"a.exe /SpanCdLvl   = 1 /X", "/SpanCdLvl=", "a.exe /X"},
      {"a.exe /SpanCdLvl=1 /X /spanCDlvl=1 /Y", "/SpanCdLvl=", "a.exe /X /Y"},
      {"/SpanCdLvl=1 /SpanCdLvl=1", "/SpanCdLvl=", ""},
      // The reader drops quotes before it looks: a quoted switch is read too.
      {"a.exe \"/SpanCdLvl=1\" /X", "/SpanCdLvl=", "a.exe /X"},
      {"a.exe /Span\"CdLvl\"=1 /X", "/SpanCdLvl=", "a.exe /X"},
      // The value ends only where the next switch starts (a blank and "/").
      {"a.exe /SpanDiskFName1=D:/x/s.001 /Y", "/SpanDiskFName1=", "a.exe /Y"},
      // Not the switch for the reader either: no blank before the "/", a
      // longer name, no "=", or another switch character.
      {"a.exe x/SpanCdLvl=1", "/SpanCdLvl=", "a.exe x/SpanCdLvl=1"},
      {"a.exe /SpanCdLvlX=1", "/SpanCdLvl=", "a.exe /SpanCdLvlX=1"},
      {"a.exe /SpanCdLvl 1", "/SpanCdLvl=", "a.exe /SpanCdLvl 1"},
      {"a.exe -SpanCdLvl=1", "/SpanCdLvl=", "a.exe -SpanCdLvl=1"},
      {"", "/SpanCdLvl=", ""},
      {"a.exe /X", "", "a.exe /X"},
  };
  for (const auto& c : cases) {
    const std::string removed = RemoveSwitch(c.line, c.switchText);
    EXPECT_EQ(removed, c.expected) << c.line;
    // Whatever the form, the copy's switch reader no longer finds it.
    if (*c.switchText) {
      EXPECT_EQ(SwitchValueIn(removed, c.switchText, "absent"), "absent") << c.line;
    }
  }
}

TEST(EngineCommand, RemoveSwitchLeavesWhatTheReaderCannotRead) {
  // Each of these is read as a span level by the copy; after the removal
  // none is, and the other switches keep their values.
  const char* forms[] = {"/SpanCdLvl=1",    "/spancdlvl=1",        "/SpanCdLvl =1", "/SPANCDLVL  =  1",
                         "\"/SpanCdLvl=1\"", "/SpanCdLvl=\"1\"",   "/S\"panCdLvl=1\""};
  for (const char* form : forms) {
    const std::string params = std::string("/A=1 ") + form + " /B=two words " + form;
    ASSERT_EQ(SwitchValueIn(params, "/SpanCdLvl=", "absent"), "1") << params;
    const std::string removed = RemoveSwitch(params, "/SpanCdLvl=");
    EXPECT_EQ(SwitchValueIn(removed, "/SpanCdLvl=", "absent"), "absent") << params;
    EXPECT_EQ(SwitchValueIn(removed, "/A", ""), "1") << params;
    EXPECT_EQ(SwitchValueIn(removed, "/B", ""), "two words") << params;
  }
}

TEST(EngineCommand, EngineCommandLine) {
  EngineLaunch launch{"C:\\Temp\\SETUP_1", "engine.exe*/B", "/A", "_42", "C:\\Dl\\setup.exe", false};
  // Tail A, entry argument B, the token, then the stub's own path.
  EXPECT_EQ(BuildEngineCommandLine(launch),
            "\"C:\\Temp\\SETUP_1\\engine.exe\" /A /B /TH_ID=_42 /OriginExe=\"C:\\Dl\\setup.exe\"");

  // Blanks in the folder and in the engine's name: the path is quoted, so
  // the system does not try "C:\Documents.exe" first.
  const EngineLaunch blanks{"C:\\Documents and Settings\\Setup User\\Local Settings\\Temp\\SETUP_1",
                            " Setup Engine.exe */S", "/lang=de", "_9", "C:\\My Files\\setup.exe", false};
  EXPECT_EQ(BuildEngineCommandLine(blanks),
            "\"C:\\Documents and Settings\\Setup User\\Local Settings\\Temp\\SETUP_1\\Setup Engine.exe\" "
            "/lang=de /S /TH_ID=_9 /OriginExe=\"C:\\My Files\\setup.exe\"");

  struct {
    const char* entry;
    const char* tail;
    bool agent;
    const char* expected;
  } cases[] = {
      {"engine.exe", "", false, "\"W\\engine.exe\" /TH_ID=_7 /OriginExe=\"P\""},
      {" engine.exe * ", "", false, "\"W\\engine.exe\" /TH_ID=_7 /OriginExe=\"P\""},
      {"sub\\engine.exe*/X", "", true, "\"W\\sub\\engine.exe\" /X /TH_ID=_7 /OriginExe=\"P\" /AutoUpdateProg"},
      {"my engine.exe", "", false, "\"W\\my engine.exe\" /TH_ID=_7 /OriginExe=\"P\""},
      // The span copy brings its own origin; the span switches never reach the engine.
      {"engine.exe", "/SpanCdLvl=2 /SpanDiskFName1=\"D:\\s.exe.001\" /OriginExe=\"D:\\s.exe\" /Z",
       false, "\"W\\engine.exe\" /OriginExe=\"D:\\s.exe\" /Z /TH_ID=_7"},
      // ...in whatever form the user wrote them.
      {"engine.exe*/spancdlvl=1", "/SpanCdLvl =2 /Z /SPANDISKFNAME1 = \"D:\\s.exe.001\" /spancdlvl=2", false,
       "\"W\\engine.exe\" /Z /TH_ID=_7 /OriginExe=\"P\""},
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

  // Every form of a user's level, and a level given twice: the copy must
  // read level 2 and its own first volume.
  const char* params[] = {"/spancdlvl=1 /A",         "/SpanCdLvl =1 /A",
                          "/A /SpanCdLvl=1 /SpanCdLvl=1", "/SPANCDLVL = 1 /A /spandiskfname1 =\"x\"",
                          "\"/SpanCdLvl=1\" /A",     "/SpanDiskFName1=\"D:\\x\\s.001\" /A /SpanDiskFName1=y"};
  for (const char* p : params) {
    const std::string line = SpanRestartCommandLine("Y.exe", p, "P");
    const std::string copyParams = line.substr(line.find("\" ") + 2);
    EXPECT_EQ(SwitchValueIn(copyParams, "/SpanCdLvl=", ""), "2") << p << " -> " << line;
    EXPECT_EQ(SwitchValueIn(copyParams, "/SpanDiskFName1=", ""), "P.001") << p << " -> " << line;
    EXPECT_TRUE(HasSwitchIn(copyParams, "/A")) << p << " -> " << line;
  }
}
