// The package walk shared by the stub and the authoring tool, on crafted
// packages written to a temporary folder: volumes, the stop rules, cancels.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "CraftedPackage.h"
#include "package/PackageWalk.h"
#include "package/VolumeNames.h"
#include "package/ZInflate.h"

namespace {

namespace fs = std::filesystem;

const char* ProblemName(WalkProblem problem) {
  switch (problem) {
    case WalkProblem::kCannotOpen: return "cannot open";
    case WalkProblem::kNoTrailer: return "no trailer";
    case WalkProblem::kForeignVolume: return "foreign volume";
    case WalkProblem::kTrailerDamaged: return "trailer damaged";
    case WalkProblem::kChecksum: return "checksum";
    case WalkProblem::kTextBlockDamaged: return "text block damaged";
    case WalkProblem::kBlockDamaged: return "block damaged";
    case WalkProblem::kEntryDamaged: return "entry damaged";
    case WalkProblem::kUnsafeName: return "unsafe name";
  }
  return "?";
}

// A stored entry block: header, 0x00, content.
std::string Stored(const std::string& header, const std::string& content) {
  const std::string data = header + '\0' + content;
  return U32(static_cast<uint32_t>(-static_cast<int32_t>(data.size()))) + data;
}

std::string Compressed(const std::string& header, const std::string& content) {
  return Block(CompressBytes(header + '\0' + content, 6));
}

// A volume after the first: entries from offset 0, then the trailer.
std::string LaterVolume(const std::string& entries, bool more) {
  PackageTrailer t{};
  t.Version = 1;
  t.PackageMagic = kPackageMagic;
  t.PackageChecksum = kChecksumOff;
  t.TrailerLength = kTrailerSize;
  t.PackageFlags = more ? kMoreVolumes : 0;
  return entries + TrailerBytes(t);
}

std::string FirstVolume(const std::string& entries, bool more) {
  CraftedPackage package;
  package.entries = entries;
  package.trailer.PackageFlags = more ? kMoreVolumes : 0;
  return package.Bytes();
}

// Records what the walk reports, one line per event, and answers as set up.
class Recorder : public PackageWalkSink {
 public:
  VolumeAnswer NeedVolume(const std::string& path, int number) override {
    events.push_back("need " + std::to_string(number));
    return fs::exists(path) ? VolumeAnswer::kReady : whenMissing;
  }
  bool OnVolume(const VolumeInfo& volume) override {
    events.push_back("volume " + std::to_string(volume.number));
    return true;
  }
  bool OnTextBlocks(const VolumeInfo&, const TextBlocks& blocks) override {
    textBlocks = blocks;
    return true;
  }
  bool BeginEntry(const EntryStart& entry) override {
    events.push_back("begin " + entry.parsed.name + (entry.continues ? " +" : "") +
                     (entry.safeName ? "" : " unsafe") +
                     (entry.parsed.launchEntry.empty() ? "" : " launch " + entry.parsed.launchEntry));
    current = entry.parsed.name;
    return true;
  }
  bool EntryBytes(const char* data, size_t size) override {
    ++pieces;
    files[current].append(data, size);
    return true;
  }
  bool EndEntry(bool complete) override {
    events.push_back(complete ? "end" : "drop");
    return true;
  }
  void OnAgentProgram(const VolumeInfo&, const std::string& bytes) override { agent = bytes; }
  bool OnProblem(const VolumeInfo& volume, const WalkDamage& damage) override {
    events.push_back(std::string("problem ") + ProblemName(damage.problem) + " in " +
                     std::to_string(volume.number) + (damage.name.empty() ? "" : " " + damage.name));
    lastDamage = damage;
    return passOver.count(damage.problem) > 0;
  }
  bool Cancelled() override { return cancelAfterPieces >= 0 && pieces >= cancelAfterPieces; }
  void BetweenPieces() override { ++pumps; }

  std::set<WalkProblem> passOver;
  VolumeAnswer whenMissing = VolumeAnswer::kStop;
  int cancelAfterPieces = -1;

