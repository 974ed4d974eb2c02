#include "package/ByteSource.h"

#include <cstring>

bool ByteSource::ReadExact(uint64_t offset, void* buffer, size_t count) {
  if (offset > Size() || count > Size() - offset) return false;
  return ReadSome(offset, buffer, count) == count;
}

bool ByteSource::ReadU32(uint64_t offset, uint32_t& value) {
  unsigned char bytes[4];
  if (!ReadExact(offset, bytes, 4)) return false;
  value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t(bytes[3]) << 24);
  return true;
}

size_t MemorySource::ReadSome(uint64_t offset, void* buffer, size_t count) {
  if (offset >= bytes_.size()) return 0;
  const size_t available = static_cast<size_t>(bytes_.size() - offset);
  const size_t n = count < available ? count : available;
  std::memcpy(buffer, bytes_.data() + offset, n);
  return n;
}
