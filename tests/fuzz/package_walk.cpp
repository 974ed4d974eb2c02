// The package walk over generated, then damaged, packages written as files:
// - every entry the walk reads must hold what zlib's own inflate (or the raw
//   block) holds, and every entry zlib reads must not be called damaged;
// - a package left undamaged must be walked to its end with every entry,
//   header and text block as generated;
// - extracting it into a folder must write nothing outside that folder, and
//   an undamaged package's files must hold the entries' bytes.
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "FuzzSupport.h"
#include "PackageRecipe.h"
#include "common/TextRules.h"
#include "pack/PackageExtractor.h"
#include "package/ByteSource.h"
#include "package/PackageWalk.h"
#include "package/TGFileInfo.h"

namespace {

namespace fs = std::filesystem;

// More than any generated entry inflates to; a damaged stream may inflate
// to much more, and is then not compared.
constexpr size_t kCompareCap = 8u << 20;

struct SeenEntry {
  EntryStart start;
  std::string path;  // the volume file it came from
  std::string content;
  bool capped = false;
  bool ended = false;
  bool complete = false;
};

// Takes everything the walk offers and passes over every problem it may.
class CaptureSink : public PackageWalkSink {
 public:
  std::vector<SeenEntry> entries;
  std::vector<std::pair<std::string, WalkDamage>> problems;  // volume path, damage
  std::vector<TextBlocks> textBlocks;
  std::map<std::string, uint64_t> trailerStart;  // volume path -> trailer offset
  std::string agent;

  VolumeAnswer NeedVolume(const std::string&, int) override { return VolumeAnswer::kReady; }
  bool OnVolume(const VolumeInfo& volume) override {
    volume_ = volume.path;
    trailerStart[volume.path] = volume.place.offset;
    return true;
  }
  bool OnTextBlocks(const VolumeInfo&, const TextBlocks& blocks) override {
    textBlocks.push_back(blocks);
    return true;
  }
  bool BeginEntry(const EntryStart& entry) override {
    SeenEntry seen;
    seen.start = entry;
    seen.path = volume_;
    // A stored entry's size is known; an inflated one is mostly near it.
    seen.content.reserve(std::min<size_t>(kCompareCap, entry.block.dataLength));
    entries.push_back(std::move(seen));
    return true;
  }
  bool EntryBytes(const char* data, size_t size) override {
    SeenEntry& entry = entries.back();
    if (entry.content.size() + size > kCompareCap) entry.capped = true;
    if (!entry.capped) entry.content.append(data, size);
    return true;
  }
  bool EndEntry(bool complete) override {
    entries.back().ended = true;
    entries.back().complete = complete;
    return true;
  }
  void OnAgentProgram(const VolumeInfo&, const std::string& bytes) override { agent = bytes; }
  bool OnProblem(const VolumeInfo& volume, const WalkDamage& damage) override {
    problems.emplace_back(volume.path, damage);
    return true;
  }

