#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "WinTestFiles.h"
#include "WinTestProcesses.h"
#include "common/ChildProcess.h"
#include "common/ProcessTools.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/VSUB.h"
#include "common/WinHandles.h"

// The other programs here are copies of target-program.exe (from the test
// helpers), each under a name no other test or run uses, so that a lookup
// by name can only find the copy the test started.

namespace {

std::string UniqueExeName(const char* stem) {
  static int counter = 0;
  return std::string(stem) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(counter++) + ".exe";
}

// A running copy of the target program in a folder of its own; ended when
// the test is done with it.
class RunningTarget {
 public:
  RunningTarget(const std::string& exeName, const std::string& options)
      : exe_(folder_.Path(exeName)),
        ready_(folder_.Path("ready.txt")),
        log_(folder_.Path("messages.txt")) {
    if (!CopyFileA(TargetProgramSource().c_str(), exe_.c_str(), FALSE)) {
      error_ = "cannot copy " + TargetProgramSource();
      return;
    }
    const std::string commandLine =
        "\"" + exe_ + "\" " + options + " \"/ready=" + ready_ + "\" \"/msglog=" + log_ + "\"";
    process_ = ChildProcess::Start(commandLine, ChildOptions());
    if (!process_) {
      error_ = "cannot start " + exe_;
      return;
    }
    if (!WaitUntil(15000,
                   [this] {
                     return GetFileAttributesA(ready_.c_str()) != INVALID_FILE_ATTRIBUTES ||
                            Ended(0);
                   }) ||
        Ended(0)) {
      error_ = "the target did not come up";
      return;
    }
    ReadWindows();
  }
  ~RunningTarget() {
    if (process_ && !Ended(0)) TerminateProcess(process_.process(), 99);
    process_.Ended(5000);
  }
  RunningTarget(const RunningTarget&) = delete;
  RunningTarget& operator=(const RunningTarget&) = delete;

  bool started() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& path() const { return exe_; }
  std::string name() const { return ExtractFileName(exe_); }
  DWORD id() const { return process_.id(); }
  HWND window(const std::string& kind, int index = 0) const {
    for (const Window& w : windows_) {
      if (w.kind == kind && w.index == index) return w.handle;
    }
    return nullptr;
  }
  std::string messages() const { return ReadWholeFile(log_); }
  bool Ended(DWORD waitMs) const { return process_.Ended(waitMs); }
  DWORD exitCode() const { return process_.ExitCode(0); }

 private:
  struct Window {
    std::string kind;
    int index;
    HWND handle;
  };

  void ReadWindows() {
    const std::string text = ReadWholeFile(ready_);
    char kind[16];
    int index = 0;
    unsigned long handle = 0;
    int used = 0;
    for (const char* at = text.c_str();
         std::sscanf(at, "%15s %d %lu%n", kind, &index, &handle, &used) == 3; at += used) {
      windows_.push_back({kind, index, reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle))});
    }
  }

  ScratchFolder folder_;
  std::string exe_;
  std::string ready_;
  std::string log_;
  std::string error_;
  ChildProcess process_;
  std::vector<Window> windows_;
};

// The window list, not the process-status library, answers on NT outside
// XP and before Windows 8 (Wine's default is Windows 7).
bool ListsProcessesByWindows() { return IsWindowsNT() && !IsWindowsXP() && !IsWindows8OrLater(); }

std::string ShortPathOf(const std::string& path) {
  char buffer[MAX_PATH];
  const DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(buffer, length) : "";
}

}  // namespace

