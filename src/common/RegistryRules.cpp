#include "common/RegistryRules.h"

#include <cstring>

#include "common/TextRules.h"

namespace {

struct RootName {
  const char* longName;
  const char* shortName;
  RegRoot root;
};

const RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", RegRoot::ClassesRoot},
    {"HKEY_CURRENT_USER", "HKCU", RegRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE", "HKLM", RegRoot::LocalMachine},
    {"HKEY_USERS", "HKU", RegRoot::Users},
    {"HKEY_CURRENT_CONFIG", "HKCC", RegRoot::CurrentConfig},
    {"HKEY_DYN_DATA", "HKDD", RegRoot::DynData},
};

std::string MultiStringText(const char* data, size_t size) {
  while (size > 0 && data[size - 1] == '\0') --size;
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\0') {
      text += "<0>";
    } else {
      text += data[i];
    }
  }
  return text;
}

}  // namespace

RegRoot RegRootIdFromName(const std::string& name) {
  const std::string upper = UpperText(name);
  for (const RootName& entry : kRootNames) {
    if (upper == entry.longName || upper == entry.shortName) return entry.root;
  }
  return RegRoot::CurrentUser;
}

RegPathParts SplitRegPath(const std::string& path) {
  const std::string trimmed = TrimText(path);
  RegPathParts parts;
  if (!StartsWithText("HK", trimmed, true)) {
    parts.subKey = trimmed;
    return parts;
  }
  const size_t slash = trimmed.find('\\');
  parts.root = RegRootIdFromName(trimmed.substr(0, slash));
  if (slash != std::string::npos) parts.subKey = trimmed.substr(slash + 1);
  return parts;
}

std::string RegistryDataText(uint32_t type, const char* data, size_t size) {
  if (size == 0) return "";
  if (type == kRegTypeDword && size == 4) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);  // little-endian
    const uint32_t value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t{bytes[3]} << 24;
    return std::to_string(value);
  }
  if (type == kRegTypeMultiString && size > 2) return MultiStringText(data, size);
  const void* zero = std::memchr(data, '\0', size);
  return std::string(data, zero ? static_cast<const char*>(zero) - data : size);
}
