#include <gtest/gtest.h>

#include "stub/ModeRules.h"

TEST(ModeRules, AgentNames) {
  struct {
    bool isAgent;
    const char* file;
    bool plain;
    bool copy;
  } cases[] = {
      {true, "ProdUpdate.exe", true, false},
      {true, " produpdate.EXE ", true, false},  // trimmed, case ignored
      {true, "X_ProdUpdate.exe", false, true},
      {true, "x_produpdate.exe", false, true},
      {true, "X_X_ProdUpdate.exe", false, false},
      {true, "setup.exe", false, false},
      {false, "ProdUpdate.exe", false, false},  // not an agent package
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPlainAgentFile(c.isAgent, c.file, "ProdUpdate.exe"), c.plain) << c.file;
    EXPECT_EQ(IsAgentCopyFile(c.isAgent, c.file, "ProdUpdate.exe"), c.copy) << c.file;
  }
}

TEST(ModeRules, ClassNames) {
  EXPECT_EQ(MainWindowClassNameFor(false, "C:\\Temp\\setup.exe"), "C:\\Temp\\setup.exe");
  EXPECT_EQ(MainWindowClassNameFor(true, "C:\\Prog\\ProdUpdate.exe"), ".AutoUpdate.ProdUpdate");
  EXPECT_EQ(MainWindowClassNameFor(true, "C:\\Prog\\X_ProdUpdate.exe"), ".AutoUpdate.X_ProdUpdate");
  EXPECT_EQ(AgentCopyClassName("ProdUpdate.exe"), ".AutoUpdate.X_ProdUpdate");
}

TEST(ModeRules, RoleTable) {
  struct {
    bool plain, copy, spanCd;
    int level;
    StubRole role;
  } cases[] = {
      {true, false, true, 1, StubRole::kPlainAgent},  // the agent rows come first
      {false, true, true, 1, StubRole::kAgentCopy},
      {false, false, true, 1, StubRole::kSpanRestart},
      {false, false, true, 2, StubRole::kSetupRun},
      {false, false, false, 1, StubRole::kSetupRun},
      {false, false, false, 2, StubRole::kSetupRun},  // level 2 without SpanCd still runs
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseStubRole(c.plain, c.copy, c.spanCd, c.level), c.role)
        << c.plain << c.copy << c.spanCd << c.level;
  }
  EXPECT_EQ(SpanLevelOf(""), 1);
  EXPECT_EQ(SpanLevelOf("/SpanCdLvl=2 /x"), 2);
  EXPECT_EQ(SpanLevelOf("/SpanCdLvl=two"), 1);
}

TEST(ModeRules, SpanLevelIsReadWithoutTruncation) {
  struct {
    const char* params;
    int level;
  } cases[] = {
      {"/spancdlvl=2", 2},           // the reader ignores case...
      {"/SpanCdLvl = 2 /x", 2},      // ...and blanks before "="
      {"/SpanCdLvl=0", 0},
      {"/SpanCdLvl=-1", -1},
      // 2^32 + 2 and 2^32 + 1: truncated to 32 bits they would read as 2 and
      // 1; out of the int range a level is simply neither 1 nor 2.
      {"/SpanCdLvl=4294967298", 0},
      {"/SpanCdLvl=4294967297", 0},
      {"/SpanCdLvl=-4294967295", 0},  // -(2^32 - 1) truncates to 1
      {"/SpanCdLvl=9223372036854775807", 0},
      {"/SpanCdLvl=2147483648", 0},   // INT_MAX + 1
      {"/SpanCdLvl=99999999999999999999", 1},  // beyond 64 bits: not a number
  };
  for (const auto& c : cases) EXPECT_EQ(SpanLevelOf(c.params), c.level) << c.params;
}
