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

std::string TargetProgramSource() {
  char fromEnvironment[MAX_PATH] = {};
  if (GetEnvironmentVariableA("VARNIX_TARGET_PROGRAM", fromEnvironment, MAX_PATH))
    return fromEnvironment;
  return ExtractFileDir(ProgramPath()) + "\\..\\..\\tools\\test-helpers\\target-program.exe";
}

std::string UniqueExeName(const char* stem) {
  static int counter = 0;
  return std::string(stem) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(counter++) + ".exe";
}

bool WaitUntil(DWORD limitMs, const std::function<bool()>& condition) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > limitMs) return false;
    Sleep(20);
  }
  return true;
}

DWORD ElapsedSince(DWORD start) { return GetTickCount() - start; }

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
    std::string commandLine =
        "\"" + exe_ + "\" " + options + " \"/ready=" + ready_ + "\" \"/msglog=" + log_ + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
      error_ = "cannot start " + exe_;
      return;
    }
    process_.reset(started.hProcess);
    CloseHandle(started.hThread);
    id_ = started.dwProcessId;
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
    if (process_ && !Ended(0)) TerminateProcess(process_.get(), 99);
    if (process_) WaitForSingleObject(process_.get(), 5000);
  }
  RunningTarget(const RunningTarget&) = delete;
  RunningTarget& operator=(const RunningTarget&) = delete;

  bool started() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& path() const { return exe_; }
  std::string name() const { return ExtractFileName(exe_); }
  DWORD id() const { return id_; }
  HWND window(const std::string& kind, int index = 0) const {
    for (const Window& w : windows_) {
      if (w.kind == kind && w.index == index) return w.handle;
    }
    return nullptr;
  }
  std::string messages() const { return ReadWholeFile(log_); }
  bool Ended(DWORD waitMs) const {
    return WaitForSingleObject(process_.get(), waitMs) == WAIT_OBJECT_0;
  }
  DWORD exitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }

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
  UniqueKernelHandle process_;
  DWORD id_ = 0;
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
  EXPECT_TRUE(PostToProgram(target.path(), true, WM_USER + 7, 3, 4));
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

namespace {

struct ConsoleCase {
  const char* program;
  const char* arguments;
  bool ok;
  DWORD exitCode;
  const char* stdoutText;
  const char* stderrText;
};

void CollectPieces(const std::string& text, void* user, bool&) {
  static_cast<std::vector<std::string>*>(user)->push_back(text);
}

bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void StopAtOnce(const std::string&, void* user, bool& stop) {
  ++*static_cast<int*>(user);
  stop = true;
}

}  // namespace

TEST(ProcessToolsConsole, CapturesOutputAndExitCodes) {
  const ConsoleCase cases[] = {
      {"cmd", "/c echo hello", true, 0, "hello\r\n", ""},
      {"cmd", "/c exit 3", false, 3, "", ""},
      {"cmd", "/c exit 259", false, 259, "", ""},  // the code that reads as "still running"
      {"cmd", "/c \"echo oops 1>&2\"", true, 0, "", "oops \r\n"},
  };
  for (const ConsoleCase& c : cases) {
    ConsoleResult result;
    std::vector<std::string> pieces;
    EXPECT_EQ(RunConsoleCommand(c.program, c.arguments, SW_HIDE, CollectPieces, &pieces, 1, result),
              c.ok)
        << c.arguments;
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments;
    EXPECT_EQ(result.stdoutText, c.stdoutText) << c.arguments;
    EXPECT_EQ(result.stderrText, c.stderrText) << c.arguments;
    std::string handed;
    for (const std::string& piece : pieces) handed += piece;
    EXPECT_EQ(handed.size(), result.stdoutText.size() + result.stderrText.size()) << c.arguments;
  }
}

