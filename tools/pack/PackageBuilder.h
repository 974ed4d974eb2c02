// Builds a package from a project: a copy of the stub with the package
// appended, split into volumes when the project asks for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pack/PackFiles.h"
#include "pack/PackStatus.h"
#include "pack/Project.h"
#include "package/PackageFormat.h"

struct BuildOptions {
  std::string stubPath;    // overrides the project's Stub when not empty
  std::string outputPath;  // overrides the project's Output when not empty
  bool hasSeed = false;    // without a seed the token scrambling is random
  uint32_t seed = 0;
};

struct BuildReport {
  std::vector<std::string> files;  // written, in walk order (a span package's program file first)
  uint32_t entryCount = 0;         // file entries in all volumes
  uint32_t sourceFileCount = 0;    // files packed
  std::string launchEntry;         // header item 0 of the launch entry
  std::string signedFile;          // the program signed by the project's Sign command
  std::vector<std::string> warnings;
};

// Writes the package. On failure nothing of the output is left behind.
PackStatus BuildPackage(const Project& project, const BuildOptions& options, BuildReport& report);

// Checks a stub image: "MZ" at 0, "PE" at 0x100, bytes 0xF8..0xFF zero (they
// take the end pointer) and no package appended yet. Fails with kStub.
PackStatus CheckStub(const std::string& image, const std::string& stubPath);

// SpaceByClusterSize of a set of files: entry 0 the plain total, entry k the
// total with every size rounded up to a multiple of 256 << k. Totals above
// 4 GiB - 1 are stored as 0xFFFFFFFF.
void ComputeClusterSpace(const std::vector<SourceFile>& files, uint32_t space[kSpaceEntries]);
