#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

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
      {"file.txt::$DATA", false}, {"sub\\a:b", false},
      // Device names, in any case, with or without an extension, in any
      // folder: writing "COM1" or "CON" may block for ever, "NUL" swallows
      // the content and counts as saved.
      {"CON", false},          {"con", false},               {"Con.txt", false},
      {"PRN", false},          {"aux.log", false},           {"NUL", false},
      {"nul.tar.gz", false},   {"sub\\NUL", false},          {"sub/nul.txt", false},
      {"AUX\\file.txt", false}, {"COM1", false},             {"com9.log", false},
      {"COM0", false},         {"LPT1", false},              {"lpt9.txt", false},
      {"LPT0.txt", false},     {"COM\xB9", false},           {"lpt\xB2.txt", false},
      {"CONIN$", false},       {"conout$", false},           {"CONOUT$.txt", false},
      {"CON .txt", false},     {"nul..txt", false},
      // Look-alikes: Windows drops dots and blanks at the end of a part, so
      // "a.txt." would land in "a.txt" and "dir.\\x" in "dir\\x".
      {"a.txt.", false},       {"a.txt ", false},            {"a.txt. .", false},
      {"dir.\\x", false},      {"dir \\x", false},           {"  ", false},
      // Names that only resemble devices are files like any other.
      {"CONSOLE.txt", true},   {"COM10", true},              {"COM", true},
      {"LPT", true},           {"NULL", true},               {"xcon", true},
      {"con_file.txt", true},  {"COMA.txt", true},           {"CONIN", true},
      {"my con.txt", true},    {"sub\\auxiliary.txt", true}, {"a.b.c", true},
      {" lead.txt", true},     {"nul\x7F.txt", true},
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

constexpr size_t kPiece = 65536;  // the reader's input and output piece

// A zlib stream of `prefixLength` bytes of "A" deflated and ended with a sync
// flush, then `content` (the rest) in stored blocks, then the Adler-32.
std::string SyncFlushThenStored(size_t prefixLength, const std::string& rest, std::string& content) {
  content = std::string(prefixLength, 'A') + rest;
  z_stream z{};
  EXPECT_EQ(deflateInit(&z, 9), Z_OK);
  std::vector<unsigned char> out(1024);
  z.next_in = reinterpret_cast<Bytef*>(&content[0]);
  z.avail_in = static_cast<uInt>(prefixLength);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_SYNC_FLUSH), Z_OK);
  std::string stream(reinterpret_cast<const char*>(out.data()), out.size() - z.avail_out);
  deflateEnd(&z);
  // Stored blocks start byte-aligned after the sync flush: a header byte
  // (BFINAL, BTYPE 00), LEN and NLEN, then the bytes.
  for (size_t at = 0; at < rest.size();) {
    const size_t length = std::min<size_t>(65535, rest.size() - at);
    const bool last = at + length == rest.size();
    stream += static_cast<char>(last ? 1 : 0);
    stream += static_cast<char>(length & 0xFF);
    stream += static_cast<char>(length >> 8);
    stream += static_cast<char>(~length & 0xFF);
    stream += static_cast<char>((~length >> 8) & 0xFF);
    stream.append(rest, at, length);
    at += length;
  }
  const uLong adler = adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(content.data()),
                              static_cast<uInt>(content.size()));
  for (int shift = 24; shift >= 0; shift -= 8) stream += static_cast<char>((adler >> shift) & 0xFF);
  return stream;
}

// True when one inflate call given the first 64 KiB of `stream` and 64 KiB
// of room fills the room exactly as it takes the last input byte, with the
// stream not yet at its end: the reader's next call then has neither input
// nor (yet) output, and zlib answers Z_BUF_ERROR.
bool HitsTheBoundary(const std::string& stream) {
  if (stream.size() <= kPiece) return false;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  std::vector<unsigned char> out(kPiece);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(kPiece);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(kPiece);
  const int code = inflate(&z, Z_NO_FLUSH);
  const bool hit = code == Z_OK && z.avail_in == 0 && z.avail_out == 0;
  inflateEnd(&z);
  return hit;
}

bool ZlibUncompresses(const std::string& stream, const std::string& content) {
  std::vector<unsigned char> out(content.size() + 1);
  uLongf length = static_cast<uLongf>(out.size());
  return uncompress(out.data(), &length, reinterpret_cast<const Bytef*>(stream.data()),
                    static_cast<uLong>(stream.size())) == Z_OK &&
         std::string(reinterpret_cast<const char*>(out.data()), length) == content;
}

// The deflated prefix is shorter than its content, the stored blocks are 5
// bytes longer than theirs: a prefix length where both even out lines the
// end of the first input piece up with the end of the first output piece.
std::string BoundaryStream(std::string& content) {
  std::string rest(200000, '\0');
  for (size_t i = 0; i < rest.size(); ++i) rest[i] = static_cast<char>((i * 2654435761u) >> 13);
  for (size_t prefix = 1; prefix < 2000; ++prefix) {
    std::string stream = SyncFlushThenStored(prefix, rest, content);
    if (HitsTheBoundary(stream)) return stream;
  }
  ADD_FAILURE() << "no prefix length lines the boundaries up";
  return "";
}

}  // namespace

TEST(Inflate, InputAndOutputPiecesEndingTogether) {
  std::string content;
  const std::string z = BoundaryStream(content);
  ASSERT_TRUE(HitsTheBoundary(z));
  ASSERT_TRUE(ZlibUncompresses(z, content));  // zlib's own one-shot reader takes it
  struct {
    std::string data;
    bool ok;
    const char* note;
  } rows[] = {
      {z, true, "the whole stream: Z_BUF_ERROR at the boundary means feed more input"},
      {z.substr(0, kPiece), false, "cut at the boundary: a truncated stream, not a loop"},
      {z.substr(0, kPiece + 3), false, "cut inside the next stored block"},
      {z.substr(0, z.size() - 4), false, "the Adler-32 missing"},
  };
  for (const auto& row : rows) {
    MemorySource source(U32(static_cast<uint32_t>(row.data.size())) + row.data);
    BlockRef block;
    ASSERT_TRUE(ReadBlockRef(source, 0, source.Size(), block));
    std::string error;
    const std::string got = Collect(source, block, error);
    if (row.ok) {
      EXPECT_EQ(error, "") << row.note;
      EXPECT_TRUE(got == content) << row.note << ": " << got.size() << " of " << content.size() << " bytes";
    } else {
      EXPECT_NE(error, "") << row.note;
    }
  }
}

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

// The stub's stand-in for zlib's crc32 must give zlib's values: empty input,
// every single byte value, a start value carried over, and long input.
TEST(Inflate, BitwiseCrc32MatchesZlib) {
  std::string allBytes;
  for (int b = 0; b < 256; ++b) allBytes += static_cast<char>(b);
  struct {
    uint32_t start;
    std::string data;
    const char* note;
  } cases[] = {
      {0, "", "nothing: the start value back"},
      {0, "123456789", "the check value of CRC-32"},
      {0, allBytes, "every byte value"},
      {0xCBF43926u, "continued", "a running CRC carried over"},
      {0xFFFFFFFFu, std::string(3, '\0'), "zero bytes after all-ones"},
      {0, LargeText(), "long input"},
  };
  for (const auto& c : cases) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(c.data.data());
    EXPECT_EQ(BitwiseCrc32(c.start, bytes, c.data.size()),
              crc32(c.start, bytes, static_cast<uInt>(c.data.size())))
        << c.note;
  }
  EXPECT_EQ(BitwiseCrc32(0, reinterpret_cast<const unsigned char*>("123456789"), 9), 0xCBF43926u);
}
