// Names of the volumes of a split package, shared by the stub's unpacker and
// the authoring tool.
#pragma once

#include <string>

// The first volume's name without a final ".001" (only exactly that ending).
std::string VolumeBaseName(const std::string& firstVolume);

// Volume j (j >= 2) of a package whose base name is `base`: "base.002",
// with at least three digits.
std::string VolumeName(const std::string& base, int j);
