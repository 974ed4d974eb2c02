// The web stub's download question and the shortcut removal's guard.
#include <gtest/gtest.h>

#include <string>

#include "package/Language.h"
#include "setup/WebStubRules.h"

TEST(WebStubRules, DownloadQuestionSize) {
  struct {
    const char* size;
    const char* expected;
  } cases[] = {
      {"15728640", "Size: 15.0 MB"},
      {"1048576", "Size: 1.00 MB"},  // from 1 to 10 MB: two decimals
      {"524288", "Size: 0.500 MB"},
      {"", "Size: 0.000 MB"},
      {"15 MB", "Size: 0.000 MB"},  // not a whole number
      {"1.5", "Size: 0.000 MB"},
      {"-5", "Size: 0.000 MB"},
      {"99999999999999999999", "Size: 0.000 MB"},  // beyond 64 bits
      {"5368709120", "Size: 5120.0 MB"},           // beyond 4 GiB, no separators
  };
  for (const auto& c : cases)
    EXPECT_EQ(DownloadQuestion("Size: <SIZE> MB", c.size), c.expected) << c.size;
}

TEST(WebStubRules, WebFileBytesIsTheExpectedSizeOrNothing) {
  EXPECT_EQ(WebFileBytes("5368709120"), 5368709120ull);  // beyond 4 GiB, exact
  EXPECT_EQ(WebFileBytes(" 42 "), 42u);
  for (const char* unknown : {"", "-5", "1.5", "15 MB", "99999999999999999999"})
    EXPECT_EQ(WebFileBytes(unknown), 0u) << unknown;
}

TEST(WebStubRules, DownloadQuestionMarkers) {
  EXPECT_EQ(DownloadQuestion("<size> <SIZE> <Size>", "0"),
            "<size> 0.000 <Size>");  // the marker's case counts
  EXPECT_EQ(DownloadQuestion("<SIZE>/<SIZE>", "15728640"), "15.0/15.0");
  EXPECT_EQ(DownloadQuestion("no marker", "15728640"), "no marker");
  EXPECT_NE(DownloadQuestion(LangDefault::s11, "15728640").find("Size: 15.0 MB"),
            std::string::npos);
}

TEST(WebStubRules, OnlyShortcutsAreRemovable) {
  struct {
    const char* path;
    bool removable;
  } cases[] = {
      {"C:\\Users\\Public\\Desktop\\Product.lnk", true},
      {"d:\\Start Menu\\Check.LNK", true},  // letter case of drive and extension
      {"C:\\Windows\\system32\\kernel32.dll", false},
      {"C:\\a\\Product.lnk.exe", false},
      {"Product.lnk", false},  // relative: would land beside the program
      {"\\Product.lnk", false},
      {"\\\\server\\share\\a.lnk", false},
      {"\\\\?\\C:\\a.lnk", false},
      {"C:Product.lnk", false},
      {"C:/a.lnk", false},
      {"C:\\a\\..\\..\\b.lnk", false},
      {"C:\\a\\x.lnk:stream", false},
      {"C:\\a\\x.lnk::$DATA", false},
      {"C:\\a\\con.lnk", false},  // device name
      {"C:\\a\\x.lnk\r\n", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsRemovableShortcut(c.path), c.removable) << c.path;
}
