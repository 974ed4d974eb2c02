// Small Win32 helpers shared by the debug viewer and the test helper programs:
// command-line options and files that other processes poll.
#pragma once

#include <windows.h>

#include <string>

#include "common/WinHandles.h"

namespace tools {

// Looks for an argument "NAME=value" (NAME compared without regard to case,
// e.g. "/log") among argv[first..argc). Returns true and stores the value when
// found; a later occurrence wins.
bool FindOption(int argc, char** argv, int first, const char* name, std::string* value);

// True when the argument has the form "NAME=..." for one of the given names
// (a null-terminated list). Lets a program reject options it does not know.
bool IsKnownOption(const char* arg, const char* const* names);

// Replaces the file's content as one step: the text is written to PATH.tmp,
// which is then renamed over PATH, so a reader never sees a half-written file.
bool WriteFileAtomically(const std::string& path, const std::string& text);

// True when a file or folder of that name exists.
bool PathExists(const std::string& path);

// JSON text of an ANSI string: the prefix's code page decides what a byte
// above 127 means, so everything outside printable ASCII goes out as \uXXXX.
std::string JsonString(const std::string& ansi);

}  // namespace tools
