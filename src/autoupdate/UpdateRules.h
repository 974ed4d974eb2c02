// The update cycle's rules that need no system: which file name from the
// server the agent may write, run and delete; which program it may shut
// down and start again; and the texts of its questions. Portable.
#pragma once

#include <string>

#include "common/PathText.h"

class SetupRecords;

// The agent's own files beside it, which no download may replace.
struct AgentOwnFiles {
  std::string agentName;     // the agent program's file name ("Prod.exe")
  std::string infoName;      // the info file's name
  std::string originalName;  // the record file's name
};

// The file-name part of a name from the info file (after the last "\" or
// "/"), when it is a plain file name for the agent's folder: not empty, not
// "." or "..", no ":" (stream or drive), no device name, nothing Windows
// would rename (trailing dots or blanks), and none of the agent's own files
// (the agent, its X_ copy, the info, original and log files; letter case
// ignored). Empty when the name is refused.
std::string SafeDownloadName(const std::string& file, const AgentOwnFiles& own);

// The full path of the product's program (`running` after macro expansion,
// a relative one taken from `folders[0]`) when it lies inside one of the
// product's folders (the empty ones left out); empty otherwise. Steps ".."
// are resolved first, so they cannot climb out of a folder.
std::string ProductProgramPath(const std::string& running, const std::string folders[3],
                               LeadByteTest isLeadByte);

// True for a location read from a local or shared folder rather than a web
// server: a drive letter ("C:...") or two backslashes in front.
bool IsFolderLocation(const std::string& location);

// The update's texts, "PROG_NAME" replaced by the new setup's program name
// (the shut-down question by the program's file name).
std::string OfferText(const SetupRecords& records);
std::string InstallText(const SetupRecords& records);
std::string FinishText(const SetupRecords& records);
std::string ShutDownText(const SetupRecords& records, const std::string& programPath);
