#include "setup/WebStubRules.h"

#include <cctype>

#include "common/TextRules.h"
#include "package/EntryHeader.h"
#include "setup/SpaceText.h"

std::string DownloadQuestion(const std::string& question, const std::string& webFileSize) {
  int64_t size = 0;
  if (!ParseInt64(webFileSize, size) || size < 0) size = 0;
  return ReplaceText(question, "<SIZE>", FormatMegabytes(static_cast<double>(size)), false);
}

bool IsRemovableShortcut(const std::string& path) {
  // "C:\" then a safe relative name: no "..", stream, device or control bytes.
  if (path.size() < 4 || !std::isalpha(static_cast<unsigned char>(path[0])) || path.compare(1, 2, ":\\") != 0) {
    return false;
  }
  return EndsWithText(".lnk", path, true) && IsSafeEntryName(path.substr(3));
}
