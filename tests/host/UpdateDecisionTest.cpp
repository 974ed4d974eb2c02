#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>

#include "AgentFakes.h"
#include "CraftedPackage.h"
#include "autoupdate/SecretToken.h"
#include "common/Scramble.h"
#include "package/ByteSource.h"
#include "package/PackageReader.h"
#include "package/TGFileInfo.h"

namespace {

constexpr int64_t kNow = 3974400000;  // 09-DEC-2025 00:00:00

// The test-mode registry values and clock, as the agent would see them.
struct TestModeWorld : TestModeSources {
  uint32_t tick = 100000;
  std::map<std::string, std::string> registry;
  std::string today = "09-DEC-2025";
  int reads = 0;

  uint32_t TickCount() override { return tick; }
  std::string RegistryText(const std::string& name, const std::string& fallback) override {
    ++reads;
    const auto found = registry.find(name);
    return found == registry.end() ? fallback : found->second;
  }
  std::string Today() override { return today; }
};

// Files that pass every stage: version 100 installed, 101 offered with a new
// Stamp, a 5,000,000-byte update announced and served.
struct DecisionWorld : AgentFiles {
  FakeSizes sizes;
  CapturedLog log;
  bool testMode = false;
  std::string testModeUrl;
  int manualCheckState = 0;

  DecisionWorld() {
    Original("OriginalSetup", "VersionOriginal", "100");
    Original("OriginalSetup", "Stamp", "6");
    Info("NewSetup", "VersionNew", "101");
    Info("NewSetup", "Stamp", "7");
    Info("NewSetup", "DownloadURL_UPDATE", "http://127.0.0.1/updates");
    Info("NewSetup", "NameOfUpdateFile", "Setup.exe");
    Info("NewSetup", "SizeOfUpdateFile", "5000000");
    sizes.urls["http://127.0.0.1/updates/Setup.exe"] = 5000000;
  }
  DecisionContext Context() {
    return DecisionContext{records, testMode, testModeUrl, kNow, manualCheckState, sizes, log};
  }
  int Stage(bool fetched = true) {
    int stage = -1;
    std::string reason;
    GetOkToPerformAU(Context(), fetched, stage, reason);
    return stage;
  }
  bool SizeCheck() {
    return CheckUpdateFileSize(Context(), records.DownloadUrlUpdate(), records.NameOfUpdateFile(),
                               records.NameOfInformFile());
  }
};

}  // namespace

TEST(Schedule, SecondsSinceNeverOverflowsOrGoesBackwards) {
  const struct {
    int64_t now, last, expected;
  } kCases[] = {
      {100, 40, 60},
      {100, 100, 0},
      {100, 500, 0},                      // a future "last" counts as now
      {INT64_MAX, INT64_MIN, INT64_MAX},  // saturates
      {0, INT64_MIN, INT64_MAX},
      {-10, INT64_MIN, INT64_MAX - 9},  // fits exactly
      {-5, -20, 15},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(SecondsSince(c.now, c.last), c.expected) << c.now << " - " << c.last;
  }
}

TEST(Schedule, IsProbeDue) {
  const struct {
    const char* interval;  // ProbeSecondsInterval as stored
    int64_t last;          // ProbeSecondsLast
    bool testMode, enabled, probeNow;
    int expected;
  } kCases[] = {
      {"3600", kNow - 3600, false, true, false, kProbe},     // exactly due
      {"3600", kNow - 3599, false, true, false, kNoProbe},   // one second early
      {"3600", kNow - 3599, false, false, false, kNoProbe},  // disabled
      {"3600", kNow - 3599, false, false, true, kProbe},     // asked for: always
      {"3600", kNow + 86400 * 365, false, true, false,
       kNoProbe},  // future last: as if just probed...
      {"3600", kNow + 86400 * 365, true, true, false, kNoProbe},
      {"3600", kNow - 5, true, true, false, kProbe},  // test mode: every 5 s
      {"3600", kNow - 4, true, true, false, kNoProbe},
      {"0", kNow, false, true, false, kProbeOnce},  // 0: once, then the caller stops
      {"0", kNow - 5, true, true, false, kProbeOnce},
      {"-1", 0, false, true, false, kNoProbe},  // never on schedule...
      {"-1", 0, true, true, false, kNoProbe},   // ...not even in test mode
      {"-1", 0, false, true, true, kProbe},     // ...but on request
      {"-2", 0, false, true, false, kNoProbe},  // every negative is never
      {"-9223372036854775808", 0, true, true, false, kNoProbe},
      {"9223372036854775807", INT64_MIN, false, true, false,
       kProbe},  // no overflow of last + interval
      {"9223372036854775807", 0, false, true, false, kNoProbe},
      {"abc", kNow, false, true, false, kProbeOnce},  // unreadable: the default 0
  };
  for (const auto& c : kCases) {
    AgentFiles files;
    files.Original("OriginalSetup", "ProbeSecondsInterval", c.interval);
    files.Original("OriginalSetup", "ProbeSecondsLast", std::to_string(c.last));
    ProbeFlags flags;
    flags.probeEnabled = c.enabled;
    flags.probeNow = c.probeNow;
    EXPECT_EQ(IsProbeDue(files.records, c.testMode, kNow, flags), c.expected)
        << "interval " << c.interval << " last " << c.last << " test " << c.testMode << " enabled "
        << c.enabled << " now " << c.probeNow;
    EXPECT_FALSE(flags.probeNow);  // cleared in every case
  }
}

