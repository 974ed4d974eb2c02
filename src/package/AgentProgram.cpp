#include "package/AgentProgram.h"

#include <cstring>

#include "common/TextRules.h"
#include "package/ByteSource.h"
#include "package/PackageReader.h"

std::string MakeAgentProgram(std::string head, PackageTrailer trailer) {
  // Only a program image has an end pointer; in a data volume those bytes
  // are package data.
  const bool programImage = head.size() >= kPeSignatureOffset + 2 && head.compare(0, 2, "MZ") == 0 &&
                            head.compare(kPeSignatureOffset, 2, "PE") == 0;
  if (programImage) head.replace(kEndPointerLowOffset, 4, 4, '\0');
  trailer.IsUpdateAgent = 1;
  trailer.TrailerLength = kTrailerSize;
  std::string bytes(sizeof trailer, '\0');
  std::memcpy(&bytes[0], &trailer, sizeof trailer);
  return head + bytes;
}

std::string AgentProgramOf(ByteSource& source) {
  PackageTrailer trailer{};
  TrailerPlace place;
  if (!ReadTrailer(source, trailer, &place) || trailer.PackageMagic != kPackageMagic) return "";
  uint64_t textEnd = trailer.DataOffset;
  for (int k = 0; k < trailer.HeaderBlockCount; ++k) {
    BlockRef block;
    if (!ReadBlockRef(source, textEnd, place.offset, block)) return "";
    textEnd = block.End();
  }
  std::string head(static_cast<size_t>(textEnd), '\0');
  if (!source.ReadExact(0, &head[0], head.size())) return "";
  return MakeAgentProgram(std::move(head), trailer);
}

bool VolumeCarriesAgentImage(const std::string& firstVolume) {
  return EndsWithText(".exe", firstVolume, true) || EndsWithText(".exe.001", firstVolume, true);
}
