#include <gtest/gtest.h>

#include "common/WindowsNaming.h"

namespace {

WinVersionRecord Version(OsPlatform platform, uint32_t major, uint32_t minor, bool is64 = false,
                         bool isServer = false, uint32_t build = 0) {
  WinVersionRecord version;
  version.platform = platform;
  version.major = major;
  version.minor = minor;
  version.build = build;
  version.is64 = is64;
  version.isServer = isServer;
  return version;
}

constexpr OsPlatform k9x = OsPlatform::Windows9x;
constexpr OsPlatform kNT = OsPlatform::NT;

}  // namespace

TEST(WindowsNaming, EveryRowOfTheTable) {
  struct {
    WinVersionRecord version;
    const char* versionText;
    const char* name;
    uint32_t flag;
  } cases[] = {
      {Version(OsPlatform::Win32s, 3, 11), "3.11", "32S", 0},
      {Version(k9x, 4, 0), "4.0", "95", 1},
      {Version(k9x, 4, 10), "4.10", "98", 2},
      {Version(k9x, 4, 10, false, false, 3000), "4.90", "ME", 4},  // Millennium reports 4.10
      {Version(k9x, 4, 90), "4.90", "ME", 4},
      {Version(k9x, 4, 3), "4.3", "9x", 1},  // unknown 9x shares the flag of 95
      {Version(kNT, 4, 0), "4.0", "NT", 8},
      {Version(kNT, 5, 0), "5.0", "2000", 16},
      {Version(kNT, 5, 1), "5.1", "XP", 32},
      {Version(kNT, 5, 2), "5.2", "2003", 64},
      {Version(kNT, 6, 0), "6.0", "Vista", 128},
      {Version(kNT, 6, 1), "6.1", "7", 1024},
      {Version(kNT, 6, 2), "6.2", "8", 32768},
      {Version(kNT, 6, 3), "6.3", "8.1", 262144},
      {Version(kNT, 10, 0), "10.0", "10", 2097152},
      {Version(kNT, 3, 51), "3.51", "NTx", 8},  // unknown NT shares the flag of NT 4
      {Version(kNT, 11, 0), "11.0", "NTx", 8},
      {Version(kNT, 5, 1, true), "5.1", "XP", 32},  // no 64-bit row: the workstation name stays
      {Version(kNT, 5, 2, true), "5.2", "XP.64", 256},
      {Version(kNT, 6, 0, true), "6.0", "Vista.64", 512},
      {Version(kNT, 6, 1, true), "6.1", "7.64", 2048},
      {Version(kNT, 6, 2, true), "6.2", "8.64", 65536},
      {Version(kNT, 6, 3, true), "6.3", "8.1.64", 524288},
      {Version(kNT, 10, 0, true), "10.0", "10.64", 4194304},
      {Version(kNT, 6, 0, true, true), "6.0", "2008.64", 8192},
      {Version(kNT, 6, 1, true, true), "6.1", "2008R2.64", 16384},
      {Version(kNT, 6, 2, true, true), "6.2", "2012.64", 131072},
      {Version(kNT, 6, 3, true, true), "6.3", "2012R2.64", 1048576},
      {Version(kNT, 10, 0, true, true), "10.0", "10.64", 4194304},  // no server row: the 64-bit name stays
      {Version(kNT, 5, 2, false, true), "5.2", "2003", 64},
      {Version(kNT, 6, 0, false, true), "6.0", "2008", 4096},
      {Version(kNT, 6, 1, false, true), "6.1", "7", 1024},  // 32-bit server other than 6.0 keeps its name
      {Version(k9x, 4, 10, true, true), "4.10", "98", 2},    // 64-bit and server rows are NT rows
      {Version(OsPlatform::Other, 6, 1), "6.1", "", 0},
  };
  for (const auto& c : cases) {
    const WindowsName name = NameWindows(c.version);
    const std::string row = std::string(c.versionText) + " " + c.name;
    EXPECT_EQ(name.versionText, c.versionText) << row;
    EXPECT_EQ(name.name, c.name) << row;
    EXPECT_EQ(name.flag, c.flag) << row;
  }
}

