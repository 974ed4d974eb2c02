#include "pack/PackageWalker.h"

#include <cstdio>
#include <memory>

#include "pack/PackFiles.h"

namespace {

PackStatus PackageFail(const std::string& path, const std::string& message) {
  return PackStatus::Fail(ExitCode::kPackage, path + ": " + message);
}

std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

PackStatus ReadVolumeInfo(ByteSource& source, const std::string& path, int number,
                          VolumeInfo& info) {
  info = VolumeInfo();
  info.number = number;
  info.path = path;
  info.fileSize = source.Size();
  info.isPeFile = IsNarrowPeFile(source);
  info.endPointer = PackageEndPointerOf(source);
  info.packageEnd = PackageEndOf(source);
  if (!ReadTrailer(source, info.trailer, &info.place)) {
    return PackageFail(path, "no package trailer found (not a package, or truncated)");
  }
  if (info.trailer.PackageMagic != kPackageMagic) {
    return PackageFail(path, "not a package (magic " + Hex32(info.trailer.PackageMagic) +
                                 ", expected " + Hex32(kPackageMagic) + ")");
  }
  if (info.trailer.DataOffset > info.place.offset) {
    return PackageFail(path,
                       "corrupt trailer: DataOffset " + std::to_string(info.trailer.DataOffset) +
                           " lies behind the trailer at " + std::to_string(info.place.offset));
  }
  info.computedChecksum = PackageChecksum(source, info.place.length);
  info.checksumPasses = ChecksumPasses(info.computedChecksum, info.trailer.PackageChecksum);
  return PackStatus::Ok();
}

PackStatus ReadTextBlocks(ByteSource& source, const VolumeInfo& info, uint64_t& offset,
                          TextBlocks& blocks) {
  blocks = TextBlocks();
  blocks.count = info.trailer.HeaderBlockCount;
  std::string* targets[] = {&blocks.language, &blocks.settings, &blocks.web};
  for (int k = 0; k < blocks.count; ++k) {
    BlockRef block;
    if (!ReadBlockRef(source, offset, info.place.offset, block)) {
      return PackageFail(info.path, "text block " + std::to_string(k + 1) + " at offset " +
                                        std::to_string(offset) +
                                        " runs past the trailer (truncated or corrupt)");
    }
    std::string data;
    if (!ReadBlockData(source, block, data)) {
      return PackageFail(info.path, "cannot read text block " + std::to_string(k + 1));
    }
    if (k < 3) *targets[k] = data;
    offset = block.End();
  }
  return PackStatus::Ok();
}

struct WalkState {
  std::string path;
  std::string base;
  int number = 1;
  bool first = true;  // the volume that carries the text blocks
  int entries = 0;
};

// One volume: its trailer, its text blocks when it is the first, its entries.
PackStatus WalkVolume(WalkState& state, PackageVisitor& visitor, VolumeInfo& info,
                      int& entriesHere) {
  std::unique_ptr<ByteSource> source = OpenFileSource(state.path);
  if (!source) return PackageFail(state.path, "cannot open the file");
  PackStatus status = ReadVolumeInfo(*source, state.path, state.number, info);
  if (status.ok()) status = visitor.OnVolume(info);
  if (!status.ok()) return status;
  uint64_t offset = info.trailer.DataOffset;
  if (state.first) {
    TextBlocks blocks;
    status = ReadTextBlocks(*source, info, offset, blocks);
    if (status.ok()) status = visitor.OnTextBlocks(info, blocks);
    if (!status.ok()) return status;
  }
  entriesHere = 0;
  while (offset < info.place.offset) {
    BlockRef block;
    if (!ReadBlockRef(*source, offset, info.place.offset, block)) {
      return PackageFail(state.path, "entry " + std::to_string(state.entries + 1) + " at offset " +
                                         std::to_string(offset) +
                                         " runs past the trailer (truncated or corrupt)");
    }
    ++state.entries;
    ++entriesHere;
    status = visitor.OnEntry(*source, info, block, state.entries);
    if (!status.ok()) return status;
    offset = block.End();
  }
  return PackStatus::Ok();
}

// Moves `state` to the volume that follows; `more` is false when the walk ends.
PackStatus NextVolume(WalkState& state, const VolumeInfo& info, int entriesHere, bool requireAll,
                      PackageVisitor& visitor, bool& more) {
  more = false;
  std::string spanData = VolumeName(state.path, 1);
  if (state.first && (info.trailer.PackageFlags & kSpanCd) && entriesHere == 0 &&
      FileExists(spanData)) {
    visitor.OnNote("span package: the files follow in " + spanData);
    state = WalkState{spanData, state.path, 1, true, state.entries};
    more = true;
    return PackStatus::Ok();
  }
  if (!(info.trailer.PackageFlags & kMoreVolumes)) return PackStatus::Ok();
  std::string next = VolumeName(state.base, state.number + 1);
  if (!FileExists(next)) {
    if (requireAll) {
      return PackageFail(next, "volume " + std::to_string(state.number + 1) + " is missing");
    }
    visitor.OnNote("volume " + std::to_string(state.number + 1) + " (" + next +
                   ") not found; the walk ends");
    return PackStatus::Ok();
  }
  state.path = next;
  state.number += 1;
  state.first = false;
  more = true;
  return PackStatus::Ok();
}

}  // namespace

PackStatus WalkPackage(const std::string& firstVolume, bool requireAllVolumes,
                       PackageVisitor& visitor) {
  WalkState state{firstVolume, VolumeBaseName(firstVolume), 1, true, 0};
  bool more = true;
  while (more) {
    VolumeInfo info;
    int entriesHere = 0;
    PackStatus status = WalkVolume(state, visitor, info, entriesHere);
    if (status.ok())
      status = NextVolume(state, info, entriesHere, requireAllVolumes, visitor, more);
    if (!status.ok()) return status;
  }
  return PackStatus::Ok();
}
