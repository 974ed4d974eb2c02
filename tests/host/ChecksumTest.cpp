#include <gtest/gtest.h>

#include "CraftedPackage.h"
#include "package/ByteSource.h"
#include "package/PackageReader.h"

namespace {

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 3);
  return bytes;
}

}  // namespace

// The expected sums below were worked out once with a separate Python
// program that follows the package checksum's rules step by step (reads of 4096
// bytes, Remaining decreased per word, 1234 added after a read while more
// than 4 bytes remain), not with the code under test; Pattern(n) is byte i =
// (i * 7 + 3) & 0xFF there too.
TEST(Checksum, SumsWordsBeforeTheTrailer) {
  // 20 data bytes + trailer: words are summed while more than 4 bytes remain
  // after them, so the first three count: 0x18110A03 + 0x342D261F +
  // 0x5049423B = 0x9C87725D (checked by hand as well). One short read: no 1234.
  const std::string bytes = Pattern(20) + std::string(kTrailerSize, 'T');
  MemorySource source(bytes);
  EXPECT_EQ(PackageChecksum(source, kTrailerSize), 0x9C87725Du);
}

TEST(Checksum, AddsPerFullReadAndStopsAbove51200) {
  // End = 5000 - 74 = 4926: the first read of 4096 bytes adds its 1024 words
  // and 1234 (830 bytes remain), the second adds its first 206 words.
  MemorySource source(Pattern(5000));
  EXPECT_EQ(PackageChecksum(source, kTrailerSize), 663351216u);

  MemorySource at51200(Pattern(51200)), above(Pattern(51201));
  EXPECT_EQ(PackageChecksum(at51200, kTrailerSize), 4088566164u);
  EXPECT_EQ(PackageChecksum(above, kTrailerSize), kChecksumOff);
}

TEST(Checksum, EndPointerStartsAt512) {
  // The end pointer (1186, the byte after the trailer) makes the sum start at
  // 512 with End = 1186 - 74 - 512 = 600; the tail behind it is read but
  // counts for nothing.
  std::string bytes = FakeStub() + Pattern(600) + std::string(kTrailerSize, 'T');
  const uint32_t end = static_cast<uint32_t>(bytes.size());
  ASSERT_EQ(end, 1186u);
  PutU32(bytes, kEndPointerLowOffset, end);
  bytes += "TAIL DATA NOT SUMMED";
  MemorySource source(bytes);
  EXPECT_EQ(PackageChecksum(source, kTrailerSize), 4041529988u);
}

TEST(Checksum, Passes) {
  EXPECT_TRUE(ChecksumPasses(5, 5));
  EXPECT_TRUE(ChecksumPasses(1234, 5));
  EXPECT_TRUE(ChecksumPasses(5, 1234));
  EXPECT_FALSE(ChecksumPasses(5, 6));
}
