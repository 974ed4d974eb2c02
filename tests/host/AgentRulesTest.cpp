#include <gtest/gtest.h>

#include "AgentFakes.h"
#include "autoupdate/AgentRules.h"

namespace {

struct AgentWorld : AgentFiles {
  AgentState state;
  int32_t Ask(uint32_t code, int32_t value = 0) {
    return AnswerAgentMessage(state, records, overrides, code, value);
  }
};

TEST(AgentMessageTest, QueriesAnswerFromTheFilesAndTheState) {
  AgentWorld world;
  world.Original("OriginalSetup", "VersionOriginal", "100");
  world.Original("OriginalSetup", "ProbeSecondsLast", "3974400000");  // above 32 bits: the low part answers
  world.Info("NewSetup", "VersionNew", "101");
  world.state.activity = 3;
  EXPECT_EQ(world.Ask(kAskVersionOriginal), 100);
  EXPECT_EQ(world.Ask(kAskVersionNew), 101);
  EXPECT_EQ(world.Ask(kAskActivity), 3);
  EXPECT_EQ(world.Ask(kAskProbeLast), static_cast<int32_t>(3974400000u));
  EXPECT_EQ(world.Ask(99), 0);
}

TEST(AgentMessageTest, SettersWriteTheOriginalFileAndAnswerZero) {
  struct Case {
    uint32_t setter, query;
    int32_t value;
  };
  const Case cases[] = {
      {kSetProbeInterval, kAskProbeInterval, 3600},
      {kSetReAskInterval, kAskReAskInterval, -5},  // negative values are kept as they come
      {kSetProbeLast, kAskProbeLast, 1234},
      {kSetReAskLast, kAskReAskLast, 77},
  };
  for (const Case& c : cases) {
    AgentWorld world;
    EXPECT_EQ(world.Ask(c.setter, c.value), 0) << c.setter;
    EXPECT_EQ(world.Ask(c.query), c.value) << c.setter;
  }
}

TEST(AgentMessageTest, OverridesCountdownAndProbeRequests) {
  AgentWorld world;
  world.Ask(kSetFirstOverride, 1);      // AskBeforeProbe
  world.Ask(kSetLastOverride, 0x100);   // low byte: 0
  world.Ask(26, 1);                     // no item of the message
  EXPECT_EQ(world.overrides.item[0], 1);
  EXPECT_EQ(world.overrides.item[5], 0);
  EXPECT_EQ(world.overrides.item[6], kNotOverridden);

  world.Ask(kSetQuitCountdown, 2);
  EXPECT_EQ(world.state.quitCountdown, 2);

  world.state.timerCount = -10;
  world.Ask(kProbeNowCode, 2);
  EXPECT_TRUE(world.state.probe.probeNow);
  EXPECT_EQ(world.state.timerCount, 1);
  EXPECT_EQ(world.state.probe.manualCheckState, 2);
  world.state.timerCount = 40;
  world.Ask(kProbeNowCode, 0);
  EXPECT_EQ(world.state.timerCount, 40);  // a count already past the start stays

  world.Ask(kRefreshInfoFile);
  EXPECT_TRUE(world.state.justDownloadInfoFile);
}

// The tick at which the first probe logic runs, and the quit request.
int FirstTick(AgentState state, bool wantQuit) {
  for (int tick = 1; tick <= 100; ++tick) {
    const TickStart start = AdvanceTick(state);
    if (wantQuit ? start.quit : start.probeLogic) return tick;
  }
  return 0;
}

TEST(AgentTickTest, FirstProbeLogicAndQuitTick) {
  AgentState fresh;
  EXPECT_EQ(FirstTick(fresh, false), 4);
  AgentState slept;
  slept.timerCount = -10;  // "/SleepX=10"
  EXPECT_EQ(FirstTick(slept, false), 11);
  AgentState quitting;
  quitting.quitCountdown = 2;
  EXPECT_EQ(FirstTick(quitting, true), 3);
  EXPECT_EQ(FirstTick(AgentState(), true), 0);  // -1: never
}

TEST(AgentTickTest, CheckAskedByTheUserRunsAtTheNextTick) {
  AgentState state;
  state.timerCount = -50;
  state.probe.manualCheckState = 2;
  const TickStart start = AdvanceTick(state);
  EXPECT_TRUE(start.probeLogic);
  EXPECT_EQ(state.probe.manualCheckState, 1);
}

TEST(AgentTickTest, CountStopsAtItsTop) {
  AgentState state;
  state.timerCount = INT32_MAX;
  EXPECT_TRUE(AdvanceTick(state).probeLogic);
  EXPECT_EQ(state.timerCount, INT32_MAX);
}

TEST(AgentSwitchTest, ValuesAreClamped) {
  EXPECT_EQ(ClampedSwitchValue(-1, kMaxWaitSeconds), -1);
  EXPECT_EQ(ClampedSwitchValue(-99, kMaxWaitSeconds), -1);
  EXPECT_EQ(ClampedSwitchValue(10, kMaxWaitSeconds), 10);
  EXPECT_EQ(ClampedSwitchValue(4294967296LL, kMaxWaitSeconds), kMaxWaitSeconds);
  EXPECT_EQ(ClampedSwitchValue(INT64_MAX, kMaxSwitchTicks), kMaxSwitchTicks);
}

TEST(AgentSwitchTest, HostSwitchParts) {
  struct Case {
    const char* text;
    uint32_t window, message;
  };
  const Case cases[] = {
      {"131234:49000", 131234, 49000},
      {"131234", 131234, 0},
      {"x:49000", 0, 49000},
      {"4294967295:1025", 4294967295u, 1025},
      {"4294967296:1025", 0, 1025},  // past 32 bits: no window
      {"-5:1025", 0, 1025},
      {"", 0, 0},
      {"1:2:3", 1, 2},
  };
  for (const Case& c : cases) {
    const HostSwitch host = ParseHostSwitch(c.text);
    EXPECT_EQ(host.window, c.window) << c.text;
    EXPECT_EQ(host.message, c.message) << c.text;
  }
  EXPECT_FALSE(IsHostMessageNumber(0x3FF));
  EXPECT_TRUE(IsHostMessageNumber(0x400));
  EXPECT_TRUE(IsHostMessageNumber(49000));
  EXPECT_FALSE(IsHostMessageNumber(0x10000));
}

TEST(AgentNamesTest, CopyClassName) {
  EXPECT_EQ(AgentCopyClassName("ProdUpdate.exe"), ".AutoUpdate.X_ProdUpdate");
  EXPECT_EQ(AgentCopyClassName("Prod.Update.exe"), ".AutoUpdate.X_Prod.Update");
}

}  // namespace