// A clock set back (or once set a year ahead) leaves a "last" in the future:
// it becomes now in the file, so probing resumes one interval later instead
// of a year later.
TEST(Schedule, FutureLastDelaysOneIntervalOnly) {
  AgentFiles files;
  files.Original("OriginalSetup", "ProbeSecondsInterval", "3600");
  files.Original("OriginalSetup", "ProbeSecondsLast", std::to_string(kNow + 86400 * 365));
  files.Original("OriginalSetup", "ReAskSecondsInterval", "60");
  files.Original("OriginalSetup", "ReAskSecondsLast", std::to_string(kNow + 86400 * 365));
  ProbeFlags flags;
  EXPECT_EQ(IsProbeDue(files.records, false, kNow, flags), kNoProbe);
  EXPECT_FALSE(IsReAskDue(files.records, kNow));
  EXPECT_EQ(files.records.ProbeSecondsLast(), kNow);
  EXPECT_EQ(files.records.ReAskSecondsLast(), kNow);
  EXPECT_EQ(files.store.ReadText(AgentFiles::kOriginal, "OriginalSetup", "__ProbeSecondsLast", ""),
            "09-DEC-2025 00:00:00");
  EXPECT_EQ(IsProbeDue(files.records, false, kNow + 3599, flags), kNoProbe);
  EXPECT_EQ(IsProbeDue(files.records, false, kNow + 3600, flags), kProbe);
  EXPECT_TRUE(IsReAskDue(files.records, kNow + 61));
}

TEST(Schedule, IntervalZeroProbesOnceARunThenOnlyOnRequest) {
  AgentFiles files;
  files.Original("OriginalSetup", "ProbeSecondsInterval", "0");
  ProbeFlags flags;
  ASSERT_EQ(IsProbeDue(files.records, false, kNow, flags), kProbeOnce);
  flags.probeEnabled = false;  // what the agent does with kProbeOnce
  EXPECT_EQ(IsProbeDue(files.records, false, kNow + 1, flags), kNoProbe);
  flags.probeNow = true;
  EXPECT_EQ(IsProbeDue(files.records, false, kNow + 2, flags), kProbe);
  EXPECT_EQ(IsProbeDue(files.records, false, kNow + 3, flags), kNoProbe);
}

TEST(Schedule, IsReAskDue) {
  const struct {
    const char* interval;
    int64_t last;
    bool expected;
  } kCases[] = {
      {"86400", kNow - 86400, false},  // exactly the interval: not yet (strictly greater)
      {"86400", kNow - 86401, true},
      {"0", 0, false},  // 0 or less: never
      {"-1", 0, false},
      {"-86400", kNow, false},
      {"86400", kNow + 86400 * 30, false},        // future last counts as now
      {"9223372036854775807", INT64_MIN, false},  // saturated distance is not greater
      {"9223372036854775806", INT64_MIN, true},
  };
  for (const auto& c : kCases) {
    AgentFiles files;
    files.Original("OriginalSetup", "ReAskSecondsInterval", c.interval);
    files.Original("OriginalSetup", "ReAskSecondsLast", std::to_string(c.last));
    EXPECT_EQ(IsReAskDue(files.records, kNow), c.expected) << c.interval << " / " << c.last;
  }
}