 private:
  std::string volume_;
};

struct Sandbox {
  std::string root, firstVolume, destination;
  Sandbox() {
    root = FuzzScratchFolder() + "/walk";
    destination = root + "/1/2/3/4/out";
    firstVolume = root + "/pkg/setup.exe";
    fs::create_directories(destination);
  }
  // No file of an earlier input may stay: the walk would take it for a
  // volume of this one.
  void ClearPackageFolder() const {
    std::error_code ignored;
    fs::remove_all(root + "/pkg", ignored);
    fs::create_directories(root + "/pkg", ignored);
  }
};

const std::string& VolumeBytes(const GeneratedPackage& package, const std::string& firstVolume,
                               const std::string& path) {
  static const std::string none;
  for (const GeneratedVolume& volume : package.volumes) {
    const std::string name = volume.suffix.empty() && package.firstNumbered ? firstVolume + ".001"
                                                                             : firstVolume + volume.suffix;
    if (name == path) return volume.missing ? none : volume.bytes;
  }
  return none;
}

// What zlib (or a raw copy) makes of the block at `offset`: false when the
// block cannot be read, its stream is broken or inflates past the cap.
bool OracleEntry(const std::string& volume, uint64_t offset, uint64_t limit, std::string& inflated) {
  ViewSource source(volume);
  BlockRef block;
  if (!ReadBlockRef(source, offset, limit, block)) return false;
  const char* data = volume.data() + block.dataOffset;
  if (!block.compressed) {
    inflated.assign(data, block.dataLength);
    return true;
  }
  return OracleInflate(data, block.dataLength, kCompareCap, inflated);
}

// The walk reads exactly the bytes the oracle reads; what zlib reads in
// full with a header that ends in time is never damage.
void CompareWithOracle(const GeneratedPackage& package, const Sandbox& box, const CaptureSink& sink) {
  for (const SeenEntry& entry : sink.entries) {
    if (!entry.complete || entry.capped) continue;
    std::string inflated;
    const std::string& volume = VolumeBytes(package, box.firstVolume, entry.path);
    const BlockRef& block = entry.start.block;
    FUZZ_CHECK(OracleEntry(volume, block.offset, sink.trailerStart.at(entry.path), inflated),
               "the walk read entry " + std::to_string(entry.start.index) + " (" + entry.path + " at " +
                   std::to_string(block.offset) + ", " + std::to_string(block.storedLength) +
                   " bytes), which zlib cannot");
    const std::string walked = entry.start.header.empty() && entry.content.empty() && inflated.empty()
                                   ? ""
                                   : entry.start.header + '\0' + entry.content;
    FUZZ_CHECK(walked == inflated, "entry " + std::to_string(entry.start.index) + " differs from zlib's reading");
  }
  for (const auto& [path, damage] : sink.problems) {
    if (damage.problem != WalkProblem::kEntryDamaged) continue;
    std::string inflated;
    if (!OracleEntry(VolumeBytes(package, box.firstVolume, path), damage.offset, sink.trailerStart.at(path),
                     inflated)) {
      continue;
    }
    const size_t headerEnd = inflated.find('\0');
    const bool headerEnds = inflated.empty() || (headerEnd != std::string::npos && headerEnd <= kMaxEntryHeader);
    FUZZ_CHECK(!headerEnds, "entry " + std::to_string(damage.entry) + " called damaged (" + damage.detail +
                                ") though zlib reads it");
  }
}

// An undamaged package is walked to its end: every entry as generated, the
// text blocks as written, and the agent made from it reads as an agent.
void CheckUndamaged(const GeneratedPackage& package, WalkEnd end, const CaptureSink& sink) {
  size_t expected = 0;
  bool stopsEarly = false;
  for (const GeneratedEntry& entry : package.entries) {
    ++expected;
    if (entry.header.size() > kMaxEntryHeader) {
      stopsEarly = true;
      break;
    }
  }
  for (const auto& [path, damage] : sink.problems) {
    const bool overlongHeader = stopsEarly && damage.problem == WalkProblem::kEntryDamaged &&
                                damage.entry == static_cast<int>(expected);
    FUZZ_CHECK(damage.problem == WalkProblem::kUnsafeName || overlongHeader,
               "a problem (" + std::to_string(static_cast<int>(damage.problem)) + ", " + damage.detail +
                   ") in an undamaged package");
  }
  FUZZ_CHECK(end == (stopsEarly ? WalkEnd::kStopped : WalkEnd::kDone), "the walk of an undamaged package ended early");
  const size_t read = stopsEarly ? expected - 1 : expected;
  FUZZ_CHECK(sink.entries.size() >= read, "entries missing from the walk");
  for (size_t i = 0; i < read; ++i) {
    const GeneratedEntry& generated = package.entries[i];
    const SeenEntry& seen = sink.entries[i];
    FUZZ_CHECK(seen.complete, "entry " + std::to_string(i + 1) + " not complete");
    FUZZ_CHECK(seen.start.header == generated.header, "entry " + std::to_string(i + 1) + " header differs");
    const size_t skip = generated.inflated.empty() ? 0 : generated.header.size() + 1;
    FUZZ_CHECK(seen.content.size() == generated.inflated.size() - skip &&
                   generated.inflated.compare(skip, std::string::npos, seen.content) == 0,
               "entry " + std::to_string(i + 1) + " content differs");
  }
  for (const TextBlocks& blocks : sink.textBlocks) {
    FUZZ_CHECK(blocks.language == package.language && blocks.settings == package.settings &&
                   blocks.web == package.web,
               "text blocks differ");
  }
  if (!sink.agent.empty()) {
    ViewSource source(sink.agent);
    TGFileInfo agent(source);
    FUZZ_CHECK(agent.IsUpdateAgent() && agent.SettingsBlock() == package.settings,
               "the agent made from the package does not read as one");
  }
}

// Every path under `folder` except those under `skip`.
std::set<std::string> TreeOutside(const std::string& folder, const std::string& skip) {
  std::set<std::string> paths;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error); it != fs::recursive_directory_iterator();
       it.increment(error)) {
    const std::string path = it->path().string();
    if (path == skip) {
      it.disable_recursion_pending();
      continue;
    }
    paths.insert(path);
  }
  return paths;
}

