#include "autoupdate/UpdateRules.h"

#include "autoupdate/SetupRecords.h"
#include "common/LogFormat.h"
#include "common/ProcessRules.h"
#include "common/TextRules.h"
#include "package/EntryHeader.h"

namespace {

bool SameName(const std::string& a, const std::string& b) { return !b.empty() && UpperText(a) == UpperText(b); }

bool IsOwnFile(const std::string& name, const AgentOwnFiles& own) {
  const std::string agent = ExtractFileName(own.agentName);
  return SameName(name, agent) || SameName(name, "X_" + agent) || SameName(name, own.infoName) ||
         SameName(name, own.originalName) || SameName(name, ExtractFileName(LogFileNameFor(agent)));
}

// `path` inside `folder` (both full and resolved), not the folder itself.
bool IsInside(const std::string& path, std::string folder, LeadByteTest isLeadByte) {
  folder = WithTrailingBackslash(folder, isLeadByte);
  return folder.size() > 1 && path.size() > folder.size() && StartsWithText(folder, path, true);
}

// Unquoted and trimmed, with "/" read as the separator Windows takes it for,
// so no step escapes the resolution below.
std::string Backslashed(const std::string& path) {
  return ReplaceText(NormaliseProgramPath(path), "/", "\\", false);
}

std::string WithProgramName(const std::string& text, const std::string& name) {
  return ReplaceText(text, "PROG_NAME", name, false);
}

}  // namespace

std::string SafeDownloadName(const std::string& file, const AgentOwnFiles& own) {
  const std::string name = file.substr(file.find_last_of("\\/") + 1);
  // IsSafeEntryName allows "." as a folder step; as a file name it is the folder.
  if (name == "." || !IsSafeEntryName(name) || IsOwnFile(name, own)) return "";
  return name;
}

std::string ProductProgramPath(const std::string& running, const std::string folders[3],
                               LeadByteTest isLeadByte) {
  const std::string base = Backslashed(folders[0]);
  const std::string wanted = Backslashed(running);
  if (wanted.empty() || base.empty()) return "";
  const std::string path = ResolveFullPath(wanted, base, isLeadByte);
  for (int i = 0; i < 3; ++i) {
    const std::string folder = Backslashed(folders[i]);
    if (!folder.empty() && IsInside(path, ResolveFullPath(folder, base, isLeadByte), isLeadByte)) return path;
  }
  return "";
}

bool IsFolderLocation(const std::string& location) {
  return (location.size() > 1 && location[1] == ':') || StartsWithText("\\\\", location, false);
}

std::string OfferText(const SetupRecords& records) {
  const bool force = records.RequestConfirmationBeforeDownloadForce();
  const bool install = records.RequestConfirmationBeforeInstall();
  const char* second = force ? (install ? "s19" : "s18") : (install ? "s13" : "s12");
  return WithProgramName(records.AutoUpdateText("s11") + records.AutoUpdateText(second), records.NewProgramName());
}

std::string InstallText(const SetupRecords& records) {
  return WithProgramName(records.AutoUpdateText(records.RequestConfirmationBeforeInstallForce() ? "s20" : "s14"),
                         records.NewProgramName());
}

std::string FinishText(const SetupRecords& records) {
  return WithProgramName(records.AutoUpdateText("s16"), records.NewProgramName());
}

std::string ShutDownText(const SetupRecords& records, const std::string& programPath) {
  return WithProgramName(records.AutoUpdateText("s15"), ExtractFileName(programPath));
}
