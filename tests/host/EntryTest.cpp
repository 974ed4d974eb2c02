#include <gtest/gtest.h>

#include "CraftedPackage.h"
#include "package/ByteSource.h"
#include "package/EntryHeader.h"
#include "package/ZInflate.h"

TEST(EntryHeader, Parse) {
  struct {
    const char* header;
    const char* name;
    const char* launch;
    uint32_t time;
  } cases[] = {
      {"|setup.exe*/S /X=1|1234|", "setup.exe", "setup.exe*/S /X=1", 1234},  // launch entry: item 0
      {"|data.bin|0|", "data.bin", "", 0},
      {"|data.bin|soon|", "data.bin", "", 0},   // not a number: no time
      {"|data.bin|-5|", "data.bin", "", 0},
      {"|data.bin|x|*|", "data.bin", "|data.bin|x|*|", 0},  // "*" elsewhere: the whole header
      {"|sub\\file.txt|4294967295|", "sub\\file.txt", "", 4294967295u},
      {"", "", "", 0},
  };
  for (const auto& c : cases) {
    const EntryHeader e = ParseEntryHeader(c.header);
    EXPECT_EQ(e.name, c.name) << c.header;
    EXPECT_EQ(e.launchEntry, c.launch) << c.header;
    EXPECT_EQ(e.dosTime, c.time) << c.header;
  }
  const std::string args = "/S";
  EXPECT_EQ(BuildEntryHeader("setup.exe", &args, 7), "|setup.exe*/S|7|");
  EXPECT_EQ(BuildEntryHeader("a.txt", nullptr, 0), "|a.txt|0|");
}

TEST(EntryHeader, SafeNames) {
  struct {
    const char* name;
    bool safe;
  } cases[] = {
      {"setup.exe", true},     {"sub\\dir\\file.txt", true}, {"sub/file.txt", true},
      {".hidden", true},       {"a\\.\\b", true},            {"", false},
      {"\\windows\\x", false}, {"/etc/passwd", false},       {"C:\\x", false},
      {"c:x", false},          {"..\\x", false},             {"a\\..\\..\\x", false},
      {"a/../x", false},       {"...\\x", false},            {".. \\x", false},
      {"dir\\", false},        {"a\x01.txt", false},         {"file.txt:stream", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSafeEntryName(c.name), c.safe) << c.name;
}

TEST(EntryHeader, DosDateTime) {
  EXPECT_EQ(DosDateTime(2027, 1, 1, 0, 0, 0), ((47u << 9 | 1 << 5 | 1) << 16));
  EXPECT_EQ(DosDateTime(1980, 1, 1, 23, 59, 58) & 0xFFFF, (23u << 11) | (59 << 5) | 29);
  EXPECT_EQ(DosDateTime(1970, 1, 1, 0, 0, 0), 0u);  // before the DOS epoch: not set
}

namespace {

std::string Collect(ByteSource& source, const BlockRef& block, std::string& error, size_t* pieces = nullptr) {
  std::string out;
  size_t count = 0;
  ReadBlockPieces(source, block, [&](const char* data, size_t size) {
    out.append(data, size);
    ++count;
    return true;
  }, error);
  if (pieces) *pieces = count;
  return out;
}

std::string LargeText() {
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
  return text;
}

}  // namespace

TEST(Inflate, CompressedAndStoredBlocksInPieces) {
  const std::string content = LargeText();
  const std::string z = CompressBytes(content, 9);
  MemorySource source(U32(static_cast<uint32_t>(z.size())) + z + U32(static_cast<uint32_t>(-int32_t(content.size()))) + content);
  BlockRef block;
  std::string error;
  size_t pieces = 0;
  ASSERT_TRUE(ReadBlockRef(source, 0, source.Size(), block));
  EXPECT_EQ(Collect(source, block, error, &pieces), content);
  EXPECT_EQ(error, "");
  EXPECT_GT(pieces, 4u);  // bounded pieces, not one buffer
  ASSERT_TRUE(ReadBlockRef(source, block.End(), source.Size(), block));
  EXPECT_EQ(Collect(source, block, error), content);
}

TEST(Inflate, CorruptStreamsFailWithAMessage) {
  const std::string z = CompressBytes(LargeText(), 6);
  std::string flipped = z;
  flipped[z.size() / 2] ^= 0x55;
  const std::string cases[] = {flipped, z.substr(0, z.size() / 2), "not a zlib stream at all", std::string(1, '\x78')};
  for (const std::string& data : cases) {
    MemorySource source(U32(static_cast<uint32_t>(data.size())) + data);
    BlockRef block;
    ASSERT_TRUE(ReadBlockRef(source, 0, source.Size(), block));
    std::string error;
    bool ok = ReadBlockPieces(source, block, [](const char*, size_t) { return true; }, error);
    EXPECT_FALSE(ok) << data.size();
    EXPECT_NE(error, "") << data.size();
  }
}

TEST(Inflate, SinkCanStop) {
  const std::string content = LargeText();
  MemorySource source(U32(static_cast<uint32_t>(-int32_t(content.size()))) + content);
  BlockRef block;
  ASSERT_TRUE(ReadBlockRef(source, 0, source.Size(), block));
  std::string error = "x";
  int calls = 0;
  EXPECT_FALSE(ReadBlockPieces(source, block, [&](const char*, size_t) { return ++calls < 2; }, error));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(error, "");
}