TEST(Decision, OneRowPerStage) {
  const struct {
    const char* edge;
    std::function<void(DecisionWorld&)> change;
    bool fetched;
    int stage;
    const char* reason;
  } kCases[] = {
      {"info file not fetched", [](DecisionWorld&) {}, false, 0, "Error downloading .INFO file"},
      {"no original file",
       [](DecisionWorld& w) { w.Original("OriginalSetup", "VersionOriginal", "0"); }, true, 1,
       "Error reading .ORIGINAL file"},
      {"same Stamp, no re-ask",
       [](DecisionWorld& w) {
         w.Info("NewSetup", "Stamp", "6");
         w.Original("OriginalSetup", "ReAskSecondsInterval", "86400");
         w.Original("OriginalSetup", "ReAskSecondsLast", std::to_string(kNow - 86400));
       },
       true, 2, "Too early for retesting"},
      {"same version", [](DecisionWorld& w) { w.Info("NewSetup", "VersionNew", "100"); }, true, 3,
       "New version is not higher then old version"},
      {"version not listed",
       [](DecisionWorld& w) { w.Info("NewSetup", "ValidVersions", "1000,99"); }, true, 4,
       "\"Valid for version\" mismatch"},
      {"size off by 100", [](DecisionWorld& w) { w.sizes.urls.begin()->second = 5000100; }, true, 5,
       "Download file size error"},
      {"all pass", [](DecisionWorld&) {}, true, 6, "OK"},
      {"same Stamp, re-ask due",
       [](DecisionWorld& w) {
         w.Info("NewSetup", "Stamp", "6");
         w.Original("OriginalSetup", "ReAskSecondsInterval", "86400");
         w.Original("OriginalSetup", "ReAskSecondsLast", std::to_string(kNow - 86401));
       },
       true, 6, "OK"},
      {"same Stamp, user's own check",
       [](DecisionWorld& w) {
         w.Info("NewSetup", "Stamp", "6");
         w.manualCheckState = 1;
       },
       true, 6, "OK"},
  };
  for (const auto& c : kCases) {
    DecisionWorld world;
    c.change(world);
    int stage = -1;
    std::string reason;
    const bool ok = GetOkToPerformAU(world.Context(), c.fetched, stage, reason);
    EXPECT_EQ(stage, c.stage) << c.edge;
    EXPECT_EQ(reason, c.reason) << c.edge;
    EXPECT_EQ(ok, c.stage == 6) << c.edge;
    ASSERT_FALSE(world.log.records.empty()) << c.edge;
    EXPECT_EQ(world.log.records.back(),
              "GetOkToPerformAU = " + std::to_string(c.stage) + " - " + c.reason);
    EXPECT_EQ(world.log.traces,
              std::vector<std::string>{" GetOkToPerformAU=" + std::to_string(c.stage)});
  }
}

TEST(Decision, EarlierStagesStopBeforeTheServerIsAsked) {
  DecisionWorld world;
  world.Info("NewSetup", "VersionNew", "99");
  EXPECT_EQ(world.Stage(), 3);
  EXPECT_TRUE(world.sizes.asked.empty());
}

TEST(SizeCheck, Boundaries) {
  const struct {
    const char* edge;
    int64_t announced;  // SizeOfUpdateFile
    int64_t served;     // what the server announces (-1: no length)
    bool expected;
  } kCases[] = {
      {"equal", 5000000, 5000000, true},
      {"99 more", 5000000, 5000099, true},
      {"100 more", 5000000, 5000100, false},
      {"99 less", 5000000, 4999901, true},
      {"100 less", 5000000, 4999900, false},
      {"no length, nothing announced", 0, -1, false},  // unknown confirms nothing
      {"no length", 5000000, -1, false},
      {"extreme announcement", INT64_MIN, INT64_MAX, false},  // no overflow in the distance
  };
  for (const auto& c : kCases) {
    DecisionWorld world;
    world.Info("NewSetup", "SizeOfUpdateFile", std::to_string(c.announced));
    world.sizes.urls.begin()->second = c.served;
    EXPECT_EQ(world.SizeCheck(), c.expected) << c.edge;
    if (!c.expected) {
      EXPECT_EQ(world.log.records,
                (std::vector<std::string>{"  InfoSize=" + std::to_string(c.announced),
                                          "  HttpSize=" + std::to_string(c.served),
                                          "  URL=http://127.0.0.1/updates/Setup.exe"}))
          << c.edge;
    }
  }
}

TEST(SizeCheck, InformPageUsesTheInformFile) {
  DecisionWorld world;
  world.Info("General", "AutoInform", "1");
  world.Info("AutoInform", "NameOfInformFile", "folder/inform.txt");  // only the name counts
  world.Info("AutoInform", "SizeOfInformFile", "812");
  world.sizes.urls["http://127.0.0.1/updates/inform.txt"] = 850;
  EXPECT_TRUE(world.SizeCheck());
  world.sizes.urls["http://127.0.0.1/updates/inform.txt"] =
      5000000;  // the update's size is not enough
  EXPECT_FALSE(world.SizeCheck());
}