TEST(ProcessTools, ProgramIsFoundByPathAndByName) {
  RunningTarget target(UniqueExeName("vxt"), "/hidden=1");
  ASSERT_TRUE(target.started()) << target.error();
  const std::string id = std::to_string(target.id());

  EXPECT_TRUE(IsProgramRunning(target.path()));
  EXPECT_TRUE(IsProgramRunning("C:\\Another Folder\\" + target.name()));  // a copy elsewhere runs
  EXPECT_TRUE(IsProgramRunning("  \"" + target.path() + "\"  "));
  EXPECT_FALSE(IsProgramRunning("C:\\Another Folder\\" + UniqueExeName("vx-absent")));
  EXPECT_FALSE(IsProgramRunning(""));
  EXPECT_EQ(FindProcessId(target.path(), false), target.id());
  EXPECT_EQ(FindProcessId(target.name(), true), target.id());

  EXPECT_EQ(ProcessStatusSearch(target.path(), true, true), target.id());
  EXPECT_EQ(ProcessStatusSearch(target.name(), false, false), target.id());
  EXPECT_EQ(ProcessStatusSearch(target.name(), true, true),
            0u);  // by full path a name is not enough
  EXPECT_EQ(ProcessStatusSearch("C:\\Another Folder\\" + target.name(), false, true), 0u);
  const std::string shortPath = ShortPathOf(target.path());
  if (!shortPath.empty() && !SameTrimmedText(shortPath, target.path())) {
    EXPECT_EQ(ProcessStatusSearch(shortPath, true, true), target.id()) << shortPath;
  }
  EXPECT_EQ(ToolHelpSearch(target.name(), false, false), target.id());
  EXPECT_EQ(ToolHelpSearch(target.name(), false, true), target.id());
  EXPECT_NE(FindText(ProcessStatusList(false), "|" + target.name() + "=" + id + "|", true),
            std::string::npos);
  EXPECT_NE(FindText(ProcessStatusList(true), "|" + target.path() + "=" + id + "|", true),
            std::string::npos);
}

TEST(ProcessTools, ProgramWithoutWindowsIsNotRunningForTheWindowList) {
  if (!ListsProcessesByWindows()) GTEST_SKIP() << "this Windows lists processes another way";
  RunningTarget target(UniqueExeName("vxt-nowin"), "");
  ASSERT_TRUE(target.started()) << target.error();
  EXPECT_FALSE(IsProgramRunning(target.path()));
  EXPECT_EQ(FindMainWindowOfProgram(target.path(), true, false), nullptr);
  EXPECT_EQ(ProcessStatusSearch(target.path(), true, true),
            target.id());  // yet the process is there
}

TEST(ProcessTools, MainWindowRanking) {
  struct {
    const char* options;
    const char* kind;
    const char* edge;
  } cases[] = {
      {"/hidden=1", "hidden", "only a hidden, untitled window still counts"},
      {"/hidden=2 /owned=1", "hidden", "the owner of another window beats a later, equal one"},
      {"/hidden=2 \"/visible=Main window\"", "visible",
       "a titled visible window beats hidden ones"},
  };
  for (const auto& c : cases) {
    RunningTarget target(UniqueExeName("vxt-rank"), c.options);
    ASSERT_TRUE(target.started()) << target.error();
    ASSERT_NE(target.window(c.kind), nullptr) << c.edge;
    EXPECT_EQ(FindMainWindowOfProgram(target.path(), true, false), target.window(c.kind)) << c.edge;
    EXPECT_EQ(FindMainWindowOfProgram(target.name(), false, true), target.window(c.kind)) << c.edge;
  }
}

TEST(ProcessTools, FullPathTellsCopiesOfOneNameApart) {
  const std::string name = UniqueExeName("vxt-twin");
  RunningTarget first(name, "/hidden=1");
  RunningTarget second(name, "/hidden=1 \"/visible=Second\"");
  ASSERT_TRUE(first.started()) << first.error();
  ASSERT_TRUE(second.started()) << second.error();

  EXPECT_EQ(FindMainWindowOfProgram(first.path(), true, false), first.window("hidden"));
  EXPECT_EQ(FindMainWindowOfProgram(second.path(), true, false), second.window("visible"));
  // By name, the first and the last listed copy are the two programs.
  const std::set<HWND> byName = {FindMainWindowOfProgram(name, false, false),
                                 FindMainWindowOfProgram(name, false, true)};
  EXPECT_EQ(byName, (std::set<HWND>{first.window("hidden"), second.window("visible")}));
}

