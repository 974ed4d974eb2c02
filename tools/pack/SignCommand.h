// Runs the publisher's signing command on a finished program file. Defined
// once per platform: SignCommandPosix.cpp (/bin/sh) and SignCommandWin.cpp
// (cmd.exe).
#pragma once

#include <cstdint>
#include <string>

// Runs `command` in `folder` (the current one when empty) through the system
// shell with the environment variables
// `in` and `out` set to `inPath` and `outPath` (read as "$in" and "$out" by
// /bin/sh, %in% and %out% by cmd.exe); the paths are never pasted into the
// command text, so no name can inject shell syntax. Standard input is empty,
// so a command that asks for a pass phrase fails instead of waiting, and its
// standard output goes to standard error, away from the tool's report. Waits
// at most `timeoutSeconds`, then ends the command and everything it started.
// Returns the empty text when the command exited with 0, otherwise what went
// wrong ("exited with 2", "did not finish within 600 s", ...).
std::string RunSignCommand(const std::string& command, const std::string& folder,
                           const std::string& inPath, const std::string& outPath,
                           uint32_t timeoutSeconds);
