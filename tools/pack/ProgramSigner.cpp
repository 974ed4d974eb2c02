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

// The ranges a signer must leave alone: all before the header area (the end
// pointer among them) and everything from its end, or the image's end when
// that comes first, up to the package's end.
std::vector<std::pair<uint64_t, uint64_t>> FixedRanges(uint64_t imageSize, uint64_t end) {
  const uint64_t headerEnd = std::min(kHeaderAreaEnd, std::max(kHeaderAreaStart, imageSize));
  return {{0, kHeaderAreaStart}, {headerEnd, end}};
}

// FNV-1a over the fixed ranges: tells whether the command touched its input.
uint64_t FixedBytesHash(ByteSource& source, uint64_t imageSize, uint64_t end) {
  uint64_t hash = 14695981039346656037ull;
  std::vector<unsigned char> buffer(64 * 1024);
  for (const auto& range : FixedRanges(imageSize, end)) {
    for (uint64_t at = range.first; at < range.second;) {
      size_t count = static_cast<size_t>(std::min<uint64_t>(buffer.size(), range.second - at));
      if (!source.ReadExact(at, buffer.data(), count)) return 0;
      for (size_t i = 0; i < count; ++i) hash = (hash ^ buffer[i]) * 1099511628211ull;
      at += count;
    }
  }
  return hash;
}

uint64_t FixedBytesHashOf(const std::string& path, uint64_t imageSize, uint64_t& size) {
  std::unique_ptr<ByteSource> source = OpenFileSource(path);
  size = source ? source->Size() : 0;
  return source ? FixedBytesHash(*source, imageSize, size) : 0;
}

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
  for (const auto& range : FixedRanges(imageSize, end)) {
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
  uint64_t sizeBefore = 0, sizeAfter = 0;
  const uint64_t before = FixedBytesHashOf(inPath, request.imageSize, sizeBefore);
  std::string failure =
      RunSignCommand(request.command, request.folder, inPath, outPath, request.timeoutSeconds);
  // The output is compared with $in below, so $in must still be what was built.
  if (failure.empty() &&
      (FixedBytesHashOf(inPath, request.imageSize, sizeAfter) != before || sizeAfter != sizeBefore))
    failure = "changed $in; it must write the signed copy to $out";
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
