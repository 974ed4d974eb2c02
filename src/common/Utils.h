// General system utilities: the program's own path, its command-line
// switches and file version information.
#pragma once

#include <cstdint>
#include <string>

// Full path of the running program file.
std::string ProgramPath();

// The raw command line without the program's own name or path, trimmed.
std::string GetCmdLineParams();
// See CmdLine.h: the same rules on the process's own parameters.
bool HasSwitch(const std::string& switchWord);
std::string GetSwitchValue(const std::string& switchName, const std::string& fallback);
int64_t GetSwitchInt(const std::string& switchName, int64_t fallback);

// File version of `file` (empty: the program's own file) as four decimal
// numbers joined by "."; empty when the file has no version information.
std::string GetExeVersion(const std::string& file = "");

// "TRUE" or "FALSE", the form booleans take in logs.
const char* BoolText(bool value);
