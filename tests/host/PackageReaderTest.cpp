#include <gtest/gtest.h>

#include "CraftedPackage.h"
#include "package/ByteSource.h"
#include "package/PackageReader.h"
#include "package/TGFileInfo.h"

namespace {

TGFileInfo Read(const std::string& bytes) {
  MemorySource source(bytes);
  return TGFileInfo(source);
}

}  // namespace

TEST(PackageReader, ReadsTrailerAndTextBlocks) {
  CraftedPackage p;
  p.web = "|http://127.0.0.1/|setup.exe|1|tok|1234|";
  p.trailer.PackageFlags = kShowTempDriveNotice | kSpanCd | kWriteRunLog;
  p.trailer.IsUpdateAgent = 1;
  p.trailer.FileCount = 3;
  const TGFileInfo info = Read(p.Bytes());

  EXPECT_TRUE(info.HasValidMagic());
  EXPECT_EQ(uint32_t(info.Trailer().FileCount), 3u);
  EXPECT_EQ(uint32_t(info.Trailer().HeaderBlockCount), 3);
  EXPECT_EQ(uint32_t(info.Trailer().DataOffset), 512 + 4 + p.language.size() + 4 + p.settings.size() + 4 + p.web.size());
  EXPECT_TRUE(info.ShowTempDriveNotice());
  EXPECT_TRUE(info.IsSpanCd());
  EXPECT_TRUE(info.WriteRunLog());
  EXPECT_FALSE(info.ShowActivityBar());
  EXPECT_FALSE(info.MoreVolumes());
  EXPECT_TRUE(info.IsUpdateAgent());
  EXPECT_FALSE(info.IsWebStub());
  EXPECT_EQ(info.LanguageBlock(), p.language);
  EXPECT_EQ(info.ServerUrl(), "http://");
  EXPECT_EQ(info.InfoFileName(), "prod.info");
  EXPECT_EQ(info.RecordFileName(), "prod.original");
  EXPECT_EQ(info.AgentExeName(), "agent.exe");
  EXPECT_EQ(info.WebFolder(), "http://127.0.0.1/");
  EXPECT_EQ(info.WebFileName(), "setup.exe");
  EXPECT_TRUE(info.AlwaysDownload());
  EXPECT_EQ(info.WebToken(false), "tok");
  EXPECT_EQ(info.WebFileSize(), "1234");
  EXPECT_FALSE(info.SilentRun());
}

TEST(PackageReader, SettingsWithoutAgent) {
  CraftedPackage p;
  p.settings = "|http://|.info|.exe||0|";
  const TGFileInfo info = Read(p.Bytes());
  EXPECT_EQ(info.AgentExeName(), ".exe");
  EXPECT_EQ(info.RecordFileName(), ".original");
  EXPECT_FALSE(info.SilentRun());
  EXPECT_EQ(info.WebBlock(), "");

  p.settings = "|http://host/dir/|sub/prod.v2.info|x.exe||1|";
  EXPECT_EQ(Read(p.Bytes()).RecordFileName(), "prod.original");
  EXPECT_TRUE(Read(p.Bytes()).SilentRun());
}

TEST(PackageReader, EndPointerFindsPackageBeforeATail) {
  CraftedPackage p;
  std::string bytes = p.Bytes();
  const uint32_t packageEnd = static_cast<uint32_t>(bytes.size());
  PutU32(bytes, kEndPointerLowOffset, packageEnd);
  bytes += std::string(300, 'S');  // a signature appended later
  EXPECT_EQ(Read(bytes).SettingsBlock(), p.settings);

  PutU32(bytes, kEndPointerLowOffset, 0);  // pointer unset: the physical end holds no trailer
  const TGFileInfo unset = Read(bytes);
  EXPECT_FALSE(unset.HasValidMagic());
  EXPECT_EQ(unset.SettingsBlock(), "");

  // Without "PE" at 0x100 the pointer is ignored and the physical end wins.
  CraftedPackage notPe;
  notPe.image[0x100] = 'X';
  std::string plain = notPe.Bytes();
  PutU32(plain, kEndPointerLowOffset, 77);
  EXPECT_EQ(Read(plain).SettingsBlock(), notPe.settings);
}

TEST(PackageReader, OlderShortTrailer) {
  // A 40-byte trailer: 36 bytes are read, the rest stays zero, and a stored
  // HeaderBlockCount of 0 counts as 2.
  CraftedPackage p;
  p.trailer.HeaderBlockCount = 0;
  p.trailer.IsUpdateAgent = 1;  // beyond byte 36: must read as zero
  std::string bytes = p.Bytes();
  bytes.resize(bytes.size() - kTrailerSize);
  PackageTrailer t = p.trailer;
  t.DataOffset = 512;
  t.SpaceByClusterSize[0] = 1000;  // offset 28: inside the 36 bytes
  t.SpaceByClusterSize[2] = 2000;  // offset 36: outside
  bytes += TrailerBytes(t).substr(0, 36) + U32(40);

  const TGFileInfo info = Read(bytes);
  EXPECT_EQ(uint32_t(info.Trailer().TrailerLength), 40u);
  EXPECT_EQ(uint32_t(info.Trailer().HeaderBlockCount), 2);
  EXPECT_EQ(uint32_t(info.Trailer().SpaceByClusterSize[0]), 1000u);
  EXPECT_EQ(uint32_t(info.Trailer().SpaceByClusterSize[2]), 0u);
  EXPECT_FALSE(info.IsUpdateAgent());
  EXPECT_EQ(info.SettingsBlock(), p.settings);
}

