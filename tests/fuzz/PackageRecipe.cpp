#include "PackageRecipe.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <vector>

#include "CraftedPackage.h"  // PutU32, U32, TrailerBytes
#include "FuzzSupport.h"
#include "package/ByteSource.h"
#include "package/EntryHeader.h"
#include "package/PackageReader.h"
#include "package/PackageWalk.h"

namespace {

constexpr size_t kPiece = 65536;  // the walk's read and inflate piece

// Fast filler for content that must not compress, seeded once from the
// recipe instead of costing a recipe byte per content byte.
class XorShift {
 public:
  explicit XorShift(uint32_t seed) : state_(seed != 0 ? seed : 0x9E3779B9u) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }

 private:
  uint32_t state_;
};

std::string WithoutZeros(std::string text) {
  std::replace(text.begin(), text.end(), '\0', '0');
  return text;
}

template <typename T, size_t N>
T Pick(FuzzedDataProvider& recipe, const T (&choices)[N]) {
  return choices[recipe.ConsumeIntegralInRange<size_t>(0, N - 1)];
}

// ---- Text blocks --------------------------------------------------------

const char* const kSectionNames[] = {"English", "German", "French", "Japanese", " english ", "*"};
const char* const kLanguageKeys[] = {"s0", "s1", "s5", "s12", "BtnText", "Attention", "Confirm",
                                     "Error", "Charset", "FontSize", "FontName", "s4 "};

std::string LanguageBlock(FuzzedDataProvider& recipe) {
  if (recipe.ConsumeIntegralInRange<int>(0, 7) == 0) return recipe.ConsumeRandomLengthString(256);
  std::string block;
  const int sections = recipe.ConsumeIntegralInRange<int>(0, 3);
  for (int s = 0; s < sections; ++s) {
    block += kLanguageListSeparator;
    block += kLanguageSectionSeparator;
    block += recipe.ConsumeBool() ? Pick(recipe, kSectionNames) : recipe.ConsumeRandomLengthString(12);
    const int keys = recipe.ConsumeIntegralInRange<int>(0, 5);
    for (int k = 0; k < keys; ++k) {
      block += kLanguageSectionSeparator;
      block += Pick(recipe, kLanguageKeys);
      block += recipe.ConsumeBool() ? "=" : " = ";
      block += recipe.ConsumeRandomLengthString(40);
    }
    block += kLanguageSectionSeparator;
  }
  if (sections > 0) block += kLanguageListSeparator;
  return block;
}

// A token as the authoring tool stores it, a damaged one, or plain text.
std::string StoredToken(FuzzedDataProvider& recipe) {
  switch (recipe.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return "";
    case 1:
      return recipe.ConsumeRandomLengthString(64);
    default: {
      XorShift random(recipe.ConsumeIntegral<uint32_t>());
      std::string token = ScrambleToken(recipe.ConsumeRandomLengthString(40), [&random] { return random.Next(); },
                                        recipe.ConsumeIntegralInRange<size_t>(0, 48));
      if (recipe.ConsumeIntegralInRange<int>(0, 3) == 0 && !token.empty()) {
        token[recipe.ConsumeIntegralInRange<size_t>(0, token.size() - 1)] ^= 1;
      }
      return token;
    }
  }
}

std::string ItemList(const std::vector<std::string>& items) {
  std::string list(1, kSettingsSeparator);
  for (const std::string& item : items) list += item + kSettingsSeparator;
  return list;
}

std::string SettingsBlock(FuzzedDataProvider& recipe) {
  if (recipe.ConsumeIntegralInRange<int>(0, 7) == 0) return recipe.ConsumeRandomLengthString(128);
  const char* const urls[] = {"http://", "http://127.0.0.1/updates/", "https://example.invalid/a b/", ""};
  const char* const infos[] = {".info", "Product.info", "sub\\dir\\Prod.info", "a.b.c.info", ""};
  const char* const agents[] = {".exe", "Agent.exe", "..\\Agent.exe", "Agent", ""};
  return ItemList({recipe.ConsumeBool() ? Pick(recipe, urls) : recipe.ConsumeRandomLengthString(32),
                   recipe.ConsumeBool() ? Pick(recipe, infos) : recipe.ConsumeRandomLengthString(24),
                   recipe.ConsumeBool() ? Pick(recipe, agents) : recipe.ConsumeRandomLengthString(24),
                   StoredToken(recipe), recipe.ConsumeBool() ? "1" : recipe.ConsumeRandomLengthString(4)});
}

