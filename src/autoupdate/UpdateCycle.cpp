#include "autoupdate/UpdateCycle.h"

#include "autoupdate/AgentView.h"
#include "common/VDebug.h"

// Not built yet: each step fails with a trace, so a probe still runs its
// notifications and decision around it.
bool DownloadFileAU(const TGFileInfo&, AgentView&, const std::string& base, const std::string& file, int kind,
                    std::string& errorText) {
  errorText = "The agent's downloads are not built yet";
  DebugTrace() << " DownloadFileAU: " << base << " " << file << " (" << kind << "): " << errorText;
  return false;
}

bool PerformAutoUpdate(const TGFileInfo&, AgentView&) {
  DebugTrace() << " PerformAutoUpdate: not built yet";
  return false;
}

bool PerformAutoInform(const TGFileInfo&, AgentView&) {
  DebugTrace() << " PerformAutoInform: not built yet";
  return false;
}
