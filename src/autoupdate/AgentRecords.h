// The agent's records and decisions on the running system: the settings
// files through the system's settings-file functions, test mode from the
// registry and the tick count, sizes from the file system and the server,
// and the debug channel and run log as the decisions' logs.
#pragma once

#include <string>

#include "autoupdate/SetupRecords.h"
#include "autoupdate/UpdateDecision.h"

class TGFileInfo;

class ProfileIniStore : public IniStore {
 public:
  std::string ReadText(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& fallback) override;
  bool WriteText(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value) override;
};

// The debug channel (with the process id) and the run log.
class AgentLogSinks : public AgentLog {
 public:
  void Trace(const std::string& line) override;
  void Record(const std::string& line) override;
};

class SystemSizes : public SizeProbe {
 public:
  // -1 for a folder, a missing file or one that cannot be asked.
  int64_t FileSize(const std::string& path) override;
  int64_t HttpSize(const std::string& url) override;
};

// The folder of `path` with its closing backslash, as file names are
// appended to it (a root folder keeps its single one).
std::string FolderOf(const std::string& path);

// The process's override bytes (all 255 at start).
OverrideFlags& ProcessOverrides();

// The records beside the running program, named by the package's info file.
// The paths are worked out anew for every object: make one per use.
SetupRecords RecordsOf(const TGFileInfo& package);
// The same beside `programPath` (test helpers name their own folder).
SetupRecords RecordsBeside(const std::string& programPath, const TGFileInfo& package);

// The process's test-mode state, over the registry key kAgentRegistryKey of
// HKEY_CURRENT_USER, GetTickCount and today's local date.
TestModeState& ProcessTestMode();
