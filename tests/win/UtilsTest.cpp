#include <gtest/gtest.h>

#include <windows.h>

#include "WinTestFiles.h"
#include "common/TextRules.h"
#include "common/Utils.h"

namespace {

bool IsFourNumbers(const std::string& version) {
  int parts = 0;
  size_t start = 0;
  for (;;) {
    const size_t dot = version.find('.', start);
    int64_t value = 0;
    if (!ParseInt64(version.substr(start, dot - start), value)) return false;
    ++parts;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return parts == 4;
}

}  // namespace

TEST(Utils, ExeVersion) {
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  const std::string kernel = std::string(system) + "\\kernel32.dll";
  EXPECT_TRUE(IsFourNumbers(GetExeVersion(kernel))) << GetExeVersion(kernel);

  ScratchFolder folder;
  EXPECT_EQ(GetExeVersion(folder.Write("plain.txt", "no version here")), "");
  EXPECT_EQ(GetExeVersion(folder.path() + "\\missing.exe"), "");
}

TEST(Utils, OwnCommandLine) {
  // Whatever the runner passed, the program's own path is not a parameter.
  const std::string params = GetCmdLineParams();
  EXPECT_FALSE(ContainsText(params, "varnix_win_tests.exe", true)) << params;
  EXPECT_EQ(params, TrimText(params));
  EXPECT_TRUE(EndsWithText("varnix_win_tests.exe", ProgramPath(), true)) << ProgramPath();
}