  std::vector<std::string> events;
  std::map<std::string, std::string> files;
  std::string current;
  std::string agent;
  TextBlocks textBlocks;
  WalkDamage lastDamage;
  int pieces = 0;
  int pumps = 0;
};

class PackageWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("varnix-walk-" + std::to_string(std::random_device()()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  // Writes the volumes as setup.exe, setup.exe.002, ...; an empty text is no file.
  std::string WriteVolumes(const std::vector<std::string>& volumes) {
    const std::string first = (dir_ / "setup.exe").string();
    for (size_t i = 0; i < volumes.size(); ++i) {
      if (volumes[i].empty()) continue;
      const std::string path = i == 0 ? first : VolumeName(first, static_cast<int>(i + 1));
      std::ofstream(path, std::ios::binary) << volumes[i];
    }
    return first;
  }

  fs::path dir_;
};

using Events = std::vector<std::string>;

TEST_F(PackageWalkTest, VolumesAreWalkedInOrderAndSameNamesContinue) {
  struct {
    const char* edge;
    std::vector<std::string> volumes;
    Events events;
    std::map<std::string, std::string> files;
  } kCases[] = {
      {"two volumes; a file split over both, its second part named in other case and separator",
       {FirstVolume(Stored("|Sub/a.txt|0|", "one") + Stored("|setup.exe*/s|0|", "MZ"), true),
        LaterVolume(Compressed("|SUB\\A.TXT|0|", "two"), false)},
       {"volume 1", "begin Sub/a.txt", "end", "begin setup.exe launch setup.exe*/s", "end", "need 2", "volume 2",
        "begin SUB\\A.TXT +", "end"},
       {{"Sub/a.txt", "one"}, {"setup.exe", "MZ"}, {"SUB\\A.TXT", "two"}}},
      {"three volumes, the middle one without entries; an entry without a header",
       {FirstVolume(Stored("|a|0|", "1"), true), LaterVolume("", true),
        LaterVolume(U32(0) + Stored("|b|0|", "3"), false)},
       {"volume 1", "begin a", "end", "need 2", "volume 2", "need 3", "volume 3", "begin ", "end", "begin b",
        "end"},
       {{"a", "1"}, {"b", "3"}}},
  };
  for (const auto& c : kCases) {
    Recorder sink;
    EXPECT_EQ(WalkEnd::kDone, WalkPackage(WriteVolumes(c.volumes), sink)) << c.edge;
    EXPECT_EQ(c.events, sink.events) << c.edge;
    EXPECT_EQ(c.files, sink.files) << c.edge;
  }
}

// A volume that is not there is the sink's to fetch or to give up; one that
// fails its checksum stops the walk unless the sink passes over it.
TEST_F(PackageWalkTest, MissingAndDamagedVolumes) {
  const std::string first = FirstVolume(Stored("|a|0|", "1"), true);
  std::string damaged = LaterVolume(Stored("|b|0|", "2"), false);
  PutU32(damaged, damaged.size() - kTrailerSize + 16, 77);  // a stored checksum that does not add up
  struct {
    const char* edge;
    std::string second;
    VolumeAnswer whenMissing;
    std::set<WalkProblem> passOver;
    WalkEnd end;
    Events events;
  } kCases[] = {
      {"missing, the sink ends the walk", "", VolumeAnswer::kEnd, {}, WalkEnd::kDone,
       {"volume 1", "begin a", "end", "need 2"}},
      {"missing, the sink stops the walk", "", VolumeAnswer::kStop, {}, WalkEnd::kStopped,
       {"volume 1", "begin a", "end", "need 2"}},
      {"failing its checksum", damaged, VolumeAnswer::kStop, {}, WalkEnd::kStopped,
       {"volume 1", "begin a", "end", "need 2", "problem checksum in 2"}},
      {"failing its checksum, passed over", damaged, VolumeAnswer::kStop, {WalkProblem::kChecksum},
       WalkEnd::kDone,
       {"volume 1", "begin a", "end", "need 2", "problem checksum in 2", "volume 2", "begin b", "end"}},
  };
  for (const auto& c : kCases) {
    fs::remove(dir_ / "setup.exe.002");
    Recorder sink;
    sink.whenMissing = c.whenMissing;
    sink.passOver = c.passOver;
    EXPECT_EQ(c.end, WalkPackage(WriteVolumes({first, c.second}), sink)) << c.edge;
    EXPECT_EQ(c.events, sink.events) << c.edge;
  }
}

// Every way an entry or a volume can be damaged stops the walk at that
// point, and a file begun is dropped, never left half written as complete.
TEST_F(PackageWalkTest, DamageStopsTheWalkWhereItIs) {
  const std::string good = Stored("|ok|0|", "fine");
  // Content that does not compress to nothing, so that the damage lies
  // pieces behind the header.
  std::string content;
  std::mt19937 random(7);
  for (int i = 0; i < 300000; ++i) content += static_cast<char>('a' + random() % 16);
  std::string zlib = CompressBytes(std::string("|z|0|") + '\0' + content, 6);
  const std::string truncatedZlib = Block(zlib.substr(0, zlib.size() * 3 / 4));
  zlib[zlib.size() * 3 / 4] ^= 0x5A;
  const std::string brokenZlib = Block(zlib);
  CraftedPackage behindTrailer;
  behindTrailer.entries = good;
  std::string offsetBehindTrailer = behindTrailer.Bytes();
  PutU32(offsetBehindTrailer, offsetBehindTrailer.size() - kTrailerSize + 4, 0x00FFFFFF);
  std::string wrongMagic = FirstVolume(good, false);
  wrongMagic[wrongMagic.size() - kTrailerSize + 12] ^= 1;
  CraftedPackage longText;
  longText.language = std::string(40, 'L');
  std::string textPastTrailer = longText.Bytes();
  PutU32(textPastTrailer, 512, 5000);
  std::string badChecksum = FirstVolume(good, false);
  PutU32(badChecksum, badChecksum.size() - kTrailerSize + 16, 77);

  struct {
    const char* edge;
    std::string volume;
    Events events;  // after the walk stopped: WalkEnd::kStopped
  } kCases[] = {
      {"block length past the trailer", FirstVolume(good + U32(0x7FFFFFF0) + "tiny", false),
       {"volume 1", "begin ok", "end", "problem block damaged in 1"}},
      {"most negative block length", FirstVolume(U32(0x80000000u) + "tiny", false),
       {"volume 1", "problem block damaged in 1"}},
      {"header without its 0x00", FirstVolume(Block("|no-end|0|"), false),
       {"volume 1", "problem entry damaged in 1"}},
      {"header longer than allowed", FirstVolume(Block(std::string(kMaxEntryHeader + 1, 'h') + '\0'), false),
       {"volume 1", "problem entry damaged in 1"}},
      {"zlib stream cut short", FirstVolume(truncatedZlib, false),
       {"volume 1", "begin z", "drop", "problem entry damaged in 1 z"}},
      {"zlib stream damaged", FirstVolume(good + brokenZlib, false),
       {"volume 1", "begin ok", "end", "begin z", "drop", "problem entry damaged in 1 z"}},
      {"unsafe name: never begun", FirstVolume(Stored("|..\\evil.txt|0|", "x") + good, false),
       {"volume 1", "problem unsafe name in 1 ..\\evil.txt"}},
      {"device name", FirstVolume(Stored("|sub\\nul.txt|0|", "x"), false),
       {"volume 1", "problem unsafe name in 1 sub\\nul.txt"}},
      {"checksum", badChecksum, {"problem checksum in 1"}},
      {"text block past the trailer", textPastTrailer, {"volume 1", "problem text block damaged in 1"}},
      {"DataOffset behind the trailer", offsetBehindTrailer, {"problem trailer damaged in 1"}},
      {"wrong magic", wrongMagic, {"problem foreign volume in 1"}},
      {"no trailer", "MZ, and nothing else", {"problem no trailer in 1"}},
  };
  for (const auto& c : kCases) {
    Recorder sink;
    EXPECT_EQ(WalkEnd::kStopped, WalkPackage(WriteVolumes({c.volume}), sink)) << c.edge;
    EXPECT_EQ(c.events, sink.events) << c.edge;
  }
  Recorder sink;
  EXPECT_EQ(WalkEnd::kStopped, WalkPackage((dir_ / "missing.exe").string(), sink));
  EXPECT_EQ(Events{"problem cannot open in 1"}, sink.events);
}

// The stub passes over a file that is no package (a bare stub): its flags,
// zero, end the walk as complete. A listing goes on past an unsafe name.
TEST_F(PackageWalkTest, PassedOverProblemsGoOnAsDescribed) {
  struct {
    const char* edge;
    std::string volume;
    WalkProblem passed;
    Events events;
  } kCases[] = {
      {"no trailer (a file too large for the checksum to apply)", std::string(kChecksumMaxFileSize + 1, 'x'),
       WalkProblem::kNoTrailer,
       {"problem no trailer in 1", "volume 1"}},
      {"unsafe name", FirstVolume(Stored("|C:\\evil.txt|0|", "x"), false), WalkProblem::kUnsafeName,
       {"volume 1", "problem unsafe name in 1 C:\\evil.txt", "begin C:\\evil.txt unsafe", "end"}},
  };
  for (const auto& c : kCases) {
    Recorder sink;
    sink.passOver = {c.passed};
    EXPECT_EQ(WalkEnd::kDone, WalkPackage(WriteVolumes({c.volume}), sink)) << c.edge;
    EXPECT_EQ(c.events, sink.events) << c.edge;
  }
}

// Asked between pieces, a cancel ends the walk inside a large entry; the
// entry is dropped and nothing after it is read.
TEST_F(PackageWalkTest, CancelBetweenPiecesDropsTheEntry) {
  const std::string big(3 * 65536 + 10, 'b');
  const std::string first =
      WriteVolumes({FirstVolume(Compressed("|big|0|", big) + Stored("|after|0|", "x"), false)});
  Recorder sink;
  sink.cancelAfterPieces = 1;
  EXPECT_EQ(WalkEnd::kCancelled, WalkPackage(first, sink));
  EXPECT_EQ((Events{"volume 1", "begin big", "drop"}), sink.events);
  EXPECT_EQ(1, sink.pieces);
  EXPECT_GE(sink.pumps, 1) << "the walk lets the sink pump between pieces";

  Recorder whole;
  EXPECT_EQ(WalkEnd::kDone, WalkPackage(first, whole));
  EXPECT_EQ(big, whole.files["big"]);
  EXPECT_GE(whole.pieces, 4) << "pieces of at most 64 KiB";
}

// The agent program is built from the first volume's image and text blocks,
// and only when the volume is a program file and the walk asks for it.
TEST_F(PackageWalkTest, AgentProgramAndTextBlocks) {
  CraftedPackage package;
  package.entries = Stored("|a|0|", "1");
  const std::string first = WriteVolumes({package.Bytes()});
  Recorder sink;
  WalkOptions options;
  options.agentProgram = true;
  options.readTextBlocks = true;
  ASSERT_EQ(WalkEnd::kDone, WalkPackage(first, sink, options));
  const size_t head = package.image.size() + 8 + package.language.size() + package.settings.size();
  EXPECT_EQ(head, sink.textBlocks.end);
  EXPECT_EQ(package.settings, sink.textBlocks.settings);
  ASSERT_EQ(head + kTrailerSize, sink.agent.size());
  EXPECT_EQ(package.Bytes().substr(0, head), sink.agent.substr(0, head));

  Recorder plain;
  ASSERT_EQ(WalkEnd::kDone, WalkPackage(first, plain));
  EXPECT_EQ("", plain.agent);
  EXPECT_EQ("", plain.textBlocks.settings) << "text blocks are read only when asked";

  fs::rename(first, dir_ / "setup.dat");
  Recorder notAProgram;
  ASSERT_EQ(WalkEnd::kDone, WalkPackage((dir_ / "setup.dat").string(), notAProgram, options));
  EXPECT_EQ("", notAProgram.agent);
}

}  // namespace
