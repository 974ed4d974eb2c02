#include "pack/PackageExtractor.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>

#include "common/TextRules.h"
#include "pack/EntryStream.h"
#include "pack/PackFiles.h"
#include "pack/PackageWalker.h"
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

class Extractor : public PackageVisitor {
 public:
  Extractor(std::string destination, ExtractReport& report, std::ostream* log)
      : destination_(std::move(destination)), report_(report), log_(log) {}

  PackStatus OnVolume(const VolumeInfo& v) override;
  PackStatus OnTextBlocks(const VolumeInfo&, const TextBlocks&) override {
    return PackStatus::Ok();
  }
  PackStatus OnEntry(ByteSource& source, const VolumeInfo& v, const BlockRef& block,
                     int index) override;
  void OnNote(const std::string& note) override {
    if (log_ != nullptr) *log_ << PrintableText(note) << "\n";
  }

 private:
  bool OpenTarget(const EntryHeader& header, const std::string& where, PackStatus& failure);

  std::string destination_;
  ExtractReport& report_;
  std::ostream* log_;
  std::map<std::string, fs::path> written_;  // upper-cased name -> file
  std::ofstream out_;
  fs::path target_;
};

PackStatus Extractor::OnVolume(const VolumeInfo& v) {
  if (!v.checksumPasses) {
    return PackStatus::Fail(ExitCode::kChecksum, v.path + ": checksum fails (stored " +
                                                     std::to_string(v.trailer.PackageChecksum) +
                                                     ", computed " +
                                                     std::to_string(v.computedChecksum) + ")");
  }
  std::error_code error;
  fs::create_directories(fs::path(destination_), error);
  if (error) {
    return PackStatus::Fail(ExitCode::kOutput,
                            destination_ + ": cannot create the folder: " + error.message());
  }
  return PackStatus::Ok();
}

// Opens the entry's file: created (emptied) for the first entry of a name,
// appended to for later ones.
bool Extractor::OpenTarget(const EntryHeader& header, const std::string& where,
                           PackStatus& failure) {
  if (!IsSafeEntryName(header.name)) {
    failure = PackStatus::Fail(ExitCode::kUnsafeName,
                               where + ": unsafe name \"" + PrintableText(header.name) + "\" refused");
    return false;
  }
  std::string key = UpperText(ReplaceText(header.name, "/", "\\", false));
  auto known = written_.find(key);
  bool append = known != written_.end();
  target_ = append ? known->second : TargetPath(destination_, header.name);
  std::error_code error;
  fs::create_directories(target_.parent_path(), error);
  errno = 0;
  out_.open(target_.string(), std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  if (error || !out_) {
    failure =
        PackStatus::Fail(ExitCode::kOutput, target_.string() + ": cannot write" +
                                                (error ? ": " + error.message() : SystemReason()));
    return false;
  }
  if (!append) {
    written_.emplace(key, target_);
    report_.files.push_back(header.name);
    if (log_ != nullptr) *log_ << PrintableText(header.name) << "\n";
  }
  return true;
}

PackStatus Extractor::OnEntry(ByteSource& source, const VolumeInfo& v, const BlockRef& block,
                              int index) {
  ++report_.entries;
  std::string where = v.path + ": entry " + std::to_string(index);
  EntryHeader header;
  PackStatus failure;
  bool opened = false;
  EntryCallbacks callbacks;
  callbacks.onHeader = [&](const std::string& text) {
    if (text.empty()) return false;  // the stub skips entries without a header
    header = ParseEntryHeader(text);
    if (!header.launchEntry.empty()) report_.launchEntry = header.launchEntry;
    opened = OpenTarget(header, where, failure);
    return opened;
  };
  callbacks.onContent = [&](const char* data, size_t size) {
    out_.write(data, static_cast<std::streamsize>(size));
    if (out_) return true;
    failure =
        PackStatus::Fail(ExitCode::kOutput, target_.string() + ": cannot write" + SystemReason());
    return false;
  };
  std::string error;
  errno = 0;
  EntryRead result = ReadEntry(source, block, callbacks, error);
  if (opened) out_.close();
  if (result == EntryRead::kCorrupt) {
    failure = PackStatus::Fail(ExitCode::kPackage,
                               where +
                                   (header.name.empty() ? "" : " (\"" + PrintableText(header.name) + "\")") +
                                   " is corrupt: " + error);
  } else if (opened && !out_) {
    failure =
        PackStatus::Fail(ExitCode::kOutput, target_.string() + ": cannot write" + SystemReason());
  }
  if (!failure.ok()) {
    if (opened) {
      std::error_code ignored;
      fs::remove(target_, ignored);
    }
    return failure;
  }
  if (opened && header.dosTime != 0) SetFileDosTime(target_.string(), header.dosTime);
  return PackStatus::Ok();
}

}  // namespace

PackStatus ExtractPackage(const std::string& firstVolume, const std::string& destination,
                          ExtractReport& report, std::ostream* log) {
  report = ExtractReport();
  try {
    Extractor extractor(destination, report, log);
    return WalkPackage(firstVolume, true, extractor);
  } catch (const std::bad_alloc&) {
    return PackStatus::Fail(ExitCode::kInternal, "out of memory");
  } catch (const std::exception& error) {
    return PackStatus::Fail(ExitCode::kInternal,
                            std::string("unexpected failure: ") + error.what());
  }
}
