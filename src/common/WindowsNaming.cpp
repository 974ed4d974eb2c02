#include "common/WindowsNaming.h"

#include "common/TextRules.h"

namespace {

struct NameRow {
  const char* versionText;
  const char* name;
  uint32_t flag;
};

const NameRow k9xRows[] = {
    {"4.0", "95", 1},
    {"4.10", "98", 2},
    {"4.90", "ME", 4},
};
const NameRow k9xOther = {"", "9x", 1};

const NameRow kNtRows[] = {
    {"4.0", "NT", 8},    {"5.0", "2000", 16},    {"5.1", "XP", 32},
    {"5.2", "2003", 64}, {"6.0", "Vista", 128},  {"6.1", "7", 1024},
    {"6.2", "8", 32768}, {"6.3", "8.1", 262144}, {"10.0", "10", 2097152},
};
const NameRow kNtOther = {"", "NTx", 8};

const NameRow kNt64Rows[] = {
    {"5.2", "XP.64", 256},  {"6.0", "Vista.64", 512},  {"6.1", "7.64", 2048},
    {"6.2", "8.64", 65536}, {"6.3", "8.1.64", 524288}, {"10.0", "10.64", 4194304},
};

const NameRow kServer64Rows[] = {
    {"6.0", "2008.64", 8192},
    {"6.1", "2008R2.64", 16384},
    {"6.2", "2012.64", 131072},
    {"6.3", "2012R2.64", 1048576},
};

const NameRow kServer32Rows[] = {
    {"6.0", "2008", 4096},
};

template <size_t N>
const NameRow* FindRow(const NameRow (&rows)[N], const std::string& versionText) {
  for (const NameRow& row : rows) {
    if (versionText == row.versionText) return &row;
  }
  return nullptr;
}

void Apply(const NameRow* row, WindowsName& result) {
  if (!row) return;
  result.name = row->name;
  result.flag = row->flag;
}

void NameNt(const WinVersionRecord& version, WindowsName& result) {
  const NameRow* row = FindRow(kNtRows, result.versionText);
  Apply(row ? row : &kNtOther, result);
  if (version.is64) Apply(FindRow(kNt64Rows, result.versionText), result);
  if (version.isServer) {
    Apply(version.is64 ? FindRow(kServer64Rows, result.versionText)
                       : FindRow(kServer32Rows, result.versionText),
          result);
  }
}

uint32_t LeadingNumber(const std::string& text) {
  const std::string part = TrimText(text);
  uint32_t value = 0;
  for (size_t i = 0; i < part.size() && part[i] >= '0' && part[i] <= '9'; ++i) {
    value = value * 10 + static_cast<uint32_t>(part[i] - '0');
  }
  return value;
}

}  // namespace

WindowsName NameWindows(const WinVersionRecord& version) {
  WindowsName result;
  result.versionText = std::to_string(version.major) + "." + std::to_string(version.minor);
  result.build = version.build;
  result.servicePack = TrimText(version.servicePack);
  switch (version.platform) {
    case OsPlatform::Win32s:
      result.name = "32S";
      break;
    case OsPlatform::Windows9x: {
      // Millennium reports itself as 4.10 with build 3000.
      if (result.versionText == "4.10" && version.build == 3000) result.versionText = "4.90";
      const NameRow* row = FindRow(k9xRows, result.versionText);
      Apply(row ? row : &k9xOther, result);
      break;
    }
    case OsPlatform::NT:
      NameNt(version, result);
      break;
    case OsPlatform::Other:
      break;
  }
  return result;
}

uint32_t BuildNumberOf(OsPlatform platform, uint32_t reportedBuild) {
  return platform == OsPlatform::Windows9x ? (reportedBuild & 0xFFFF) : reportedBuild;
}

bool NeedsVersionCorrection(const VersionNumbers& reported) {
  return reported.major > 5 && reported.minor > 2;
}

VersionNumbers CorrectedVersion(const VersionNumbers& reported,
                                const std::string& kernelProductVersion) {
  if (!NeedsVersionCorrection(reported) || TrimText(kernelProductVersion).empty()) return reported;
  uint32_t numbers[3] = {0, 0, 0};
  size_t start = 0;
  for (uint32_t& number : numbers) {
    const size_t dot = kernelProductVersion.find('.', start);
    number = LeadingNumber(
        kernelProductVersion.substr(start, dot == std::string::npos ? dot : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return VersionNumbers{numbers[0], numbers[1], numbers[2]};
}

bool IsWindows8OrLaterVersion(const WinVersionRecord& version) {
  if (version.platform != OsPlatform::NT) return false;
  if (version.major != 6) return version.major > 6;
  // The minor number is the fraction's digits: 6.10 reads as 6.1, below 6.2.
  uint64_t scale = 10;
  while (scale <= version.minor) scale *= 10;
  return uint64_t{version.minor} * 10 >= 2 * scale;
}

std::string WindowsVersionKey(bool isNT) {
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  return isNT ? ReplaceText(key, "Windows", "Windows NT", false) : key;
}
