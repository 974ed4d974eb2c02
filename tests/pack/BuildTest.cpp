// Builds real packages into a temporary folder and reads them back with the
// core's reader and the tool's own walk.
#include <sstream>

#include "PackTestSupport.h"
#include "pack/PackageExtractor.h"
#include "pack/PackageLister.h"
#include "package/PackageReader.h"
#include "package/TGFileInfo.h"

namespace packtest {
namespace {

class PackBuild : public PackFixture {
 protected:
  void AddStandardFiles() {
    AddFile("setup.exe", std::string(6000, 'E'));    // compresses well
    AddFile("sub/data.bin", RandomBytes(30000, 1));  // does not compress
    AddFile("empty.txt", "");                        // no content at all
    AddFile("deep/a/b/c.txt", "deep file\r\n");      // several folder levels
  }

  void ExpectSameFiles(const std::string& extracted) {
    for (const char* name : {"setup.exe", "sub/data.bin", "empty.txt", "deep/a/b/c.txt"}) {
      fs::path original = dir.path() / "files" / name;
      fs::path copy = fs::path(extracted) / name;
      EXPECT_EQ(ReadFile(original), ReadFile(copy)) << name;
      EXPECT_EQ(MtimeOf(original), MtimeOf(copy)) << name;
    }
  }
};

TEST_F(PackBuild, RoundTripGivesBackEveryFileByteForByte) {
  AddStandardFiles();
  BuildReport report;
  PackStatus status = Build(SetupProject("LaunchArguments = /S /v"), &report);
  ASSERT_TRUE(status.ok()) << status.message;
  EXPECT_EQ(std::vector<std::string>{Out()}, report.files);
  EXPECT_EQ(4u, report.entryCount);
  EXPECT_EQ("setup.exe*/S /v", report.launchEntry);

  ExtractReport extracted;
  status = ExtractPackage(Out(), dir / "x", extracted, nullptr);
  ASSERT_TRUE(status.ok()) << status.message;
  EXPECT_EQ(4, extracted.entries);
  EXPECT_EQ("setup.exe*/S /v", extracted.launchEntry);
  ExpectSameFiles(dir / "x");
}

TEST_F(PackBuild, EntriesAreSortedNamedWithBackslashesAndCompressedOnlyWhenThatPays) {
  AddStandardFiles();
  ASSERT_TRUE(Build(SetupProject("")).ok());
  EntryRecorder r = Record(Out());
  ASSERT_EQ(4u, r.entries.size());
  const char* const names[] = {"deep\\a\\b\\c.txt", "empty.txt", "setup.exe", "sub\\data.bin"};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(names[i], r.entries[i].parsed.name);
  EXPECT_EQ("|setup.exe*|" + std::to_string(DosDateTime(2021, 6, 15, 10, 20, 30)) + "|",
            r.entries[2].header);
  EXPECT_TRUE(r.entries[2].compressed);
  EXPECT_FALSE(r.entries[3].compressed) << "random data is stored, not grown by deflate";
  EXPECT_EQ(30000u + r.entries[3].header.size() + 1, r.entries[3].stored);
}

TEST_F(PackBuild, CompressionZeroStoresEveryEntry) {
  AddStandardFiles();
  ASSERT_TRUE(Build(SetupProject("Compression = 0")).ok());
  for (const EntryRecord& e : Record(Out()).entries) EXPECT_FALSE(e.compressed) << e.header;
  ExtractReport extracted;
  ASSERT_TRUE(ExtractPackage(Out(), dir / "x", extracted, nullptr).ok());
  ExpectSameFiles(dir / "x");
}

TEST_F(PackBuild, TrailerAndTextBlocksReadBackThroughTheStubsReader) {
  AddFile("setup.exe", "engine");
  ASSERT_TRUE(
      Build(SetupProject("",
                         "[Flags]\nShowTempDriveNotice = 1\nShowActivityBar = 1\n"
                         "AskBeforeDownload = 1\nHasUpdateAgent = 1\n"
                         "[Settings]\nServerUrl = http://u.test/\nInfoFile = dir/prod.info\n"
                         "AgentExe = agent.exe\nToken = tok-123\nSilent = 1\n"
                         "[Language English]\ns0 = Hello there\n[Language German]\ns0 = Hallo\n"))
          .ok());
  std::string bytes = ReadFile(Out());
  EXPECT_EQ(FakeStub(), bytes.substr(0, 512))
      << "the image is copied unchanged without an end pointer";
  TGFileInfo info(Out());
  const PackageTrailer& t = info.Trailer();
  EXPECT_TRUE(info.HasValidMagic());
  EXPECT_EQ(1, t.Version);
  EXPECT_EQ(2, t.HeaderBlockCount);
  EXPECT_EQ(1u,
            +t.FileCount);  // "+" copies: gtest takes references, which packed fields cannot bind
  EXPECT_EQ(74u, +t.TrailerLength);
  EXPECT_EQ(kShowTempDriveNotice | kShowActivityBar, t.PackageFlags);
  EXPECT_TRUE(info.AskBeforeDownload() && info.HasUpdateAgent());
  EXPECT_FALSE(info.IsWebStub() || info.IsUpdateAgent() || info.MoreVolumes() || info.IsSpanCd());
  EXPECT_EQ("http://u.test/", info.ServerUrl());
  EXPECT_EQ("prod.info", info.InfoFileName());
  EXPECT_EQ("agent.exe", info.AgentExeName());
  EXPECT_TRUE(info.SilentRun());
  EXPECT_EQ("tok-123", info.SettingsToken(true));
  EXPECT_EQ(60u, info.SettingsToken(false).size()) << "30 bytes as 60 letters";
  EXPECT_EQ(
      "\x02\x01"
      "English\x01s0=Hello there\x01\x02\x01German\x01s0=Hallo\x01\x02",
      info.LanguageBlock());
  // The raw trailer: DataOffset is the image size, reserved bytes are zero.
  std::string trailer = bytes.substr(bytes.size() - kTrailerSize);
  EXPECT_EQ(512u, U32At(trailer, 4));
  EXPECT_EQ(std::string(8, '\0'), trailer.substr(20, 8));
  EXPECT_EQ('\0', trailer[64]);
}

TEST_F(PackBuild, TokensRoundTripAndTheSeedMakesBuildsReproducible) {
  AddFile("setup.exe", "engine");
  const std::string sections =
      "[Settings]\nToken = \"  settings token with blanks  \"\n"
      "[Web]\nFolder = http://w.test/\nFileName = full.exe\nToken = web|token\nSize = 99\n";
  ASSERT_TRUE(Build(SetupProject("", sections)).ok());
  std::string first = ReadFile(Out());
  ASSERT_TRUE(Build(SetupProject("", sections)).ok());
  EXPECT_EQ(first, ReadFile(Out())) << "same seed, same bytes";

  TGFileInfo info(Out());
  EXPECT_EQ("  settings token with blanks  ", Descramble(info.SettingsToken(false)));
  EXPECT_EQ("web|token", info.WebToken(true));
  EXPECT_EQ(3, info.Trailer().HeaderBlockCount) << "a setup package may carry a web block";
  EXPECT_EQ("http://w.test/", info.WebFolder());
  EXPECT_EQ("full.exe", info.WebFileName());
  EXPECT_EQ("99", info.WebFileSize());
  EXPECT_NE(info.SettingsToken(false), info.WebToken(false));
  ExtractReport extracted;
  ASSERT_TRUE(ExtractPackage(Out(), dir / "x", extracted, nullptr).ok())
      << "entries follow the web block";
  EXPECT_EQ("engine", ReadFile(dir.path() / "x" / "setup.exe"));
}

TEST_F(PackBuild, WebStubAndAgentCarryTextBlocksOnly) {
  struct {
    std::string project;
    int blockCount;
    bool web, agent;
    uint8_t flags;
  } kCases[] = {
      {"[Package]\nType = web\nStub = stub.exe\nOutput = out/web.exe\n[Flags]\nAskBeforeDownload = "
       "1\n"
       "[Web]\nFolder = http://w.test/\nFileName = full.exe\nAlwaysDownload = 1\nToken = "
       "shared\nSize = 5M\n",
       3, true, false, 0},
      {"[Package]\nType = agent\nStub = stub.exe\nOutput = out/web.exe\n[Flags]\nWriteRunLog = 1\n"
       "[Settings]\nAgentExe = agent.exe\nToken = shared\n",
       2, false, true, kWriteRunLog},
  };
  for (const auto& c : kCases) {
    ASSERT_TRUE(Build(c.project).ok()) << c.project;
    TGFileInfo info(Out("web.exe"));
    EXPECT_EQ(c.blockCount, info.Trailer().HeaderBlockCount) << c.project;
    EXPECT_EQ(c.web, info.IsWebStub()) << c.project;
    EXPECT_EQ(c.agent, info.IsUpdateAgent()) << c.project;
    EXPECT_EQ(c.flags, info.Trailer().PackageFlags) << c.project;
    EXPECT_EQ(0u, +info.Trailer().FileCount) << c.project;
    EXPECT_EQ(0u, +info.Trailer().SpaceByClusterSize[0]) << c.project;
    EXPECT_EQ("shared", c.web ? info.WebToken(true) : info.SettingsToken(true)) << c.project;
    if (c.web) {
      EXPECT_EQ("5242880", info.WebFileSize());
      EXPECT_TRUE(info.AlwaysDownload());
    }
    EXPECT_TRUE(Record(Out("web.exe")).entries.empty()) << c.project;
  }
}

TEST_F(PackBuild, WebSizeCanBeTakenFromAFile) {
  WriteFile(dir / "full.exe", std::string(12345, 'x'));
  ASSERT_TRUE(Build("[Package]\nType = web\nStub = stub.exe\nOutput = out/web.exe\n"
                    "[Web]\nFileName = full.exe\nSizeOfFile = full.exe\n")
                  .ok());
  EXPECT_EQ("12345", TGFileInfo(Out("web.exe")).WebFileSize());
  PackStatus status = Build(
      "[Package]\nType = web\nStub = stub.exe\nOutput = out/web.exe\n"
      "[Web]\nSizeOfFile = missing.exe\n");
  EXPECT_EQ(ExitCode::kProject, status.code);
  EXPECT_NE(std::string::npos, status.message.find("missing.exe")) << status.message;
}

TEST_F(PackBuild, ChecksumIsComputedForSmallVolumesAndOffOnRequest) {
  AddFile("setup.exe", "small engine");
  ASSERT_TRUE(Build(SetupProject("")).ok());
  auto source = OpenFileSource(Out());
  ASSERT_TRUE(source);
  PackageTrailer t{};
  ASSERT_TRUE(ReadTrailer(*source, t));
  uint32_t computed = PackageChecksum(*source, kTrailerSize);
  EXPECT_NE(kChecksumOff, computed);
  EXPECT_EQ(computed, +t.PackageChecksum);

  ASSERT_TRUE(Build(SetupProject("Checksum = 0")).ok());
  source = OpenFileSource(Out());
  ASSERT_TRUE(ReadTrailer(*source, t));
  EXPECT_EQ(kChecksumOff, +t.PackageChecksum);

  AddFile("big.bin", RandomBytes(60000, 2));  // the volume passes 51,200 bytes
  ASSERT_TRUE(Build(SetupProject("")).ok());
  source = OpenFileSource(Out());
  ASSERT_TRUE(ReadTrailer(*source, t));
  EXPECT_EQ(kChecksumOff, +t.PackageChecksum);
}

TEST_F(PackBuild, EndPointerLetsDataFollowThePackage) {
  AddFile("setup.exe", "engine bytes");
  ASSERT_TRUE(Build(SetupProject("EndPointer = 1")).ok());
  std::string bytes = ReadFile(Out());
  EXPECT_EQ(0u, U32At(bytes, 0xF8));
  EXPECT_EQ(bytes.size(), U32At(bytes, 0xFC));
  WriteFile(Out(), bytes + RandomBytes(700, 3));  // a signature appended later

  std::ostringstream listing;
  PackStatus status = ListPackage(Out(), listing);
  EXPECT_TRUE(status.ok()) << status.message << "\n" << listing.str();
  EXPECT_NE(std::string::npos, listing.str().find("700 bytes follow the package")) << listing.str();
  EXPECT_NE(std::string::npos, listing.str().find(": passes"))
      << "the checksum skips the image header";
  ExtractReport extracted;
  ASSERT_TRUE(ExtractPackage(Out(), dir / "x", extracted, nullptr).ok());
  EXPECT_EQ("engine bytes", ReadFile(dir.path() / "x" / "setup.exe"));

  // Without the pointer the tail hides the trailer.
  ASSERT_TRUE(Build(SetupProject("")).ok());
  WriteFile(Out(), ReadFile(Out()) + RandomBytes(700, 3));
  EXPECT_EQ(ExitCode::kPackage, ListPackage(Out(), listing).code);
}

TEST(PackSpace, ClusterFiguresRoundEveryFileUpToTheClusterSize) {
  struct {
    std::vector<uint64_t> sizes;
    uint32_t expected[kSpaceEntries];
  } kCases[] = {
      {{}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {{0}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},  // an empty file takes no cluster
      {{1}, {1, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536}},
      {{512}, {512, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536}},  // exact fit
      {{513, 4096},
       {4609, 1024 + 4096, 1024 + 4096, 2048 + 4096, 4096 + 4096, 8192 + 8192, 16384 + 16384,
        32768 + 32768, 65536 + 65536}},
      {{0xFFFFFFFFull, 2},
       {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu,
        0xFFFFFFFFu, 0xFFFFFFFFu}},  // past 4 GiB: saturated
  };
  for (const auto& c : kCases) {
    std::vector<SourceFile> files;
    for (uint64_t size : c.sizes) {
      files.emplace_back();
      files.back().size = size;
    }
    uint32_t space[kSpaceEntries];
    ComputeClusterSpace(files, space);
    for (int k = 0; k < kSpaceEntries; ++k) {
      EXPECT_EQ(c.expected[k], space[k])
          << "entry " << k << " of case with " << c.sizes.size() << " files";
    }
  }
}

TEST_F(PackBuild, TrailerCarriesTheClusterFiguresOfTheFiles) {
  AddFile("setup.exe", std::string(1000, 'a'));
  AddFile("two.bin", std::string(5000, 'b'));
  ASSERT_TRUE(Build(SetupProject("")).ok());
  TGFileInfo info(Out());
  const PackageTrailer& t = info.Trailer();
  EXPECT_EQ(6000u, +t.SpaceByClusterSize[0]);
  EXPECT_EQ(1024u + 5120u, +t.SpaceByClusterSize[1]);
  EXPECT_EQ(4096u + 8192u, +t.SpaceByClusterSize[4]);
  EXPECT_EQ(2u * 65536u, +t.SpaceByClusterSize[8]);
}

TEST(PackStub, RefusesImagesThatCannotCarryAPackage) {
  std::string good = FakeStub();
  std::string noMz = good;
  noMz[0] = 'X';
  std::string peElsewhere = good;
  peElsewhere.replace(0x100, 2, "XX");
  peElsewhere.replace(0x80, 2, "PE");
  std::string pointerInUse = good;
  pointerInUse[0xFC] = 1;
  std::string highInUse = good;
  highInUse[0xF8] = 1;
  std::string packaged = CraftPackage("", 0);
  struct {
    std::string image;
    ExitCode code;
    std::string expected;
  } kCases[] = {
      {good, ExitCode::kOk, ""},
      {noMz, ExitCode::kStub, "needs \"MZ\" at 0 and \"PE\" at 0x100"},
      {peElsewhere, ExitCode::kStub,
       "needs \"MZ\" at 0"},  // the DOS header's pointer is not followed
      {good.substr(0, 0x101), ExitCode::kStub, "needs \"MZ\""},  // too short to hold "PE"
      {"", ExitCode::kStub, "needs \"MZ\""},
      {pointerInUse, ExitCode::kStub, "bytes 0xF8..0xFF are in use"},
      {highInUse, ExitCode::kStub, "bytes 0xF8..0xFF are in use"},
      {packaged, ExitCode::kStub, "already carries a package"},
  };
  for (const auto& c : kCases) {
    PackStatus status = CheckStub(c.image, "stub.exe");
    EXPECT_EQ(c.code, status.code) << c.expected;
    EXPECT_NE(std::string::npos, status.message.find(c.expected)) << status.message;
  }
}

TEST_F(PackBuild, FailuresNameTheCauseAndLeaveNoOutput) {
  AddFile("setup.exe", "engine");
  WriteFile(dir / "bad.exe", "MZ this is not a stub");
  struct {
    std::string project;
    ExitCode code;
    std::string expected;
  } kCases[] = {
      {"[Package]\nStub = bad.exe\nOutput = out/setup.exe\nFiles = files\nLaunch = setup.exe\n",
       ExitCode::kStub, "bad.exe: not a stub"},
      {"[Package]\nStub = none.exe\nOutput = out/setup.exe\nFiles = files\nLaunch = setup.exe\n",
       ExitCode::kStub, "cannot open the stub"},
      {"[Package]\nStub = stub.exe\nOutput = out/setup.exe\nFiles = nofiles\nLaunch = setup.exe\n",
       ExitCode::kProject, "files folder not found"},
      {"[Package]\nStub = stub.exe\nOutput = out/setup.exe\nFiles = files\nLaunch = engine.exe\n",
       ExitCode::kProject, "launch file \"engine.exe\" not found"},
      {"[Package]\nStub = stub.exe\nOutput = out/none/setup.exe\nFiles = files\nLaunch = "
       "setup.exe\n",
       ExitCode::kOutput, "cannot create the file"},
      {"[Package]\nFiles = files\nLaunch = setup.exe\nOutput = out/setup.exe\n", ExitCode::kProject,
       "no stub"},
      {"[Package]\nFiles = files\nLaunch = setup.exe\nStub = stub.exe\n", ExitCode::kProject,
       "no output"},
  };
  for (const auto& c : kCases) {
    PackStatus status = Build(c.project);
    EXPECT_EQ(c.code, status.code) << c.project;
    EXPECT_NE(std::string::npos, status.message.find(c.expected))
        << c.project << "\n=> " << status.message;
    EXPECT_FALSE(fs::exists(Out())) << c.project;
  }
}

TEST_F(PackBuild, LaunchFileIsFoundIgnoringCaseAndEitherSeparator) {
  AddFile("Bin/Setup.EXE", "engine");
  BuildReport report;
  PackStatus status = Build(
      "[Package]\nStub = stub.exe\nOutput = out/setup.exe\nFiles = files\nLaunch = bin/setup.exe\n",
      &report);
  ASSERT_TRUE(status.ok()) << status.message;
  EXPECT_EQ("Bin\\Setup.EXE*", report.launchEntry)
      << "the stored name keeps the file's own spelling";
}

TEST_F(PackBuild, RefusesFileNamesThePackageOrTheStubCannotHold) {
  struct {
    std::string file;
    std::string expected;
  } kCases[] = {
      {"star*.txt", "cannot be stored in a package"},
      {"pipe|.txt", "cannot be stored in a package"},
      {"back\\slash.txt",
       "cannot be stored in a package"},  // one name on Linux, a folder on the stub
      {"SETUP.exe", "differ only in letter case"},
  };
  AddFile("setup.exe", "engine");
  for (const auto& c : kCases) {
    AddFile(c.file, "x");
    PackStatus status = Build(SetupProject(""));
    EXPECT_EQ(ExitCode::kProject, status.code) << c.file;
    EXPECT_NE(std::string::npos, status.message.find(c.expected))
        << c.file << " => " << status.message;
    fs::remove(dir.path() / "files" / c.file);
  }
}

}  // namespace
}  // namespace packtest