TEST(SizeCheck, WhereTheSizeComesFrom) {
  {  // a server that cannot be reached: unknown size
    DecisionWorld world;
    world.sizes.urls.clear();
    EXPECT_FALSE(world.SizeCheck());
  }
  {  // a shared folder outside test mode is refused, even when the file is there
    DecisionWorld world;
    world.Info("NewSetup", "DownloadURL_UPDATE", "\\\\server\\share");
    world.sizes.files["\\\\server\\share\\Setup.exe"] = 5000000;
    EXPECT_FALSE(world.SizeCheck());
    EXPECT_TRUE(world.sizes.asked.empty());
  }
  {  // test mode: the test folder's file, never the Internet
    DecisionWorld world;
    world.testMode = true;
    world.testModeUrl = "C:\\TestUpdates";
    world.sizes.files["C:\\TestUpdates\\Setup.exe"] = 5000050;
    EXPECT_TRUE(world.SizeCheck());
    EXPECT_EQ(world.sizes.asked, std::vector<std::string>{"C:\\TestUpdates\\Setup.exe"});
    world.sizes.files.clear();
    EXPECT_FALSE(world.SizeCheck());
    EXPECT_EQ(world.log.records.back(), "  URL=C:\\TestUpdates\\Setup.exe");
  }
  {  // test mode without a test folder: nothing to ask, not the drive's root
    DecisionWorld world;
    world.testMode = true;
    world.sizes.files["\\Setup.exe"] = 5000000;
    EXPECT_FALSE(world.SizeCheck());
    EXPECT_TRUE(world.sizes.asked.empty());
  }
}

TEST(UpdateLocation, OnlyWebAddressesOutsideTestMode) {
  const struct {
    const char* location;
    bool outside, inTestMode;
  } kCases[] = {
      {"http://example.invalid/u", true, true}, {"HTTPS://example.invalid/u", true, true},
      {"\\\\server\\share", false, true},  // a share would receive the user's credentials
      {"//server/share", false, true},          {"C:\\Updates", false, true},
      {"file://server/share", false, true},     {"ftp://example.invalid", false, true},
      {"example.invalid/u", false, true},  // no scheme: could be a relative folder
      {" http://example.invalid", false, true}, {"", false, true},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(IsAllowedUpdateLocation(c.location, false), c.outside) << c.location;
    EXPECT_EQ(IsAllowedUpdateLocation(c.location, true), c.inTestMode) << c.location;
  }
}

TEST(TestMode, OnOnlyWithTodaysDate) {
  const struct {
    const char* mode;
    const char* date;  // nullptr: value missing
    bool expected;
  } kCases[] = {
      {"1", "09-DEC-2025", true},     {"1", "08-DEC-2025", false},  // yesterday
      {"1", "09-dec-2025", false},                                  // exact case
      {"1", " 09-DEC-2025", false},   {"1", nullptr, false},           {"0", "09-DEC-2025", false},
      {"TRUE", "09-DEC-2025", false}, {nullptr, "09-DEC-2025", false},
  };
  for (const auto& c : kCases) {
    TestModeWorld world;
    if (c.mode) world.registry["TestMode"] = c.mode;
    if (c.date) world.registry["TestModeDate"] = c.date;
    world.registry["TestModeURL"] = "C:\\TestUpdates";
    TestModeState state(world);
    EXPECT_EQ(state.Check(true), c.expected) << c.mode << " " << (c.date ? c.date : "(none)");
    EXPECT_EQ(state.Url(), "C:\\TestUpdates");  // read whether on or off
  }
}

TEST(TestMode, RefreshesWhenForcedOrThirtySecondsAfterTheLastRefresh) {
  TestModeWorld world;
  TestModeState state(world);
  EXPECT_FALSE(state.Check(true));
  world.registry = {{"TestMode", "1"}, {"TestModeDate", "09-DEC-2025"}};
  // A caller asking every second: the registry is read again 30 s after the
  // last read, not only after 30 s without calls.
  for (int second = 1; second <= 30; ++second) {
    world.tick += 1000;
    EXPECT_FALSE(state.Check(false)) << second;
  }
  world.tick += 1;
  EXPECT_TRUE(state.Check(false));
  world.registry["TestMode"] = "0";
  EXPECT_TRUE(state.Check(false));  // cached
  EXPECT_FALSE(state.Check(true));  // forced
  world.today = "10-DEC-2025";      // midnight lapses it at the next refresh
  world.registry["TestMode"] = "1";
  world.tick += 30001;
  EXPECT_FALSE(state.Check(false));
}

