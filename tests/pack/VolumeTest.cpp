// Packages split over several volume files.
#include <map>
#include <sstream>

#include "PackTestSupport.h"
#include "pack/PackFiles.h"
#include "pack/PackageExtractor.h"
#include "pack/PackageLister.h"
#include "package/PackageReader.h"
#include "package/TGFileInfo.h"

namespace packtest {
namespace {

class PackVolumes : public PackFixture {
 protected:
  // Extracts `firstVolume` and compares every file of the files folder.
  void ExpectRoundTrip(const std::string& firstVolume, const std::string& context = "") {
    std::string target = dir / "x";
    fs::remove_all(target);
    ExtractReport report;
    PackStatus status = ExtractPackage(firstVolume, target, report, nullptr);
    ASSERT_TRUE(status.ok()) << context << status.message;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path() / "files")) {
      if (!entry.is_regular_file()) continue;
      fs::path relative = entry.path().lexically_relative(dir.path() / "files");
      EXPECT_TRUE(fs::exists(fs::path(target) / relative)) << context << relative << " was not extracted";
      EXPECT_EQ(ReadFile(entry.path()), ReadFile(fs::path(target) / relative))
          << context << relative;
    }
  }

  // Checks what every split package must hold, whatever the sizes.
  void ExpectWellFormedVolumes(const std::vector<std::string>& paths, uint64_t volumeSize,
                               const std::string& context) {
    EntryRecorder r = Record(paths.front());
    ASSERT_EQ(paths.size(), r.volumes.size()) << context;
    std::map<int, uint32_t> entriesPerVolume;
    for (const EntryRecord& e : r.entries) ++entriesPerVolume[e.volume];
    for (size_t i = 0; i < r.volumes.size(); ++i) {
      const VolumeInfo& v = r.volumes[i];
      bool last = i + 1 == r.volumes.size();
      EXPECT_EQ(paths[i], v.path) << context;
      EXPECT_LE(v.fileSize, volumeSize) << context << v.path;
      EXPECT_EQ(!last, (v.trailer.PackageFlags & kMoreVolumes) != 0) << context << v.path;
      EXPECT_TRUE(v.checksumPasses) << context << v.path;
      EXPECT_NE(kChecksumOff, +v.trailer.PackageChecksum) << context << v.path;
      if (i == 0) {
        EXPECT_EQ(r.entries.size(), +v.trailer.FileCount)
            << context << "FileCount counts all volumes";
      } else {
        EXPECT_EQ(0u, +v.trailer.DataOffset) << context << v.path;
        EXPECT_GT(entriesPerVolume[v.number], 0u)
            << context << v.path << " is an empty later volume";
        EXPECT_EQ(entriesPerVolume[v.number], +v.trailer.FileCount) << context << v.path;
      }
    }
  }

  std::vector<std::string> Volumes(const std::string& first, int count) const {
    std::vector<std::string> paths{first};
    for (int j = 2; j <= count; ++j) paths.push_back(VolumeName(Out(), j));
    return paths;
  }
};

TEST_F(PackVolumes, TwoVolumesSplitAFileIntoSameNameEntries) {
  AddFile("a.bin", RandomBytes(20000, 1));
  AddFile("b.bin", RandomBytes(20000, 2));
  AddFile("setup.exe", RandomBytes(20000, 3));
  BuildReport report;
  ASSERT_TRUE(Build(SetupProject("VolumeSize = 40000"), &report).ok());
  std::vector<std::string> paths = Volumes(Out(), 2);
  EXPECT_EQ(paths, report.files);
  EXPECT_FALSE(fs::exists(VolumeName(Out(), 3)));
  ExpectWellFormedVolumes(paths, 40000, "");
  EntryRecorder r = Record(Out());
  std::map<std::string, int> volumesOfName;
  for (const EntryRecord& e : r.entries) volumesOfName[e.parsed.name] |= 1 << e.volume;
  EXPECT_EQ((1 << 1) | (1 << 2), volumesOfName["b.bin"]) << "b.bin straddles the volume boundary";
  ExpectRoundTrip(Out());
}

