#include "pack/ProgramSigner.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "pack/SignCommand.h"
#include "package/ByteSource.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"

namespace {

namespace fs = std::filesystem;

// Signing tools rewrite the PE checksum and the certificate directory, both
// inside the NT headers at 0x100; the package checksum skips the first 512
// bytes for the same reason.
constexpr uint64_t kHeaderAreaStart = 0x100;
constexpr uint64_t kHeaderAreaEnd = 0x200;

// Offset of the first byte in [from, to) that differs, or `to`.
uint64_t FirstDifference(ByteSource& a, ByteSource& b, uint64_t from, uint64_t to) {
  std::vector<char> left(64 * 1024), right(64 * 1024);
  for (uint64_t at = from; at < to;) {
    size_t count = static_cast<size_t>(std::min<uint64_t>(left.size(), to - at));
    if (!a.ReadExact(at, left.data(), count) || !b.ReadExact(at, right.data(), count)) return at;
    auto mismatch = std::mismatch(left.begin(), left.begin() + count, right.begin());
    if (mismatch.first != left.begin() + count) return at + (mismatch.first - left.begin());
    at += count;
  }
  return to;
}

std::string PackageStillReadable(ByteSource& original, ByteSource& signedCopy) {
  PackageTrailer before{}, after{};
  TrailerPlace placeBefore, placeAfter;
  if (!ReadTrailer(original, before, &placeBefore) ||
      !ReadTrailer(signedCopy, after, &placeAfter) || after.PackageMagic != kPackageMagic ||
      placeAfter.offset != placeBefore.offset) {
    return "the package can no longer be found in the signed program";
  }
  if (!ChecksumPasses(PackageChecksum(signedCopy, placeAfter.length), after.PackageChecksum))
    return "the signed program fails its package checksum";
  return std::string();
}

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

const char* PartAt(uint64_t offset, uint64_t imageSize) {
  if (offset >= imageSize) return "the package";
  if (offset >= kEndPointerHighOffset && offset < kEndPointerLowOffset + 4)
    return "the end pointer";
  return "the program image";
}

std::string RemoveQuietly(const std::string& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
  return path;
}

}  // namespace

std::string CheckSignedProgram(const std::string& unsignedPath, const std::string& signedPath,
                               uint64_t imageSize) {
  std::unique_ptr<ByteSource> original = OpenFileSource(unsignedPath);
  std::unique_ptr<ByteSource> signedCopy = OpenFileSource(signedPath);
  if (!original) return "cannot read the unsigned program";
  if (!signedCopy) return "the command wrote no output file";
  const uint64_t end = original->Size();
  if (signedCopy->Size() <= end) {
    return "the output is " + std::to_string(signedCopy->Size()) +
           " bytes, no longer than the unsigned program (" + std::to_string(end) +
           "): nothing was appended";
  }
  // Below the image's end only the header area may change; the package
  // itself never.
  const uint64_t headerEnd = std::min(kHeaderAreaEnd, std::max(kHeaderAreaStart, imageSize));
  const std::pair<uint64_t, uint64_t> fixedRanges[] = {{0, kHeaderAreaStart}, {headerEnd, end}};
  for (const auto& range : fixedRanges) {
    uint64_t at = FirstDifference(*original, *signedCopy, range.first, range.second);
    if (at < range.second) {
      return std::string("the command changed ") + PartAt(at, imageSize) + " at offset " + Hex(at) +
             "; a signer may only append its signature and update the PE header";
    }
  }
  return PackageStillReadable(*original, *signedCopy);
}

PackStatus SignProgram(const std::string& programPath, const SignRequest& request) {
  std::error_code error;
  const std::string inPath = fs::absolute(programPath, error).string();
  if (error) return PackStatus::Fail(ExitCode::kSign, programPath + ": cannot resolve the path");
  const std::string outPath = RemoveQuietly(inPath + ".signed");
  std::string failure =
      RunSignCommand(request.command, request.folder, inPath, outPath, request.timeoutSeconds);
  if (!failure.empty()) {
    RemoveQuietly(outPath);
    return PackStatus::Fail(ExitCode::kSign,
                            programPath + ": the Sign command " + failure + "; nothing written");
  }
  failure = CheckSignedProgram(inPath, outPath, request.imageSize);
  if (failure.empty()) {
    fs::rename(outPath, inPath, error);
    if (error) failure = "cannot move the signed program into place: " + error.message();
  }
  if (!failure.empty()) {
    RemoveQuietly(outPath);
    return PackStatus::Fail(ExitCode::kSign,
                            programPath + ": signing failed: " + failure + "; nothing written");
  }
  return PackStatus::Ok();
}
