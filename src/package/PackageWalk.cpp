#include "package/PackageWalk.h"

#include <cstring>
#include <memory>
#include <set>

#include "common/TextRules.h"
#include "package/AgentProgram.h"
#include "package/ByteSource.h"
#include "package/VolumeNames.h"
#include "package/ZInflate.h"

namespace {

class Walk {
 public:
  Walk(PackageWalkSink& sink, const WalkOptions& options) : sink_(sink), options_(options) {}
  WalkEnd Run(const std::string& firstVolume);

 private:
  // One entry being read: its header up to the first 0x00, then its content.
  struct Entry {
    EntryStart start;
    bool begun = false;
    bool stopped = false;  // the sink, a cancel or an unsafe name stopped it
    std::string damage;    // why it is damaged; empty when it is not
  };

  bool WalkVolume(ByteSource& source, VolumeInfo& info, bool first, int& entriesHere);
  bool CheckVolume(ByteSource& source, VolumeInfo& info);
  bool WalkTextBlocks(ByteSource& source, const VolumeInfo& info, uint64_t& offset);
  bool WalkEntry(ByteSource& source, const VolumeInfo& info, const BlockRef& block);
  bool TakePiece(const VolumeInfo& info, Entry& entry, const char* data, size_t size);
  bool BeginEntry(const VolumeInfo& info, Entry& entry);
  void OfferAgentProgram(ByteSource& source, const VolumeInfo& info, uint64_t textEnd);
  bool Problem(const VolumeInfo& info, WalkProblem problem, uint64_t offset = 0, int entry = 0,
               std::string detail = "", std::string name = "");
  bool Cancelled();

