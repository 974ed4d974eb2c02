#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/PsAPI.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/Win64.h"

TEST(PsAPI, ListsThisProcess) {
  ASSERT_TRUE(PsAPI::Available());
  std::vector<DWORD> ids(4096);
  DWORD bytes = 0;
  ASSERT_TRUE(PsAPI::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes));
  ids.resize(bytes / sizeof(DWORD));
  EXPECT_NE(std::find(ids.begin(), ids.end(), GetCurrentProcessId()), ids.end());
}

TEST(PsAPI, NamesThisProcessModule) {
  HMODULE modules[256];
  DWORD needed = 0;
  ASSERT_TRUE(PsAPI::EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &needed));
  ASSERT_GE(needed, sizeof(HMODULE));
  // The first module is the program file.
  char name[MAX_PATH] = {};
  const DWORD nameLength = PsAPI::GetModuleBaseNameA(GetCurrentProcess(), modules[0], name, sizeof name);
  EXPECT_TRUE(SameTrimmedText(std::string(name, nameLength), "varnix_win_tests.exe")) << name;
  char path[MAX_PATH] = {};
  const DWORD pathLength = PsAPI::GetModuleFileNameExA(GetCurrentProcess(), modules[0], path, sizeof path);
  EXPECT_TRUE(SameTrimmedText(std::string(path, pathLength), ProgramPath())) << path;
}

// Wine's 32-bit prefix has every function of the 64-bit test, but the
// process is no 32-bit process on a 64-bit system.
TEST(Win64, ThirtyTwoBitPrefix) {
  EXPECT_TRUE(Win64::HasGetNativeSystemInfo());
  EXPECT_TRUE(Win64::HasWow64FsRedirection());
  EXPECT_TRUE(Win64::HasGetSystemWow64Directory());
  EXPECT_TRUE(Win64::HasRegDeleteKeyEx());
  EXPECT_FALSE(Win64::IsWow64Process(GetCurrentProcess()));
  EXPECT_FALSE(Win64::IsWow64Process(nullptr));  // a failing call is no
  EXPECT_FALSE(Is64BitWindows());
}
