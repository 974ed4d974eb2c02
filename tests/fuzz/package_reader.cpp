// The package reader over a file held in memory: the end pointer, the
// trailer, the checksum, the block chain, every TGFileInfo accessor, the
// language lookup and the agent made from the package. The first input byte
// chooses between the input as the file itself and a generated package (see
// PackageRecipe.h), whose blocks must read back as generated.
#include "FuzzSupport.h"
#include "PackageRecipe.h"
#include "common/TextRules.h"
#include "package/AgentProgram.h"
#include "package/ByteSource.h"
#include "package/Language.h"
#include "package/PackageReader.h"
#include "package/TGFileInfo.h"
#include "package/ZInflate.h"

namespace {

const char* const kKeys[] = {"s0", "s1", "s2", "s5", "s12", "BtnText", "Error", "Charset", "FontSize", "FontName", ""};

// The fixed parts, and every block between DataOffset and the trailer.
void ReadFixedParts(ByteSource& source) {
  const uint64_t end = PackageEndOf(source);
  FUZZ_CHECK(end <= source.Size() || PackageEndPointerOf(source) == end, "package end outside the file");
  IsNarrowPeFile(source);
  PackageTrailer trailer;
  TrailerPlace place;
  if (!ReadTrailer(source, trailer, &place)) return;
  FUZZ_CHECK(place.offset + 4 <= source.Size(), "trailer place outside the file");
  ChecksumPasses(PackageChecksum(source, trailer.TrailerLength), trailer.PackageChecksum);
  uint64_t offset = trailer.DataOffset;
  for (int blocks = 0; blocks < 64 && offset < place.offset; ++blocks) {
    BlockRef block;
    if (!ReadBlockRef(source, offset, place.offset, block)) break;
    FUZZ_CHECK(block.End() <= place.offset, "a block read past the trailer");
    std::string error;
    size_t total = 0;
    ReadBlockPieces(source, block, [&total](const char*, size_t size) {
      total += size;
      return total < (16u << 20);  // a damaged stream may inflate far
    }, error);
    offset = block.End();
  }
}

void ReadAccessors(const TGFileInfo& info) {
  info.RequiredSpace(FuzzScratchFolder());
  const std::string texts[] = {info.ServerUrl(), info.InfoFileName(), info.RecordFileName(), info.AgentExeName(),
                               info.SettingsToken(false), info.SettingsToken(true), info.WebFolder(),
                               info.WebFileName(), info.WebFileSize(), info.WebToken(false), info.WebToken(true),
                               info.FontName()};
  (void)texts;
  info.SilentRun();
  info.AlwaysDownload();
  info.SameWebToken(info);
  info.Charset();
  info.FontSize();
  FUZZ_CHECK(info.InfoFileName().find_first_of("\\/:") == std::string::npos, "info file name keeps a folder");
  FUZZ_CHECK(EndsWithText(".original", info.RecordFileName(), false), "record file name without its ending");
  for (const char* key : kKeys) info.LangText(key, "fallback");
  for (const char* wanted : {"English", "German", ""}) {
    const std::string section = ChooseLanguageSection(info.LanguageBlock(), wanted);
    for (const char* key : kKeys) SectionText(section, key, "fallback");
  }
}

// The agent made from the package reads as an agent with the same blocks.
void CheckAgentProgram(ByteSource& source, const TGFileInfo& info) {
  const std::string agent = AgentProgramOf(source);
  if (agent.empty()) return;
  ViewSource agentSource(agent);
  const TGFileInfo agentInfo(agentSource);
  FUZZ_CHECK(agentInfo.IsUpdateAgent(), "the agent program is not marked as an agent");
  // A stored HeaderBlockCount of 1 is no count the tool writes: the agent
  // then copies one text block, while the reader always reads two.
  PackageTrailer stored{};
  ReadTrailer(source, stored);
  if (stored.HeaderBlockCount == 1) return;
  FUZZ_CHECK(agentInfo.LanguageBlock() == info.LanguageBlock() && agentInfo.SettingsBlock() == info.SettingsBlock(),
             "the agent program's text blocks differ from the package's");
}

void CheckGenerated(const GeneratedPackage& package, const TGFileInfo& info) {
  FUZZ_CHECK(info.HasValidMagic(), "generated package without magic");
  FUZZ_CHECK(info.LanguageBlock() == package.language, "language block differs");
  FUZZ_CHECK(info.SettingsBlock() == package.settings, "settings block differs");
  FUZZ_CHECK(info.WebBlock() == package.web, "web block differs");
  FUZZ_CHECK(info.Trailer().FileCount == package.trailer.FileCount &&
                 info.Trailer().PackageFlags == package.trailer.PackageFlags,
             "trailer differs");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  ResetLanguageSectionForTesting();
  const bool generated = data[0] & 1;
  std::string bytes;
  GeneratedPackage package;
  if (generated) {
    FuzzedDataProvider recipe(data + 1, size - 1);
    RecipeLimits limits;
    limits.entries = false;
    package = GeneratePackage(recipe, limits);
    bytes = package.volumes.front().bytes;
  } else {
    bytes.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  }
  ViewSource source(bytes);
  ReadFixedParts(source);
  const TGFileInfo info(source);
  ReadAccessors(info);
  CheckAgentProgram(source, info);
  if (generated && !package.damaged) CheckGenerated(package, info);
  return 0;
}
