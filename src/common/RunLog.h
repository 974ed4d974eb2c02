// The run log: a text file beside the program ("X_" + name + ".log"), one
// time-stamped record per line, written only when enabled at start-up. Every
// record reopens the file, so the log is complete even if the process is
// killed. Failures are ignored.
#pragma once

#include <string>

// Set once at start-up: agent packages that ask for the log.
void SetRunLogEnabled(bool enabled);
bool RunLogEnabled();

// Appends one record when the log is enabled.
void WriteLog(const std::string& message);

// The log path, worked out once from the program's path.
std::string GetLogFileName();

// Replaces the record marker ("   " at start) for all later records.
void SetLogMarker(const std::string& marker);
