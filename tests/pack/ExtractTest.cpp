// Extraction and listing of packages crafted byte by byte, including data
// the builder never writes: hostile names, damaged blocks, odd entries.
#include <sstream>

#include "PackTestSupport.h"
#include "pack/PackageExtractor.h"
#include "pack/PackageLister.h"
#include "package/ZInflate.h"

namespace packtest {
namespace {

class PackExtract : public ::testing::Test {
 protected:
  PackStatus ExtractCrafted(const std::string& entries, ExtractReport& report) {
    WriteFile(dir / "crafted.exe", CraftPackage(entries));
    return ExtractPackage(dir / "crafted.exe", dir / "dest/x", report, nullptr);
  }

  TempDir dir;
};

TEST_F(PackExtract, UnsafeNamesAreRefusedAndNothingIsWritten) {
  const char* const kNames[] = {
      "..\\evil.txt",          // climbs out
      "../evil.txt",           // climbs out with the other separator
      "ok\\..\\..\\evil.txt",  // climbs out from inside
      "\\evil.txt",            // rooted
      "/tmp/evil.txt",         // rooted, host form
      "C:\\evil.txt",          // drive letter
      "evil.txt:stream",       // alternate data stream
      "...\\evil.txt",         // Windows drops the dots: climbs too
      "folder\\",              // names a folder, not a file
      "CON",                   // a device
      "nul.txt",               // a device, whatever the extension
      "sub\\COM1",             // a device in any folder
      "lpt9.log",              // a device, any case
      "CONOUT$",               // the console
      "AUX\\x.txt",            // a device as a folder
      "a.txt.",                // Windows drops the dot: a look-alike of "a.txt"
      "a.txt ",                // and the closing blank
      "dir.\\x",               // also in a folder part
  };
  for (const char* name : kNames) {
    ExtractReport report;
    PackStatus status =
        ExtractCrafted(StoredEntry(std::string("|") + name + "|0|", "payload"), report);
    EXPECT_EQ(ExitCode::kUnsafeName, status.code) << name;
    EXPECT_NE(std::string::npos, status.message.find("entry 1: unsafe name")) << status.message;
    EXPECT_TRUE(report.files.empty()) << name;
    EXPECT_FALSE(fs::exists(dir.path() / "dest" / "evil.txt")) << name;
    EXPECT_FALSE(fs::exists(dir.path() / "evil.txt")) << name;
  }
}

// Control bytes and terminal escapes of a hostile name reach neither the
// messages of extract nor the listing: both show them as \xNN.
TEST_F(PackExtract, UnsafeNamesAreEscapedInMessagesAndMarkedInTheListing) {
  const std::string hostile = "..\\\x1B]0;owned\x07\x1B[2Jevil\x7F.txt";
  const std::string shown = "..\\\\x1B]0;owned\\x07\\x1B[2Jevil\\x7F.txt";
  std::string entries = StoredEntry("|fine.txt|0|", "ok") + StoredEntry("|" + hostile + "|0|", "payload") +
                        StoredEntry("|CON|0|", "x") + StoredEntry("|last.txt|0|", "ok");
  ExtractReport report;
  PackStatus status = ExtractCrafted(entries, report);
  EXPECT_EQ(ExitCode::kUnsafeName, status.code);
  EXPECT_NE(std::string::npos, status.message.find("entry 2: unsafe name \"" + shown + "\" refused"))
      << status.message;
  EXPECT_EQ(std::string::npos, status.message.find('\x1B'));
  EXPECT_EQ(std::string::npos, status.message.find('\x07'));

  std::ostringstream listing;
  status = ListPackage(dir / "crafted.exe", listing);
  EXPECT_EQ(ExitCode::kUnsafeName, status.code) << status.message;
  EXPECT_NE(std::string::npos, status.message.find("2 unsafe entry names")) << status.message;
  EXPECT_NE(std::string::npos, status.message.find("entry 2: unsafe name \"" + shown + "\"")) << status.message;
  const std::string text = listing.str();
  EXPECT_EQ(std::string::npos, text.find('\x1B'));
  EXPECT_NE(std::string::npos, text.find(shown + "  [UNSAFE NAME]")) << text;
  EXPECT_NE(std::string::npos, text.find("CON  [UNSAFE NAME]")) << text;
  EXPECT_NE(std::string::npos, text.find("last.txt")) << "the listing goes on after an unsafe name";
  EXPECT_EQ(std::string::npos, text.find("fine.txt  [UNSAFE")) << text;
}

TEST_F(PackExtract, HeaderWithoutItsZeroByteIsACorruptEntry) {
  const std::string noZero = "|a.txt|0|content but no zero byte";
  const std::string stored = U32Bytes(static_cast<uint32_t>(-static_cast<int32_t>(noZero.size()))) + noZero;
  const std::string packed = CompressBytes(noZero, 9);
  const std::string compressed = U32Bytes(static_cast<uint32_t>(packed.size())) + packed;
  for (const std::string& entry : {stored, compressed}) {
    ExtractReport report;
    PackStatus status = ExtractCrafted(StoredEntry("|first.txt|0|", "ok") + entry, report);
    EXPECT_EQ(ExitCode::kPackage, status.code) << status.message;
    EXPECT_NE(std::string::npos, status.message.find("entry 2 is corrupt: the entry header has no 0x00 end"))
        << status.message;
    EXPECT_EQ(std::string::npos, status.message.find("unsafe")) << status.message;

    std::ostringstream listing;
    status = ListPackage(dir / "crafted.exe", listing);
    EXPECT_EQ(ExitCode::kPackage, status.code) << status.message;
    EXPECT_NE(std::string::npos, status.message.find("entry 2 at offset")) << status.message;
    EXPECT_NE(std::string::npos, status.message.find("no 0x00 end")) << status.message;
  }
}

TEST_F(PackExtract, SameNameEntriesAppendInPackageOrderIgnoringCase) {
  WriteFile(dir / "dest/x/a.txt", "stale content from an earlier run");
  std::string entries = StoredEntry("|a.txt|0|", "one,") + StoredEntry("|b.txt|0|", "other") +
                        StoredEntry("|A.TXT|0|", "two,") + StoredEntry("|a.txt|0|", "three");
  ExtractReport report;
  PackStatus status = ExtractCrafted(entries, report);
  ASSERT_TRUE(status.ok()) << status.message;
  EXPECT_EQ("one,two,three", ReadFile(dir.path() / "dest/x/a.txt"));
  EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt"}), report.files);
  EXPECT_EQ(4, report.entries);
}

TEST_F(PackExtract, LaunchEntryIsReportedAndItsNameCutAtTheStar) {
  std::string entries =
      StoredEntry("|setup.exe*/S /lang=de|0|", "engine") + StoredEntry("|sub\\x.dat|0|", "x");
  ExtractReport report;
  ASSERT_TRUE(ExtractCrafted(entries, report).ok());
  EXPECT_EQ("setup.exe*/S /lang=de", report.launchEntry);
  EXPECT_EQ("engine", ReadFile(dir.path() / "dest/x/setup.exe"));
  EXPECT_EQ("x", ReadFile(dir.path() / "dest/x/sub/x.dat")) << "sub-folders are created";
}

TEST_F(PackExtract, EntriesWithoutHeaderAreSkippedLikeTheStubDoes) {
  std::string entries = U32Bytes(0) +                                // N = 0: an empty block
                        StoredEntry("", "content without a name") +  // header empty
                        StoredEntry("|kept.txt|0|", "kept");
  ExtractReport report;
  PackStatus status = ExtractCrafted(entries, report);
  ASSERT_TRUE(status.ok()) << status.message;
  EXPECT_EQ(std::vector<std::string>{"kept.txt"}, report.files);
  EXPECT_EQ(3, report.entries);
}

TEST_F(PackExtract, TimeStampIsSetFromTheHeaderAndZeroLeavesItAlone) {
  uint32_t stamp = DosDateTime(2019, 3, 4, 5, 6, 8);
  std::string entries = StoredEntry("|dated.txt|" + std::to_string(stamp) + "|", "d") +
                        StoredEntry("|undated.txt|0|", "u");
  ExtractReport report;
  ASSERT_TRUE(ExtractCrafted(entries, report).ok());
  std::tm local{};
  local.tm_year = 119;
  local.tm_mon = 2;
  local.tm_mday = 4;
  local.tm_hour = 5;
  local.tm_min = 6;
  local.tm_sec = 8;
  local.tm_isdst = -1;
  EXPECT_EQ(std::mktime(&local), MtimeOf(dir.path() / "dest/x/dated.txt"));
  EXPECT_GT(MtimeOf(dir.path() / "dest/x/undated.txt"), std::mktime(&local))
      << "left at the write time";
}

TEST_F(PackExtract, CorruptCompressedDataNamesTheEntryAndRemovesTheHalfWrittenFile) {
  std::string content = RandomBytes(200000, 11);  // several 64 KiB pieces reach the file first
  std::string packed = CompressBytes("|big.bin|0|" + std::string(1, '\0') + content, 9);
  std::string damaged = packed;
  damaged[damaged.size() - 1000] ^= 0x5A;
  std::string entries = StoredEntry("|first.txt|0|", "fine") +
                        U32Bytes(static_cast<uint32_t>(damaged.size())) + damaged;
  ExtractReport report;
  PackStatus status = ExtractCrafted(entries, report);
  EXPECT_EQ(ExitCode::kPackage, status.code);
  EXPECT_NE(std::string::npos, status.message.find("entry 2 (\"big.bin\") is corrupt"))
      << status.message;
  EXPECT_FALSE(fs::exists(dir.path() / "dest/x/big.bin"));
  EXPECT_EQ("fine", ReadFile(dir.path() / "dest/x/first.txt"));

  std::ostringstream listing;
  status = ListPackage(dir / "crafted.exe", listing);
  EXPECT_EQ(ExitCode::kPackage, status.code);
  EXPECT_NE(std::string::npos, status.message.find("entry 2 at offset")) << status.message;
}

TEST_F(PackExtract, DamagedStructureIsAPackageErrorNeverACrash) {
  std::string good = CraftPackage(StoredEntry("|a.txt|0|", "content"));
  std::string hugeLength = CraftPackage(U32Bytes(0x7FFFFFF0) + "tiny");
  std::string minLength = CraftPackage(U32Bytes(0x80000000u) + "tiny");  // N = INT32_MIN
  std::string wrongMagic = good;
  wrongMagic[good.size() - kTrailerSize + 12] ^= 1;
  std::string hugeTrailer = good;
  hugeTrailer.replace(good.size() - 4, 4, U32Bytes(0xFFFFFFF0u));
  std::string offsetPastTrailer = good;
  offsetPastTrailer.replace(good.size() - kTrailerSize + 4, 4, U32Bytes(0x00FFFFFFu));
  std::string textBlockTooLong = good;
  textBlockTooLong.replace(512, 4, U32Bytes(5000));
  std::string headerWithoutEnd =
      CraftPackage(U32Bytes(static_cast<uint32_t>(-70000)) + std::string(70000, 'h'));
  struct {
    std::string bytes;
    std::string expected;
  } kCases[] = {
      {good.substr(0, good.size() - 30),
       "no package trailer found"},  // truncated inside the trailer
      {good.substr(0, 2), "no package trailer found"},
      {"", "no package trailer found"},
      {hugeLength, "entry 1 at offset"},
      {minLength, "entry 1 at offset"},
      {wrongMagic, "not a package (magic"},
      {hugeTrailer, "no package trailer found"},
      {offsetPastTrailer, "DataOffset"},
      {textBlockTooLong, "text block 1"},
      {headerWithoutEnd, "header longer than"},
  };
  for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
    WriteFile(dir / "bad.exe", kCases[i].bytes);
    ExtractReport report;
    PackStatus status = ExtractPackage(dir / "bad.exe", dir / "dest", report, nullptr);
    EXPECT_EQ(ExitCode::kPackage, status.code) << "case " << i;
    EXPECT_NE(std::string::npos, status.message.find(kCases[i].expected))
        << "case " << i << ": " << status.message;
    std::ostringstream listing;
    EXPECT_EQ(ExitCode::kPackage, ListPackage(dir / "bad.exe", listing).code) << "case " << i;
  }
  ExtractReport report;
  PackStatus status = ExtractPackage(dir / "missing.exe", dir / "dest", report, nullptr);
  EXPECT_EQ(ExitCode::kPackage, status.code);
  EXPECT_NE(std::string::npos, status.message.find("cannot open")) << status.message;
}

TEST_F(PackExtract, UnwritableDestinationIsAnOutputError) {
  WriteFile(dir / "dest", "a file where the folder should be");
  ExtractReport report;
  WriteFile(dir / "crafted.exe", CraftPackage(StoredEntry("|a.txt|0|", "content")));
  PackStatus status = ExtractPackage(dir / "crafted.exe", dir / "dest/x", report, nullptr);
  EXPECT_EQ(ExitCode::kOutput, status.code);
  EXPECT_NE(std::string::npos, status.message.find("cannot create the folder")) << status.message;
}

}  // namespace
}  // namespace packtest
