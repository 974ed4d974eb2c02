// The package appended to the stub's program file. One definition, shared by
// the stub and the authoring tool.
//
//   offset 0            +--------------------------------------------+
//                       | executable image ("MZ" ... "PE" at 0x100)  |
//   0xF8..0xFF          |   PackageEndPointer: high u32, low u32      |
//   DataOffset          +--------------------------------------------+
//                       | block: i32 N, abs(N) bytes   language list |
//                       | block                        settings list |
//                       | block (HeaderBlockCount 3)   web list      |
//                       | block: file entry (N > 0 zlib, N <= 0 raw) |
//                       | ...                                        |
//   trailer start       +--------------------------------------------+
//                       | PackageTrailer, 74 bytes, ends with its    |
//                       | own length                                 |
//   package end         +--------------------------------------------+
//                       | optional data not part of the package      |
//                       | (a signature); PackageEndPointer marks the |
//                       | package end when set                       |
//                       +--------------------------------------------+
//
// A file entry (after inflating) is a "|"-list header such as
// "|setup.exe*/S|1234567|", one 0x00 byte, then the file's bytes. Volumes 2,
// 3, ... of a split package are data files in the same layout (no image, no
// text blocks) named base.002, base.003.
//
// All integers little-endian; text is 8-bit ANSI.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kPackageMagic = 0x4A3B2C1D;
constexpr uint32_t kTrailerSize = 74;
constexpr uint32_t kChecksumOff = 1234;         // stored or computed: the check passes
constexpr uint64_t kChecksumMaxFileSize = 51200;  // larger files always check as kChecksumOff

// Offsets of the PackageEndPointer halves and of the narrow PE signature test.
constexpr uint32_t kEndPointerHighOffset = 0xF8;
constexpr uint32_t kEndPointerLowOffset = 0xFC;
constexpr uint32_t kPeSignatureOffset = 0x100;

constexpr int kSpaceEntries = 9;  // entry 0 plain size; entry k for clusters >= 256 << k

// Separators of the text blocks.
constexpr char kLanguageListSeparator = '\x02';
constexpr char kLanguageSectionSeparator = '\x01';
constexpr char kSettingsSeparator = '|';

enum PackageFlag : uint8_t {
  kShowTempDriveNotice = 0x01,
  kMoreVolumes = 0x02,
  kSpanCd = 0x04,
  kShowActivityBar = 0x08,
  kWriteRunLog = 0x10,
};

// Settings block items.
enum SettingsItem { kServerUrl = 0, kInfoFile = 1, kAgentExe = 2, kSettingsTokenItem = 3, kSilent = 4 };
// Web block items.
enum WebItem { kWebFolder = 0, kWebFileName = 1, kAlwaysDownload = 2, kWebTokenItem = 3, kWebSize = 4 };

#pragma pack(push, 1)
struct PackageTrailer {
  uint8_t Version;           // 1 in current packages; kept, not interpreted
  uint8_t HeaderBlockCount;  // 2 or 3 text blocks; a stored 0 reads as 2
  uint16_t Reserved2;
  uint32_t DataOffset;       // first package block (the image size)
  uint32_t FileCount;        // file entries; the progress range
  uint32_t PackageMagic;
  uint32_t PackageChecksum;
  uint8_t Reserved20[8];
  uint32_t SpaceByClusterSize[kSpaceEntries];
  uint8_t Reserved64;
  uint8_t PackageFlags;
  uint8_t IsWebStub;
  uint8_t AskBeforeDownload;
  uint8_t HasUpdateAgent;
  uint8_t IsUpdateAgent;
  uint32_t TrailerLength;    // the whole trailer including this field
};
#pragma pack(pop)

static_assert(sizeof(PackageTrailer) == kTrailerSize, "trailer is 74 bytes on disk");
static_assert(offsetof(PackageTrailer, HeaderBlockCount) == 1, "trailer layout");
static_assert(offsetof(PackageTrailer, DataOffset) == 4, "trailer layout");
static_assert(offsetof(PackageTrailer, FileCount) == 8, "trailer layout");
static_assert(offsetof(PackageTrailer, PackageMagic) == 12, "trailer layout");
static_assert(offsetof(PackageTrailer, PackageChecksum) == 16, "trailer layout");
static_assert(offsetof(PackageTrailer, Reserved20) == 20, "trailer layout");
static_assert(offsetof(PackageTrailer, SpaceByClusterSize) == 28, "trailer layout");
static_assert(offsetof(PackageTrailer, Reserved64) == 64, "trailer layout");
static_assert(offsetof(PackageTrailer, PackageFlags) == 65, "trailer layout");
static_assert(offsetof(PackageTrailer, IsWebStub) == 66, "trailer layout");
static_assert(offsetof(PackageTrailer, IsUpdateAgent) == 69, "trailer layout");
static_assert(offsetof(PackageTrailer, TrailerLength) == 70, "trailer layout");

// The byte count of SpaceByClusterSize that applies to a drive with the given
// cluster size: entry 0, replaced by entry k for every k with
// clusterSize >= 256 << k. A cluster size of 0 (unknown) gives entry 0.
uint32_t SpaceForClusterSize(const PackageTrailer& trailer, uint32_t clusterSize);
