// "extract": unpacks a package into a folder the way the stub does.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "pack/PackStatus.h"

struct ExtractReport {
  std::vector<std::string> files;  // entry names written, first occurrence order
  int entries = 0;                 // file entries read
  std::string launchEntry;         // header item 0 of the last launch entry; empty when none
};

// Walks every volume (each must pass its checksum; a missing volume is an
// error), inflates the entries in bounded pieces, appends entries of the
// same name (letter case ignored, as on the stub's file system), creates
// sub-folders and sets file times. Fails with kUnsafeName for a name that
// leaves `destination`, kPackage for corrupt data, kChecksum, kOutput; the
// file being written when the failure hit is removed; names in messages are
// shown through PrintableText. `log` (may be null) gets one line per file.
PackStatus ExtractPackage(const std::string& firstVolume, const std::string& destination,
                          ExtractReport& report, std::ostream* log);
