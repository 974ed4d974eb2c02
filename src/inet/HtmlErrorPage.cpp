#include "inet/HtmlErrorPage.h"

#include <initializer_list>
#include <memory>

#include "common/TextRules.h"
#include "package/ByteSource.h"

namespace {

constexpr size_t kLooked = 1000;

// The first 1,000 bytes of the file (fewer when a read fails); false when it
// cannot be opened.
bool ReadHead(const std::string& fileName, std::string& head) {
  std::unique_ptr<ByteSource> source = OpenFileSource(fileName);
  if (!source) return false;
  const uint64_t size = source->Size();
  head.assign(static_cast<size_t>(size < kLooked ? size : kLooked), '\0');
  if (!head.empty()) head.resize(source->ReadSome(0, &head[0], head.size()));
  return true;
}

// True when every marker occurs and each one's first occurrence stands after
// the first occurrence of the marker before it.
bool InOrder(const std::string& upperText, std::initializer_list<const char*> markers) {
  size_t previous = 0;
  bool first = true;
  for (const char* marker : markers) {
    const size_t at = upperText.find(marker);
    if (at == std::string::npos || (!first && at <= previous)) return false;
    previous = at;
    first = false;
  }
  return true;
}

}  // namespace

bool IsHtmlErrorPage(const std::string& fileName, const std::string& text) {
  std::string looked = text;
  if (!fileName.empty()) ReadHead(fileName, looked);
  const std::string upper = UpperText(looked.substr(0, kLooked));
  return InOrder(upper, {"<TITLE", "404", "</TITLE>"}) ||
         InOrder(upper, {"<HTML>", "<HEAD>", "<TITLE>", "</TITLE>"});
}

std::string NotFoundMessage(const std::string& url) {
  return "<B>404 File Not Found...</B><P><P>URL:  " + url +
         ".<P><P>Please make sure the file is available and access is allowed to this file.";
}

std::string HtmlErrorMessage(const std::string& fileName, const std::string& text,
                             const std::string& url, const std::string& defaultMessage,
                             bool iisHint) {
  if (!IsHtmlErrorPage(fileName, text)) return defaultMessage;
  std::string message = NotFoundMessage(url);
  if (iisHint && ContainsText(text, "IIS", true)) {
    message += "<P><P>If you are using an IIS webserver you must define appropriate MIME-Types.";
  }
  return message;
}