TEST(ProcessTools, PostToProgramDeliversMessageAndBothParameters) {
  RunningTarget target(UniqueExeName("vxt-post"), "/hidden=1");
  ASSERT_TRUE(target.started()) << target.error();
  EXPECT_TRUE(PostToProgram(target.path(), true, WM_USER + 7, 4, 3));
  const std::string expected = std::to_string(WM_USER + 7) + " 4 3\r\n";
  EXPECT_TRUE(WaitUntil(5000, [&] { return target.messages() == expected; })) << target.messages();
  EXPECT_FALSE(PostToProgram("C:\\Nowhere\\" + UniqueExeName("vx-absent"), false, WM_USER, 0, 0));
}

TEST(ProcessTools, CloseProgramPostsCloseAndWaitsForTheEnd) {
  RunningTarget target(UniqueExeName("vxt-close"), "/hidden=1");
  ASSERT_TRUE(target.started()) << target.error();
  const DWORD start = GetTickCount();
  EXPECT_TRUE(CloseProgram(target.path(), true, 8000));
  EXPECT_LT(ElapsedSince(start), 6000u) << "waited for the limit although the program ended";
  EXPECT_TRUE(target.Ended(5000));
  EXPECT_EQ(target.exitCode(), 0u);
  EXPECT_EQ(target.messages(), "16 15 255\r\n");  // WM_CLOSE, wParam 15, lParam 255
}

TEST(ProcessTools, WaitProgramEndGivesUpAfterOneSecondByDefault) {
  RunningTarget target(UniqueExeName("vxt-stay"), "/hidden=1 /ignoreclose=1");
  ASSERT_TRUE(target.started()) << target.error();
  EXPECT_TRUE(CloseProgram(target.path(), true, 0));  // no wait asked for
  EXPECT_TRUE(WaitUntil(5000, [&] { return target.messages() == "16 15 255\r\n"; }))
      << target.messages();

  const DWORD start = GetTickCount();
  EXPECT_FALSE(WaitProgramEnd(target.path(), 0));
  const DWORD elapsed = ElapsedSince(start);
  EXPECT_GE(elapsed, 900u);
  EXPECT_LT(elapsed, 5000u);
  EXPECT_FALSE(target.Ended(0));
}

TEST(ProcessTools, WaitProgramEndReturnsWhenTheProgramEnds) {
  const DWORD start = GetTickCount();
  EXPECT_TRUE(WaitProgramEnd("C:\\Nowhere\\" + UniqueExeName("vx-absent"), 10000));
  EXPECT_LT(ElapsedSince(start), 2000u);

  RunningTarget target(UniqueExeName("vxt-brief"), "/hidden=1 /life=700");
  ASSERT_TRUE(target.started()) << target.error();
  EXPECT_TRUE(WaitProgramEnd("\"" + target.path() + "\"", 20000));
  EXPECT_TRUE(target.Ended(5000));
}

TEST(ProcessTools, QuitProgramEndsTheMessageLoopWithItsWParam) {
  RunningTarget target(UniqueExeName("vxt-quit"), "/hidden=1 /ignoreclose=1");
  ASSERT_TRUE(target.started()) << target.error();
  EXPECT_TRUE(QuitProgram(target.path(), true));
  ASSERT_TRUE(target.Ended(5000));
  EXPECT_EQ(target.exitCode(), 15u);
}

TEST(ProcessTools, TerminateProgramEndsAProgramThatIgnoresClose) {
  RunningTarget target(UniqueExeName("vxt-kill"), "/hidden=1 /ignoreclose=1");
  ASSERT_TRUE(target.started()) << target.error();
  EXPECT_FALSE(TerminateProgram(target.name(), true));  // by full path only the path names it
  EXPECT_FALSE(target.Ended(0));
  EXPECT_TRUE(TerminateProgram(target.path(), true));
  ASSERT_TRUE(target.Ended(5000));
  EXPECT_EQ(target.exitCode(), 0u);
  EXPECT_EQ(target.messages(), "");
  EXPECT_FALSE(TerminateProgram(target.path(), true));  // nothing left to end
}

