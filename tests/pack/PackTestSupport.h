// Small real fixtures for the authoring tool's tests: a temporary folder, a
// fake stub, a files folder and a project file written into it.
#pragma once

#include <sys/stat.h>
#include <utime.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "gtest/gtest.h"
#include "pack/PackageBuilder.h"
#include "pack/ToolWalk.h"
#include "pack/Project.h"
#include "package/EntryHeader.h"

namespace packtest {

namespace fs = std::filesystem;

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A 512-byte stand-in for the stub: "MZ" at 0, "PE\0\0" at 0x100.
inline std::string FakeStub() {
  std::string stub(512, '\0');
  stub.replace(0, 2, "MZ");
  stub.replace(0x100, 4, std::string("PE\0\0", 4));
  return stub;
}

// Bytes that deflate cannot shrink, from a fixed seed.
inline std::string RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

inline uint32_t U32At(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

// Sets a file's last-write time to a local time (even seconds survive the
// DOS stamp unchanged).
inline void SetLocalMtime(const fs::path& path, int year, int month, int day, int hour, int minute,
                          int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  struct utimbuf times;
  times.actime = times.modtime = std::mktime(&local);
  ASSERT_EQ(0, utime(path.string().c_str(), &times)) << path;
}

inline std::time_t MtimeOf(const fs::path& path) {
  struct stat info;
  if (stat(path.string().c_str(), &info) != 0) return 0;
  return info.st_mtime;
}

inline std::string U32Bytes(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

// A package made byte by byte around the fake stub, for data the builder
// would never write: `entries` are whole blocks (length field included).
inline std::string CraftPackage(const std::string& entries, uint32_t fileCount = 1) {
  const std::string language =
      "\x02\x01"
      "English\x01s0=Hello\x01\x02";
  const std::string settings = "|http://|prod.info|.exe||0|";
  std::string blocks = U32Bytes(static_cast<uint32_t>(language.size())) + language +
                       U32Bytes(static_cast<uint32_t>(settings.size())) + settings + entries;
  std::string trailer(kTrailerSize, '\0');
  trailer[0] = 1;
  trailer[1] = 2;
  trailer.replace(4, 4, U32Bytes(512));
  trailer.replace(8, 4, U32Bytes(fileCount));
  trailer.replace(12, 4, U32Bytes(kPackageMagic));
  trailer.replace(16, 4, U32Bytes(kChecksumOff));
  trailer.replace(70, 4, U32Bytes(kTrailerSize));
  return FakeStub() + blocks + trailer;
}

// A stored file-entry block: header, 0x00, content.
inline std::string StoredEntry(const std::string& header, const std::string& content) {
  std::string data = header + '\0' + content;
  return U32Bytes(static_cast<uint32_t>(-static_cast<int32_t>(data.size()))) + data;
}

// What one file entry of a package holds, as read back through the walk.
struct EntryRecord {
  int volume = 0;
  std::string header;
  EntryHeader parsed;
  bool compressed = false;
  uint32_t stored = 0;
  std::string content;
};

class EntryRecorder : public ToolWalkSink {
 public:
  EntryRecorder() : ToolWalkSink(true) {}
  bool OnVolume(const VolumeInfo& v) override {
    volumes.push_back(v);
    return true;
  }
  bool OnTextBlocks(const VolumeInfo&, const TextBlocks& b) override {
    blocks = b;
    return true;
  }
  bool BeginEntry(const EntryStart& entry) override {
    EntryRecord record;
    record.volume = entry.volume;
    record.compressed = entry.block.compressed;
    record.stored = entry.block.dataLength;
    record.header = entry.header;
    record.parsed = entry.parsed;
    entries.push_back(record);
    return true;
  }
  bool EntryBytes(const char* data, size_t size) override {
    entries.back().content.append(data, size);
    return true;
  }
  bool EndEntry(bool) override { return true; }
  void OnNote(const std::string& note) override { notes.push_back(note); }

  std::vector<VolumeInfo> volumes;
  TextBlocks blocks;
  std::vector<EntryRecord> entries;
  std::vector<std::string> notes;
};

// Walks a package and records everything; fails the test on a walk error.
inline EntryRecorder Record(const std::string& firstVolume) {
  EntryRecorder recorder;
  WalkOptions options;
  options.readTextBlocks = true;
  options.followSpanData = true;
  PackStatus status = recorder.Walk(firstVolume, options);
  EXPECT_TRUE(status.ok()) << status.message;
  return recorder;
}

// A fresh folder per test, removed afterwards.
class TempDir {
 public:
  TempDir() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("varnix-pack-") + (test ? test->name() : "x") + "-" +
                       std::to_string(std::random_device()());
    path_ = fs::temp_directory_path() / name;
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

// A temporary folder holding stub.exe, a files folder and a project file.
class PackFixture : public ::testing::Test {
 protected:
  void SetUp() override { WriteFile(dir / "stub.exe", FakeStub()); }

  void AddFile(const std::string& name, const std::string& bytes) {
    fs::path path = dir.path() / "files" / name;
    WriteFile(path, bytes);
    SetLocalMtime(path, 2021, 6, 15, 10, 20, 30);
  }

  // A setup project around `extra` ([Package] keys after the basic ones,
  // then further sections).
  std::string SetupProject(const std::string& packageKeys, const std::string& sections = "") const {
    return "[Package]\nStub = stub.exe\nOutput = out/setup.exe\nFiles = files\nLaunch = "
           "setup.exe\n" +
           packageKeys + "\n" + sections;
  }

  // Parses `text` as dir/project.ini and builds it with a fixed seed.
  PackStatus Build(const std::string& text, BuildReport* report = nullptr) {
    std::string projectPath = dir / "project.ini";
    WriteFile(projectPath, text);
    fs::create_directories(dir.path() / "out");
    Project project;
    PackStatus status = LoadProject(projectPath, project);
    if (!status.ok()) return status;
    BuildOptions options;
    options.hasSeed = true;
    options.seed = 42;
    BuildReport ignored;
    return BuildPackage(project, options, report ? *report : ignored);
  }

  std::string Out(const std::string& name = "setup.exe") const { return dir / ("out/" + name); }

  TempDir dir;
};

}  // namespace packtest
