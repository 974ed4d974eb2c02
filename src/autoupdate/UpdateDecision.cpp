#include "autoupdate/UpdateDecision.h"

#include <climits>

#include "autoupdate/SetupRecords.h"
#include "common/TextRules.h"
#include "common/VSUB.h"
#include "inet/DownloadRules.h"

const char kAgentRegistryKey[] = "Software\\Wexmoral\\Varnix\\AutoUpdate";

namespace {

constexpr uint32_t kTestModeRefreshMs = 30000;
constexpr int64_t kTestModeProbeSeconds = 5;
constexpr int64_t kSizeTolerance = 100;

const char kReasons[] =
    "|Error downloading .INFO file|Error reading .ORIGINAL file|Too early for retesting"
    "|New version is not higher then old version|\"Valid for version\" mismatch"
    "|Download file size error|OK|";

// A "last" time in the future (clock set back, a time-zone change, a clock
// once set years ahead) is rewritten as now: left as it is, it would hold
// the schedule until the clock caught up with it.
int64_t LastNotAfterNow(SetupRecords& records, bool probe, int64_t nowSeconds) {
  const int64_t last = probe ? records.ProbeSecondsLast() : records.ReAskSecondsLast();
  if (last <= nowSeconds) return last;
  if (probe) {
    records.SetProbeSecondsLast(nowSeconds);
  } else {
    records.SetReAskSecondsLast(nowSeconds);
  }
  return nowSeconds;
}

int ScheduledStatus(SetupRecords& records, bool testMode, int64_t nowSeconds) {
  const int64_t stored = records.ProbeSecondsInterval();
  // -1 is the documented "never"; any other negative number is no usable
  // interval either, and test mode must not revive a schedule switched off.
  if (stored < 0) return kNoProbe;
  const int64_t interval = testMode ? kTestModeProbeSeconds : stored;
  if (SecondsSince(nowSeconds, LastNotAfterNow(records, true, nowSeconds)) < interval)
    return kNoProbe;
  return stored == 0 ? kProbeOnce : kProbe;
}

// |a - b| without overflow: the unsigned difference of two 64-bit signed
// numbers is exact, since their true distance is below 2^64.
uint64_t Distance(int64_t a, int64_t b) {
  return a > b ? static_cast<uint64_t>(a) - static_cast<uint64_t>(b)
               : static_cast<uint64_t>(b) - static_cast<uint64_t>(a);
}

// The actual size and the location it was asked for; -1 when unknown.
int64_t ActualSize(const DecisionContext& context, const std::string& base, const std::string& name,
                   std::string& location) {
  if (context.testMode) {
    location = context.testModeUrl + "\\" + name;
    // Without a test folder the path would name the current drive's root.
    return context.testModeUrl.empty() ? -1 : context.sizes.FileSize(location);
  }
  if (!IsAllowedUpdateLocation(base, false)) {
    location = base;
    context.log.Record("  Refused: not an http or https location: " + base);
    return -1;
  }
  location = JoinUrl(base, name);
  return context.sizes.HttpSize(location);
}

int DecisionStage(const DecisionContext& context, bool infoFetched) {
  SetupRecords& records = context.records;
  if (!infoFetched) return 0;
  const int32_t installed = records.VersionOriginal();
  if (installed <= 0) return 1;
  // A user-requested check ignores the re-ask schedule.
  if (records.StampNew() == records.Stamp() && !IsReAskDue(records, context.nowSeconds) &&
      context.manualCheckState != 1) {
    return 2;
  }
  if (records.VersionNew() <= installed) return 3;
  if (!records.IsValidForVersion()) return 4;
  if (!CheckUpdateFileSize(context, records.DownloadUrlUpdate(), records.NameOfUpdateFile(),
                           records.NameOfInformFile())) {
    return 5;
  }
  return 6;
}

}  // namespace

bool TestModeState::Check(bool force) {
  const uint32_t now = sources_.TickCount();
  // Unsigned: the tick count wraps after 49.7 days. Only a refresh moves the
  // stored time, so a caller that asks every second still refreshes every
  // 30 s.
  if (!force && now - refreshedAt_ <= kTestModeRefreshMs) return on_;
  const std::string date = sources_.RegistryText("TestModeDate", "");
  on_ = sources_.RegistryText("TestMode", "0") == "1" && !date.empty() && date == sources_.Today();
  url_ = sources_.RegistryText("TestModeURL", "");
  refreshedAt_ = now;
  return on_;
}

int64_t SecondsSince(int64_t now, int64_t last) {
  if (last >= now) return 0;
  if (last < 0 && now > INT64_MAX + last) return INT64_MAX;
  return now - last;
}

int IsProbeDue(SetupRecords& records, bool testMode, int64_t nowSeconds, ProbeFlags& flags) {
  int status = kNoProbe;
  if (flags.probeNow) {
    status = kProbe;
  } else if (flags.probeEnabled) {
    status = ScheduledStatus(records, testMode, nowSeconds);
  }
  flags.probeNow = false;
  return status;
}

bool IsReAskDue(SetupRecords& records, int64_t nowSeconds) {
  const int64_t interval = records.ReAskSecondsInterval();
  return interval > 0 &&
         SecondsSince(nowSeconds, LastNotAfterNow(records, false, nowSeconds)) > interval;
}

bool IsAllowedUpdateLocation(const std::string& location, bool testMode) {
  if (testMode) return true;
  return StartsWithText("http://", location, true) || StartsWithText("https://", location, true);
}

bool CheckUpdateFileSize(const DecisionContext& context, const std::string& base,
                         const std::string& updateName, const std::string& informName) {
  const bool inform = context.records.AutoInform();
  const int64_t expected =
      inform ? context.records.SizeOfInformFile() : context.records.SizeOfUpdateFile();
  const std::string name = ExtractFileName(inform ? informName : updateName);
  std::string location;
  const int64_t actual = ActualSize(context, base, name, location);
  // An unknown size confirms nothing, whatever size the info file announces.
  if (actual >= 0 && Distance(actual, expected) < static_cast<uint64_t>(kSizeTolerance))
    return true;
  context.log.Record("  InfoSize=" + std::to_string(expected));
  context.log.Record("  HttpSize=" + std::to_string(actual));
  context.log.Record("  URL=" + location);
  return false;
}

std::string DecisionReason(int stage) { return SUB::Item(kReasons, stage); }

bool GetOkToPerformAU(const DecisionContext& context, bool infoFetched, int& stage,
                      std::string& reason) {
  stage = DecisionStage(context, infoFetched);
  reason = DecisionReason(stage);
  context.log.Trace(" GetOkToPerformAU=" + std::to_string(stage));
  context.log.Record("GetOkToPerformAU = " + std::to_string(stage) + " - " + reason);
  return stage == 6;
}
