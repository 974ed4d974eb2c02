#include <gtest/gtest.h>

#include "../host/CraftedPackage.h"
#include "WinTestFiles.h"
#include "common/WinHandles.h"
#include "package/ByteSource.h"
#include "package/TGFileInfo.h"

TEST(FileSource, ReadsAPackageFromARealFile) {
  ScratchFolder folder;
  CraftedPackage p;
  p.trailer.SpaceByClusterSize[0] = 100;
  for (int k = 1; k < kSpaceEntries; ++k) p.trailer.SpaceByClusterSize[k] = 100 + k;
  std::string bytes = p.Bytes();
  const uint32_t end = static_cast<uint32_t>(bytes.size());
  PutU32(bytes, kEndPointerLowOffset, end);
  bytes += std::string(1000, 'C');  // a certificate behind the package
  const std::string path = folder.Write("setup.exe", bytes);

  // Another process may hold the file open for writing meanwhile.
  UniqueFile writer(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer);
  const TGFileInfo info(path);
  EXPECT_TRUE(info.HasValidMagic());
  EXPECT_EQ(info.SettingsBlock(), p.settings);
  EXPECT_EQ(info.AgentExeName(), "agent.exe");

  // The space figure follows the real cluster size of the drive.
  const uint32_t cluster = DriveClusterSize(folder.path());
  EXPECT_GT(cluster, 0u);
  EXPECT_EQ(info.RequiredSpace(folder.path()), SpaceForClusterSize(info.Trailer(), cluster));
  EXPECT_EQ(info.RequiredSpace("Q:\\no such drive"), 100.0);
}

TEST(FileSource, MissingAndEmptyFiles) {
  ScratchFolder folder;
  EXPECT_EQ(OpenFileSource(folder.path() + "\\missing.exe"), nullptr);
  const TGFileInfo missing(folder.path() + "\\missing.exe");
  EXPECT_FALSE(missing.HasValidMagic());
  const TGFileInfo empty(folder.Write("empty.exe", ""));
  EXPECT_FALSE(empty.HasValidMagic());
  EXPECT_EQ(empty.LanguageBlock(), "");
}

TEST(FileSource, ReadsBeyondFourGigabyteOffsetsSafely) {
  ScratchFolder folder;
  auto source = OpenFileSource(folder.Write("small.bin", "abcdef"));
  ASSERT_NE(source, nullptr);
  char buffer[8] = {};
  EXPECT_EQ(source->ReadSome(0x100000000ULL, buffer, 4), 0u);
  EXPECT_EQ(source->ReadSome(4, buffer, 8), 2u);
  EXPECT_FALSE(source->ReadExact(4, buffer, 3));
}
