// What the update cycle's units share: the message boxes in the original
// file's captions, character set and buttons, the step markers on the debug
// channel, and the agent's own file names. Needs the system.
#pragma once

#include <string>

#include "autoupdate/UpdateRules.h"
#include "common/UtilsUi.h"

class AgentView;
class SetupRecords;
class TGFileInfo;

enum AgentBoxKind { kBoxError, kBoxAttention };
void AgentBox(const SetupRecords& records, int kind, BoxOwner owner, const std::string& text);
// True for Yes.
bool AgentQuestion(const SetupRecords& records, BoxOwner owner, const std::string& text);

// " ==== PerformAutoUpdate-4 ====" on the debug channel, which tools follow.
void CycleMarker(const char* cycle, int step);

AgentOwnFiles OwnFilesOf(const TGFileInfo& program);
// The agent's folder with its closing backslash.
std::string AgentFolder();
// Deletes a download of the agent, unless it is the test-mode source itself.
void DeleteAgentDownload(const std::string& path);
// DownloadFileAU of the update or the inform page, with the activity and
// the host's download notifications (41) around it.
bool DownloadAnnounced(const TGFileInfo& program, AgentView& view, const std::string& base,
                       const std::string& name, int kind);