// The extracted files of an undamaged package whose names are all safe and
// each name maps to one file: each holds its entries' bytes, appended.
void CheckExtractedFiles(const GeneratedPackage& package, const Sandbox& box, const ExtractReport& report) {
  std::map<std::string, std::string> expected;  // name as the walk keys it -> content
  std::map<std::string, std::string> pathOf;    // that key -> normalised path
  for (const GeneratedEntry& entry : package.entries) {
    if (entry.header.empty()) continue;
    const std::string name = ParseEntryHeader(entry.header).name;
    const std::string key = UpperText(ReplaceText(name, "/", "\\", false));
    fs::path path = fs::path(box.destination);
    for (size_t start = 0; start <= name.size();) {
      size_t end = name.find_first_of("\\/", start);
      if (end == std::string::npos) end = name.size();
      if (end > start) path /= name.substr(start, end - start);
      start = end + 1;
    }
    const std::string normal = path.lexically_normal().string();
    for (const auto& [otherKey, otherPath] : pathOf) {
      if (otherKey != key && otherPath == normal) return;  // two names, one file: the later wins
    }
    // Later entries of a name (letter case ignored) go to the first one's file.
    pathOf.emplace(key, normal);
    expected[key] += entry.inflated.substr(entry.header.size() + 1);
  }
  for (const auto& [key, content] : expected) {
    std::string written;
    FUZZ_CHECK(ReadWholeFile(pathOf[key], written), "extracted file missing: " + pathOf[key]);
    FUZZ_CHECK(written == content, "extracted file differs: " + pathOf[key]);
  }
  FUZZ_CHECK(report.files.size() == expected.size(), "extract report lists another number of files");
}

void CheckExtract(const GeneratedPackage& package, const Sandbox& box, const CaptureSink& walked) {
  // The extractor stops at problems the capturing walk passed over, so it
  // begins no file the capturing walk did not: without one it writes nothing.
  bool writes = false;
  for (const SeenEntry& entry : walked.entries) writes = writes || !entry.start.header.empty();
  if (!writes) return;
  const std::set<std::string> before = TreeOutside(box.root, box.destination);
  ExtractReport report;
  const PackStatus status = ExtractPackage(box.firstVolume + (package.firstNumbered ? ".001" : ""),
                                           box.destination, report, nullptr);
  FUZZ_CHECK(TreeOutside(box.root, box.destination) == before, "extract wrote outside its folder");
  for (const std::string& name : report.files) FUZZ_CHECK(IsSafeEntryName(name), "extracted an unsafe name: " + name);
  bool safeNames = true;
  for (const SeenEntry& entry : walked.entries) safeNames = safeNames && entry.start.safeName;
  bool longHeader = false;
  for (const GeneratedEntry& entry : package.entries) longHeader = longHeader || entry.header.size() > kMaxEntryHeader;
  if (!package.damaged && safeNames && !longHeader && status.ok()) CheckExtractedFiles(package, box, report);
  std::error_code ignored;
  fs::remove_all(box.destination, ignored);
  fs::create_directories(box.destination, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Sandbox box;
  FuzzedDataProvider recipe(data, size);
  const GeneratedPackage package = GeneratePackage(recipe);
  box.ClearPackageFolder();
  const std::string first = WritePackageFiles(package, box.firstVolume);
  FUZZ_CHECK(!first.empty(), "cannot write the package files");

  CaptureSink sink;
  WalkOptions options;
  options.readTextBlocks = true;
  options.agentProgram = true;
  options.followSpanData = true;
  const WalkEnd end = WalkPackage(first, sink, options);
  CompareWithOracle(package, box, sink);
  if (!package.damaged) CheckUndamaged(package, end, sink);
  CheckExtract(package, box, sink);
  return 0;
}
