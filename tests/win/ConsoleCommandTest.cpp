#include "common/ConsoleCommand.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "WinTestFiles.h"
#include "WinTestProcesses.h"
#include "common/TextRules.h"
#include "common/WinHandles.h"

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

void StopAtOnce(const std::string&, void* user, bool& stop) {
  ++*static_cast<int*>(user);
  stop = true;
}

}  // namespace

TEST(ConsoleCommand, CapturesOutputAndExitCodes) {
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

TEST(ConsoleCommand, LongOutputArrivesWholeInPiecesOfAtMost30000) {
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

TEST(ConsoleCommand, ConvertsOemOutputToAnsi) {
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

TEST(ConsoleCommand, QuotesAProgramPathWithBlanks) {
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
TEST(ConsoleCommand, RunsAtIdlePriorityAndClosesItsHandles) {
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

TEST(ConsoleCommand, StartFailures) {
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

TEST(ConsoleCommand, CallbackStopsTheCommand) {
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

TEST(ConsoleCommand, TailWaitKeepsMessagesFlowing) {
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
