#include <gtest/gtest.h>

#include "common/RegistryRules.h"

TEST(RegistryRules, RootNames) {
  struct {
    const char* name;
    RegRoot expected;
  } cases[] = {
      {"HKEY_CLASSES_ROOT", RegRoot::ClassesRoot},
      {"HKCR", RegRoot::ClassesRoot},
      {"HKEY_CURRENT_USER", RegRoot::CurrentUser},
      {"HKCU", RegRoot::CurrentUser},
      {"HKEY_LOCAL_MACHINE", RegRoot::LocalMachine},
      {"hklm", RegRoot::LocalMachine},  // compared upper-cased
      {"HKEY_USERS", RegRoot::Users},
      {"HKU", RegRoot::Users},
      {"HKEY_CURRENT_CONFIG", RegRoot::CurrentConfig},
      {"HKCC", RegRoot::CurrentConfig},
      {"HKEY_DYN_DATA", RegRoot::DynData},
      {"Hkdd", RegRoot::DynData},
      {"HKXYZ", RegRoot::CurrentUser},  // unknown names fall back to the user's root
      {"", RegRoot::CurrentUser},
      {"HKLM ", RegRoot::CurrentUser},  // the name itself is not trimmed
  };
  for (const auto& c : cases) EXPECT_EQ(RegRootIdFromName(c.name), c.expected) << c.name;
}

TEST(RegistryRules, PathSplitting) {
  struct {
    const char* path;
    RegRoot root;
    const char* subKey;
  } cases[] = {
      {"HKLM\\Software\\Varnix", RegRoot::LocalMachine, "Software\\Varnix"},
      {"HKLM", RegRoot::LocalMachine, ""},  // a root alone opens the root itself
      {"  HKEY_USERS\\.DEFAULT  ", RegRoot::Users, ".DEFAULT"},
      {"hkcr\\.txt", RegRoot::ClassesRoot, ".txt"},
      {"Software\\Varnix", RegRoot::CurrentUser, "Software\\Varnix"},  // no root name
      {"HKXYZ\\sub", RegRoot::CurrentUser, "sub"},  // begins with HK, no root: rest is the subkey
      {"HKLM\\", RegRoot::LocalMachine, ""},
      {"", RegRoot::CurrentUser, ""},
  };
  for (const auto& c : cases) {
    const RegPathParts parts = SplitRegPath(c.path);
    EXPECT_EQ(parts.root, c.root) << c.path;
    EXPECT_EQ(parts.subKey, c.subKey) << c.path;
  }
}

TEST(RegistryRules, ValueText) {
  const uint32_t kString = 1, kExpandString = 2, kBinary = 3;
  struct {
    uint32_t type;
    std::string data;
    const char* expected;
  } cases[] = {
      {kString, std::string("text\0", 5), "text"},
      {kString, "no zero", "no zero"},  // unterminated: the size bounds it
      {kExpandString, std::string("%TEMP%\\x\0", 9), "%TEMP%\\x"},  // not expanded
      {kBinary, std::string("ab\0cd", 5), "ab"},                    // up to the first zero
      {kRegTypeDword, std::string("\x2A\0\0\0", 4), "42"},
      {kRegTypeDword, "\xFF\xFF\xFF\xFF", "4294967295"},  // unsigned
      {kRegTypeDword, std::string("7\0", 2), "7"},       // not 4 bytes: read as text
      {kRegTypeMultiString, std::string("a\0b\0\0", 5), "a<0>b"},
      {kRegTypeMultiString, std::string("a\0\0b\0\0", 6), "a<0><0>b"},  // an empty inner item stays
      {kRegTypeMultiString, std::string("one\0", 4), "one"},
      {kRegTypeMultiString, std::string("\0\0", 2), ""},  // 2 bytes: empty list
      {kRegTypeMultiString, std::string("x\0", 2), "x"},  // 2 bytes: read as text
      {kString, "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RegistryDataText(c.type, c.data.data(), c.data.size()), c.expected) << c.type << ":" << c.data;
  }
}
