#include "pack/ToolWalk.h"

#include <cstdio>

#include "pack/PackFiles.h"
#include "pack/PrintableText.h"

namespace {

std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

std::string EntryAt(const WalkDamage& damage) {
  return "entry " + std::to_string(damage.entry) + " at offset " + std::to_string(damage.offset);
}

}  // namespace

std::string ToolWalkSink::ProblemText(const VolumeInfo& v, const WalkDamage& damage) {
  const std::string& path = v.path;
  switch (damage.problem) {
    case WalkProblem::kCannotOpen: return path + ": cannot open the file";
    case WalkProblem::kNoTrailer: return path + ": no package trailer found (not a package, or truncated)";
    case WalkProblem::kForeignVolume:
      return path + ": not a package (magic " + Hex32(v.trailer.PackageMagic) + ", expected " +
             Hex32(kPackageMagic) + ")";
    case WalkProblem::kTrailerDamaged:
      return path + ": corrupt trailer: DataOffset " + std::to_string(v.trailer.DataOffset) +
             " lies behind the trailer at " + std::to_string(v.place.offset);
    case WalkProblem::kChecksum:
      return path + ": checksum fails (stored " + std::to_string(v.trailer.PackageChecksum) + ", computed " +
             std::to_string(v.computedChecksum) + ")";
    case WalkProblem::kTextBlockDamaged:
      if (!damage.detail.empty()) return path + ": cannot read text block " + std::to_string(damage.entry);
      return path + ": text block " + std::to_string(damage.entry) + " at offset " + std::to_string(damage.offset) +
             " runs past the trailer (truncated or corrupt)";
    case WalkProblem::kBlockDamaged:
      return path + ": " + EntryAt(damage) + " runs past the trailer (truncated or corrupt)";
    case WalkProblem::kEntryDamaged: return path + ": " + EntryAt(damage) + " is corrupt: " + damage.detail;
    case WalkProblem::kUnsafeName:
      return path + ": entry " + std::to_string(damage.entry) + ": unsafe name \"" + PrintableText(damage.name) +
             "\"";
  }
  return path + ": damaged";
}

VolumeAnswer ToolWalkSink::NeedVolume(const std::string& path, int number) {
  if (FileExists(path)) return VolumeAnswer::kReady;
  if (requireAllVolumes_) {
    Fail(ExitCode::kPackage, path + ": volume " + std::to_string(number) + " is missing");
    return VolumeAnswer::kStop;
  }
  OnNote("volume " + std::to_string(number) + " (" + path + ") not found; the walk ends");
  return VolumeAnswer::kEnd;
}

bool ToolWalkSink::OnProblem(const VolumeInfo& volume, const WalkDamage& damage) {
  ExitCode code = ExitCode::kPackage;
  std::string text = ProblemText(volume, damage);
  if (damage.problem == WalkProblem::kChecksum) code = ExitCode::kChecksum;
  if (damage.problem == WalkProblem::kUnsafeName) {
    code = ExitCode::kUnsafeName;
    text += " refused";
  }
  Fail(code, text);
  return false;
}

PackStatus ToolWalkSink::Walk(const std::string& firstVolume, const WalkOptions& options) {
  failure_ = PackStatus::Ok();
  WalkPackage(firstVolume, *this, options);
  return failure_;
}