  PackageWalkSink& sink_;
  const WalkOptions& options_;
  std::set<std::string> names_;  // upper-cased names of the files begun, "\" as separator
  int entries_ = 0;
  bool cancelled_ = false;
};

bool Walk::Cancelled() {
  if (!cancelled_ && sink_.Cancelled()) cancelled_ = true;
  return cancelled_;
}

bool Walk::Problem(const VolumeInfo& info, WalkProblem problem, uint64_t offset, int entry, std::string detail,
                   std::string name) {
  WalkDamage damage;
  damage.problem = problem;
  damage.offset = offset;
  damage.entry = entry;
  damage.detail = std::move(detail);
  damage.name = std::move(name);
  return sink_.OnProblem(info, damage);
}

// The checksum is looked at even for a volume that is no package, so that a
// small damaged file reads as failing its checksum rather than as empty.
bool Walk::CheckVolume(ByteSource& source, VolumeInfo& info) {
  info.fileSize = source.Size();
  info.isPeFile = IsNarrowPeFile(source);
  info.endPointer = PackageEndPointerOf(source);
  info.packageEnd = PackageEndOf(source);
  info.trailerFound = ReadTrailer(source, info.trailer, &info.place);
  const bool magic = info.trailer.PackageMagic == kPackageMagic;
  const bool dataInside = info.trailer.DataOffset <= info.place.offset;
  if (!info.trailerFound) {
    if (!Problem(info, WalkProblem::kNoTrailer)) return false;
  } else if (!magic) {
    if (!Problem(info, WalkProblem::kForeignVolume)) return false;
  } else if (!dataInside) {
    if (!Problem(info, WalkProblem::kTrailerDamaged, info.trailer.DataOffset)) return false;
  }
  info.holdsBlocks = info.trailerFound && magic && dataInside;
  info.computedChecksum = PackageChecksum(source, info.trailer.TrailerLength);
  info.checksumPasses = ChecksumPasses(info.computedChecksum, info.trailer.PackageChecksum);
  if (!info.checksumPasses && !Problem(info, WalkProblem::kChecksum)) return false;
  return sink_.OnVolume(info);
}

bool Walk::WalkTextBlocks(ByteSource& source, const VolumeInfo& info, uint64_t& offset) {
  TextBlocks blocks;
  blocks.count = info.trailer.HeaderBlockCount;
  std::string* targets[] = {&blocks.language, &blocks.settings, &blocks.web};
  for (int k = 0; k < blocks.count; ++k) {
    sink_.BetweenPieces();
    if (Cancelled()) return false;
    BlockRef block;
    if (!ReadBlockRef(source, offset, info.place.offset, block)) {
      Problem(info, WalkProblem::kTextBlockDamaged, offset, k + 1);
      return false;
    }
    // Blocks past the third are known to nobody: skipped unread.
    if (options_.readTextBlocks && k < 3 && !ReadBlockData(source, block, *targets[k])) {
      Problem(info, WalkProblem::kTextBlockDamaged, offset, k + 1, "cannot read");
      return false;
    }
    offset = block.End();
  }
  blocks.end = offset;
  return sink_.OnTextBlocks(info, blocks);
}

bool Walk::BeginEntry(const VolumeInfo& info, Entry& entry) {
  EntryStart& start = entry.start;
  start.parsed = ParseEntryHeader(start.header);
  if (!start.header.empty()) {
    start.safeName = IsSafeEntryName(start.parsed.name);
    if (!start.safeName && !Problem(info, WalkProblem::kUnsafeName, start.block.offset, start.index, "",
                                    start.parsed.name)) {
      entry.stopped = true;
      return false;
    }
    start.continues = !names_.insert(UpperText(ReplaceText(start.parsed.name, "/", "\\", false))).second;
  }
  entry.begun = true;
  if (!sink_.BeginEntry(start)) entry.stopped = true;
  return !entry.stopped;
}

bool Walk::TakePiece(const VolumeInfo& info, Entry& entry, const char* data, size_t size) {
  if (Cancelled()) {
    entry.stopped = true;
    return false;
  }
  if (!entry.begun) {
    const char* end = static_cast<const char*>(std::memchr(data, '\0', size));
    const size_t take = end ? static_cast<size_t>(end - data) : size;
    if (entry.start.header.size() + take > kMaxEntryHeader) {
      entry.damage = "header longer than " + std::to_string(kMaxEntryHeader) + " bytes";
      return false;
    }
    entry.start.header.append(data, take);
    if (!end) return true;
    data += take + 1;
    size -= take + 1;
    if (!BeginEntry(info, entry)) return false;
  }
  if (size > 0 && !sink_.EntryBytes(data, size)) {
    entry.stopped = true;
    return false;
  }
  return true;
}

bool Walk::WalkEntry(ByteSource& source, const VolumeInfo& info, const BlockRef& block) {
  Entry entry;
  entry.start.index = ++entries_;
  entry.start.volume = info.number;
  entry.start.block = block;
  std::string error;
  bool read = ReadBlockPieces(
      source, block, [&](const char* data, size_t size) { return TakePiece(info, entry, data, size); }, error,
      [this] { sink_.BetweenPieces(); });
  if (read && !entry.begun) {
    // A block without any data is an entry without a header; data without
    // its 0x00 is a header that never ends.
    if (!entry.start.header.empty()) {
      entry.damage = "the entry header has no 0x00 end";
      read = false;
    } else {
      read = BeginEntry(info, entry);
    }
  }
  if (entry.begun && !sink_.EndEntry(read) && read) return false;
  if (read || entry.stopped) return read;
  if (entry.damage.empty()) entry.damage = error.empty() ? "cannot read the entry" : error;
  Problem(info, WalkProblem::kEntryDamaged, block.offset, entry.start.index, entry.damage,
          entry.start.parsed.name);
  return false;
}

void Walk::OfferAgentProgram(ByteSource& source, const VolumeInfo& info, uint64_t textEnd) {
  if (textEnd == 0 || !VolumeCarriesAgentImage(info.path)) return;
  std::string head(static_cast<size_t>(textEnd), '\0');
  if (!source.ReadExact(0, &head[0], head.size())) return;
  sink_.OnAgentProgram(info, MakeAgentProgram(std::move(head), info.trailer));
}

// One volume: its trailer, its text blocks when it is the first, its
// entries and, after those, the agent program it may carry.
bool Walk::WalkVolume(ByteSource& source, VolumeInfo& info, bool first, int& entriesHere) {
  if (!CheckVolume(source, info)) return false;
  if (!info.holdsBlocks) return true;
  uint64_t offset = info.trailer.DataOffset;
  uint64_t textEnd = 0;
  if (first) {
    if (!WalkTextBlocks(source, info, offset)) return false;
    textEnd = offset;
  }
  while (offset < info.place.offset) {
    sink_.BetweenPieces();
    if (Cancelled()) return false;
    BlockRef block;
    if (!ReadBlockRef(source, offset, info.place.offset, block)) {
      Problem(info, WalkProblem::kBlockDamaged, offset, entries_ + 1);
      return false;
    }
    ++entriesHere;
    if (!WalkEntry(source, info, block)) return false;
    offset = block.End();
  }
  if (first && options_.agentProgram) OfferAgentProgram(source, info, textEnd);
  return true;
}

bool Exists(const std::string& path) { return OpenFileSource(path) != nullptr; }

WalkEnd Walk::Run(const std::string& firstVolume) {
  std::string path = firstVolume;
  std::string base = VolumeBaseName(firstVolume);
  bool first = true;
  for (int number = 1;; ++number) {
    VolumeInfo info;
    info.number = number;
    info.path = path;
    std::unique_ptr<ByteSource> source = OpenFileSource(path);
    if (!source) {
      Problem(info, WalkProblem::kCannotOpen);
      return WalkEnd::kStopped;
    }
    int entriesHere = 0;
    const bool walked = WalkVolume(*source, info, first, entriesHere);
    source.reset();
    if (cancelled_) return WalkEnd::kCancelled;
    if (!walked) return WalkEnd::kStopped;
    const std::string spanData = VolumeName(path, 1);
    if (options_.followSpanData && first && (info.trailer.PackageFlags & kSpanCd) && entriesHere == 0 &&
        Exists(spanData)) {
      sink_.OnNote("span package: the files follow in " + spanData);
      base = path;
      path = spanData;
      number = 0;
      continue;
    }
    if (!(info.trailer.PackageFlags & kMoreVolumes)) return WalkEnd::kDone;
    path = VolumeName(base, number + 1);
    first = false;
    const VolumeAnswer answer = sink_.NeedVolume(path, number + 1);
    if (answer == VolumeAnswer::kEnd) return WalkEnd::kDone;
    if (answer == VolumeAnswer::kStop) return WalkEnd::kStopped;
    if (Cancelled()) return WalkEnd::kCancelled;
  }
}

}  // namespace

WalkEnd WalkPackage(const std::string& firstVolume, PackageWalkSink& sink, const WalkOptions& options) {
  return Walk(sink, options).Run(firstVolume);
}
