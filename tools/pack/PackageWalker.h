// Walks a package like the stub's unpacker: volume after volume while
// MoreVolumes is set, the text blocks of the first volume, then every file
// entry. Every read is bounded by the start of the volume's trailer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "pack/PackStatus.h"
#include "package/ByteSource.h"
#include "package/PackageReader.h"

struct VolumeInfo {
  int number = 1;  // 1-based within the walk
  std::string path;
  uint64_t fileSize = 0;
  bool isPeFile = false;
  uint64_t endPointer = 0;  // PackageEndPointer; 0 when unset
  uint64_t packageEnd = 0;  // the end pointer, or the file size
  TrailerPlace place;
  PackageTrailer trailer{};  // as stored (HeaderBlockCount 0 reads as 2)
  uint32_t computedChecksum = 0;
  bool checksumPasses = false;
};

struct TextBlocks {
  int count = 0;  // HeaderBlockCount
  std::string language;
  std::string settings;
  std::string web;  // empty unless count > 2
};

class PackageVisitor {
 public:
  virtual ~PackageVisitor() = default;
  // Called before the volume's blocks are read; a failure stops the walk.
  virtual PackStatus OnVolume(const VolumeInfo& volume) = 0;
  virtual PackStatus OnTextBlocks(const VolumeInfo& volume, const TextBlocks& blocks) = 0;
  // `index` counts entries over all volumes from 1.
  virtual PackStatus OnEntry(ByteSource& source, const VolumeInfo& volume, const BlockRef& block,
                             int index) = 0;
  // Something the walk did on its own, such as following a span package to
  // its data volume or stopping at a missing volume.
  virtual void OnNote(const std::string& note) = 0;
};

// Walks the package whose first volume is `firstVolume`. When a later volume
// is missing, `requireAllVolumes` makes that an error (kPackage); otherwise
// the walk ends with a note. A span package's program file without entries
// is followed to its data volume PATH.001, as the stub does after its
// restart. Fails with kPackage on an unreadable, truncated or foreign file.
PackStatus WalkPackage(const std::string& firstVolume, bool requireAllVolumes,
                       PackageVisitor& visitor);
