#include "pack/VolumeWriter.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "pack/PackFiles.h"
#include "package/ByteSource.h"
#include "package/PackageReader.h"

namespace {

void PutU32(char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PutU16(char* at, uint16_t value) {
  at[0] = static_cast<char>(value & 0xFF);
  at[1] = static_cast<char>(value >> 8);
}

// The trailer in its little-endian file form, whatever the host's byte order.
std::string TrailerBytes(const PackageTrailer& t) {
  std::string bytes(kTrailerSize, '\0');
  char* at = &bytes[0];
  at[offsetof(PackageTrailer, Version)] = static_cast<char>(t.Version);
  at[offsetof(PackageTrailer, HeaderBlockCount)] = static_cast<char>(t.HeaderBlockCount);
  PutU16(at + offsetof(PackageTrailer, Reserved2), t.Reserved2);
  PutU32(at + offsetof(PackageTrailer, DataOffset), t.DataOffset);
  PutU32(at + offsetof(PackageTrailer, FileCount), t.FileCount);
  PutU32(at + offsetof(PackageTrailer, PackageMagic), t.PackageMagic);
  PutU32(at + offsetof(PackageTrailer, PackageChecksum), t.PackageChecksum);
  std::memcpy(at + offsetof(PackageTrailer, Reserved20), t.Reserved20, sizeof t.Reserved20);
  for (int k = 0; k < kSpaceEntries; ++k) {
    PutU32(at + offsetof(PackageTrailer, SpaceByClusterSize) + 4 * k, t.SpaceByClusterSize[k]);
  }
  at[offsetof(PackageTrailer, Reserved64)] = static_cast<char>(t.Reserved64);
  at[offsetof(PackageTrailer, PackageFlags)] = static_cast<char>(t.PackageFlags);
  at[offsetof(PackageTrailer, IsWebStub)] = static_cast<char>(t.IsWebStub);
  at[offsetof(PackageTrailer, AskBeforeDownload)] = static_cast<char>(t.AskBeforeDownload);
  at[offsetof(PackageTrailer, HasUpdateAgent)] = static_cast<char>(t.HasUpdateAgent);
  at[offsetof(PackageTrailer, IsUpdateAgent)] = static_cast<char>(t.IsUpdateAgent);
  PutU32(at + offsetof(PackageTrailer, TrailerLength), t.TrailerLength);
  return bytes;
}

PackStatus OutputFail(const std::string& path, const std::string& what) {
  std::string reason = errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
  return PackStatus::Fail(ExitCode::kOutput, path + ": " + what + reason);
}

// Rewrites bytes inside a closed file; the trailer and end pointer get their
// final values only once the volume's size is known.
PackStatus PatchFile(const std::string& path, uint64_t offset, const void* bytes, size_t count) {
  errno = 0;
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  if (!file) return OutputFail(path, "cannot reopen the volume");
  file.seekp(static_cast<std::streamoff>(offset));
  file.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
  file.close();
  if (!file) return OutputFail(path, "cannot update the volume");
  return PackStatus::Ok();
}

}  // namespace

VolumeWriter::~VolumeWriter() {
  if (out_.is_open()) out_.close();
  if (keep_) return;
  for (const std::string& path : paths_) std::remove(path.c_str());
}

PackStatus VolumeWriter::Open() {
  if (layout_.volumeSize != 0 && layout_.prefix.size() + kTrailerSize > layout_.volumeSize) {
    return PackStatus::Fail(ExitCode::kProject,
                            "VolumeSize " + std::to_string(layout_.volumeSize) +
                                " is too small: the first volume needs " +
                                std::to_string(layout_.prefix.size() + kTrailerSize) +
                                " bytes before any file");
  }
  return Create(layout_.firstPath, layout_.prefix);
}

PackStatus VolumeWriter::Create(const std::string& path, const std::string& prefix) {
  errno = 0;
  out_.open(path, std::ios::out | std::ios::binary | std::ios::trunc);
  if (!out_) return OutputFail(path, "cannot create the file");
  paths_.push_back(path);
  out_.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
  if (!out_) return OutputFail(path, "cannot write");
  volumeBytes_ = prefix.size();
  entriesInVolume_ = 0;
  return PackStatus::Ok();
}

uint64_t VolumeWriter::Room() const {
  if (layout_.volumeSize == 0) return UINT64_MAX;
  uint64_t used = volumeBytes_ + 4 + kTrailerSize;
  return used >= layout_.volumeSize ? 0 : layout_.volumeSize - used;
}

PackStatus VolumeWriter::WriteEntry(int32_t storedLength, const std::string& data) {
  char length[4];
  PutU32(length, static_cast<uint32_t>(storedLength));
  errno = 0;
  out_.write(length, 4);
  out_.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out_) return OutputFail(paths_.back(), "cannot write");
  volumeBytes_ += 4 + data.size();
  ++entriesInVolume_;
  ++totalEntries_;
  return PackStatus::Ok();
}

PackStatus VolumeWriter::StartNextVolume() {
  PackStatus status = CloseCurrent(true);
  if (!status.ok()) return status;
  return Create(VolumeName(layout_.base, static_cast<int>(paths_.size()) + 1), std::string());
}

PackStatus VolumeWriter::CloseCurrent(bool moreVolumes) {
  const std::string& path = paths_.back();
  bool first = CurrentIsFirst();
  PackageTrailer trailer = layout_.trailer;
  trailer.DataOffset = first ? layout_.dataOffset : 0;
  trailer.FileCount = entriesInVolume_;
  trailer.PackageChecksum = 0;
  trailer.TrailerLength = kTrailerSize;
  trailer.PackageFlags = static_cast<uint8_t>((trailer.PackageFlags & ~kMoreVolumes) |
                                              (moreVolumes ? kMoreVolumes : 0));
  std::string trailerBytes = TrailerBytes(trailer);
  errno = 0;
  out_.write(trailerBytes.data(), static_cast<std::streamsize>(trailerBytes.size()));
  out_.close();
  if (!out_) return OutputFail(path, "cannot write");
  uint64_t end = volumeBytes_ + kTrailerSize;
  if (first) firstVolumeEnd_ = end;
  if (first && layout_.writeEndPointer) {
    char pointer[8];
    PutU32(pointer, static_cast<uint32_t>(end >> 32));
    PutU32(pointer + 4, static_cast<uint32_t>(end & 0xFFFFFFFFu));
    PackStatus status = PatchFile(path, kEndPointerHighOffset, pointer, sizeof pointer);
    if (!status.ok()) return status;
  }
  // The checksum range ends before the trailer, so patching the checksum
  // (and later the first volume's FileCount) leaves it valid.
  uint32_t checksum = kChecksumOff;
  if (layout_.computeChecksum) {
    std::unique_ptr<ByteSource> source = OpenFileSource(path);
    if (!source) return OutputFail(path, "cannot read back the volume");
    checksum = PackageChecksum(*source, kTrailerSize);
  }
  char field[4];
  PutU32(field, checksum);
  return PatchFile(path, end - kTrailerSize + offsetof(PackageTrailer, PackageChecksum), field, 4);
}

PackStatus VolumeWriter::Finish(uint32_t firstFileCount) {
  PackStatus status = CloseCurrent(false);
  if (!status.ok()) return status;
  uint64_t trailerStart = firstVolumeEnd_ - kTrailerSize;
  char field[4];
  PutU32(field, firstFileCount);
  return PatchFile(layout_.firstPath, trailerStart + offsetof(PackageTrailer, FileCount), field, 4);
}
