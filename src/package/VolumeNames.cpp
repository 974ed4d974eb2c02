#include "package/VolumeNames.h"

#include "common/NumberText.h"
#include "common/TextRules.h"

std::string VolumeBaseName(const std::string& firstVolume) {
  if (EndsWithText(".001", firstVolume, false)) return firstVolume.substr(0, firstVolume.size() - 4);
  return firstVolume;
}

std::string VolumeName(const std::string& base, int j) {
  return base + "." + DecimalText(j, 3);
}
