// Names and flags of Windows versions, the correction of the reported
// version from kernel32.dll's product version, and the other rules over a
// version record that need no system. Portable: the Win32 side reads the
// record and hands it in.
#pragma once

#include <cstdint>
#include <string>

enum class OsPlatform { Win32s, Windows9x, NT, Other };

// What the naming needs to know about the running system.
struct WinVersionRecord {
  OsPlatform platform = OsPlatform::NT;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  std::string servicePack;
  bool is64 = false;
  bool isServer = false;
};

// The name of a version and its flag. Every flag is a single bit (bits 0 to
// 22) except that "95"/"9x" share 1, "NT"/"NTx" share 8 and "32S" has 0, so
// a caller tests a set of versions with one mask.
struct WindowsName {
  std::string versionText;  // major "." minor, e.g. "6.1"
  std::string name;         // e.g. "7", "2008R2.64"
  uint32_t flag = 0;
  uint32_t build = 0;
  std::string servicePack;  // trimmed
};

// Name and flag by platform, version text, 64-bit and server (in that order
// of precedence). A 32-bit server other than 6.0 keeps its workstation name;
// an unknown platform has an empty name and flag 0.
WindowsName NameWindows(const WinVersionRecord& version);

// The build number as reported: on the 9x platform the high word holds the
// version, only the low word is the build.
uint32_t BuildNumberOf(OsPlatform platform, uint32_t reportedBuild);

struct VersionNumbers {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
};

// Newer systems report 6.2 or 6.3 to programs that do not declare them in a
// manifest. Only a version above 5 with a minor number above 2 is checked
// against kernel32.dll's product version.
bool NeedsVersionCorrection(const VersionNumbers& reported);
// The reported numbers, or, when they need correction, the first three
// dot-separated numbers of `kernelProductVersion` (a missing one counts as
// 0). An empty product version (unreadable) leaves the reported numbers.
VersionNumbers CorrectedVersion(const VersionNumbers& reported,
                                const std::string& kernelProductVersion);

// Platform NT and major.minor, read as one decimal number, at least 6.2.
bool IsWindows8OrLaterVersion(const WinVersionRecord& version);

// The key holding the registered owner and organisation: "...\Windows\..."
// with "Windows" read as "Windows NT" on the NT platform.
std::string WindowsVersionKey(bool isNT);
