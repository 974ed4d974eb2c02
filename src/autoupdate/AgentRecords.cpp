#include "autoupdate/AgentRecords.h"

#include <windows.h>

#include "common/DateText.h"
#include "common/Files.h"
#include "common/PathText.h"
#include "common/RunLog.h"
#include "common/ShellDir.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/VDebug.h"
#include "inet/HttpClient.h"
#include "package/TGFileInfo.h"

namespace {

// A store that outlives every SetupRecords made from it.
ProfileIniStore& ProcessStore() {
  static ProfileIniStore store;
  return store;
}

class SystemTestModeSources : public TestModeSources {
 public:
  uint32_t TickCount() override { return GetTickCount(); }
  std::string RegistryText(const std::string& name, const std::string& fallback) override {
    return ReadRegValue(kAgentRegistryKey, name, fallback);
  }
  std::string Today() override { return FormatDayMonYear(kNow); }
};

}  // namespace

std::string FolderOf(const std::string& path) {
  return WithTrailingBackslash(ExtractFileDir(path), SystemLeadByte);
}

std::string ProfileIniStore::ReadText(const std::string& file, const std::string& section,
                                      const std::string& key, const std::string& fallback) {
  return ReadIniString(file, section, key, fallback);
}

bool ProfileIniStore::WriteText(const std::string& file, const std::string& section,
                                const std::string& key, const std::string& value) {
  return WriteIniString(file, section, key, value);
}

void AgentLogSinks::Trace(const std::string& line) { DebugTrace() << line; }

void AgentLogSinks::Record(const std::string& line) { WriteLog(line); }

// GetFileSize64 reads the size from the file's directory entry, which every
// Windows has; a wildcard would match other files.
int64_t SystemSizes::FileSize(const std::string& path) {
  if (path.empty() || path.find_first_of("*?") != std::string::npos || !FileExists(path)) return -1;
  return GetFileSize64(path);
}

int64_t SystemSizes::HttpSize(const std::string& url) { return HTTP_GetFileSize(url); }

OverrideFlags& ProcessOverrides() {
  static OverrideFlags flags;
  return flags;
}

SetupRecords RecordsBeside(const std::string& programPath, const TGFileInfo& package) {
  return SetupRecords(ProcessStore(), ProcessOverrides(), FolderOf(programPath),
                      package.InfoFileName(), package.RecordFileName());
}

SetupRecords RecordsOf(const TGFileInfo& package) { return RecordsBeside(ProgramPath(), package); }

TestModeState& ProcessTestMode() {
  static SystemTestModeSources sources;
  static TestModeState state(sources);
  return state;
}