TEST(TestMode, TickCountWrapStillRefreshes) {
  TestModeWorld world;
  world.tick = 0xFFFFF000u;
  TestModeState state(world);
  state.Check(true);
  const int reads = world.reads;
  world.tick = 0xFFFFF000u + 30001u;  // wrapped past zero
  state.Check(false);
  EXPECT_GT(world.reads, reads);
}

namespace {

std::function<unsigned()> Seeded(unsigned seed) {
  auto engine = std::make_shared<std::mt19937>(seed);
  return [engine] { return static_cast<unsigned>((*engine)()); };
}

std::string PackageWithToken(const std::string& scrambledToken) {
  CraftedPackage crafted;
  crafted.settings = "|http://|prod.info|agent.exe|" + scrambledToken + "|0|";
  return crafted.Bytes();
}

class TempFiles {
 public:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = ::testing::TempDir() + "secret-token-" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    paths_.push_back(path);
    return path;
  }
  ~TempFiles() {
    for (const std::string& path : paths_) std::remove(path.c_str());
  }

 private:
  std::vector<std::string> paths_;
};

}  // namespace

TEST(SecretToken, DownloadsMustCarryThePackagesToken) {
  const std::string ours = ScrambleToken("PRODUCT-TOKEN", Seeded(1));
  const std::string oursAgain =
      ScrambleToken("PRODUCT-TOKEN", Seeded(2));  // other padding, same token
  const std::string theirs = ScrambleToken("OTHER-TOKEN", Seeded(3));
  std::string damaged = ours;
  damaged[10] = damaged[10] == 'b' ? 'c' : 'b';
  const std::string informBody = "|" + oursAgain + "|x|y|<B>New</B> version";

  TempFiles temp;
  const struct {
    const char* edge;
    std::string own;  // this package's scrambled token
    int kind;
    std::string fileName, bytes;  // empty name: no file
    bool expected;
  } kCases[] = {
      {"update, same token", ours, kUpdateDownload, "same.exe", PackageWithToken(oursAgain), true},
      {"update, other token", ours, kUpdateDownload, "other.exe", PackageWithToken(theirs), false},
      {"update, damaged token", ours, kUpdateDownload, "damaged.exe", PackageWithToken(damaged),
       false},
      {"both damaged alike", damaged, kUpdateDownload, "damaged2.exe", PackageWithToken(damaged),
       false},
      {"update, no file", ours, kUpdateDownload, "", "", false},
      {"update, empty file", ours, kUpdateDownload, "empty.exe", "", false},
      {"inform, same token", ours, kInformDownload, "inform.txt", informBody, true},
      {"inform, scrambled text", ours, kInformDownload, "inform2.txt",
       ScrambleText(informBody, true, false), true},
      {"inform, other token", ours, kInformDownload, "inform3.txt", "|" + theirs + "|x|y|page",
       false},
      {"inform, no bar", ours, kInformDownload, "inform4.txt", oursAgain, false},
      {"inform as update", ours, kUpdateDownload, "inform5.txt", informBody, false},
      {"info file kind", ours, kInfoDownload, "inform6.txt", informBody, false},
  };
  for (const auto& c : kCases) {
    MemorySource source(PackageWithToken(c.own));
    const TGFileInfo package(source);
    const std::string path = c.fileName.empty() ? ::testing::TempDir() + "secret-token-missing"
                                                : temp.Write(c.fileName, c.bytes);
    CapturedLog log;
    EXPECT_EQ(CheckSecretToken(package, path, c.kind, log), c.expected) << c.edge;
    EXPECT_TRUE(log.traces.empty()) << c.edge;
  }
}

TEST(SecretToken, APackageWithoutTokenMatchesNothingAndSaysSo) {
  TempFiles temp;
  const std::string path = temp.Write("none.exe", PackageWithToken(""));
  MemorySource source(PackageWithToken(""));
  const TGFileInfo package(source);
  CapturedLog log;
  EXPECT_FALSE(CheckSecretToken(package, path, kUpdateDownload, log));
  ASSERT_EQ(log.traces.size(), 1u);
  EXPECT_NE(log.traces[0].find("WARNING"), std::string::npos) << log.traces[0];
}