std::string WebBlock(FuzzedDataProvider& recipe) {
  if (recipe.ConsumeIntegralInRange<int>(0, 7) == 0) return recipe.ConsumeRandomLengthString(128);
  const char* const sizes[] = {"0", "1234", "4294967295", "-5", "18446744073709551616", " 77 "};
  return ItemList({recipe.ConsumeRandomLengthString(32), recipe.ConsumeRandomLengthString(16),
                   recipe.ConsumeBool() ? "1" : "0", StoredToken(recipe),
                   recipe.ConsumeBool() ? Pick(recipe, sizes) : recipe.ConsumeRandomLengthString(8)});
}

// ---- Entries ------------------------------------------------------------

const char* const kEntryNames[] = {
    "setup.exe", "data\\file.bin", "Sub/Deeper/x.dat", "readme.txt", "a\\.\\b.txt", "DATA\\FILE.BIN",
    "..\\escape.txt", "a\\..\\..\\escape.txt", "C:\\abs.txt", "\\root.txt", "/root.txt", "con.txt",
    "sub\\LPT1.log", "a.txt.", "name:stream", "dir\\", "x \\y", "conin$", "a\\\\b", "..."};

std::string MakeHeader(FuzzedDataProvider& recipe) {
  switch (recipe.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:  // any text up to its 0x00
      return WithoutZeros(recipe.ConsumeRandomLengthString(64));
    case 1:  // about the longest header accepted, on either side of the limit
      return std::string(kMaxEntryHeader - 8 + recipe.ConsumeIntegralInRange<size_t>(0, 16), 'h');
    default: {  // as the authoring tool writes it
      std::string name = recipe.ConsumeBool() ? Pick(recipe, kEntryNames)
                                              : WithoutZeros(recipe.ConsumeRandomLengthString(24));
      const std::string arguments = WithoutZeros(recipe.ConsumeRandomLengthString(16));
      const bool launch = recipe.ConsumeIntegralInRange<int>(0, 3) == 0;
      return BuildEntryHeader(name, launch ? &arguments : nullptr, recipe.ConsumeIntegral<uint32_t>());
    }
  }
}

// Mostly small entries, which keep the executions a second high; up to
// `maxBytes` for one in five, half of those ending near a multiple of the
// walk's piece, where reads and inflated pieces meet.
size_t ContentSize(FuzzedDataProvider& recipe, size_t headerBytes, size_t maxBytes) {
  const int kind = recipe.ConsumeIntegralInRange<int>(0, 9);
  if (kind <= 5) return recipe.ConsumeIntegralInRange<size_t>(0, 64);
  if (kind <= 7) return recipe.ConsumeIntegralInRange<size_t>(65, 4096);
  if (kind == 8) {
    const size_t pieces = recipe.ConsumeIntegralInRange<size_t>(1, std::max<size_t>(1, maxBytes / kPiece));
    const int64_t want = static_cast<int64_t>(pieces * kPiece) + recipe.ConsumeIntegralInRange<int>(-40, 40) -
                         static_cast<int64_t>(headerBytes) - 1;
    return static_cast<size_t>(std::clamp<int64_t>(want, 0, static_cast<int64_t>(maxBytes)));
  }
  return recipe.ConsumeIntegralInRange<size_t>(0, maxBytes);
}

// Noise four bytes at a time: the generator's own loops are instrumented too.
void FillNoise(char* out, size_t size, XorShift& random) {
  for (size_t i = 0; i < size; i += 4) {
    const uint32_t word = random.Next();
    std::memcpy(out + i, &word, std::min<size_t>(4, size - i));
  }
}

std::string MakeContent(FuzzedDataProvider& recipe, size_t size) {
  const int fill = recipe.ConsumeIntegralInRange<int>(0, 3);
  std::string content = recipe.ConsumeRandomLengthString(64);
  XorShift random(recipe.ConsumeIntegral<uint32_t>());
  if (fill == 0 && !content.empty()) {  // the recipe's bytes, repeated
    while (content.size() < size) content.append(content, 0, std::min(content.size(), size - content.size()));
    content.resize(size);
    return content;
  }
  content.assign(size, '\0');
  if (fill == 1) {  // noise: stored blocks and long codes
    FillNoise(&content[0], size, random);
  } else if (fill == 2) {  // runs of noise and of one byte
    for (size_t i = 0; i < size;) {
      const size_t run = std::min<size_t>(size - i, 1 + random.Next() % 3000);
      if ((random.Next() & 1) != 0) {
        FillNoise(&content[i], run, random);
      } else {
        std::memset(&content[i], static_cast<int>(random.Next() & 0xFF), run);
      }
      i += run;
    }
  }  // else zeros
  return content;
}

