#include "package/PackageReader.h"

#include <cstring>
#include <vector>

bool IsNarrowPeFile(ByteSource& source) {
  char mz[2], pe[2];
  return source.ReadExact(0, mz, 2) && source.ReadExact(kPeSignatureOffset, pe, 2) &&
         mz[0] == 'M' && mz[1] == 'Z' && pe[0] == 'P' && pe[1] == 'E';
}

uint64_t PackageEndPointerOf(ByteSource& source) {
  uint32_t high = 0, low = 0;
  if (!IsNarrowPeFile(source) || !source.ReadU32(kEndPointerHighOffset, high) ||
      !source.ReadU32(kEndPointerLowOffset, low)) {
    return 0;
  }
  return (uint64_t(high) << 32) | low;
}

uint64_t PackageEndOf(ByteSource& source) {
  const uint64_t pointer = PackageEndPointerOf(source);
  return pointer != 0 ? pointer : source.Size();
}

bool ReadTrailer(ByteSource& source, PackageTrailer& trailer, TrailerPlace* place) {
  std::memset(&trailer, 0, sizeof trailer);
  const uint64_t end = PackageEndOf(source);
  uint32_t length = 0;
  if (end < 4 || end > source.Size() || !source.ReadU32(end - 4, length)) return false;
  if (length < 4 || length > end) return false;

  const uint64_t offset = end - length;
  const size_t recordBytes = (length < kTrailerSize ? length : kTrailerSize) - 4;
  if (!source.ReadExact(offset, &trailer, recordBytes)) {
    std::memset(&trailer, 0, sizeof trailer);
    return false;
  }
  trailer.TrailerLength = length;
  if (trailer.HeaderBlockCount == 0) trailer.HeaderBlockCount = 2;
  if (place) *place = {offset, length};
  return true;
}

uint32_t PackageChecksum(ByteSource& source, uint32_t trailerLength) {
  const uint64_t size = source.Size();
  if (size > kChecksumMaxFileSize) return kChecksumOff;

  uint32_t low = 0;
  const bool pointerSet = IsNarrowPeFile(source) && source.ReadU32(kEndPointerLowOffset, low) && low != 0;
  int64_t end = static_cast<int64_t>(pointerSet ? low : size) - trailerLength;
  uint64_t offset = 0;
  if (pointerSet) {
    offset = 512;
    end -= 512;
  }

  uint32_t sum = 0;
  int64_t remaining = end;
  std::vector<unsigned char> buffer(4096);
  size_t got = 0;
  do {
    got = source.ReadSome(offset, buffer.data(), buffer.size());
    offset += got;
    for (size_t i = 0; i + 4 <= got; i += 4) {
      remaining -= 4;
      if (remaining > 4) {
        sum += buffer[i] | (buffer[i + 1] << 8) | (buffer[i + 2] << 16) | (uint32_t(buffer[i + 3]) << 24);
      }
    }
    if (remaining > 4) sum += kChecksumOff;
  } while (got == buffer.size());
  return sum;
}

bool ChecksumPasses(uint32_t computed, uint32_t stored) {
  return computed == stored || computed == kChecksumOff || stored == kChecksumOff;
}

bool ReadBlockRef(ByteSource& source, uint64_t offset, uint64_t limit, BlockRef& block) {
  uint32_t raw = 0;
  if (offset > limit || limit - offset < 4 || !source.ReadU32(offset, raw)) return false;
  const int32_t n = static_cast<int32_t>(raw);
  // abs() in 64 bits: the most negative length must not wrap to itself.
  const uint64_t length = n < 0 ? uint64_t(-int64_t(n)) : uint64_t(n);
  if (length > limit - offset - 4) return false;
  block.offset = offset;
  block.storedLength = n;
  block.dataOffset = offset + 4;
  block.dataLength = static_cast<uint32_t>(length);
  block.compressed = n > 0;
  return true;
}

bool ReadBlockData(ByteSource& source, const BlockRef& block, std::string& data) {
  data.assign(block.dataLength, '\0');
  if (block.dataLength == 0) return true;
  if (source.ReadExact(block.dataOffset, &data[0], block.dataLength)) return true;
  data.clear();
  return false;
}