TEST(ProcessToolsConsole, LongOutputArrivesWholeInPiecesOfAtMost30000) {
  ScratchFolder folder;
  std::string text;
  for (int line = 0; text.size() < 200000; ++line) text += "line " + std::to_string(line) + "\r\n";
  const std::string file = folder.Write("big.txt", text);
  for (bool withCallback : {false, true}) {
    ConsoleResult result;
    std::vector<std::string> pieces;
    EXPECT_TRUE(RunConsoleCommand("cmd", "/c type " + file, SW_HIDE,
                                  withCallback ? CollectPieces : nullptr, &pieces, 0, result));
    EXPECT_EQ(result.stdoutText.size(), text.size());
    EXPECT_TRUE(result.stdoutText == text);
    std::string handed;
    for (const std::string& piece : pieces) {
      EXPECT_LE(piece.size(), 30000u);
      handed += piece;
    }
    if (withCallback) {
      EXPECT_TRUE(handed == text);
    }
  }
}

TEST(ProcessToolsConsole, ConvertsOemOutputToAnsi) {
  if ((GetOEMCP() != 437 && GetOEMCP() != 850) || GetACP() != 1252) {
    GTEST_SKIP() << "code pages " << GetOEMCP() << "/" << GetACP();
  }
  ConsoleResult result;
  // "ü" and "ö" in code pages 437 and 850, which are 0xFC and 0xF6 in 1252.
  EXPECT_TRUE(RunConsoleCommand(TargetProgramSource(), "/write=819441", SW_HIDE, nullptr, nullptr,
                                0, result));
  EXPECT_EQ(result.stdoutText,
            "\xFC\xF6"
            "A");
}

TEST(ProcessToolsConsole, QuotesAProgramPathWithBlanks) {
  ScratchFolder folder;
  const std::string program = folder.Path("vx target program.exe");
  ASSERT_TRUE(CopyFileA(TargetProgramSource().c_str(), program.c_str(), FALSE));
  ConsoleResult result;
  EXPECT_TRUE(RunConsoleCommand(program, "/write=4f4b", SW_HIDE, nullptr, nullptr, 0, result))
      << result.stderrText;
  EXPECT_EQ(result.stdoutText, "OK");
}

// The command runs at idle priority, and once it has ended nothing of it
// is held open: with all handles closed the system forgets the process and
// its thread (Wine keeps an ended process about half a second longer).
TEST(ProcessToolsConsole, RunsAtIdlePriorityAndClosesItsHandles) {
  ConsoleResult result;
  ASSERT_TRUE(
      RunConsoleCommand(TargetProgramSource(), "/report=1", SW_HIDE, nullptr, nullptr, 0, result));
  unsigned long processId = 0, threadId = 0, priority = 0;
  ASSERT_EQ(std::sscanf(result.stdoutText.c_str(), "%lu %lu %lu", &processId, &threadId, &priority),
            3)
      << result.stdoutText;
  // Wine 8 ignores the priority class given to CreateProcess.
  if (!RunningUnderWine()) {
    EXPECT_EQ(priority, static_cast<unsigned long>(IDLE_PRIORITY_CLASS));
  }
  const UniqueKernelHandle thread(OpenThread(SYNCHRONIZE, FALSE, threadId));
  EXPECT_FALSE(thread) << "the thread handle was left open";
  EXPECT_TRUE(WaitUntil(5000, [processId] {
    return !UniqueKernelHandle(OpenProcess(SYNCHRONIZE, FALSE, processId));
  })) << "the process handle was left open";
}

