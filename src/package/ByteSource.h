// Random-access reading of a package file. The reader, the checksum and the
// block walk work on this interface; each platform opens real files for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads up to `count` bytes at `offset`; returns the number read (0 at or
  // beyond the end or on a read error).
  virtual size_t ReadSome(uint64_t offset, void* buffer, size_t count) = 0;

  // True when exactly `count` bytes could be read at `offset`.
  bool ReadExact(uint64_t offset, void* buffer, size_t count);
  // The little-endian 32-bit value at `offset`; false when it lies outside.
  bool ReadU32(uint64_t offset, uint32_t& value);
};

// A source over bytes held in memory (tests, and packages being built).
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
  uint64_t Size() const override { return bytes_.size(); }
  size_t ReadSome(uint64_t offset, void* buffer, size_t count) override;

 private:
  std::string bytes_;
};

// Opens a file read-only with reading and writing shared; null when it cannot
// be opened. Defined once per platform.
std::unique_ptr<ByteSource> OpenFileSource(const std::string& path);

// Cluster size in bytes of the drive holding `folder`; 0 when unknown.
// Defined once per platform.
uint32_t DriveClusterSize(const std::string& folder);
