#include "setup/WebStubRules.h"

#include <cctype>

#include "common/TextRules.h"
#include "package/EntryHeader.h"
#include "setup/SpaceText.h"

uint64_t WebFileBytes(const std::string& webFileSize) {
  int64_t size = 0;
  return ParseInt64(webFileSize, size) && size >= 0 ? static_cast<uint64_t>(size) : 0;
}

std::string DownloadQuestion(const std::string& question, const std::string& webFileSize) {
  const double size = static_cast<double>(WebFileBytes(webFileSize));
  return ReplaceText(question, "<SIZE>", FormatMegabytes(size), false);
}

bool IsRemovableShortcut(const std::string& path) {
  // "C:\" then a safe relative name: no "..", stream, device or control bytes.
  if (path.size() < 4 || !std::isalpha(static_cast<unsigned char>(path[0])) || path.compare(1, 2, ":\\") != 0) {
    return false;
  }
  return EndsWithText(".lnk", path, true) && IsSafeEntryName(path.substr(3));
}
