#include "autoupdate/AgentRules.h"

#include "common/TextRules.h"

namespace {

int32_t Low32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// A decimal number that fits 32 unsigned bits, else 0.
uint32_t Unsigned32(const std::string& text) {
  const int64_t number = TextToInt64(text, 0);
  return number < 0 || number > UINT32_MAX ? 0 : static_cast<uint32_t>(number);
}

}  // namespace

std::string AgentCopyClassName(const std::string& agentExeName) {
  return ".AutoUpdate.X_" + RemoveLastExtension(agentExeName);
}

int32_t AnswerAgentMessage(AgentState& state, SetupRecords& records, OverrideFlags& overrides,
                           uint32_t code, int32_t value) {
  switch (code) {
    case kAskVersionOriginal: return records.VersionOriginal();
    case kAskVersionNew: return records.VersionNew();
    case kAskActivity: return state.activity;
    case kAskProbeInterval: return Low32(records.ProbeSecondsInterval());
    case kAskReAskInterval: return Low32(records.ReAskSecondsInterval());
    case kAskProbeLast: return Low32(records.ProbeSecondsLast());
    case kAskReAskLast: return Low32(records.ReAskSecondsLast());
    case kSetProbeInterval: records.SetProbeSecondsInterval(value); break;
    case kSetReAskInterval: records.SetReAskSecondsInterval(value); break;
    case kSetProbeLast: records.SetProbeSecondsLast(value); break;
    case kSetReAskLast: records.SetReAskSecondsLast(value); break;
    case kSetQuitCountdown: state.quitCountdown = value; break;
    case kProbeNowCode:
      state.probe.probeNow = true;
      if (state.timerCount < 1) state.timerCount = 1;
      if (value == 2) state.probe.manualCheckState = 2;
      break;
    case kRefreshInfoFile: state.justDownloadInfoFile = true; break;
    default:
      if (code >= kSetFirstOverride && code <= kSetLastOverride) {
        SetOverride(overrides, static_cast<int>(code - kSetFirstOverride), static_cast<uint8_t>(value));
      }
      break;
  }
  return 0;
}

TickStart AdvanceTick(AgentState& state) {
  TickStart tick = {false, false};
  if (state.probe.manualCheckState == 2) state.probe.manualCheckState = 1;
  if (state.probe.manualCheckState == 1) state.timerCount = 0;
  tick.quit = state.quitCountdown == 0;
  if (state.quitCountdown >= 0) --state.quitCountdown;
  // The count stops at its top instead of wrapping to "not yet".
  if (state.timerCount < INT32_MAX) ++state.timerCount;
  tick.probeLogic = state.timerCount > 0;
  return tick;
}

int32_t ClampedSwitchValue(int64_t value, int64_t limit) {
  if (value < 0) return -1;
  return static_cast<int32_t>(value < limit ? value : limit);
}

HostSwitch ParseHostSwitch(const std::string& value) {
  const std::string text = ":" + value + ":";
  const size_t first = text.find(':', 1);
  const size_t second = text.find(':', first + 1);
  HostSwitch host;
  host.window = Unsigned32(text.substr(1, first - 1));
  host.message = second == std::string::npos ? 0 : Unsigned32(text.substr(first + 1, second - first - 1));
  return host;
}

bool IsHostMessageNumber(uint32_t message) { return message >= 0x400 && message <= 0xFFFF; }
