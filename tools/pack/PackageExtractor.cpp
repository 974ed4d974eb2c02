#include "pack/PackageExtractor.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>

#include "common/TextRules.h"
#include "pack/PackFiles.h"
#include "pack/ToolWalk.h"
#include "pack/PrintableText.h"
#include "package/EntryHeader.h"

namespace {

namespace fs = std::filesystem;

std::string SystemReason() {
  return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
}

// Entry names use "\" (the stub's separator); "/" is taken as one too.
fs::path TargetPath(const std::string& destination, const std::string& name) {
  fs::path path(destination);
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    if (end > start) path /= name.substr(start, end - start);
    start = end + 1;
  }
  return path;
}

class Extractor : public ToolWalkSink {
 public:
  Extractor(std::string destination, ExtractReport& report, std::ostream* log)
      : ToolWalkSink(true), destination_(std::move(destination)), report_(report), log_(log) {}

  bool OnVolume(const VolumeInfo& v) override;
  bool OnTextBlocks(const VolumeInfo&, const TextBlocks&) override { return true; }
  bool BeginEntry(const EntryStart& entry) override;
  bool EntryBytes(const char* data, size_t size) override;
  bool EndEntry(bool complete) override;
  bool OnProblem(const VolumeInfo& volume, const WalkDamage& damage) override;
  void OnNote(const std::string& note) override {
    if (log_ != nullptr) *log_ << PrintableText(note) << "\n";
  }

 private:
  bool OpenTarget(const EntryStart& entry);
  void WriteFailed() {
    Fail(ExitCode::kOutput, target_.string() + ": cannot write" + SystemReason());
  }

  std::string destination_;
  ExtractReport& report_;
  std::ostream* log_;
  std::map<std::string, fs::path> written_;  // upper-cased name -> file
  std::ofstream out_;
  fs::path target_;
  bool opened_ = false;
  uint32_t dosTime_ = 0;
};

bool Extractor::OnVolume(const VolumeInfo&) {
  std::error_code error;
  fs::create_directories(fs::path(destination_), error);
  if (error) {
    Fail(ExitCode::kOutput, destination_ + ": cannot create the folder: " + error.message());
    return false;
  }
  return true;
}

// Entry damage names the entry by number and, once its header was read, by name.
bool Extractor::OnProblem(const VolumeInfo& volume, const WalkDamage& damage) {
  if (damage.problem != WalkProblem::kEntryDamaged) return ToolWalkSink::OnProblem(volume, damage);
  Fail(ExitCode::kPackage, volume.path + ": entry " + std::to_string(damage.entry) +
                               (damage.name.empty() ? "" : " (\"" + PrintableText(damage.name) + "\")") +
                               " is corrupt: " + damage.detail);
  return false;
}

// Opens the entry's file: created (emptied) for the first entry of a name,
// appended to for later ones.
bool Extractor::OpenTarget(const EntryStart& entry) {
  const std::string key = UpperText(ReplaceText(entry.parsed.name, "/", "\\", false));
  auto known = written_.find(key);
  const bool append = entry.continues && known != written_.end();
  target_ = append ? known->second : TargetPath(destination_, entry.parsed.name);
  std::error_code error;
  fs::create_directories(target_.parent_path(), error);
  errno = 0;
  out_.open(target_.string(), std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  if (error || !out_) {
    Fail(ExitCode::kOutput,
         target_.string() + ": cannot write" + (error ? ": " + error.message() : SystemReason()));
    return false;
  }
  if (!append) {
    written_.emplace(key, target_);
    report_.files.push_back(entry.parsed.name);
    if (log_ != nullptr) *log_ << PrintableText(entry.parsed.name) << "\n";
  }
  return true;
}

bool Extractor::BeginEntry(const EntryStart& entry) {
  ++report_.entries;
  opened_ = false;
  if (entry.header.empty()) return true;  // the stub skips entries without a header
  if (!entry.parsed.launchEntry.empty()) report_.launchEntry = entry.parsed.launchEntry;
  dosTime_ = entry.parsed.dosTime;
  opened_ = OpenTarget(entry);
  return opened_;
}

bool Extractor::EntryBytes(const char* data, size_t size) {
  if (!opened_) return true;
  errno = 0;
  out_.write(data, static_cast<std::streamsize>(size));
  if (out_) return true;
  WriteFailed();
  return false;
}

// The file being written when the walk failed is removed.
bool Extractor::EndEntry(bool complete) {
  if (!opened_) return true;
  opened_ = false;
  out_.close();
  if (complete && !out_) WriteFailed();
  if (!complete || failed()) {
    std::error_code ignored;
    fs::remove(target_, ignored);
    return false;
  }
  if (dosTime_ != 0) SetFileDosTime(target_.string(), dosTime_);
  return true;
}

}  // namespace

PackStatus ExtractPackage(const std::string& firstVolume, const std::string& destination,
                          ExtractReport& report, std::ostream* log) {
  report = ExtractReport();
  try {
    Extractor extractor(destination, report, log);
    WalkOptions options;
    options.readTextBlocks = true;  // a text block that cannot be read is damage here too
    options.followSpanData = true;
    return extractor.Walk(firstVolume, options);
  } catch (const std::bad_alloc&) {
    return PackStatus::Fail(ExitCode::kInternal, "out of memory");
  } catch (const std::exception& error) {
    return PackStatus::Fail(ExitCode::kInternal,
                            std::string("unexpected failure: ") + error.what());
  }
}
