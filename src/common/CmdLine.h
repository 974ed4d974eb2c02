// Command-line switch parsing on given texts. The Win32 wrappers in Utils
// apply these to the process's own command line. Portable.
#pragma once

#include <cstdint>
#include <string>

// The raw command line without the program's own name or path, trimmed.
std::string CmdLineParamsOf(const std::string& rawCommandLine, const std::string& programPath);

// True when `params` + " " contains the trimmed switch word + " ", ignoring case.
bool HasSwitchIn(const std::string& params, const std::string& switchWord);

// The value of "/name=value" (or "-name=value" when the switch is asked for
// with a leading "-"): trimmed, may contain blanks; only a blank followed by
// the switch character ends it. Empty for a present switch with an empty
// value; `fallback` when the switch is absent or written without "=".
std::string SwitchValueIn(const std::string& params, const std::string& switchName,
                          const std::string& fallback);

// SwitchValueIn read as a 64-bit integer; `fallback` when absent or not a number.
int64_t SwitchIntIn(const std::string& params, const std::string& switchName, int64_t fallback);
