#include <gtest/gtest.h>

#include <windows.h>

#include "DebugCapture.h"
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

TEST(Utils, OwnVersionInformation) {
  // TestProgram.rc: file version 3.1.4.1, product version "3, 1, 4, 1 beta"
  // under the first of two translations.
  EXPECT_EQ(GetExeVersion(), "3.1.4.1");
  EXPECT_EQ(GetProductVersion(), "3. 1. 4. 1 beta");
  EXPECT_EQ(GetProductVersion(ProgramPath()), "3. 1. 4. 1 beta");

  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  EXPECT_TRUE(IsFourNumbers(GetProductVersion(std::string(system) + "\\kernel32.dll")));
  ScratchFolder folder;
  EXPECT_EQ(GetProductVersion(folder.Write("plain.txt", "no version here")), "");
  EXPECT_EQ(GetProductVersion(folder.path() + "\\missing.exe"), "");
}

TEST(UtilsIni, RoundTrip) {
  ScratchFolder folder;
  const std::string ini = folder.Path("settings.ini");
  EXPECT_TRUE(WriteIniString(ini, "Main", "Name", "two words"));
  EXPECT_TRUE(WriteIniInt(ini, "Main", "Big", -9000000000LL));
  EXPECT_TRUE(WriteIniString(ini, "Other", "Name", "second"));
  EXPECT_EQ(ReadIniString(ini, "Main", "Name", "def"), "two words");
  EXPECT_EQ(ReadIniString(ini, "MAIN", "name", "def"), "two words");  // names ignore case
  EXPECT_EQ(ReadIniString(ini, "Other", "Name", "def"), "second");
  EXPECT_EQ(ReadIniInt(ini, "Main", "Big", 0), -9000000000LL);

  EXPECT_TRUE(WriteIniString(ini, "Main", "Name", "replaced"));
  EXPECT_EQ(ReadIniString(ini, "Main", "Name", "def"), "replaced");
}

TEST(UtilsIni, MissingOrEmptyGivesTheDefault) {
  ScratchFolder folder;
  const std::string ini = folder.Write("s.ini", "[Main]\r\nKey=value\r\nEmpty=\r\nWord=abc\r\n");
  const std::string missing = folder.path() + "\\missing.ini";
  struct {
    std::string file;
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {ini, "Main", "Key", "value"},
      {missing, "Main", "Key", "def"},
      {ini, "Nope", "Key", "def"},
      {ini, "Main", "Nope", "def"},
      {ini, "Main", "Empty", "def"},  // an empty text is no value
      {ini, "", "Key", "def"},
      {ini, "Main", "", "def"},       // an empty key would list the section's keys
      {"", "Main", "Key", "def"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadIniString(c.file, c.section, c.key, "def"), c.expected) << c.file << " " << c.section << " " << c.key;
  }
  EXPECT_EQ(ReadIniInt(ini, "Main", "Word", 7), 7);  // not a number
  EXPECT_EQ(ReadIniInt(ini, "Main", "Empty", 7), 7);
  EXPECT_EQ(ReadIniInt(missing, "Main", "Key", -1), -1);
}

TEST(UtilsIni, LongValueIsReadWholeAndReported) {
  ScratchFolder folder;
  const std::string ini = folder.Path("long.ini");
  const std::string longValue(12000, 'v');
  const std::string limitValue(10240, 'w');
  ASSERT_TRUE(WriteIniString(ini, "Main", "Long", longValue));
  ASSERT_TRUE(WriteIniString(ini, "Main", "Limit", limitValue));

  DebugCapture capture;
  EXPECT_EQ(ReadIniString(ini, "Main", "Limit", ""), limitValue);
  EXPECT_EQ(capture.text(), "");  // 10,240 characters are not yet too long
  EXPECT_EQ(ReadIniString(ini, "Main", "Long", ""), longValue);
  EXPECT_EQ(capture.text(), "ReadIniString SizeError=12000\r\n");
}

