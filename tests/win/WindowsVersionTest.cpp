#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "WinTestFiles.h"
#include "WinTestProcesses.h"
#include "common/Utils.h"
#include "common/WinHandles.h"

// The version record is read once per process, and Wine chooses the version
// it reports when a process starts. So a copy of this program runs under a
// name that Wine is told to treat as another Windows, and reports back.

namespace {

const char kReportVariable[] = "VARNIX_WINDOWS_REPORT";

// Runs the reporting child in `program` and returns its report.
std::string RunReport(const std::string& program, const std::string& reportFile) {
  const ScopedEnvironment report(kReportVariable, reportFile);
  const DWORD exitCode = RunChildTest("UtilsChild.DISABLED_ReportWindows", program);
  if (exitCode == kChildNotStarted) return "not started";
  if (exitCode == kChildDidNotEnd) return "no end";
  return ReadWholeFile(reportFile);
}

}  // namespace

// Only in a child started below: writes "name|major.minor.build|8+" (the
// last part when IsWindows8OrLater) to the file named by the variable.
TEST(UtilsChild, DISABLED_ReportWindows) {
  char reportFile[MAX_PATH] = {};
  if (!GetEnvironmentVariableA(kReportVariable, reportFile, MAX_PATH)) GTEST_SKIP() << "runs as a child only";
  const OSVERSIONINFOEXA& info = GetOSVersionInfo();
  char report[128];
  std::snprintf(report, sizeof report, "%s|%lu.%lu.%lu|%s", GetWindowsName().name.c_str(), info.dwMajorVersion,
                info.dwMinorVersion, info.dwBuildNumber, IsWindows8OrLater() ? "8+" : "");
  const UniqueFile file(
      CreateFileA(reportFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file.get(), report, static_cast<DWORD>(strlen(report)), &written, nullptr));
}

TEST(Utils, NewerWindowsAreNamedByKernel32) {
  ScratchFolder folder;
  const std::string exeName = "varnix-version-" + std::to_string(GetCurrentProcessId()) + ".exe";
  const std::string program = folder.Path(exeName);
  ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), program.c_str(), FALSE));

  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  const std::string kernel = GetProductVersion(std::string(system) + "\\kernel32.dll");
  ASSERT_EQ(kernel.compare(0, 5, "10.0."), 0) << kernel;  // Wine's kernel32 whatever the version setting
  const std::string kernelBuild = kernel.substr(5, kernel.find('.', 5) - 5);

  struct {
    const char* wineVersion;
    std::string expected;
  } cases[] = {
      {"win81", "10|10.0." + kernelBuild + "|8+"},  // reports 6.3: kernel32's 10.0 replaces it
      {"win8", "8|6.2.9200|8+"},                     // 6.2 is never corrected
      {"win7", "7|6.1.7601|"},
      {"winxp", "XP|5.1.2600|"},
  };
  for (const auto& c : cases) {
    const WineVersionFor version(exeName, c.wineVersion);
    EXPECT_EQ(RunReport(program, folder.Path(std::string(c.wineVersion) + ".txt")), c.expected) << c.wineVersion;
  }
}