// A zlib stream made by zlib with the recipe's parameters, flushed every
// `flushEvery` bytes when not 0 (empty stored blocks and block ends where
// the recipe puts them).
std::string Deflated(const std::string& data, int level, int windowBits, int memLevel, int strategy,
                     size_t flushEvery, int flushMode) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, windowBits, memLevel, strategy) != Z_OK) return "";
  std::string out;
  out.reserve(deflateBound(&z, static_cast<uLong>(data.size())) + 64);  // grown piece by piece it is copied often
  unsigned char buffer[16384];
  size_t position = 0;
  for (;;) {
    const size_t take = flushEvery != 0 ? std::min(flushEvery, data.size() - position) : data.size() - position;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + position));
    z.avail_in = static_cast<uInt>(take);
    position += take;
    const bool last = position == data.size();
    int code;
    do {
      z.next_out = buffer;
      z.avail_out = sizeof buffer;
      code = deflate(&z, last ? Z_FINISH : flushMode);
      out.append(reinterpret_cast<char*>(buffer), sizeof buffer - z.avail_out);
    } while ((code == Z_OK || code == Z_BUF_ERROR) && (last || z.avail_out == 0));
    if (last || (code != Z_OK && code != Z_BUF_ERROR)) break;
  }
  deflateEnd(&z);
  return out;
}

void AppendU16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

// A zlib stream of stored blocks written by hand, sized as the recipe says,
// with empty blocks in between when it asks.
std::string StoredBlocks(FuzzedDataProvider& recipe, const std::string& data) {
  const int policy = recipe.ConsumeIntegralInRange<int>(0, 2);
  const size_t fixedSize = recipe.ConsumeIntegralInRange<size_t>(1, 65535);
  const bool emptyBlocks = recipe.ConsumeBool();
  XorShift random(recipe.ConsumeIntegral<uint32_t>());
  std::string out = "\x78\x01";
  out.reserve(data.size() + data.size() / 8 + 64);
  size_t position = 0;
  do {
    if (emptyBlocks && random.Next() % 4 == 0) {
      out += '\0';
      AppendU16(out, 0);
      AppendU16(out, 0xFFFF);
    }
    size_t length = policy == 0 ? 65535 : policy == 1 ? fixedSize : 1 + random.Next() % 65535;
    length = std::min(length, data.size() - position);
    const bool final = position + length == data.size();
    out += static_cast<char>(final ? 1 : 0);
    AppendU16(out, static_cast<unsigned>(length));
    AppendU16(out, static_cast<unsigned>(~length & 0xFFFF));
    out.append(data, position, length);
    position += length;
  } while (position < data.size());
  const uLong adler = adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()),
                              static_cast<uInt>(data.size()));
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((adler >> shift) & 0xFF);
  return out;
}

// Shifts a zlib stream by empty stored blocks after its header (five bytes
// each, no output) so that an inflate call that fills a whole output piece
// takes the last byte of the walk's first input piece: both pieces end
// together, the boundary where reading must go on with the next input piece.
// The stream comes back unchanged when no such call exists (a stream that
// does not compress, or one within a piece).
std::string AlignedWithFirstPiece(const std::string& stream) {
  z_stream z{};
  if (stream.size() <= kPiece || inflateInit(&z) != Z_OK) return stream;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(kPiece);
  std::vector<unsigned char> out(kPiece);
  size_t blocks = 0;
  bool found = false;
  while (!found) {
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (inflate(&z, Z_NO_FLUSH) != Z_OK || z.avail_out != 0) break;  // the input ran out first
    const size_t room = kPiece - z.total_in;
    found = room % 5 == 0;
    blocks = room / 5;
  }
  inflateEnd(&z);
  if (!found) return stream;
  std::string shifted = stream.substr(0, 2);
  for (size_t i = 0; i < blocks; ++i) shifted.append("\0\0\0\xFF\xFF", 5);
  return shifted.append(stream, 2, std::string::npos);
}

