#include <gtest/gtest.h>

#include "common/TextRules.h"

TEST(TextRules, ReplaceText) {
  struct {
    const char* text;
    const char* find;
    const char* replacement;
    bool ignoreCase;
    const char* expected;
  } cases[] = {
      {"a<P>b<p>c", "<P>", "\r\n", true, "a\r\nb\r\nc"},
      {"a<P>b<p>c", "<P>", "|", false, "a|b<p>c"},
      {"aaa", "a", "aa", false, "aaaaaa"},  // replacement holding the text does not loop
      {"abc", "", "x", false, "abc"},       // empty find: unchanged
      {"", "a", "x", false, ""},
      {"Disk #<DISK_NUM>", "<disk_num>", "2", true, "Disk #2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceText(c.text, c.find, c.replacement, c.ignoreCase), c.expected) << c.text << " / " << c.find;
  }
  EXPECT_EQ(ReplaceTextTrimmed("  a-b  ", "-", " ", false), "a b");
}

TEST(TextRules, StartsEndsAndSameTrimmed) {
  EXPECT_TRUE(StartsWithText("x_", "X_setup.exe", true));
  EXPECT_FALSE(StartsWithText("x_", "X_setup.exe", false));
  EXPECT_FALSE(StartsWithText("long prefix", "short", true));
  EXPECT_TRUE(EndsWithText(".EXE.001", "setup.exe.001", true));
  EXPECT_FALSE(EndsWithText(".exe", "exe", true));
  EXPECT_TRUE(SameTrimmedText("  Agent.EXE ", "agent.exe"));
  EXPECT_FALSE(SameTrimmedText("X_agent.exe", "agent.exe"));
  EXPECT_EQ(TrimText("\t a b \r\n"), "a b");
}

TEST(TextRules, HexText) {
  const std::string bytes("\x00\x01\xAB\xff\x10\x20\x30\x40\x50", 9);
  EXPECT_EQ(BytesToHex(bytes), "0001ABFF1020304050");
  EXPECT_EQ(BytesToHex("\x0A\x0B"), "0A0B");
  EXPECT_EQ(BytesToHex("\x0A\x0B", true, false), "0x0A0x0B");
  // A blank after each byte and one more after every eighth.
  EXPECT_EQ(BytesToHex(bytes, false, true), "00 01 AB FF 10 20 30 40  50 ");
  for (bool prefix : {false, true}) {
    for (bool blanks : {false, true}) {
      std::string back;
      ASSERT_TRUE(HexToBytes(BytesToHex(bytes, prefix, blanks), back)) << prefix << blanks;
      EXPECT_EQ(back, bytes);
    }
  }
  std::string out;
  EXPECT_TRUE(HexToBytes("0aFf", out));
  EXPECT_EQ(out, "\x0a\xff");
  EXPECT_FALSE(HexToBytes("0G", out));
  EXPECT_FALSE(HexToBytes("ABC", out));  // odd digit count
}

TEST(TextRules, NumbersAndPaths) {
  int64_t v = 0;
  EXPECT_TRUE(ParseInt64(" -42 ", v));
  EXPECT_EQ(v, -42);
  EXPECT_TRUE(ParseInt64("-9223372036854775808", v));
  EXPECT_EQ(v, INT64_MIN);
  EXPECT_FALSE(ParseInt64("9223372036854775808", v));  // overflow
  EXPECT_FALSE(ParseInt64("12a", v));
  EXPECT_FALSE(ParseInt64("", v));
  EXPECT_FALSE(ParseInt64("-", v));
  EXPECT_EQ(TextToInt64("x", 7), 7);

  EXPECT_EQ(ExtractFileName("C:\\Temp\\setup.exe"), "setup.exe");
  EXPECT_EQ(ExtractFileName("http://host/dir/prod.info"), "prod.info");
  EXPECT_EQ(ExtractFileDir("C:\\Temp\\setup.exe"), "C:\\Temp");
  EXPECT_EQ(ExtractFileDir("C:\\setup.exe"), "C:\\");
  EXPECT_EQ(RemoveLastExtension("a.b.exe"), "a.b");
  EXPECT_EQ(RemoveLastExtension("C:\\dir.x\\name"), "C:\\dir.x\\name");
  EXPECT_EQ(RemoveLastExtension(".exe"), "");
}

TEST(TextRules, UpperCasingIsAnsi) {
  EXPECT_EQ(UpperText("abc-\xe4\xf6\xfc"), "ABC-\xc4\xd6\xdc");
  EXPECT_EQ(UpperText("\xf7"), "\xf7");  // the division sign has no capital
}

TEST(TextRules, ExpandEscapes) {
  struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"a\\\\nb\\\\tc", "a\r\nb\tc"},  // two backslashes, then n or t
      {"a\\\\Nb", "a\\\\Nb"},          // the escapes are case-sensitive
      {"a<p>b<T>c<P>", "a\r\nb\tc\r\n"},
      {"\\n stays", "\\n stays"},      // one backslash is no escape
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandEscapes(c.text), c.expected) << c.text;
}

TEST(TextRules, SizeFormats) {
  struct {
    double bytes;
    int decimals;
    bool separators;
    const char* kb;
    const char* mb;
  } cases[] = {
      {40000000, 1, false, "39062.5", "38.1"},
      {5242880, 2, false, "5120.00", "5.00"},
      {524288, 3, false, "512.000", "0.500"},
      {1264225280, 1, true, "1,234,595.0", "1,205.7"},
      {1025, 0, false, "2", "1"},  // decimals 0: rounded up
      {1024, -1, false, "1", "1"},
      {1536, 7, false, "1.5", "0.0"},  // unsupported decimals: one
      {0, 4, true, "0.0000", "0.0000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatSizeKB(c.bytes, c.decimals, c.separators), c.kb) << c.bytes;
    EXPECT_EQ(FormatSizeMB(c.bytes, c.decimals, c.separators), c.mb) << c.bytes;
  }
}