TEST(UtilsIni, EmptyNamesAreRefusedWithoutWriting) {
  ScratchFolder folder;
  const std::string ini = folder.Path("never.ini");
  EXPECT_FALSE(WriteIniString(ini, "", "Key", "v"));
  EXPECT_FALSE(WriteIniString(ini, "Main", "", "v"));
  EXPECT_FALSE(WriteIniInt(ini, "", "Key", 1));
  EXPECT_FALSE(WriteIniString("", "Main", "Key", "v"));
  EXPECT_EQ(GetFileAttributesA(ini.c_str()), INVALID_FILE_ATTRIBUTES);
  // A folder that does not exist cannot take the file.
  EXPECT_FALSE(WriteIniString(folder.path() + "\\no-folder\\x.ini", "Main", "Key", "v"));
}

namespace {

// Values under HKCU\Software\VarnixTest\<process id>, written by the test
// with the system's own functions and removed afterwards.
class UtilsRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                              nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteKeyA(HKEY_CURRENT_USER, subKey_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VarnixTest");  // fails while other runs still use it
  }
  void Set(const char* name, DWORD type, const std::string& data) {
    ASSERT_EQ(RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }
  void SetNumber(const char* name, DWORD value) {
    Set(name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
  }

  const std::string subKey_ = "Software\\VarnixTest\\" + std::to_string(GetCurrentProcessId());
  HKEY key_ = nullptr;
};

}  // namespace

TEST_F(UtilsRegistry, ValuesAsText) {
  Set("Text", REG_SZ, std::string("hello world\0", 12));
  SetNumber("Number", 0xFFFFFFFF);
  Set("List", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
  Set("Expand", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15));
  Set("Binary", REG_BINARY, std::string("ab\0cd", 5));
  const std::string fits(10240, 'f');
  const std::string tooLong(10241, 't');
  Set("Fits", REG_SZ, fits + '\0');
  Set("TooLong", REG_SZ, tooLong + '\0');

  const std::string path = "HKEY_CURRENT_USER\\" + subKey_;
  struct {
    const char* name;
    std::string expected;
  } cases[] = {
      {"Text", "hello world"},
      {"Number", "4294967295"},
      {"List", "a<0>b"},
      {"Expand", "%SystemRoot%\\x"},  // not expanded
      {"Binary", "ab"},
      {"Fits", fits},        // 10,241 bytes with the closing zero: the whole buffer
      {"TooLong", "def"},    // one byte more than the buffer
      {"Missing", "def"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadRegValue(path, c.name, "def"), c.expected) << c.name;
}

TEST_F(UtilsRegistry, PathFormsAndViews) {
  Set("Text", REG_SZ, std::string("here\0", 5));
  struct {
    std::string path;
    const char* expected;
  } cases[] = {
      {"HKEY_CURRENT_USER\\" + subKey_, "here"},
      {"hkcu\\" + subKey_, "here"},
      {"  HKCU\\" + subKey_ + "  ", "here"},  // trimmed
      {subKey_, "here"},                      // no root name: the current user's
      {"HKXYZ\\" + subKey_, "here"},          // unknown root name: the current user's
      {"HKLM\\" + subKey_, "def"},
      {"HKCU\\" + subKey_ + "\\Missing", "def"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadRegValue(c.path, "Text", "def"), c.expected) << c.path;
  // A 32-bit system accepts the 64-bit view flag.
  EXPECT_EQ(ReadRegValue("HKCU\\" + subKey_, "Text", "def", true), "here");
  EXPECT_FALSE(DefaultRegistryView());
}

TEST(Utils, RootAloneOpensTheRoot) {
  const std::string name = "VarnixTest" + std::to_string(GetCurrentProcessId());
  ASSERT_EQ(RegSetValueExA(HKEY_CURRENT_USER, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("root"), 5),
            ERROR_SUCCESS);
  EXPECT_EQ(ReadRegValue("HKCU", name, "def"), "root");
  EXPECT_EQ(ReadRegValue("HKEY_CURRENT_USER", name, "def"), "root");
  RegDeleteValueA(HKEY_CURRENT_USER, name.c_str());
  EXPECT_EQ(ReadRegValue("HKCU", name, "def"), "def");

  const RegPath parsed = ParseRegPath("HKLM");
  EXPECT_EQ(parsed.root, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(parsed.subKey, "");
}

TEST(Utils, RegistryRootNames) {
  struct {
    const char* name;
    HKEY root;
  } cases[] = {
      {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {"HKCR", HKEY_CLASSES_ROOT},
      {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},     {"HKCU", HKEY_CURRENT_USER},
      {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {"hklm", HKEY_LOCAL_MACHINE},
      {"HKEY_USERS", HKEY_USERS},                   {"HKU", HKEY_USERS},
      {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}, {"HKCC", HKEY_CURRENT_CONFIG},
      {"HKEY_DYN_DATA", HKEY_DYN_DATA},             {"HKDD", HKEY_DYN_DATA},
      {"SOFTWARE", HKEY_CURRENT_USER},  // anything else
  };
  for (const auto& c : cases) EXPECT_EQ(RegRootFromName(c.name), c.root) << c.name;
}

// Wine's default answer is Windows 7 workstation, 6.1.7601 with Service Pack
// 1, as a 32-bit system.
TEST(Utils, RunningWindows) {
  const OSVERSIONINFOEXA& info = GetOSVersionInfo();
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_EQ(&GetOSVersionInfo(), &info);  // read once
  EXPECT_TRUE(IsWindowsNT());
  EXPECT_FALSE(IsWindowsXP());
  EXPECT_FALSE(IsWindows8OrLater());
  EXPECT_FALSE(Is64BitWindows());
  EXPECT_FALSE(IsServer());

  const WindowsName name = GetWindowsName();
  EXPECT_EQ(name.versionText, "6.1");
  EXPECT_EQ(name.name, "7");
  EXPECT_EQ(name.flag, 1024u);
  EXPECT_EQ(name.build, info.dwBuildNumber);
  EXPECT_EQ(name.servicePack, TrimText(info.szCSDVersion));
}

namespace {

// Sets or removes a value of the Windows version key for one test and puts
// the old value back afterwards.
class VersionKeyValue {
 public:
  explicit VersionKeyValue(const char* name) : name_(name) {
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                  KEY_QUERY_VALUE | KEY_SET_VALUE, &key_);
    char text[512] = {};
    DWORD size = sizeof text - 1;
    had_ = RegQueryValueExA(key_, name_, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS;
    old_ = text;
  }
  ~VersionKeyValue() {
    if (had_) {
      Set(old_);
    } else {
      Remove();
    }
    RegCloseKey(key_);
  }
  VersionKeyValue(const VersionKeyValue&) = delete;
  VersionKeyValue& operator=(const VersionKeyValue&) = delete;

  bool Set(const std::string& text) {
    return RegSetValueExA(key_, name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
  }
  void Remove() { RegDeleteValueA(key_, name_); }

 private:
  const char* name_;
  HKEY key_ = nullptr;
  bool had_ = false;
  std::string old_;
};

}  // namespace

TEST(Utils, UserAndComputerNames) {
  struct {
    const char* what;
    std::string value;
  } names[] = {
      {"user", GetLoggedUserName()},
      {"computer", GetComputerNameText()},
      {"domain", GetDomainName()},  // Wine: the computer name
  };
  for (const auto& n : names) {
    EXPECT_FALSE(n.value.empty()) << n.what;
    EXPECT_EQ(n.value, TrimText(n.value)) << n.what;
  }
}

TEST(Utils, RegisteredOwnerAndOrganization) {
  VersionKeyValue owner("RegisteredOwner");
  VersionKeyValue organization("RegisteredOrganization");
  ASSERT_TRUE(owner.Set("  Ada Owner "));
  ASSERT_TRUE(organization.Set(" Varnix Test Org  "));
  EXPECT_EQ(GetRegisteredOwner(), "Ada Owner");
  EXPECT_EQ(GetRegisteredOrganization(), "Varnix Test Org");

  ASSERT_TRUE(owner.Set(""));
  EXPECT_EQ(GetRegisteredOwner(), "");  // present, even empty, wins over the user's name
  owner.Remove();
  organization.Remove();
  EXPECT_EQ(GetRegisteredOwner(), GetLoggedUserName());
  EXPECT_EQ(GetRegisteredOrganization(), "");
}

TEST(Utils, PreloadKeepsTheErrorMode) {
  const UINT original = SetErrorMode(SEM_FAILCRITICALERRORS);
  PreloadSystemLibraries();
  const UINT mode = SetErrorMode(original);
  EXPECT_EQ(mode, static_cast<UINT>(SEM_FAILCRITICALERRORS));
  for (const char* library : {"shell32.dll", "RICHED32.DLL"}) {
    EXPECT_NE(GetModuleHandleA(library), nullptr) << library;
  }
}
