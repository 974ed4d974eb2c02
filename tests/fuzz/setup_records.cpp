// The setup record file (what the product's setup wrote, and the agent's
// schedule) and the override string another process hands to the agent:
// every value reads without a crash, what the agent writes reads back, the
// override string survives its own round trip, and the schedule decisions
// take any stored times.
#include "AgentFakes.h"
#include "FuzzSupport.h"
#include "autoupdate/UpdateDecision.h"

namespace {

const char* const kTextKeys[] = {"s2", "s3", "s10", "s20", "s34", "s35", "s36", "x"};

void ReadEverything(const SetupRecords& r) {
  r.ProbeSecondsInterval();
  r.ProbeSecondsLast();
  r.ReAskSecondsInterval();
  r.ReAskSecondsLast();
  r.VersionOriginal();
  r.Stamp();
  const std::string texts[] = {r.ProgramName(), r.TargetDir(), r.SharedDir(), r.AuxiliaryDir(), r.StartUpLink(),
                               r.CheckforNewUpdateLink(), r.BtnText(), r.ErrorCaption(), r.ConfirmCaption(),
                               r.AttentionCaption(), r.FontName()};
  (void)texts;
  r.CharSet();
  r.FontSize();
  for (const char* key : kTextKeys) r.AutoUpdateText(key);
}

void OverrideRoundTrip(const OverrideFlags& flags) {
  OverrideFlags again;
  for (uint8_t& item : again.item) item = 7;
  ParseOverrideString(OverrideString(flags), again);
  for (int i = 0; i < kOverrideCount; ++i) FUZZ_CHECK(again.item[i] == flags.item[i], "override string round trip");
}

// What the agent writes, it reads back.
void WriteAndRead(FuzzedDataProvider& input, SetupRecords& r) {
  const int64_t probe = input.ConsumeIntegral<int64_t>(), reAsk = input.ConsumeIntegral<int64_t>();
  const int64_t probeLast = input.ConsumeIntegral<int64_t>(), reAskLast = input.ConsumeIntegral<int64_t>();
  const int32_t version = input.ConsumeIntegral<int32_t>(), stamp = input.ConsumeIntegral<int32_t>();
  r.SetProbeSecondsInterval(probe);
  r.SetReAskSecondsInterval(reAsk);
  r.SetProbeSecondsLast(probeLast);
  r.SetReAskSecondsLast(reAskLast);
  r.SetVersionOriginal(version);
  r.SetStamp(stamp);
  FUZZ_CHECK(r.ProbeSecondsInterval() == probe && r.ReAskSecondsInterval() == reAsk, "intervals did not read back");
  FUZZ_CHECK(r.ProbeSecondsLast() == probeLast && r.ReAskSecondsLast() == reAskLast, "times did not read back");
  FUZZ_CHECK(r.VersionOriginal() == version && r.Stamp() == stamp, "version or stamp did not read back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  AgentFiles files;
  ParseOverrideString(input.ConsumeRandomLengthString(64), files.overrides);
  OverrideRoundTrip(files.overrides);
  AskBeforeProbe(files.overrides);
  SetOverride(files.overrides, input.ConsumeIntegral<int>(), input.ConsumeIntegral<uint8_t>());
  StoreIniText(files.store, AgentFiles::kOriginal, input.ConsumeRandomLengthString(4096));
  ReadEverything(files.records);

  const int64_t now = input.ConsumeIntegral<int64_t>();
  ProbeFlags flags;
  flags.probeEnabled = input.ConsumeBool();
  flags.probeNow = input.ConsumeBool();
  const int due = IsProbeDue(files.records, input.ConsumeBool(), now, flags);
  FUZZ_CHECK(due >= kNoProbe && due <= kProbeOnce && !flags.probeNow, "probe decision out of range");
  IsReAskDue(files.records, now);
  FUZZ_CHECK(SecondsSince(now, input.ConsumeIntegral<int64_t>()) >= 0, "negative time since");
  WriteAndRead(input, files.records);
  return 0;
}