TEST(PackageReader, WrongMagicKeepsTheRecordOnly) {
  CraftedPackage p;
  p.trailer.PackageMagic = 0x12345678;
  p.trailer.PackageFlags = kShowActivityBar;
  p.trailer.SpaceByClusterSize[0] = 99;
  const TGFileInfo info = Read(p.Bytes());
  EXPECT_TRUE(info.ShowActivityBar());
  EXPECT_EQ(uint32_t(info.Trailer().SpaceByClusterSize[0]), 99u);
  EXPECT_EQ(info.LanguageBlock(), "");
  EXPECT_EQ(info.SettingsBlock(), "");
}

TEST(PackageReader, MissingFileIsEmpty) {
  const TGFileInfo info("/nonexistent/folder/setup.exe");
  EXPECT_FALSE(info.HasValidMagic());
  EXPECT_EQ(uint32_t(info.Trailer().TrailerLength), 0u);
  EXPECT_EQ(info.AgentExeName(), "");
  EXPECT_FALSE(info.IsUpdateAgent());
}

// Damaged and hostile files: the reader keeps to the file and returns what
// it could read. (Run under AddressSanitizer, a wild read fails the test.)
TEST(PackageReader, BadInputStaysInsideTheFile) {
  const std::string good = CraftedPackage().Bytes();
  const size_t textStart = 512;
  struct Case {
    const char* what;
    std::string bytes;
    bool magic;
    bool settings;
  };
  std::vector<Case> cases;
  for (size_t cut : {size_t(0), size_t(1), size_t(3), size_t(4), size_t(100), good.size() - 1}) {
    cases.push_back({"truncated", good.substr(0, cut), false, false});
  }
  std::string huge = good;
  PutU32(huge, huge.size() - 4, 0xFFFFFFF0u);
  cases.push_back({"trailer length beyond the file", huge, false, false});
  std::string tiny = good;
  PutU32(tiny, tiny.size() - 4, 2);
  cases.push_back({"trailer length below 4", tiny, false, false});
  std::string negative = good;
  PutU32(negative, textStart, 0x80000000u);
  cases.push_back({"most negative block length", negative, true, false});
  std::string longBlock = good;
  PutU32(longBlock, textStart, 0x7FFFFFFFu);
  cases.push_back({"block longer than the file", longBlock, true, false});
  std::string settingsTooLong = good;
  PutU32(settingsTooLong, textStart + 4 + CraftedPackage().language.size(), 100000);
  cases.push_back({"second block too long", settingsTooLong, true, false});
  std::string farOffset = good;
  PutU32(farOffset, good.size() - kTrailerSize + 4, 0xFFFFFF00u);
  cases.push_back({"DataOffset beyond the end", farOffset, true, false});
  std::string pointer = good;
  PutU32(pointer, kEndPointerHighOffset, 1);
  cases.push_back({"end pointer beyond the file", pointer, false, false});

  for (const Case& c : cases) {
    const TGFileInfo info = Read(c.bytes);
    EXPECT_EQ(info.HasValidMagic(), c.magic) << c.what;
    EXPECT_EQ(!info.SettingsBlock().empty(), c.settings) << c.what;
  }
  // A language block that is not a delimited list reads, but has no items.
  CraftedPackage noSeparators;
  noSeparators.settings = "no separators";
  EXPECT_EQ(Read(noSeparators.Bytes()).AgentExeName(), "");
}

TEST(PackageReader, SpaceByClusterSize) {
  PackageTrailer t{};
  for (int k = 0; k < kSpaceEntries; ++k) t.SpaceByClusterSize[k] = 1000 + k;
  struct {
    uint32_t cluster;
    uint32_t expected;
  } cases[] = {
      {0, 1000},        // unknown cluster size: the plain total
      {511, 1000},
      {512, 1001},
      {4096, 1004},
      {4097, 1004},
      {65536, 1008},
      {1u << 20, 1008},
  };
  for (const auto& c : cases) EXPECT_EQ(SpaceForClusterSize(t, c.cluster), c.expected) << c.cluster;
}

TEST(PackageReader, Blocks) {
  MemorySource source(U32(5) + "hello" + U32(0xFFFFFFFDu) + "abc");
  BlockRef block;
  ASSERT_TRUE(ReadBlockRef(source, 0, source.Size(), block));
  EXPECT_TRUE(block.compressed);
  EXPECT_EQ(block.dataLength, 5u);
  ASSERT_TRUE(ReadBlockRef(source, block.End(), source.Size(), block));
  EXPECT_FALSE(block.compressed);
  EXPECT_EQ(block.dataLength, 3u);
  std::string data;
  ASSERT_TRUE(ReadBlockData(source, block, data));
  EXPECT_EQ(data, "abc");
  EXPECT_FALSE(ReadBlockRef(source, 0, 8, block));          // runs past the limit
  EXPECT_FALSE(ReadBlockRef(source, source.Size(), 100, block));  // no length field
}