TEST(WindowsNaming, FlagsAreSingleBitsExceptTheSharedOnes) {
  const WinVersionRecord versions[] = {
      Version(k9x, 4, 10),           Version(k9x, 4, 90),           Version(kNT, 5, 0),
      Version(kNT, 5, 1),            Version(kNT, 5, 2),            Version(kNT, 6, 0),
      Version(kNT, 6, 1),            Version(kNT, 6, 2),            Version(kNT, 6, 3),
      Version(kNT, 10, 0),           Version(kNT, 5, 2, true),      Version(kNT, 6, 0, true),
      Version(kNT, 6, 1, true),      Version(kNT, 6, 2, true),      Version(kNT, 6, 3, true),
      Version(kNT, 10, 0, true),     Version(kNT, 6, 0, true, true), Version(kNT, 6, 1, true, true),
      Version(kNT, 6, 2, true, true), Version(kNT, 6, 3, true, true), Version(kNT, 6, 0, false, true),
      Version(k9x, 4, 0),            Version(kNT, 4, 0),
  };
  uint32_t seen = 0;
  for (const WinVersionRecord& version : versions) {
    const uint32_t flag = NameWindows(version).flag;
    EXPECT_EQ(flag & (flag - 1), 0u) << NameWindows(version).name;
    EXPECT_EQ(seen & flag, 0u) << NameWindows(version).name << " reuses a bit";
    seen |= flag;
  }
  EXPECT_EQ(seen, (1u << 23) - 1) << "bits 0 to 22, each once";
}

TEST(WindowsNaming, BuildAndServicePackTravelBeside) {
  WinVersionRecord version = Version(kNT, 6, 1, false, false, 7601);
  version.servicePack = "  Service Pack 1 ";
  const WindowsName name = NameWindows(version);
  EXPECT_EQ(name.build, 7601u);
  EXPECT_EQ(name.servicePack, "Service Pack 1");

  // The 9x platform keeps the version in the high word of the build number.
  EXPECT_EQ(BuildNumberOf(k9x, 0x045A0BB8), 3000u);
  EXPECT_EQ(BuildNumberOf(kNT, 0x00011DB1), 0x00011DB1u);
}

TEST(WindowsNaming, KernelVersionCorrection) {
  struct {
    VersionNumbers reported;
    const char* kernel;
    VersionNumbers expected;
  } cases[] = {
      {{6, 3, 9600}, "10.0.18362.1350", {10, 0, 18362}},  // 10 behind the 8.1 answer
      {{6, 3, 9600}, "6.3.9600.16384", {6, 3, 9600}},
      {{6, 3, 9600}, "10.0", {10, 0, 0}},                  // missing number counts as 0
      {{6, 3, 9600}, "10.0.19041.1 (WinBuild.160101)", {10, 0, 19041}},
      {{6, 3, 9600}, "", {6, 3, 9600}},                    // unreadable: the report stands
      {{6, 2, 9200}, "10.0.18362.1350", {6, 2, 9200}},     // 10 reporting 6.2 is not corrected
      {{6, 1, 7601}, "10.0.18362.1350", {6, 1, 7601}},
      {{5, 3, 1}, "10.0.18362.1350", {5, 3, 1}},          // major must be above 5
      {{10, 3, 1}, "6.3.9600", {6, 3, 9600}},
  };
  for (const auto& c : cases) {
    const VersionNumbers got = CorrectedVersion(c.reported, c.kernel);
    const std::string row = std::to_string(c.reported.major) + "." + std::to_string(c.reported.minor) + " " + c.kernel;
    EXPECT_EQ(got.major, c.expected.major) << row;
    EXPECT_EQ(got.minor, c.expected.minor) << row;
    EXPECT_EQ(got.build, c.expected.build) << row;
  }
}

TEST(WindowsNaming, CorrectedVersionNamesTen) {
  const VersionNumbers corrected = CorrectedVersion({6, 3, 9600}, "10.0.18362.1350");
  WinVersionRecord version = Version(kNT, corrected.major, corrected.minor);
  EXPECT_EQ(NameWindows(version).name, "10");
  version.is64 = true;
  EXPECT_EQ(NameWindows(version).name, "10.64");
  EXPECT_EQ(NameWindows(version).flag, 4194304u);
}

TEST(WindowsNaming, Windows8OrLater) {
  struct {
    WinVersionRecord version;
    bool expected;
  } cases[] = {
      {Version(kNT, 6, 1), false},
      {Version(kNT, 6, 2), true},
      {Version(kNT, 6, 3), true},
      {Version(kNT, 10, 0), true},
      {Version(kNT, 5, 2), false},
      {Version(kNT, 6, 10), false},  // read as the number 6.1
      {Version(kNT, 6, 25), true},   // 6.25
      {Version(k9x, 6, 2), false},   // NT only
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsWindows8OrLaterVersion(c.version), c.expected) << c.version.major << "." << c.version.minor;
  }
}

TEST(WindowsNaming, VersionKeyOnNT) {
  EXPECT_EQ(WindowsVersionKey(true), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  EXPECT_EQ(WindowsVersionKey(false), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
}
