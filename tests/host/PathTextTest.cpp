#include <gtest/gtest.h>

#include <string>

#include "common/PathText.h"

namespace {

// Shift-JIS (code page 932): 0x95 0x5C is one character whose second byte
// is the backslash.
bool ShiftJisLead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace

TEST(PathText, CollapseBackslashes) {
  struct {
    const char* text;
    LeadByteTest lead;
    const char* expected;
  } cases[] = {
      {"C:\\\\Prog\\\\\\app.exe", NoLeadBytes, "C:\\Prog\\app.exe"},
      {"\\\\server\\\\share", NoLeadBytes, "\\\\server\\share"},  // the first never changes
      {"\\\\\\server", NoLeadBytes, "\\\\server"},
      {"\\\\", NoLeadBytes, "\\\\"},  // too short to touch
      // a network path in quotes, or as any item of a list, stays one
      {"\"\\\\server\\share\\\\x\"", NoLeadBytes, "\"\\\\server\\share\\x\""},
      {"|\\\\srv\\a|\\\\srv\\\\b|", NoLeadBytes, "|\\\\srv\\a|\\\\srv\\b|"},
      {"x\\\\\\\\y", NoLeadBytes, "x\\y"},
      // the second byte of a double-byte character is no backslash
      {"C:\\\x95\\\\x", ShiftJisLead, "C:\\\x95\\\\x"},
      {"C:\\\x95\\\\x", NoLeadBytes, "C:\\\x95\\x"},
      // 0x81 0x81 is one character: the second 0x81 leads nothing
      {"\x81\x81\\\\x", ShiftJisLead, "\x81\x81\\x"},
  };
  for (const auto& c : cases) EXPECT_EQ(CollapseBackslashes(c.text, c.lead), c.expected) << c.text;
}

TEST(PathText, TrailingBackslash) {
  struct {
    const char* text;
    const char* without;
    const char* with;
  } cases[] = {
      {"C:\\Prog\\", "C:\\Prog", "C:\\Prog\\"},
      {"C:\\Prog", "C:\\Prog", "C:\\Prog\\"},
      {"C:\\", "C:", "C:\\"},
      {"C:", "C:", "C:\\"},
      {"\\", "\\", "\\"},  // two characters or fewer keep it
      {"", "", ""},
      {"C:\\\x95\\", "C:\\\x95\\", "C:\\\x95\\\\"},  // ends in a double-byte character
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WithoutTrailingBackslash(c.text, ShiftJisLead), c.without) << c.text;
    EXPECT_EQ(WithTrailingBackslash(c.text, ShiftJisLead), c.with) << c.text;
  }
}

TEST(PathText, ParentFolder) {
  struct {
    const char* path;
    const char* expected;
  } cases[] = {
      {"C:\\Users\\Ann\\Documents", "C:\\Users\\Ann"},
      {"C:\\Users\\Ann\\", "C:\\Users"},
      {"C:\\ProgramData", "C:"},  // the drive, bare
      {"C:x.exe", "C:"},
      {"\\\\srv\\share\\x", "\\\\srv\\share"},
      {"name", ""},
      {"C:\\\x95\\\\x", "C:\\\x95\\"},  // up to the real backslash, not the trail byte
      {"C:\\a\\\x95\\", "C:\\a"},
  };
  for (const auto& c : cases) EXPECT_EQ(ParentFolder(c.path, ShiftJisLead), c.expected) << c.path;
}

TEST(PathText, ResolveFullPath) {
  struct {
    const char* path;
    const char* base;
    const char* expected;
  } cases[] = {
      {"..\\b\\x.exe", "C:\\P\\A", "C:\\P\\b\\x.exe"},
      {".\\a\\.\\b\\", "C:\\P", "C:\\P\\a\\b\\"},
      {"C:\\a\\..\\b", "D:\\P", "C:\\b"},
      {"C:/a/../b", "D:\\P", "C:\\b"},
      {"C:\\..\\..\\x", "D:\\P", "C:\\x"},  // never above the root
      {"C:\\a\\..", "D:\\P", "C:\\"},
      {"\\x\\..\\y", "D:\\P", "D:\\y"},  // the base's drive
      {"\\\\srv\\sh\\a\\..\\..\\..\\b", "C:\\P", "\\\\srv\\sh\\b"},
      {"\\\\srv\\sh\\a\\..", "C:\\P", "\\\\srv\\sh"},
      {"..\\x", "\\\\srv\\sh\\d", "\\\\srv\\sh\\x"},
      {"\"..\\x.exe\"", "C:\\P\\A", "\"C:\\P\\x.exe\""},  // quoted stays quoted
      {"", "C:\\P", ""},
      // 0x95 0x5C followed by ".." is one name, not a step up
      {"\x95\\..\\y", "C:\\P", "C:\\P\\\x95\\..\\y"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResolveFullPath(c.path, c.base, ShiftJisLead), c.expected) << c.path;
}