// The block data of an entry: raw, or a zlib stream of one of the kinds,
// sometimes followed by bytes after the stream's end (read and ignored).
std::string EncodeEntry(FuzzedDataProvider& recipe, const std::string& inflated, bool& compressed) {
  const int kind = recipe.ConsumeIntegralInRange<int>(0, 3);
  compressed = kind != 0;
  if (!compressed) return inflated;
  std::string stream;
  if (kind == 3) {
    stream = StoredBlocks(recipe, inflated);
  } else {
    // zlib's slower levels take tens of milliseconds for a large entry of
    // noise, which would cut the executions a second tenfold; the stream's
    // shape (which is all the walk sees) needs them only for smaller ones.
    const int level = std::min(recipe.ConsumeIntegralInRange<int>(0, 9), inflated.size() > 128 * 1024 ? 2 : 9);
    const int windowBits = recipe.ConsumeIntegralInRange<int>(9, 15);
    const int memLevel = recipe.ConsumeIntegralInRange<int>(1, 9);
    const int strategy = recipe.ConsumeIntegralInRange<int>(0, 4);
    const int flushModes[] = {Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH, Z_BLOCK};
    const int flushMode = Pick(recipe, flushModes);
    // At most about 64 flushes, however large the entry.
    size_t flushEvery = recipe.ConsumeBool() ? 0 : recipe.ConsumeIntegralInRange<size_t>(1, 2 * kPiece);
    if (flushEvery != 0) flushEvery = std::max(flushEvery, inflated.size() / 64 + 1);
    stream = Deflated(inflated, level, windowBits, memLevel, strategy, flushEvery, flushMode);
    if (recipe.ConsumeBool()) stream = AlignedWithFirstPiece(stream);
  }
  if (recipe.ConsumeIntegralInRange<int>(0, 7) == 0) stream += recipe.ConsumeRandomLengthString(8);
  return stream;
}

std::string BlockBytes(const std::string& data, bool compressed) {
  const int32_t length = static_cast<int32_t>(data.size());
  std::string block = U32(static_cast<uint32_t>(compressed ? length : -length));
  block.reserve(4 + data.size());
  return block.append(data);
}

// ---- Volumes ------------------------------------------------------------

std::string ImageBytes(FuzzedDataProvider& recipe) {
  std::string image(recipe.ConsumeIntegralInRange<size_t>(kPeSignatureOffset + 4, 2048), '\0');
  image[0] = 'M';
  image[1] = 'Z';
  image[kPeSignatureOffset] = 'P';
  image[kPeSignatureOffset + 1] = 'E';
  return image;
}

// Appends the trailer, fills in the end pointer (program files that want
// one) and the checksum, and adds a signature's worth of bytes behind the
// package when the end pointer marks its end.
void FinishVolume(std::string& bytes, PackageTrailer trailer, bool endPointer, bool checksum,
                  const std::string& signature) {
  trailer.PackageChecksum = 0;
  bytes += TrailerBytes(trailer);
  if (endPointer) {
    PutU32(bytes, kEndPointerHighOffset, 0);
    PutU32(bytes, kEndPointerLowOffset, static_cast<uint32_t>(bytes.size()));
  }
  uint32_t sum = kChecksumOff;
  if (checksum) {
    ViewSource source(bytes);
    sum = PackageChecksum(source, kTrailerSize);
  }
  PutU32(bytes, bytes.size() - kTrailerSize + offsetof(PackageTrailer, PackageChecksum), sum);
  if (endPointer) bytes += signature;
}

struct EntryPlan {
  GeneratedEntry entry;
  std::string block;
  size_t volume = 0;  // 0-based among the volumes holding entries
};

std::vector<EntryPlan> PlanEntries(FuzzedDataProvider& recipe, const RecipeLimits& limits, size_t entryVolumes) {
  std::vector<EntryPlan> plans;
  const int count = limits.entries ? recipe.ConsumeIntegralInRange<int>(0, limits.maxEntries) : 0;
  // At most one large entry, in one package of four: a large entry costs a
  // hundred times a small one, and one is enough for the walk's paths
  // through many pieces.
  constexpr size_t kSmallEntryBytes = 4096;
  bool largeLeft = recipe.ConsumeIntegralInRange<int>(0, 3) == 0;
  size_t volume = 0;
  for (int i = 0; i < count; ++i) {
    EntryPlan plan;
    if (volume + 1 < entryVolumes && recipe.ConsumeBool()) ++volume;
    plan.volume = volume;
    if (recipe.ConsumeIntegralInRange<int>(0, 15) != 0) {  // else: a block without data
      plan.entry.header = MakeHeader(recipe);
      const size_t maxBytes = largeLeft ? limits.maxEntryBytes : kSmallEntryBytes;
      const std::string content = MakeContent(recipe, ContentSize(recipe, plan.entry.header.size(), maxBytes));
      if (content.size() > kSmallEntryBytes) largeLeft = false;
      plan.entry.inflated.reserve(plan.entry.header.size() + 1 + content.size());
      plan.entry.inflated.append(plan.entry.header).append(1, '\0').append(content);
    }
    plan.block = BlockBytes(EncodeEntry(recipe, plan.entry.inflated, plan.entry.compressed),
                            plan.entry.compressed);
    plans.push_back(std::move(plan));
  }
  return plans;
}

