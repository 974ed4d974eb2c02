// Writes the volume files of one package in order: the first volume starts
// with a given prefix (stub image and text blocks, or text blocks only),
// later volumes hold entries only. Each volume gets its own trailer and
// checksum when it is closed. Unless Keep() is called, the destructor removes
// every file written, so a failed build leaves nothing behind.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "pack/PackStatus.h"
#include "package/PackageFormat.h"

struct VolumeLayout {
  std::string firstPath;    // volume 1 of the walk
  std::string base;         // later volumes are base.002, base.003, ...
  std::string prefix;       // bytes of volume 1 before its first entry
  uint32_t dataOffset = 0;  // DataOffset of volume 1 (the image size; 0 without image)
  bool writeEndPointer =
      false;  // volume 1 starts with an image whose 0xF8..0xFF take the end pointer
  bool computeChecksum = true;  // false: every volume stores 1234
  uint64_t volumeSize = 0;      // largest volume file; 0: no limit
  PackageTrailer trailer{};     // template: flags, space, block count (DataOffset, FileCount,
                                // MoreVolumes and the checksum are set per volume)
};

class VolumeWriter {
 public:
  explicit VolumeWriter(VolumeLayout layout) : layout_(std::move(layout)) {}
  ~VolumeWriter();
  VolumeWriter(const VolumeWriter&) = delete;
  VolumeWriter& operator=(const VolumeWriter&) = delete;

  // Creates volume 1 and writes its prefix. Fails (kProject) when the prefix
  // and a trailer alone exceed the volume size, (kOutput) when the file
  // cannot be written.
  PackStatus Open();

  // Bytes of block data (after the 4-byte length) that still fit into the
  // current volume; UINT64_MAX without a volume size.
  uint64_t Room() const;
  bool CurrentHasEntries() const { return entriesInVolume_ > 0; }
  bool CurrentIsFirst() const { return paths_.size() == 1; }

  PackStatus WriteEntry(int32_t storedLength, const std::string& data);
  // Closes the current volume with MoreVolumes set and opens the next.
  PackStatus StartNextVolume();
  // Closes the last volume and stores `firstFileCount` as volume 1's FileCount.
  PackStatus Finish(uint32_t firstFileCount);
  // The files stay when the writer goes.
  void Keep() { keep_ = true; }

  const std::vector<std::string>& Paths() const { return paths_; }
  uint32_t TotalEntries() const { return totalEntries_; }

 private:
  PackStatus Create(const std::string& path, const std::string& prefix);
  PackStatus CloseCurrent(bool moreVolumes);

  VolumeLayout layout_;
  std::ofstream out_;
  std::vector<std::string> paths_;
  uint64_t volumeBytes_ = 0;
  uint32_t entriesInVolume_ = 0;
  uint32_t totalEntries_ = 0;
  uint64_t firstVolumeEnd_ = 0;
  bool keep_ = false;
};
