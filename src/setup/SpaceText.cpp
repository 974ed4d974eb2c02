#include "setup/SpaceText.h"

#include "common/TextRules.h"
#include "package/Language.h"

std::string FormatMegabytes(double bytes) {
  const double counted = bytes > 0 ? bytes : 0.0;  // also turns NaN into 0
  const double megabytes = counted / 1048576.0;
  const int decimals = megabytes > 10 ? 1 : (megabytes >= 1 ? 2 : 3);
  return FormatSizeMB(counted, decimals, false);
}

std::string TempDriveText(const std::string& folder) {
  return folder.empty() ? "" : UpperText(folder.substr(0, 1)) + ":";
}

std::string TempSpaceQuestion(const std::string& folder, double required, double available,
                              bool showNotice, const LanguageLookup& text) {
  std::string message;
  if (showNotice) message = text("s2", LangDefault::s2);
  if (required >= available) message = text("s3", LangDefault::s3);
  if (message.empty()) return "";
  message +=
      text("s4", LangDefault::s4) + text("s5", LangDefault::s5) + text("s6", LangDefault::s6);
  message = ReplaceText(message, "<DRIVE>", TempDriveText(folder), false);
  message = ReplaceText(message, "<SPACE_REQ>", FormatMegabytes(required), false);
  return ReplaceText(message, "<SPACE_AVAIL>", FormatMegabytes(available), false);
}
