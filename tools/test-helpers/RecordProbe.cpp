// record-probe: reads an installed product's two settings files through the
// product library, as the update agent does, and reports what the agent
// reads and decides: every item, test mode, whether a probe is due, and the
// update decision with the size check against the real server. Optionally
// records a probe and an offer time afterwards.
//
// Usage: record-probe.exe /package=PATH /folder=DIR /out=PATH [options]
//   /package=PATH   the agent's package (its settings name the info file)
//   /folder=DIR     the folder holding the .original and .info files
//   /out=PATH       JSON result, written once everything is read
//   /now=SECONDS    the time the schedule is judged at (default: the clock)
//   /fetched=0|1    whether the info file counts as fetched (default 1)
//   /manual=0|1     a user-requested check (default 0)
//   /probenow=1     a probe asked for; /disabled=1 periodic probing off
//   /overrides=TEXT the override bytes' text form
//   /writelast=SECONDS  afterwards, ProbeSecondsLast and ReAskSecondsLast
// Result: {"original_path", "info_path", "items": {name: value},
// "override_string", "valid_for_version", "test_mode", "test_mode_url",
// "probe_due", "stage", "reason", "ok", "log": [run-log lines]}.
// Exit code 0; 2 for a bad command line; 3 when the result cannot be written.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "autoupdate/Agent.h"
#include "autoupdate/AgentRecords.h"
#include "common/DateText.h"
#include "common/TextRules.h"
#include "package/TGFileInfo.h"
#include "support/ToolSupport.h"

namespace {

class CollectedLog : public AgentLog {
 public:
  std::vector<std::string> lines;
  void Trace(const std::string& line) override { sinks_.Trace(line); }
  void Record(const std::string& line) override { lines.push_back(line); }

 private:
  AgentLogSinks sinks_;
};

class Json {
 public:
  void Text(const char* name, const std::string& value) { Add(name, tools::JsonString(value)); }
  void Number(const char* name, int64_t value) { Add(name, std::to_string(value)); }
  void Bool(const char* name, bool value) { Add(name, value ? "true" : "false"); }
  void Raw(const char* name, const std::string& json) { Add(name, json); }
  std::string Object() const { return "{" + body_ + "}"; }

 private:
  void Add(const char* name, const std::string& json) {
    body_ += (body_.empty() ? "" : ", ") + tools::JsonString(name) + ": " + json;
  }
  std::string body_;
};

std::string Items(const SetupRecords& r) {
  Json j;
  j.Number("ProbeSecondsInterval", r.ProbeSecondsInterval());
  j.Number("ProbeSecondsLast", r.ProbeSecondsLast());
  j.Number("ReAskSecondsInterval", r.ReAskSecondsInterval());
  j.Number("ReAskSecondsLast", r.ReAskSecondsLast());
  j.Number("VersionOriginal", r.VersionOriginal());
  j.Number("Stamp", r.Stamp());
  j.Text("ProgramName", r.ProgramName());
  j.Text("TargetDir", r.TargetDir());
  j.Text("BtnText", r.BtnText());
  j.Text("Error", r.ErrorCaption());
  j.Text("FontName", r.FontName());
  j.Number("FontSize", r.FontSize());
  j.Text("s3", r.AutoUpdateText("s3"));
  j.Text("s31", r.AutoUpdateText("s31"));
  j.Bool("AutoInform", r.AutoInform());
  j.Text("DownloadURL_UPDATE", r.DownloadUrlUpdate());
  j.Text("NameOfUpdateFile", r.NameOfUpdateFile());
  j.Number("SizeOfUpdateFile", r.SizeOfUpdateFile());
  j.Number("VersionNew", r.VersionNew());
  j.Number("NewStamp", r.StampNew());
  j.Text("ValidVersions", r.ValidVersions());
  j.Bool("RequestConfirmationBeforeDownload", r.RequestConfirmationBeforeDownload());
  j.Bool("RequestConfirmationBeforeInstall", r.RequestConfirmationBeforeInstall());
  j.Bool("BackgroundUpdate", r.BackgroundUpdate());
  j.Text("NameOfInformFile", r.NameOfInformFile());
  j.Number("SizeOfInformFile", r.SizeOfInformFile());
  j.Number("AutoInformW", r.AutoInformWidth());
  j.Number("AutoInformH", r.AutoInformHeight());
  return j.Object();
}

std::string JsonList(const std::vector<std::string>& lines) {
  std::string json;
  for (const std::string& line : lines)
    json += (json.empty() ? "" : ", ") + tools::JsonString(line);
  return "[" + json + "]";
}

std::string Option(int argc, char** argv, const char* name, const std::string& fallback) {
  std::string value;
  return tools::FindOption(argc, argv, 1, name, &value) ? value : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string packagePath = Option(argc, argv, "/package", "");
  const std::string folder = Option(argc, argv, "/folder", "");
  const std::string out = Option(argc, argv, "/out", "");
  if (packagePath.empty() || folder.empty() || out.empty()) {
    std::fprintf(stderr, "usage: record-probe.exe /package=PATH /folder=DIR /out=PATH [options]\n");
    return 2;
  }
  const int64_t now = TextToInt64(Option(argc, argv, "/now", ""), SecondsClock());
  ParseOverrideString(Option(argc, argv, "/overrides", ""), ProcessOverrides());

  const TGFileInfo package(packagePath);
  SetupRecords records = RecordsBeside(folder + "\\record-probe.exe", package);
  const bool testMode = TestMode(true);

  Json result;
  result.Text("original_path", records.OriginalFilePath());
  result.Text("info_path", records.InfoFilePath());
  result.Raw("items", Items(records));
  result.Text("override_string", OverrideString(ProcessOverrides()));
  result.Bool("valid_for_version", records.IsValidForVersion());
  result.Bool("test_mode", testMode);
  result.Text("test_mode_url", ProcessTestMode().Url());

  ProbeFlags flags;
  flags.probeEnabled = Option(argc, argv, "/disabled", "0") != "1";
  flags.probeNow = Option(argc, argv, "/probenow", "0") == "1";
  flags.manualCheckState = Option(argc, argv, "/manual", "0") == "1" ? 1 : 0;
  result.Number("probe_due", IsProbeDue(records, testMode, now, flags));

  SystemSizes sizes;
  CollectedLog log;
  const DecisionContext context{
      records, testMode, ProcessTestMode().Url(), now, flags.manualCheckState, sizes, log};
  int stage = -1;
  std::string reason;
  const bool ok =
      GetOkToPerformAU(context, Option(argc, argv, "/fetched", "1") == "1", stage, reason);
  result.Number("stage", stage);
  result.Text("reason", reason);
  result.Bool("ok", ok);
  result.Raw("log", JsonList(log.lines));

  const std::string writeLast = Option(argc, argv, "/writelast", "");
  if (!writeLast.empty()) {
    const int64_t time = TextToInt64(writeLast, 0);
    records.SetProbeSecondsLast(time);
    records.SetReAskSecondsLast(time);
  }
  return tools::WriteFileAtomically(out, result.Object()) ? 0 : 3;
}