// ---- Damage -------------------------------------------------------------

void Damage(FuzzedDataProvider& recipe, GeneratedPackage& package) {
  const int changes = recipe.ConsumeIntegralInRange<int>(0, 4);
  const uint32_t interesting[] = {0, 1, 4, kTrailerSize, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFB6u,
                                  kPackageMagic, kChecksumOff, 65536, 65535};
  for (int i = 0; i < changes; ++i) {
    GeneratedVolume& volume =
        package.volumes[recipe.ConsumeIntegralInRange<size_t>(0, package.volumes.size() - 1)];
    std::string& bytes = volume.bytes;
    const int what = recipe.ConsumeIntegralInRange<int>(0, 7);
    // Positions near the end (the trailer) are as likely as the rest.
    const size_t back = recipe.ConsumeIntegralInRange<size_t>(0, 96);
    size_t at = recipe.ConsumeBool() ? recipe.ConsumeIntegralInRange<size_t>(0, bytes.size())
                                     : bytes.size() - std::min(back, bytes.size());
    package.damaged = true;
    if (what == 6) {
      volume.missing = true;
    } else if (what == 7 && !package.entries.empty()) {  // an entry's length field
      const GeneratedEntry& entry =
          package.entries[recipe.ConsumeIntegralInRange<size_t>(0, package.entries.size() - 1)];
      std::string& target = package.volumes[entry.volume - 1].bytes;
      if (entry.blockOffset + 4 <= target.size()) {
        PutU32(target, entry.blockOffset, recipe.ConsumeBool() ? Pick(recipe, interesting)
                                                                : recipe.ConsumeIntegral<uint32_t>());
      }
    } else if (what == 0 && at < bytes.size()) {
      bytes[at] = static_cast<char>(bytes[at] ^ std::max<uint8_t>(1, recipe.ConsumeIntegral<uint8_t>()));
    } else if (what == 1 && at + 4 <= bytes.size()) {
      PutU32(bytes, at, Pick(recipe, interesting));
    } else if (what == 2) {
      bytes.resize(at);
    } else if (what == 3) {
      bytes.insert(at, recipe.ConsumeRandomLengthString(16));
    } else if (what == 4) {
      bytes += recipe.ConsumeRandomLengthString(64);
    } else if (what == 5 && bytes.size() >= kTrailerSize) {  // one trailer byte
      bytes[bytes.size() - 1 - recipe.ConsumeIntegralInRange<size_t>(0, kTrailerSize - 1)] =
          static_cast<char>(recipe.ConsumeIntegral<uint8_t>());
    }
  }
}

PackageTrailer BaseTrailer(FuzzedDataProvider& recipe, bool web) {
  PackageTrailer t{};
  t.Version = recipe.ConsumeBool() ? 1 : recipe.ConsumeIntegral<uint8_t>();
  // A stored 0 reads as 2 text blocks.
  t.HeaderBlockCount = web ? 3 : (recipe.ConsumeBool() ? 2 : 0);
  t.PackageMagic = kPackageMagic;
  for (uint32_t& space : t.SpaceByClusterSize) space = recipe.ConsumeIntegral<uint32_t>();
  t.PackageFlags = recipe.ConsumeIntegral<uint8_t>() & (kShowTempDriveNotice | kShowActivityBar | kWriteRunLog);
  t.IsWebStub = recipe.ConsumeIntegral<uint8_t>();
  t.AskBeforeDownload = recipe.ConsumeIntegral<uint8_t>();
  t.HasUpdateAgent = recipe.ConsumeIntegral<uint8_t>();
  t.IsUpdateAgent = recipe.ConsumeIntegral<uint8_t>();
  t.TrailerLength = kTrailerSize;
  return t;
}

}  // namespace

