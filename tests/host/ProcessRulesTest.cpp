#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ProcessRules.h"

TEST(ProcessRules, NormaliseProgramPath) {
  struct {
    const char* path;
    const char* expected;
  } cases[] = {
      {"  C:\\App\\prog.exe \t", "C:\\App\\prog.exe"},
      {"\"C:\\Program Files\\App\\prog.exe\"", "C:\\Program Files\\App\\prog.exe"},
      {"  \" C:\\App\\prog.exe \"  ", "C:\\App\\prog.exe"},  // blanks inside the quotes too
      {"\"C:\\App\\prog.exe", "\"C:\\App\\prog.exe"},        // a lone quote stays
      {"\"\"", ""},
      {"\"", "\""},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(NormaliseProgramPath(c.path), c.expected) << "[" << c.path << "]";
}

// What "tasklist.exe /FO csv" prints, with the program listed twice.
const char kTasklistText[] =
    "\r\n"
    "\"Image Name\",\"PID\",\"Session Name\",\"Session#\",\"Mem Usage\"\r\n"
    "\"System Idle Process\",\"0\",\"Services\",\"0\",\"8 K\"\r\n"
    "\"System\",\"4\",\"Services\",\"0\",\"3,256 K\"\r\n"
    "\"explorer.exe\",\"1500\",\"Console\",\"1\",\"85,112 K\"\r\n"
    "\"prog.exe\",\"2044\",\"Console\",\"1\",\"12,345 K\"\r\n"
    "\"svchost.exe\",\"812\",\"Services\",\"0\",\"20,480 K\"\r\n"
    "\"Prog.EXE\",\"3100\",\"Console\",\"1\",\"9,876 K\"\r\n";

TEST(ProcessRules, TasklistIds) {
  struct {
    const char* path;
    bool fromEnd;
    uint32_t expected;
  } cases[] = {
      {"prog.exe", false, 2044},                          // listed twice: the first line
      {"prog.exe", true, 3100},                           // from the end: the last line
      {"C:\\Program Files\\App\\prog.exe", false, 2044},  // only the file name counts
      {"  PROG.exe ", false, 2044},                       // trimmed, any case
      {"explorer.exe", true, 1500},
      {"System Idle Process", false, 0},  // id 0 is no answer
      {"Image Name", false, 0},           // the header names no program
      {"missing.exe", false, 0},
      {"missing.exe", true, 0},
      {"", false, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TasklistIdFromText(kTasklistText, c.path, c.fromEnd), c.expected)
        << c.path << (c.fromEnd ? " from the end" : "");
  }
}

TEST(ProcessRules, TasklistOddTexts) {
  EXPECT_EQ(TasklistIdFromText("", "prog.exe", false), 0u);
  EXPECT_EQ(TasklistIdFromText("", "prog.exe", true), 0u);
  // Only the header: a walk from the end must not read it as a program.
  EXPECT_EQ(TasklistIdFromText("\"prog.exe\",\"12\"\r\n", "prog.exe", true), 0u);
  // Lines ending in LF alone.
  EXPECT_EQ(TasklistIdFromText("\"Image Name\",\"PID\"\n\"a.exe\",\"5\"\n\"prog.exe\",\"6\"\n",
                               "prog.exe", false),
            6u);
  // The walk goes on past a line whose id is not above 0.
  EXPECT_EQ(
      TasklistIdFromText("h,h\r\nprog.exe,0\r\nprog.exe,x\r\nprog.exe,77\r\n", "prog.exe", false),
      77u);
  // An id beyond 32 bits is none.
  EXPECT_EQ(TasklistIdFromText("h,h\r\nprog.exe,99999999999\r\n", "prog.exe", false), 0u);
}

TEST(ProcessRules, ProcessListBuildAndReverse) {
  std::string list = kEmptyProcessList;
  AddProcessEntry(list, "explorer.exe", 1500);
  AddProcessEntry(list, "", 7);  // nameless processes are left out
  AddProcessEntry(list, "prog.exe", 2044);
  EXPECT_EQ(list, "|explorer.exe=1500|prog.exe=2044|");
  EXPECT_EQ(ReversedList(list), "|prog.exe=2044|explorer.exe=1500|");
  EXPECT_EQ(ReversedList("|"), "|");
  EXPECT_EQ(ReversedList("|a|"), "|a|");
}

TEST(ProcessRules, FindInProcessList) {
  const std::string list =
      "|explorer.exe=1500|prog.exe=2044|PROG.EXE=3100|a=b.exe=12|noid.exe|PROGRA~1.EXE=55|";
  struct {
    const char* name;
    const char* shortName;
    uint32_t expected;
  } cases[] = {
      {"prog.exe", "", 2044},                    // the first entry of that name
      {" Prog.Exe ", "", 2044},                  // trimmed, any case
      {"a=b.exe", "", 12},                       // a name holding "=": the id follows the last one
      {"noid.exe", "", 0},                       // an entry without "=" is no entry
      {"program file.exe", "PROGRA~1.EXE", 55},  // found by its short name
      {"program file.exe", "", 0},
      {"missing.exe", "", 0},  // no short name: an empty one matches nothing
      {"", "", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindInProcessList(list, c.name, c.shortName), c.expected)
        << c.name << " / " << c.shortName;
  }
  EXPECT_EQ(FindInProcessList(ReversedList(list), "prog.exe", ""),
            3100u);  // reversed: the last listed
}

TEST(ProcessRules, ProgramMatches) {
  const ListedProgram listed{"C:\\App\\prog.exe", "prog.exe", "C:\\App\\PROG~1.EXE"};
  const ListedProgram noShort{"C:\\App\\other.exe", "other.exe", ""};
  struct {
    const char* path;
    const char* pathShort;
    const ListedProgram& program;
    bool byFullPath;
    bool expected;
  } cases[] = {
      {"C:\\App\\prog.exe", "", listed, true, true},
      {" c:\\app\\PROG.EXE ", "", listed, true, true},    // trimmed, any case
      {"prog.exe", "", listed, false, true},              // the base name
      {"prog.exe", "", listed, true, false},              // by full path the name is not enough
      {"D:\\Other\\prog.exe", "", listed, false, false},  // another folder's path is not the name
      {"C:\\App\\Prog Long.exe", "C:\\App\\PROG~1.EXE", listed, true, true},  // equal short forms
      {"C:\\Elsewhere\\x.exe", "", noShort, false, false},  // neither has a short form
      {"", "", listed, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgramMatches(c.path, c.pathShort, c.program, c.byFullPath), c.expected)
        << c.path << " / " << c.pathShort << (c.byFullPath ? " by full path" : "");
  }
}

TEST(ProcessRules, SpecialProcessNames) {
  struct {
    uint32_t id, major, minor;
    const char* expected;
  } cases[] = {
      {0, 6, 1, "System Idle Process"},
      {2, 4, 0, "System Process"},
      {8, 5, 0, "System Process"},
      {8, 5, 1, ""},  // XP's system process is id 4 and has no special name here
      {2, 5, 0, ""},
      {1234, 6, 1, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SpecialProcessName(c.id, c.major, c.minor), c.expected)
        << c.id << " on " << c.major << "." << c.minor;
  }
}

namespace {

WindowFacts Facts(uint32_t id, const char* program, uintptr_t window, const char* title = "",
                  bool visible = false) {
  WindowFacts facts;
  facts.processId = id;
  facts.programName = program;
  facts.className = "Cls";
  facts.window = window;
  facts.threadId = id + 1;
  facts.title = title;
  facts.visible = visible;
  return facts;
}

}  // namespace

TEST(ProcessRules, WindowListModeZeroTakesOneWindowPerProgram) {
  WindowList list = NewWindowList(0, "*", -1);
  EXPECT_TRUE(AddToWindowList(list, Facts(10, "a.exe", 100)));
  EXPECT_TRUE(AddToWindowList(list, Facts(10, "a.exe", 101)));   // same program
  EXPECT_TRUE(AddToWindowList(list, Facts(11, " A.EXE", 102)));  // same name, any case
  EXPECT_TRUE(AddToWindowList(list, Facts(20, "b.exe", 200, "Main", true)));
  EXPECT_TRUE(AddToWindowList(list, Facts(30, "", 300)));  // program unknown: one entry
  EXPECT_TRUE(AddToWindowList(list, Facts(31, "", 301)));
  EXPECT_EQ(list.programNames, "|a.exe|b.exe||");
  EXPECT_EQ(list.processIds, "|10|20|30|");
  EXPECT_EQ(list.windows, "|100|200|300|");
  EXPECT_EQ(list.threadIds, "|11|21|31|");
  EXPECT_EQ(list.titles, "||Main||");
  EXPECT_EQ(list.visible, "|0|1|0|");
  EXPECT_EQ(list.classNames, "|Cls|Cls|Cls|");
  EXPECT_EQ(ProcessListOf(list), "|a.exe=10|b.exe=20|");
}

TEST(ProcessRules, WindowListModeZeroStops) {
  struct {
    const char* nameFilter;
    int64_t idFilter;
    const char* expectedNames;
  } cases[] = {
      {"b.exe", -1, "|a.exe|b.exe|"},        // stops at the program, which is taken
      {"B.EXE", -1, "|a.exe|b.exe|c.exe|"},  // the stop compares exactly
      {"*", 20, "|a.exe|b.exe|"},            // stops at the process id
      {"*", -1, "|a.exe|b.exe|c.exe|"},
  };
  for (const auto& c : cases) {
    WindowList list = NewWindowList(0, c.nameFilter, c.idFilter);
    for (const WindowFacts& facts :
         {Facts(10, "a.exe", 1), Facts(20, "b.exe", 2), Facts(30, "c.exe", 3)}) {
      if (!AddToWindowList(list, facts)) break;
    }
    EXPECT_EQ(list.programNames, c.expectedNames) << c.nameFilter << " / " << c.idFilter;
  }
}

TEST(ProcessRules, WindowListModeOneTakesEveryWindowAndKeepsListsParallel) {
  WindowList list = NewWindowList(1, "a.exe", 10);
  EXPECT_TRUE(AddToWindowList(list, Facts(10, "a.exe", 100, "one | two", true)));
  WindowFacts oddClass = Facts(10, "a.exe", 101);
  oddClass.className = "x|y";
  EXPECT_TRUE(AddToWindowList(list, oddClass));
  EXPECT_EQ(list.windows, "|100|101|");
  // A "|" in a title or class would shift every later item of its list.
  EXPECT_EQ(list.titles, "|one / two||");
  EXPECT_EQ(list.classNames, "|Cls|x/y|");
}

TEST(ProcessRules, ListHoldsName) {
  struct {
    const char* list;
    const char* name;
    bool expected;
  } cases[] = {
      {"|a.exe|b.exe|", " B.EXE ", true}, {"|a.exe|", "a.ex", false},
      {"|*.tmp|", "X.TMP", true},         {"|set*up.exe|", "setup.exe", true},
      {"|se*p.exe|", "setup.ex", false},  {"|", "a.exe", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ListHoldsName(c.list, c.name), c.expected) << c.list << " " << c.name;
}

TEST(ProcessRules, ImeWindowClasses) {
  EXPECT_TRUE(IsImeWindowClass("IME"));
  EXPECT_TRUE(IsImeWindowClass("ime"));
  EXPECT_TRUE(IsImeWindowClass("MSCTFIME UI"));
  EXPECT_FALSE(IsImeWindowClass("IMEX"));
  EXPECT_FALSE(IsImeWindowClass("VarnixMain"));
}

TEST(ProcessRules, AnalizerScores) {
  struct Window {
    uintptr_t window;
    uintptr_t topOwner;
    bool titled;
    bool visible;
  };
  struct {
    const char* edge;
    std::vector<Window> windows;
    std::vector<uint16_t> scores;
    uintptr_t best;
  } cases[] = {
      {"only hidden untitled windows: each owns itself", {{1, 1, false, false}}, {4}, 1},
      {"ties keep the earlier window", {{1, 1, false, false}, {2, 2, false, false}}, {4, 4}, 1},
      {"titled and visible beats hidden", {{1, 1, false, false}, {2, 2, true, true}}, {4, 7}, 2},
      {"titled only", {{1, 1, false, false}, {2, 2, true, false}}, {4, 6}, 2},
      {"owner of two windows",
       {{5, 1, true, true}, {1, 1, false, false}, {6, 1, true, true}},
       {3, 12, 3},
       1},
      {"a chain counts for its top",
       {{3, 1, false, false}, {2, 1, false, false}, {1, 1, false, false}},
       {0, 0, 12},
       1},
      {"owner outside the process", {{7, 99, false, false}}, {0}, 0},
      {"owned by an outsider but titled", {{7, 99, true, false}}, {2}, 7},
      {"no windows", {}, {}, 0},
  };
  for (const auto& c : cases) {
    TAnalizer analizer(42);
    for (const Window& w : c.windows)
      ASSERT_TRUE(analizer.Add(w.window, w.topOwner, w.titled, w.visible));
    EXPECT_EQ(analizer.Scores(), c.scores) << c.edge;
    EXPECT_EQ(analizer.Best(), c.best) << c.edge;
  }
}

TEST(ProcessRules, AnalizerHoldsAtMost2001Windows) {
  TAnalizer analizer(42);
  for (uintptr_t w = 1; w <= TAnalizer::kMaxWindows; ++w)
    ASSERT_TRUE(analizer.Add(w, 1, false, false));
  EXPECT_FALSE(analizer.Add(5000, 5000, true, true));
  EXPECT_EQ(analizer.count(), 2001u);
  // Every window owned by the first: the highest possible score still fits.
  EXPECT_EQ(analizer.Scores().front(), 2001 * 4);
  EXPECT_EQ(analizer.Best(), 1u);
}

TEST(ProcessRules, ConsoleCommandLine) {
  struct {
    const char* program;
    const char* arguments;
    const char* expected;
  } cases[] = {
      {"tasklist.exe", "/FO csv", "tasklist.exe /FO csv"},
      {"C:\\Program Files\\x.exe", "/a", "\"C:\\Program Files\\x.exe\" /a"},      // a blank: quoted
      {"\"C:\\Program Files\\x.exe\"", "/a", "\"C:\\Program Files\\x.exe\" /a"},  // already quoted
      {"C:\\Program Files\\x.exe", "", "\"C:\\Program Files\\x.exe\""},  // no arguments: no blank
      {"cmd", "/c echo hi", "cmd /c echo hi"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ConsoleCommandLine(c.program, c.arguments), c.expected) << c.program;
}

TEST(ProcessRules, StartFailureText) {
  const std::string longest(kMaxCommandLine, 'x');
  EXPECT_EQ(StartFailureText("The system cannot find the file specified.\r\n", "nothere.exe /a"),
            "The system cannot find the file specified. --- nothere.exe /a");
  // Only the first 256 characters of the command line are quoted.
  EXPECT_EQ(StartFailureText("E", longest), "E --- " + std::string(256, 'x'));
  EXPECT_EQ(StartFailureText("E", longest + "x"), "Command line is too long");
}

TEST(ProcessRules, PollIntervals) {
  EXPECT_EQ(FirstPollInterval(false), 100u);
  EXPECT_EQ(FirstPollInterval(true), 1u);
  struct {
    uint32_t interval;
    bool haveOutput;
    uint32_t expected;
  } cases[] = {
      {100, true, 90}, {100, false, 100}, {20, true, 10},
      {11, true, 1},   {10, true, 10},  // never below 10 by this rule
      {1, true, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NextPollInterval(c.interval, c.haveOutput), c.expected)
        << c.interval << " " << c.haveOutput;
  }
}
