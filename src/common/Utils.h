// General system utilities: the program's own path and command-line
// switches, settings files, the registry, version information, the identity
// of the running Windows, the user's and computer's names, and the start-up
// pre-loading of system libraries. None raises: failures give the default,
// an empty text or false.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/WindowsNaming.h"

// Full path of the running program file.
std::string ProgramPath();

// The raw command line without the program's own name or path, trimmed.
std::string GetCmdLineParams();
// See CmdLine.h: the same rules on the process's own parameters.
bool HasSwitch(const std::string& switchWord);
std::string GetSwitchValue(const std::string& switchName, const std::string& fallback);
int64_t GetSwitchInt(const std::string& switchName, int64_t fallback);

// Settings (INI) files, always named with a full path: the system looks a
// bare name up in the Windows folder. Reads are serialised by one lock, held
// for the single read only.
//
// The text under the key (at most 32,768 characters; over 10,240 a line goes
// to the debug channel, the text is still returned), or `fallback` when the
// file, section or key is missing or empty, or the stored text is empty.
std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& fallback);
// The same read as a 64-bit integer; `fallback` when missing or not a number.
int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
                   int64_t fallback);
// True when written; false, without writing, when the file, section or key
// is empty.
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
// Writes the decimal text of `value`.
bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key,
                 int64_t value);

// The root key for "HKEY_LOCAL_MACHINE", "HKLM" and the other root names
// (any case); HKEY_CURRENT_USER for anything else.
HKEY RegRootFromName(const std::string& name);
struct RegPath {
  HKEY root;
  std::string subKey;  // empty: the root itself
};
// "HKLM\Software\X" gives HKEY_LOCAL_MACHINE and "Software\X"; a path that
// does not begin with "HK" is a subkey of HKEY_CURRENT_USER; "HKxyz\Sub" is
// HKEY_CURRENT_USER with "Sub".
RegPath ParseRegPath(const std::string& path);
// The registry view callers pass when they have no reason to choose: off
// (the 32-bit view of a 32-bit program on 64-bit Windows).
bool DefaultRegistryView();
// A value as text (see RegistryRules.h for the form of each type), or
// `fallback` when the key or value is missing, unreadable or over 10,241
// bytes. `use64BitView` reads the 64-bit view on 64-bit Windows.
std::string ReadRegValue(const std::string& keyPath, const std::string& valueName,
                         const std::string& fallback, bool use64BitView = DefaultRegistryView());

// File version of `file` (empty: the program's own file) as four decimal
// numbers joined by "."; empty when the file has no version information.
std::string GetExeVersion(const std::string& file = "");
// The "ProductVersion" string of `file` (empty: the program's own file) in
// its first translation, with every "," turned into "."; empty when missing.
std::string GetProductVersion(const std::string& file = "");

// The system's version record, read once. Systems that report 6.3 or above
// to programs not declaring them take major, minor and build from
// kernel32.dll's product version instead (see WindowsNaming.h).
const OSVERSIONINFOEXA& GetOSVersionInfo();
bool IsWindowsNT();
bool IsWindowsXP();  // cached
bool IsWindows8OrLater();
// A 32-bit process on 64-bit Windows, with every function of the 64-bit
// test present (see Win64.h). Cached.
bool Is64BitWindows();
// The Server R2 metric, or a domain controller or server product type.
bool IsServer();
// Version text, name and flag of the running Windows, with its build number
// and service-pack text (see WindowsNaming.h).
WindowsName GetWindowsName();

// Trimmed; empty when the system cannot tell.
std::string GetLoggedUserName();
std::string GetComputerNameText();
// "RegisteredOwner" of the Windows version key (64-bit view on 64-bit
// Windows); the logged-on user's name when the value is missing.
std::string GetRegisteredOwner();
// "RegisteredOrganization" of the same key; empty when missing.
std::string GetRegisteredOrganization();
// The domain of the logged-on user's account; empty on failure.
std::string GetDomainName();

// Loads shell32.dll, USP10.dll, MSLS31.dll and RICHED32.DLL from the system
// folder before any window exists, with the system's file-error boxes off, so
// a missing library never shows a system dialog. The libraries stay loaded.
// First takes the program's own folder and the current folder out of the
// library search where the system allows it: a setup program often runs from
// a downloads folder, where anybody may have put a library of a system name.
void PreloadSystemLibraries();
// Loads a library of the system by its file name from the system folder
// only; null (with the last error set) when it is not there.
HMODULE LoadSystemLibrary(const char* fileName);

// The system's text for an error code; empty when it has none.
std::string SystemErrorText(unsigned long code);
// The system's text for an error code, or "Error N" when it has none.
std::string ErrorCodeText(unsigned long code);

// "TRUE" or "FALSE", the form booleans take in logs.
const char* BoolText(bool value);