GeneratedPackage GeneratePackage(FuzzedDataProvider& recipe, const RecipeLimits& limits) {
  GeneratedPackage package;
  const bool web = recipe.ConsumeBool();
  package.language = LanguageBlock(recipe);
  package.settings = SettingsBlock(recipe);
  if (web) package.web = WebBlock(recipe);
  // Text blocks are stored with a positive length, not compressed.
  const std::string textBlocks = BlockBytes(package.language, true) + BlockBytes(package.settings, true) +
                                 (web ? BlockBytes(package.web, true) : "");
  PackageTrailer trailer = BaseTrailer(recipe, web);
  const std::string image = ImageBytes(recipe);
  const bool endPointer = recipe.ConsumeBool();
  const bool checksum = recipe.ConsumeBool();
  const std::string signature = recipe.ConsumeRandomLengthString(32);
  const bool span = limits.entries && recipe.ConsumeIntegralInRange<int>(0, 7) == 0;
  package.firstNumbered = !span && recipe.ConsumeIntegralInRange<int>(0, 7) == 0;
  const size_t dataVolumes = limits.entries ? recipe.ConsumeIntegralInRange<int>(0, limits.maxVolumes) : 0;

  // Volumes that hold entries: the program file (or a span package's
  // ".001"), then ".002", ".003"...
  const size_t entryVolumes = 1 + dataVolumes;
  std::vector<EntryPlan> plans = PlanEntries(recipe, limits, entryVolumes);
  trailer.FileCount = static_cast<uint32_t>(plans.size());
  if (span) {
    GeneratedVolume program{"", image + textBlocks};
    PackageTrailer t = trailer;
    t.DataOffset = static_cast<uint32_t>(image.size());
    t.PackageFlags |= kSpanCd;
    package.trailer = t;
    FinishVolume(program.bytes, t, endPointer, checksum, signature);
    package.volumes.push_back(std::move(program));
  }
  for (size_t v = 0; v < entryVolumes; ++v) {
    const bool first = v == 0;
    GeneratedVolume volume;
    volume.suffix = first ? (span ? ".001" : "") : ".00" + std::to_string(v + 1);
    volume.bytes = first ? (span ? textBlocks : image + textBlocks) : "";
    size_t size = volume.bytes.size() + kTrailerSize + signature.size();
    for (const EntryPlan& plan : plans) size += plan.volume == v ? plan.block.size() : 0;
    volume.bytes.reserve(size);
    for (EntryPlan& plan : plans) {
      if (plan.volume != v) continue;
      plan.entry.volume = static_cast<int>(package.volumes.size() + 1);
      plan.entry.blockOffset = volume.bytes.size();
      volume.bytes += plan.block;
    }
    PackageTrailer t = trailer;
    t.DataOffset = first && !span ? static_cast<uint32_t>(image.size()) : 0;
    if (span) t.PackageFlags |= kSpanCd;
    if (v + 1 < entryVolumes) t.PackageFlags |= kMoreVolumes;
    if (first && !span) package.trailer = t;
    FinishVolume(volume.bytes, t, first && !span && endPointer, checksum, signature);
    package.volumes.push_back(std::move(volume));
  }
  for (EntryPlan& plan : plans) package.entries.push_back(std::move(plan.entry));
  if (recipe.ConsumeIntegralInRange<int>(0, 3) == 0) Damage(recipe, package);
  return package;
}

std::string WritePackageFiles(const GeneratedPackage& package, const std::string& firstPath) {
  const std::string first = package.firstNumbered ? firstPath + ".001" : firstPath;
  for (const GeneratedVolume& volume : package.volumes) {
    const std::string path = volume.suffix.empty() ? first : firstPath + volume.suffix;
    std::remove(path.c_str());
    if (!volume.missing && !WriteWholeFile(path, volume.bytes)) return "";
  }
  return first;
}

bool OracleInflate(const char* stream, size_t size, size_t maxBytes, std::string& inflated) {
  inflated.clear();
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream));
  z.avail_in = static_cast<uInt>(size);
  unsigned char buffer[32768];
  int code;
  do {
    z.next_out = buffer;
    z.avail_out = sizeof buffer;
    code = inflate(&z, Z_NO_FLUSH);
    inflated.append(reinterpret_cast<char*>(buffer), sizeof buffer - z.avail_out);
  } while (code == Z_OK && inflated.size() <= maxBytes);
  inflateEnd(&z);
  return code == Z_STREAM_END && inflated.size() <= maxBytes;
}
