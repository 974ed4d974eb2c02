// Turns fuzzer bytes into the files of a package: first a well-formed one
// (image, text blocks, entries holding valid zlib streams of any size up to
// several hundred KB, stored blocks included, trailers with their checksums,
// later volumes or a span package's data file), then damaged as the rest of
// the bytes say. Every input makes a package, so the fuzzer's time goes to
// the reader and the walk rather than to inputs the first length check
// refuses, and the walk's paths beyond the first 64 KiB of an entry are
// reached.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "package/PackageFormat.h"

struct GeneratedEntry {
  int volume = 1;            // index into GeneratedPackage::volumes, 1-based
  uint64_t blockOffset = 0;  // of the block's length field in that volume
  bool compressed = false;
  std::string inflated;  // header, 0x00, content; empty for an entry without a header
  std::string header;    // as written, without the 0x00
};

struct GeneratedVolume {
  std::string suffix;  // appended to the first volume's path: "", ".001", ".002"...
  std::string bytes;
  bool missing = false;  // damage: the file is not written
};

struct GeneratedPackage {
  std::vector<GeneratedVolume> volumes;  // in walk order, the program file first
  std::vector<GeneratedEntry> entries;   // in walk order
  std::string language, settings, web;   // the text blocks as written (web empty for two)
  PackageTrailer trailer{};              // the first volume's trailer as written
  bool firstNumbered = false;  // the first volume is named "NAME.001" (not a span package)
  bool damaged = false;        // any change after the package was built
};

struct RecipeLimits {
  size_t maxEntryBytes = 384 * 1024;  // content bytes of one entry
  int maxEntries = 8;
  int maxVolumes = 3;  // data volumes after the program file
  bool entries = true;  // false: text blocks only (the reader's target needs no more)
};

// The package the recipe describes. Never fails; an exhausted recipe gives
// the smallest choices.
GeneratedPackage GeneratePackage(FuzzedDataProvider& recipe, const RecipeLimits& limits = {});

// Writes the volumes as `firstPath` + suffix (the first one as `firstPath`,
// or `firstPath` + ".001" when firstNumbered); returns the path the walk
// starts from, empty when a file could not be written.
std::string WritePackageFiles(const GeneratedPackage& package, const std::string& firstPath);

// zlib's own reading of a whole zlib stream, the oracle the walk is compared
// with: true with the inflated bytes (at most `maxBytes`) when the stream
// ends properly within `stream`. Bytes after the stream's end are ignored.
bool OracleInflate(const char* stream, size_t size, size_t maxBytes, std::string& inflated);