namespace {

LRESULT CALLBACK DestroyOnTimer(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER) {
    KillTimer(window, wparam);
    DestroyWindow(window);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

// The own window goes only when its timer message is handled, so the wait
// must keep messages flowing.
TEST(ProcessTools, WaitWindowGoneKeepsMessagesFlowing) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DestroyOnTimer;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "VarnixGoneTest";
  ASSERT_TRUE(RegisterClassA(&windowClass));
  const HWND window = CreateWindowExA(0, "VarnixGoneTest", "Going", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                      100, nullptr, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  SetTimer(window, 1, 300, nullptr);
  WaitWindowGone("VarnixGoneTest", "Going");
  EXPECT_FALSE(IsWindow(window));
  UnregisterClassA("VarnixGoneTest", windowClass.hInstance);

  const std::string title = "Gone soon " + UniqueExeName("vxt");
  RunningTarget target(UniqueExeName("vxt-gone"), "\"/visible=" + title + "\" /life=600");
  ASSERT_TRUE(target.started()) << target.error();
  ASSERT_NE(FindWindowA("VarnixTarget", title.c_str()), nullptr);
  WaitWindowGone("VarnixTarget", title);
  EXPECT_EQ(FindWindowA("VarnixTarget", title.c_str()), nullptr);

  const DWORD start = GetTickCount();
  WaitWindowGone("", "");  // would match every window
  EXPECT_LT(ElapsedSince(start), 1000u);
}

TEST(ProcessTools, EnumTopWindowsRecordsSevenFieldsPerWindow) {
  RunningTarget target(UniqueExeName("vxt-enum"), "/hidden=1 \"/visible=Seen | here\"");
  ASSERT_TRUE(target.started()) << target.error();
  const WindowList all = EnumTopWindows(1, "*", -1);
  const int count = SUB::Count(all.windows);
  for (const std::string* list : {&all.processIds, &all.programNames, &all.classNames,
                                  &all.threadIds, &all.titles, &all.visible}) {
    EXPECT_EQ(std::count(list->begin(), list->end(), '|') - 1, count);
  }
  struct {
    HWND window;
    const char* title;
    const char* visible;
  } expected[] = {{target.window("visible"), "Seen / here", "1"},
                  {target.window("hidden"), "", "0"}};
  std::string threadIds;
  for (const auto& e : expected) {
    const std::string handle = std::to_string(reinterpret_cast<ULONG_PTR>(e.window));
    int at = -1;
    for (int i = 0; i < count && at < 0; ++i) {
      if (SUB::Item(all.windows, i) == handle) at = i;
    }
    ASSERT_GE(at, 0) << "window " << handle << " not listed";
    EXPECT_EQ(SUB::Item(all.processIds, at), std::to_string(target.id()));
    EXPECT_TRUE(SameTrimmedText(SUB::Item(all.programNames, at), target.name()))
        << SUB::Item(all.programNames, at);
    EXPECT_EQ(SUB::Item(all.classNames, at), "VarnixTarget");
    EXPECT_EQ(SUB::Item(all.titles, at), e.title);
    EXPECT_EQ(SUB::Item(all.visible, at), e.visible);
    EXPECT_NE(SUB::Item(all.threadIds, at, "0"), "0");
    threadIds += SUB::Item(all.threadIds, at) + "|";
  }
  EXPECT_EQ(SUB::Count("|" + threadIds), 2);
  EXPECT_EQ(SUB::Item("|" + threadIds, 0), SUB::Item("|" + threadIds, 1));  // one thread made both

  // Mode 0: one window per program, ending at the program asked for.
  const WindowList upTo = EnumTopWindows(0, target.name(), -1);
  const int programs = SUB::Count(upTo.programNames);
  ASSERT_GT(programs, 0);
  EXPECT_EQ(SUB::Item(upTo.programNames, programs - 1), target.name());
  EXPECT_EQ(SUB::Item(upTo.processIds, programs - 1), std::to_string(target.id()));
  EXPECT_EQ(FindInProcessList(ProcessListOf(upTo), target.name(), ""), target.id());
  for (int i = 0; i + 1 < programs; ++i) EXPECT_NE(SUB::Item(upTo.programNames, i), target.name());
}

// Windows XP and 9x take other ways to the processes. Wine chooses the
// Windows version a program sees by its file name, so a copy of this test
// program runs under such a version and reports what it found.
namespace {

const char kTargetVariable[] = "VARNIX_PROCESS_TARGET";
const char kReportVariable[] = "VARNIX_PROCESS_REPORT";

std::string RunChildReport(const std::string& program, const std::string& target,
                           const std::string& reportFile) {
  const ScopedEnvironment targetVariable(kTargetVariable, target);
  const ScopedEnvironment reportVariable(kReportVariable, reportFile);
  const DWORD exitCode = RunChildTest("ProcessToolsChild.DISABLED_Report", program);
  if (exitCode == kChildNotStarted) return "not started";
  if (exitCode == kChildDidNotEnd) return "no end";
  return ReadWholeFile(reportFile);
}

std::string Number(uintptr_t value) { return std::to_string(value); }

}  // namespace

// Only in a child started below: looks the target up and writes what it
// found as a "|"-list of key=value.
TEST(ProcessToolsChild, DISABLED_Report) {
  char target[MAX_PATH] = {};
  char reportFile[MAX_PATH] = {};
  if (!GetEnvironmentVariableA(kTargetVariable, target, MAX_PATH) ||
      !GetEnvironmentVariableA(kReportVariable, reportFile, MAX_PATH)) {
    GTEST_SKIP() << "runs as a child only";
  }
  const std::string path = target;
  const std::string name = ExtractFileName(path);
  const std::string elsewhere = "C:\\Another Folder\\" + name;
  const std::string report =
      "|nt=" + Number(IsWindowsNT()) + "|xp=" + Number(IsWindowsXP()) +
      "|runningByPath=" + Number(IsProgramRunning(path)) +
      "|runningByName=" + Number(IsProgramRunning(name)) +
      "|idByPath=" + Number(FindProcessId(path, true)) +
      "|idElsewhereByPath=" + Number(FindProcessId(elsewhere, true)) +
      "|idElsewhereByName=" + Number(FindProcessId(elsewhere, false)) + "|windowByPath=" +
      Number(reinterpret_cast<uintptr_t>(FindMainWindowOfProgram(path, true, false))) +
      "|windowByName=" +
      Number(reinterpret_cast<uintptr_t>(FindMainWindowOfProgram(name, false, false))) + "|";
  const UniqueFile file(CreateFileA(reportFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  ASSERT_TRUE(
      WriteFile(file.get(), report.data(), static_cast<DWORD>(report.size()), &written, nullptr));
}

TEST(ProcessTools, LookupsUnderWindowsXPAnd9x) {
  if (!RunningUnderWine()) GTEST_SKIP() << "the Windows version is chosen through Wine";
  RunningTarget target(UniqueExeName("vxt-other"), "/hidden=1");
  ASSERT_TRUE(target.started()) << target.error();
  ScratchFolder folder;
  const std::string exeName = "varnix-process-" + std::to_string(GetCurrentProcessId()) + ".exe";
  const std::string program = folder.Path(exeName);
  ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), program.c_str(), FALSE));
  const std::string id = std::to_string(target.id());
  const std::string window = Number(reinterpret_cast<uintptr_t>(target.window("hidden")));

  {
    // XP lists processes through the process-status library; by full path
    // the whole path must match.
    const WineVersionFor version(exeName, "winxp");
    const std::string report = RunChildReport(program, target.path(), folder.Path("xp.txt"));
    const struct {
      const char* key;
      std::string expected;
    } expected[] = {{"nt", "1"},
                    {"xp", "1"},
                    {"runningByPath", "1"},
                    {"runningByName", "1"},
                    {"idByPath", id},
                    {"idElsewhereByPath", "0"},
                    {"idElsewhereByName", id},
                    {"windowByPath", window},
                    {"windowByName", window}};
    for (const auto& e : expected)
      EXPECT_EQ(SUB::Value(report, e.key, "?"), e.expected) << e.key << " in " << report;
  }
  {
    // 9x takes the tool-help snapshot, which names the programs (Wine gives
    // file names where 9x gives full paths, so only the name is asked).
    const WineVersionFor version(exeName, "win98");
    const std::string report = RunChildReport(program, target.path(), folder.Path("98.txt"));
    const struct {
      const char* key;
      std::string expected;
    } expected[] = {{"nt", "0"}, {"runningByName", "1"}, {"windowByName", window}};
    for (const auto& e : expected)
      EXPECT_EQ(SUB::Value(report, e.key, "?"), e.expected) << e.key << " in " << report;
  }
}
