#include <gtest/gtest.h>

#include "CraftedPackage.h"
#include "package/ByteSource.h"
#include "package/PackageReader.h"

namespace {

uint32_t WordAt(const std::string& bytes, size_t at) {
  return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8) |
         (static_cast<unsigned char>(bytes[at + 2]) << 16) | (uint32_t(static_cast<unsigned char>(bytes[at + 3])) << 24);
}

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 3);
  return bytes;
}

}  // namespace

TEST(Checksum, SumsWordsBeforeTheTrailer) {
  // 20 data bytes + trailer: words are summed while more than 4 bytes remain
  // after them, so the first three count.
  const std::string bytes = Pattern(20) + std::string(kTrailerSize, 'T');
  MemorySource source(bytes);
  EXPECT_EQ(PackageChecksum(source, kTrailerSize), WordAt(bytes, 0) + WordAt(bytes, 4) + WordAt(bytes, 8));
}

TEST(Checksum, AddsPerFullReadAndStopsAbove51200) {
  const std::string bytes = Pattern(5000);  // End = 4926: one full read with more left
  uint32_t expected = 1234;
  int64_t remaining = 5000 - kTrailerSize;
  for (size_t at = 0; at + 4 <= bytes.size(); at += 4) {
    remaining -= 4;
    if (remaining > 4) expected += WordAt(bytes, at);
  }
  MemorySource source(bytes);
  EXPECT_EQ(PackageChecksum(source, kTrailerSize), expected);

  MemorySource at51200(Pattern(51200)), above(Pattern(51201));
  EXPECT_NE(PackageChecksum(at51200, kTrailerSize), kChecksumOff);
  EXPECT_EQ(PackageChecksum(above, kTrailerSize), kChecksumOff);
}

TEST(Checksum, EndPointerStartsAt512) {
  std::string bytes = FakeStub() + Pattern(600) + std::string(kTrailerSize, 'T');
  const uint32_t end = static_cast<uint32_t>(bytes.size());
  PutU32(bytes, kEndPointerLowOffset, end);
  bytes += "TAIL DATA NOT SUMMED";
  uint32_t expected = 0;
  int64_t remaining = int64_t(end) - kTrailerSize - 512;
  for (size_t at = 512; at + 4 <= bytes.size(); at += 4) {
    remaining -= 4;
    if (remaining > 4) expected += WordAt(bytes, at);
  }
  MemorySource source(bytes);
  EXPECT_EQ(PackageChecksum(source, kTrailerSize), expected);
}

TEST(Checksum, Passes) {
  EXPECT_TRUE(ChecksumPasses(5, 5));
  EXPECT_TRUE(ChecksumPasses(1234, 5));
  EXPECT_TRUE(ChecksumPasses(5, 1234));
  EXPECT_FALSE(ChecksumPasses(5, 6));
}