TEST_F(PackVolumes, ThreeVolumesCarryOneLargeLaunchFile) {
  AddFile("setup.exe", RandomBytes(100000, 4));
  ASSERT_TRUE(Build(SetupProject("VolumeSize = 40000\nLaunchArguments = /big")).ok());
  std::vector<std::string> paths = Volumes(Out(), 3);
  ExpectWellFormedVolumes(paths, 40000, "");
  EntryRecorder r = Record(Out());
  ASSERT_EQ(3u, r.entries.size());
  for (const EntryRecord& e : r.entries)
    EXPECT_EQ("setup.exe*/big", e.parsed.launchEntry) << e.volume;
  ExpectRoundTrip(Out());
}

TEST_F(PackVolumes, EveryVolumeSizeKeepsTheLimitsAndNeverLeavesAnEmptyVolume) {
  AddFile("setup.exe", std::string(3000, 'S') + RandomBytes(500, 5));
  AddFile("data/random.bin", RandomBytes(5000, 6));
  AddFile("data/text.txt", std::string(4000, 'T'));
  AddFile("zero.txt", "");
  for (int compression : {0, 9}) {
    for (uint64_t size = 1500; size <= 7000; size += 137) {
      std::string context = "compression " + std::to_string(compression) + ", VolumeSize " +
                            std::to_string(size) + ": ";
      BuildReport report;
      PackStatus status = Build(SetupProject("VolumeSize = " + std::to_string(size) +
                                             "\nCompression = " + std::to_string(compression)),
                                &report);
      ASSERT_TRUE(status.ok()) << context << status.message;
      ExpectWellFormedVolumes(report.files, size, context);
      ExpectRoundTrip(Out(), context);
      for (const std::string& path : report.files) fs::remove(path);
    }
  }
}

// An empty file that comes when the volume is full opens the next volume
// like any other file; it was once taken as written there and left out.
TEST_F(PackVolumes, EmptyFilesAfterAFullVolumeAreStillPacked) {
  AddFile("a.bin", RandomBytes(3000, 8));
  for (const char* name : {"b-empty.txt", "c-empty.txt", "d/empty.txt"}) AddFile(name, "");
  AddFile("setup.exe", RandomBytes(200, 9));
  for (uint64_t size = 1200; size <= 4000; size += 7) {
    const std::string context = "VolumeSize " + std::to_string(size) + ": ";
    BuildReport report;
    PackStatus status = Build(SetupProject("VolumeSize = " + std::to_string(size) + "\nCompression = 0"), &report);
    ASSERT_TRUE(status.ok()) << context << status.message;
    EXPECT_EQ(5u, report.sourceFileCount) << context;
    ExpectRoundTrip(Out(), context);
    for (const std::string& path : report.files) fs::remove(path);
  }
}

TEST_F(PackVolumes, NumberedFirstVolumeKeepsTheStubAndNamesTheRestAfterIt) {
  AddFile("setup.exe", RandomBytes(50000, 7));
  BuildReport report;
  ASSERT_TRUE(
      Build(SetupProject("VolumeSize = 40000\nNumberFirstVolume = 1\nEndPointer = 1"), &report)
          .ok());
  std::vector<std::string> paths = Volumes(VolumeName(Out(), 1), 2);
  EXPECT_EQ(paths, report.files);
  EXPECT_FALSE(fs::exists(Out()));
  ExpectWellFormedVolumes(paths, 40000, "");
  std::string first = ReadFile(paths[0]);
  EXPECT_EQ("MZ", first.substr(0, 2));
  EXPECT_EQ(first.size(), U32At(first, 0xFC)) << "the end pointer of the volume with the image";
  auto source = OpenFileSource(paths[0]);
  PackageTrailer trailer{};
  ASSERT_TRUE(source && ReadTrailer(*source, trailer));
  EXPECT_EQ(512u, +trailer.DataOffset);
  ExpectRoundTrip(paths[0]);
}

