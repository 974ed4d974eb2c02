#include <gtest/gtest.h>

#include "common/CmdLine.h"

TEST(CmdLine, ParamsWithoutTheProgram) {
  const std::string program = "C:\\Setup Files\\setup.exe";
  struct {
    const char* raw;
    const char* expected;
  } cases[] = {
      {"\"C:\\Setup Files\\setup.exe\" /A=1 /B=two words", "/A=1 /B=two words"},  // quoted path
      {"C:\\Temp\\setup.exe /A=1", "/A=1"},                                      // unquoted, other folder
      {"SETUP.EXE   /x  ", "/x"},                                              // name case ignored
      {"\"C:\\Setup Files\\setup.exe\"", ""},
      {"\"C:\\Setup Files\\setup.exe\" \"", ""},  // a single leftover character is no parameter
      {"other.exe /y", "other.exe /y"},          // name absent: nothing to remove
  };
  for (const auto& c : cases) EXPECT_EQ(CmdLineParamsOf(c.raw, program), c.expected) << c.raw;
}

TEST(CmdLine, SwitchValues) {
  const std::string params = "/A=1 /B=two words /C = spaced /Empty= /Flag -D=dash /SpanCdLvl=2";
  struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"/B", "two words"},  // value with blanks
      {"/a", "1"},          // case ignored
      {"/A=", "1"},         // "=" given already
      {"B", "two words"},   // switch character optional
      {"/C", "spaced"},     // blanks before "=" ignored
      {"/Empty", ""},       // present, empty
      {"/Flag", "def"},     // no "=": no value
      {"/Missing", "def"},
      {"-D", "dash /SpanCdLvl=2"},  // "-" switches end only at a blank and "-"
      {"/D", "def"},        // ...and are not "/" switches
      {"-C", "def"},
      {"  ", "def"},
      {"/SpanCdLvl=", "2"},
  };
  for (const auto& c : cases) EXPECT_EQ(SwitchValueIn(params, c.name, "def"), c.expected) << c.name;
  // Only a blank followed by the asked switch character ends a value.
  EXPECT_EQ(SwitchValueIn("-A=x /B=y -C=z", "-A", ""), "x /B=y");
  // Quotes around a value are dropped, as the engine's paths are quoted.
  EXPECT_EQ(SwitchValueIn("/OriginExe=\"C:\\My Files\\setup.exe\" /X=1", "/OriginExe", ""), "C:\\My Files\\setup.exe");
}

TEST(CmdLine, SwitchIntAndHasSwitch) {
  const std::string params = "/SpanCdLvl=2 /WAIT=x /hide /N=-5";
  EXPECT_EQ(SwitchIntIn(params, "/SpanCdLvl=", 1), 2);
  EXPECT_EQ(SwitchIntIn(params, "/WAIT=", 0), 0);  // not a number
  EXPECT_EQ(SwitchIntIn(params, "/N", 0), -5);
  EXPECT_EQ(SwitchIntIn(params, "/Missing", 9), 9);
  EXPECT_EQ(SwitchIntIn("/E=", "/E", 4), 4);  // empty value

  // Whole 64-bit values, never cut to 32 bits ("/SleepX=" counts ticks).
  struct {
    const char* params;
    int64_t value;
  } wide[] = {
      {"/SleepX=4294967298", 4294967298LL},
      {"/SleepX=2147483648", 2147483648LL},
      {"/sleepx = 4294967296 /hide", 4294967296LL},
      {"/SleepX=9223372036854775807", INT64_MAX},
      {"/SleepX=-9223372036854775808", INT64_MIN},
      {"/SleepX=9223372036854775808", -1},  // beyond 64 bits: the fallback
      {"/SleepX=18446744073709551617", -1},
  };
  for (const auto& c : wide) EXPECT_EQ(SwitchIntIn(c.params, "/SleepX=", -1), c.value) << c.params;

  EXPECT_TRUE(HasSwitchIn(params, "/hide"));
  EXPECT_TRUE(HasSwitchIn(params, " /HIDE "));
  EXPECT_FALSE(HasSwitchIn(params, "/hid"));
  EXPECT_TRUE(HasSwitchIn(params, "/N=-5"));  // the last switch is followed by the added blank
}
