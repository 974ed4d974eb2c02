// What the authoring tool builds, the walk reads back byte for byte: a
// project of generated files (any sizes, sub-folders, a launch file) built
// with the input's compression, volume size, entry size, span and end-pointer
// choices, then extracted and compared with the files it was built from.
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "CraftedPackage.h"
#include "FuzzSupport.h"
#include "common/TextRules.h"
#include "pack/PackageBuilder.h"
#include "pack/PackageExtractor.h"

namespace {

namespace fs = std::filesystem;

struct Folders {
  std::string root, files, out, stub, package;
  Folders() {
    root = FuzzScratchFolder() + "/roundtrip";
    files = root + "/files";
    out = root + "/out";
    stub = root + "/stub.exe";
    package = root + "/package/setup.exe";
    fs::create_directories(root);
    WriteWholeFile(stub, FakeStub());
  }
  void Clear() const {
    std::error_code ignored;
    for (const std::string& folder : {files, out, root + "/package"}) {
      fs::remove_all(folder, ignored);
      fs::create_directories(folder, ignored);
    }
  }
};

std::string Segment(FuzzedDataProvider& input) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789_";
  std::string segment;
  const size_t length = input.ConsumeIntegralInRange<size_t>(1, 8);
  for (size_t i = 0; i < length; ++i) segment += kLetters[input.ConsumeIntegralInRange<size_t>(0, 36)];
  return segment;
}

// A file of up to `maxBytes`, mostly small.
std::string Content(FuzzedDataProvider& input, size_t maxBytes) {
  const int kind = input.ConsumeIntegralInRange<int>(0, 7);
  const size_t size = kind < 5   ? input.ConsumeIntegralInRange<size_t>(0, 300)
                      : kind < 7 ? input.ConsumeIntegralInRange<size_t>(0, std::min<size_t>(20000, maxBytes))
                                 : input.ConsumeIntegralInRange<size_t>(0, maxBytes);
  std::string content(size, '\0');
  uint32_t state = input.ConsumeIntegral<uint32_t>() | 1;
  const bool noise = input.ConsumeBool();
  for (size_t i = 0; i < size; i += 4) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    const uint32_t word = noise ? state : (i / 64) * 0x01010101u;
    std::memcpy(&content[i], &word, std::min<size_t>(4, size - i));
  }
  return content;
}

// Files with names the tool packs as they are: at most two folders deep,
// unique without regard to case, no file also used as a folder.
std::map<std::string, std::string> MakeFiles(FuzzedDataProvider& input, int compression) {
  std::map<std::string, std::string> files;  // name with "/" -> content
  // Large files in one project of four, and only with the fast compression
  // levels (or none): zlib's slow levels would take most of the run's time.
  const bool large = input.ConsumeIntegralInRange<int>(0, 3) == 0 && compression <= 3;
  const size_t maxBytes = large ? 300000 : 20000;
  std::set<std::string> upperNames, upperFolders;
  const int count = input.ConsumeIntegralInRange<int>(1, 6);
  for (int i = 0; i < count; ++i) {
    std::string folder;
    const int depth = input.ConsumeIntegralInRange<int>(0, 2);
    for (int d = 0; d < depth; ++d) folder += Segment(input) + "/";
    const std::string name = folder + Segment(input) + (input.ConsumeBool() ? ".dat" : "");
    std::string content = Content(input, maxBytes);
    bool clash = upperNames.count(UpperText(name)) != 0 || upperFolders.count(UpperText(name)) != 0;
    for (size_t slash = folder.find('/'); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
      clash = clash || upperNames.count(UpperText(folder.substr(0, slash))) != 0;
    }
    if (clash) continue;
    for (size_t slash = folder.find('/'); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
      upperFolders.insert(UpperText(folder.substr(0, slash)));
    }
    upperNames.insert(UpperText(name));
    files[name] = std::move(content);
  }
  return files;
}

Project MakeProject(FuzzedDataProvider& input, const Folders& folders, const std::string& launch,
                    int compression, uint64_t totalBytes) {
  Project project;
  project.compression = compression;
  project.stubPath = folders.stub;
  project.outputPath = folders.package;
  project.filesDir = folders.files;
  project.launchFile = launch;
  std::string arguments;
  for (char c : input.ConsumeRandomLengthString(24)) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == ' ' || c == '/' || c == '=') arguments += c;
  }
  project.launchArguments = arguments;
  project.computeChecksum = input.ConsumeBool();
  project.writeEndPointer = input.ConsumeBool();
  // Split into at most about twenty volumes: a volume costs a file, a
  // trailer and a checksum on both sides.
  const uint64_t smallestVolume = std::max<uint64_t>(600, totalBytes / 20);
  if (input.ConsumeBool()) project.volumeSize = input.ConsumeIntegralInRange<uint64_t>(smallestVolume, 400000);
  project.spanCd = input.ConsumeIntegralInRange<int>(0, 3) == 0;
  project.numberFirstVolume = !project.spanCd && input.ConsumeIntegralInRange<int>(0, 3) == 0;
  // Files cut into at most about a hundred entries: each entry costs the
  // walk its buffers.
  const uint64_t smallestEntry = std::max<uint64_t>(1, totalBytes / 100);
  if (input.ConsumeBool()) project.maxEntrySize = input.ConsumeIntegralInRange<uint64_t>(smallestEntry, 70000);
  project.languages.push_back({"English", {{"s0", "Hello"}}});
  return project;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Folders folders;
  folders.Clear();
  FuzzedDataProvider input(data, size);
  const int compression = input.ConsumeIntegralInRange<int>(0, 9);
  const std::map<std::string, std::string> files = MakeFiles(input, compression);
  for (const auto& [name, content] : files) {
    const fs::path path = fs::path(folders.files) / name;
    fs::create_directories(path.parent_path());
    FUZZ_CHECK(WriteWholeFile(path.string(), content), "cannot write a source file");
  }
  auto launch = files.begin();
  std::advance(launch, input.ConsumeIntegralInRange<size_t>(0, files.size() - 1));
  uint64_t totalBytes = 0;
  for (const auto& file : files) totalBytes += file.second.size();
  const Project project = MakeProject(input, folders, launch->first, compression, totalBytes);

  BuildOptions options;
  options.hasSeed = true;
  options.seed = input.ConsumeIntegral<uint32_t>();
  BuildReport built;
  const PackStatus build = BuildPackage(project, options, built);
  if (!build.ok()) {
    FUZZ_CHECK(build.code == ExitCode::kProject && build.message.find("too small") != std::string::npos,
               "a sound project failed to build: " + build.message);
    return 0;
  }
  FUZZ_CHECK(!built.files.empty(), "a build without files");
  ExtractReport extracted;
  const PackStatus extract = ExtractPackage(built.files.front(), folders.out, extracted, nullptr);
  FUZZ_CHECK(extract.ok(), "the built package does not extract: " + extract.message);
  FUZZ_CHECK(extracted.files.size() == files.size(),
             "extracted " + std::to_string(extracted.files.size()) + " files of " + std::to_string(files.size()) +
                 " (first: " + (extracted.files.empty() ? std::string() : extracted.files.front()) + ")");
  FUZZ_CHECK(extracted.launchEntry == built.launchEntry, "the launch entry differs");
  for (const auto& [name, content] : files) {
    std::string read;
    FUZZ_CHECK(ReadWholeFile((fs::path(folders.out) / name).string(), read) && read == content,
               "extracted file differs: " + name);
  }
  return 0;
}
