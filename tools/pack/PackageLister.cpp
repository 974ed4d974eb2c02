#include "pack/PackageLister.h"

#include <cstdio>
#include <iomanip>
#include <new>

#include "pack/AppendedData.h"
#include "pack/PackFiles.h"
#include "pack/ToolWalk.h"
#include "pack/PrintableText.h"
#include "pack/TextBlocks.h"
#include "package/EntryHeader.h"

namespace {

std::string Hex(uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

std::string FlagNames(uint8_t flags) {
  static const std::pair<uint8_t, const char*> kNames[] = {
      {kShowTempDriveNotice, "ShowTempDriveNotice"},
      {kMoreVolumes, "MoreVolumes"},
      {kSpanCd, "SpanCd"},
      {kShowActivityBar, "ShowActivityBar"},
      {kWriteRunLog, "WriteRunLog"}};
  std::string names;
  for (const auto& flag : kNames) {
    if (flags & flag.first) names += std::string(" ") + flag.second;
  }
  if (flags & 0xE0) names += " (unused bits " + Hex(flags & 0xE0, 2) + ")";
  return names;
}

class Lister : public ToolWalkSink {
 public:
  explicit Lister(std::ostream& out) : ToolWalkSink(false), out_(out) {}

  bool OnVolume(const VolumeInfo& v) override;
  bool OnTextBlocks(const VolumeInfo& v, const TextBlocks& blocks) override;
  bool BeginEntry(const EntryStart& entry) override;
  bool EntryBytes(const char*, size_t size) override {
    size_ += size;
    return true;
  }
  bool EndEntry(bool complete) override;
  bool OnProblem(const VolumeInfo& v, const WalkDamage& damage) override;
  void OnNote(const std::string& note) override { out_ << "Note: " << note << "\n"; }

  std::string checksumFailure;   // of the first volume that fails
  std::string firstUnsafe;       // the first entry whose name extract and the stub refuse
  int unsafeEntries = 0;
  uint32_t expectedEntries = 0;  // FileCount of the volume that carries the text blocks
  int entries = 0;

 private:
  void Field(const std::string& name, const std::string& value) {
    out_ << "  " << std::left << std::setw(20) << name << value << "\n";
  }
  void PrintTrailer(const PackageTrailer& t);
  void PrintLanguages(const std::string& block);
  void PrintItems(const std::string& title, const std::string& block, const char* const names[],
                  int tokenItem);

  void EntryHeading(int volume);

  std::ostream& out_;
  bool entryHeadingDone_ = false;
  EntryStart entry_;
  uint64_t size_ = 0;
};

// A checksum failure and unsafe names are listed and reported at the end;
// everything else stops the listing.
bool Lister::OnProblem(const VolumeInfo& v, const WalkDamage& damage) {
  switch (damage.problem) {
    case WalkProblem::kChecksum:
      if (checksumFailure.empty()) checksumFailure = ProblemText(v, damage);
      return true;
    case WalkProblem::kUnsafeName:
      // Extract and the stub stop at this entry; the listing goes on.
      if (unsafeEntries++ == 0) firstUnsafe = ProblemText(v, damage);
      return true;
    case WalkProblem::kEntryDamaged: EntryHeading(v.number); break;
    default: break;
  }
  return ToolWalkSink::OnProblem(v, damage);
}

bool Lister::OnVolume(const VolumeInfo& v) {
  out_ << "Volume " << v.number << ": " << v.path << "\n";
  Field("File size", std::to_string(v.fileSize));
  Field("PE file", v.isPeFile ? "yes (\"MZ\" at 0, \"PE\" at 0x100)" : "no");
  if (v.endPointer != 0) {
    Field("End pointer",
          std::to_string(v.endPointer) + " (high " + std::to_string(v.endPointer >> 32) + ", low " +
              std::to_string(v.endPointer & 0xFFFFFFFFu) + "); " +
              std::to_string(v.fileSize - v.packageEnd) + " bytes follow the package");
  } else {
    Field("End pointer", "not set");
  }
  if (v.fileSize > v.packageEnd)
    Field("After the package", DescribeAppendedData(v.path, v.packageEnd));
  Field("Trailer",
        "at " + std::to_string(v.place.offset) + ", " + std::to_string(v.place.length) + " bytes");
  PrintTrailer(v.trailer);
  Field("Checksum", "stored " + std::to_string(v.trailer.PackageChecksum) + ", computed " +
                        std::to_string(v.computedChecksum) +
                        (v.checksumPasses ? ": passes" : ": FAILS"));
  entryHeadingDone_ = false;
  return true;
}

void Lister::PrintTrailer(const PackageTrailer& t) {
  Field("Version", std::to_string(t.Version));
  Field("HeaderBlockCount", std::to_string(t.HeaderBlockCount));
  Field("Reserved2", Hex(t.Reserved2, 4));
  Field("DataOffset", std::to_string(t.DataOffset));
  Field("FileCount", std::to_string(t.FileCount));
  Field("PackageMagic", Hex(t.PackageMagic, 8));
  Field("PackageChecksum", std::to_string(t.PackageChecksum));
  std::string reserved;
  for (uint8_t byte : t.Reserved20)
    reserved += (reserved.empty() ? "" : " ") + Hex(byte, 2).substr(2);
  Field("Reserved20", reserved);
  for (int k = 0; k < kSpaceEntries; ++k) {
    std::string cluster = k == 0 ? "plain total" : "clusters >= " + std::to_string(256u << k);
    Field("SpaceByClusterSize" + std::to_string(k),
          std::to_string(t.SpaceByClusterSize[k]) + " (" + cluster + ")");
  }
  Field("Reserved64", Hex(t.Reserved64, 2));
  Field("PackageFlags", Hex(t.PackageFlags, 2) + FlagNames(t.PackageFlags));
  Field("IsWebStub", std::to_string(t.IsWebStub));
  Field("AskBeforeDownload", std::to_string(t.AskBeforeDownload));
  Field("HasUpdateAgent", std::to_string(t.HasUpdateAgent));
  Field("IsUpdateAgent", std::to_string(t.IsUpdateAgent));
  Field("TrailerLength", std::to_string(t.TrailerLength));
}

bool Lister::OnTextBlocks(const VolumeInfo& v, const TextBlocks& blocks) {
  expectedEntries = v.trailer.FileCount;
  PrintLanguages(blocks.language);
  static const char* const kSettingsNames[] = {"ServerUrl", "InfoFile", "AgentExe", "Token",
                                               "Silent"};
  PrintItems("Settings block", blocks.settings, kSettingsNames, kSettingsTokenItem);
  if (blocks.count > 2) {
    static const char* const kWebNames[] = {"Folder", "FileName", "AlwaysDownload", "Token",
                                            "Size"};
    PrintItems("Web block", blocks.web, kWebNames, kWebTokenItem);
  }
  return true;
}

void Lister::PrintLanguages(const std::string& block) {
  std::vector<std::string> sections = ListItems(block);
  out_ << "Language block: " << sections.size() << " section(s), " << block.size() << " bytes\n";
  for (const std::string& section : sections) {
    std::vector<std::string> lines = ListItems(section);
    out_ << "  [" << PrintableText(lines.empty() ? std::string() : lines[0]) << "]\n";
    for (size_t i = 1; i < lines.size(); ++i) out_ << "    " << PrintableText(lines[i]) << "\n";
  }
}

void Lister::PrintItems(const std::string& title, const std::string& block,
                        const char* const names[], int tokenItem) {
  std::vector<std::string> items = ListItems(block);
  out_ << title << ": " << items.size() << " item(s)\n";
  for (size_t i = 0; i < items.size(); ++i) {
    std::string name = i < 5 ? names[i] : "(extra)";
    std::string value = "\"" + PrintableText(items[i]) + "\"";
    if (static_cast<int>(i) == tokenItem) {
      bool ok = false;
      const std::string token = Descramble(items[i], ok);
      value = "scrambled " + value +
              (ok ? ", descrambled \"" + PrintableText(token) + "\""
                  : ", FAILS its check (matches no token; Descramble gives a random number)");
    }
    out_ << "  " << i << " " << std::left << std::setw(15) << name << value << "\n";
  }
}

void Lister::EntryHeading(int volume) {
  if (entryHeadingDone_) return;
  out_ << "Entries of volume " << volume << ":\n";
  out_ << "  " << std::right << std::setw(5) << "#" << std::setw(12) << "stored"
       << "  " << std::setw(6) << "method" << std::setw(12) << "size"
       << "  " << std::left << std::setw(20) << "time"
       << "name\n";
  entryHeadingDone_ = true;
}

bool Lister::BeginEntry(const EntryStart& entry) {
  EntryHeading(entry.volume);
  ++entries;
  entry_ = entry;
  size_ = 0;
  return true;
}

// The line is printed once the content is counted.
bool Lister::EndEntry(bool complete) {
  if (!complete) return false;
  const EntryHeader& parsed = entry_.parsed;
  std::string name =
      entry_.header.empty() ? "(no header: skipped by the stub)" : PrintableText(parsed.name);
  if (!entry_.safeName) name += "  [UNSAFE NAME]";
  if (!parsed.launchEntry.empty()) name += "  [launch: " + PrintableText(parsed.launchEntry) + "]";
  out_ << "  " << std::right << std::setw(5) << entry_.index << std::setw(12) << entry_.block.dataLength
       << "  " << std::setw(6) << (entry_.block.compressed ? "zlib" : "stored") << std::setw(12) << size_
       << "  " << std::left << std::setw(20) << FormatDosTime(parsed.dosTime) << name << "\n";
  return true;
}

}  // namespace

PackStatus ListPackage(const std::string& firstVolume, std::ostream& out) {
  try {
    Lister lister(out);
    WalkOptions options;
    options.readTextBlocks = true;
    options.followSpanData = true;
    PackStatus status = lister.Walk(firstVolume, options);
    if (!status.ok()) return status;
    out << "Total: " << lister.entries << " entries; FileCount says " << lister.expectedEntries;
    if (lister.unsafeEntries > 0) out << "; " << lister.unsafeEntries << " with an unsafe name";
    out << "\n";
    // As extract: a volume that fails its checksum is reported before its entries.
    if (!lister.checksumFailure.empty())
      return PackStatus::Fail(ExitCode::kChecksum, lister.checksumFailure);
    if (lister.unsafeEntries > 0) {
      return PackStatus::Fail(
          ExitCode::kUnsafeName,
          (lister.unsafeEntries == 1 ? std::string("1 unsafe entry name")
                                     : std::to_string(lister.unsafeEntries) + " unsafe entry names") +
              " (extract and the stub refuse them), the first: " + lister.firstUnsafe);
    }
    return PackStatus::Ok();
  } catch (const std::bad_alloc&) {
    return PackStatus::Fail(ExitCode::kInternal, "out of memory");
  }
}