TEST(ProcessToolsConsole, StartFailures) {
  const std::string missing = "no-such-program-" + std::to_string(GetCurrentProcessId()) + ".exe";
  const std::string arguments(300, 'x');
  struct {
    std::string program;
    std::string arguments;
    std::string expected;  // the end of the error text, or all of it
    bool withReason;       // the system's reason comes first
  } cases[] = {
      {missing, "/a", " --- " + missing + " /a", true},
      {missing, arguments, " --- " + (missing + " " + arguments).substr(0, 256),
       true},  // the first 256 characters
      {"cmd", "/c echo " + std::string(40000, 'x'), "Command line is too long", false},
  };
  for (const auto& c : cases) {
    ConsoleResult result;
    std::vector<std::string> pieces;
    EXPECT_FALSE(
        RunConsoleCommand(c.program, c.arguments, SW_HIDE, CollectPieces, &pieces, 0, result));
    EXPECT_EQ(result.exitCode, 21u);
    if (c.withReason) {
      EXPECT_TRUE(EndsWithText(c.expected, result.stderrText, false)) << result.stderrText;
      EXPECT_GT(result.stderrText.size(), c.expected.size()) << "the system's reason is missing";
    } else {
      EXPECT_EQ(result.stderrText, c.expected);
    }
    EXPECT_EQ(result.stdoutText, "");
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0], result.stderrText + "\r\n");
  }
}

TEST(ProcessToolsConsole, CallbackStopsTheCommand) {
  int calls = 0;
  ConsoleResult result;
  const DWORD start = GetTickCount();
  EXPECT_FALSE(RunConsoleCommand("cmd", "/c \"for /L %i in (1,1,1000000) do @echo %i\"", SW_HIDE,
                                 StopAtOnce, &calls, 0, result));
  EXPECT_EQ(result.exitCode, 255u);
  EXPECT_GE(calls, 1);
  EXPECT_NE(result.stdoutText, "");
  EXPECT_LT(ElapsedSince(start), 20000u);
}

namespace {

int g_pumped = 0;

LRESULT CALLBACK CountUserMessages(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_USER) ++g_pumped;
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

TEST(ProcessToolsConsole, TailWaitKeepsMessagesFlowing) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = CountUserMessages;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "VarnixTailTest";
  ASSERT_TRUE(RegisterClassA(&windowClass));
  const HWND window = CreateWindowExA(0, "VarnixTailTest", "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                      nullptr, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  g_pumped = 0;
  PostMessageA(window, WM_USER, 0, 0);
  ConsoleResult result;
  const DWORD start = GetTickCount();
  EXPECT_TRUE(RunConsoleCommand("cmd", "/c echo tail", SW_HIDE, nullptr, nullptr, 300, result));
  EXPECT_GE(ElapsedSince(start), 300u);
  EXPECT_EQ(g_pumped, 1);
  DestroyWindow(window);
  UnregisterClassA("VarnixTailTest", windowClass.hInstance);
}

// Windows XP and 9x take other ways to the processes. Wine chooses the
// Windows version a program sees by its file name, so a copy of this test
// program runs under such a version and reports what it found.
namespace {

const char kTargetVariable[] = "VARNIX_PROCESS_TARGET";
const char kReportVariable[] = "VARNIX_PROCESS_REPORT";

std::string RunChildReport(const std::string& program, const std::string& target,
                           const std::string& reportFile) {
  SetEnvironmentVariableA(kTargetVariable, target.c_str());
  SetEnvironmentVariableA(kReportVariable, reportFile.c_str());
  std::string commandLine = "\"" + program + "\" --gtest_filter=ProcessToolsChild.Report";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  const BOOL ok = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &started);
  SetEnvironmentVariableA(kTargetVariable, nullptr);
  SetEnvironmentVariableA(kReportVariable, nullptr);
  if (!ok) return "not started";
  const UniqueKernelHandle process(started.hProcess);
  const UniqueKernelHandle thread(started.hThread);
  if (WaitForSingleObject(started.hProcess, 60000) != WAIT_OBJECT_0) return "no end";
  return ReadWholeFile(reportFile);
}

std::string Number(uintptr_t value) { return std::to_string(value); }

}  // namespace

// Only in a child started below: looks the target up and writes what it
// found as a "|"-list of key=value.
TEST(ProcessToolsChild, Report) {
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