TEST_F(PackVolumes, SpanPackageKeepsTheFilesInNumberedDataVolumes) {
  AddFile("setup.exe", RandomBytes(50000, 8));
  BuildReport report;
  ASSERT_TRUE(
      Build(SetupProject("VolumeSize = 40000\nSpanCd = 1", "[Settings]\nToken = span\n"), &report)
          .ok());
  std::vector<std::string> data = Volumes(VolumeName(Out(), 1), 2);
  std::vector<std::string> expected{Out()};
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(expected, report.files);

  // The program file: image and text blocks, no entries, the span flag.
  TGFileInfo program(Out());
  EXPECT_TRUE(program.IsSpanCd());
  EXPECT_FALSE(program.MoreVolumes());
  EXPECT_EQ("span", program.SettingsToken(true));
  std::string bytes = ReadFile(Out());
  EXPECT_EQ(bytes.size() - kTrailerSize, +TGFileInfo(Out()).Trailer().DataOffset)
      << "nothing after the text blocks";
  EXPECT_LE(bytes.size(), 40000u);

  // The first data volume starts the stub's walk: text blocks at offset 0.
  TGFileInfo firstData(data[0]);
  EXPECT_EQ(2, firstData.Trailer().HeaderBlockCount);
  EXPECT_EQ("span", firstData.SettingsToken(true));
  EXPECT_EQ('\x02', ReadFile(data[0])[4]) << "the language block opens the volume";
  ExpectWellFormedVolumes(data, 40000, "");
  EXPECT_EQ(Record(data[0]).entries.size(), +program.Trailer().FileCount);

  EntryRecorder r = Record(Out());
  ASSERT_EQ(1u, r.notes.size());
  EXPECT_NE(std::string::npos, r.notes[0].find(data[0])) << r.notes[0];
  ExpectRoundTrip(Out());
}

TEST_F(PackVolumes, MaxEntrySizeSplitsLargeFilesWithinOneVolume) {
  AddFile("setup.exe", RandomBytes(25000, 9));
  ASSERT_TRUE(Build(SetupProject("MaxEntrySize = 10K")).ok());
  EntryRecorder r = Record(Out());
  ASSERT_EQ(3u, r.entries.size());
  EXPECT_EQ(10240u, r.entries[0].content.size());
  EXPECT_EQ(10240u, r.entries[1].content.size());
  EXPECT_EQ(4520u, r.entries[2].content.size());
  EXPECT_EQ(3u, +r.volumes[0].trailer.FileCount);
  ExpectRoundTrip(Out());
}

TEST_F(PackVolumes, VolumeSizeBelowTheFirstVolumesFixedPartIsRefused) {
  AddFile("setup.exe", "engine");
  PackStatus status = Build(SetupProject("VolumeSize = 600"));
  EXPECT_EQ(ExitCode::kProject, status.code);
  EXPECT_NE(std::string::npos, status.message.find("VolumeSize 600 is too small"))
      << status.message;
  EXPECT_FALSE(fs::exists(Out()));
}

TEST_F(PackVolumes, MissingOrDamagedLaterVolumeStopsTheExtraction) {
  AddFile("setup.exe", RandomBytes(50000, 10));
  ASSERT_TRUE(Build(SetupProject("VolumeSize = 40000")).ok());
  std::string second = VolumeName(Out(), 2);
  std::string secondBytes = ReadFile(second);

  fs::remove(second);
  ExtractReport report;
  PackStatus status = ExtractPackage(Out(), dir / "x", report, nullptr);
  EXPECT_EQ(ExitCode::kPackage, status.code);
  EXPECT_NE(std::string::npos, status.message.find("volume 2 is missing")) << status.message;
  std::ostringstream listing;
  EXPECT_TRUE(ListPackage(Out(), listing).ok()) << "listing shows what is there";
  EXPECT_NE(std::string::npos, listing.str().find("Note: volume 2")) << listing.str();

  secondBytes[secondBytes.size() / 2] ^= 0x55;
  WriteFile(second, secondBytes);
  status = ExtractPackage(Out(), dir / "y", report, nullptr);
  EXPECT_EQ(ExitCode::kChecksum, status.code);
  EXPECT_NE(std::string::npos, status.message.find(second + ": checksum fails")) << status.message;
  listing.str("");
  EXPECT_EQ(ExitCode::kChecksum, ListPackage(Out(), listing).code);
  EXPECT_NE(std::string::npos, listing.str().find(": FAILS")) << listing.str();
}

}  // namespace
}  // namespace packtest
