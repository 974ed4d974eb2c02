// The running system's special folders: the shell's answer first, the
// derivation rules of ShellFolderRules.h when the shell has none or names a
// folder that does not exist. Every call asks the system again.
#pragma once

#include <string>

#include "common/ShellFolderRules.h"

// With a trailing backslash when `withBackslash`, without one otherwise.
std::string GetSpecialFolder(SpecialFolder folder, bool withBackslash);

// The shell's own answers, empty when it has none: the folder-path query of
// SHFolder.dll (with the create flag where the rules ask for it) and the
// older special-folder query of shell32.dll.
std::string ShellFolderPath(int csidl);
std::string ShellSpecialFolderPath(int csidl);

// The Windows folder without a trailing backslash; empty on failure.
std::string WindowsFolder();

// The lead-byte test of the system's ANSI code page.
bool SystemLeadByte(unsigned char byte);
