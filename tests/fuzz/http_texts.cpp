// What a web server or a package hands to the download: the page that came
// instead of a file, the URLs (from a package, a server's redirect or an
// info file) and the lengths. A URL taken apart carries nothing a request
// line cannot; the progress stays within its range whatever the lengths.
#include "FuzzSupport.h"
#include "common/TextRules.h"
#include "inet/DownloadRules.h"
#include "inet/HtmlErrorPage.h"

namespace {

void ErrorPage(FuzzedDataProvider& input) {
  const std::string url = input.ConsumeRandomLengthString(128);
  const bool iis = input.ConsumeBool();
  const std::string page = input.ConsumeRemainingBytesAsString();
  const bool isError = IsHtmlErrorPage("", page);
  FUZZ_CHECK(isError == IsHtmlErrorPage("", page.substr(0, 1000)), "text past 1,000 characters counted");
  const std::string message = HtmlErrorMessage("", page, url, "default", iis);
  FUZZ_CHECK(isError || message == "default", "a message for a page that is no error page");
  NotFoundMessage(url);
}

void Urls(FuzzedDataProvider& input) {
  const std::string url = input.ConsumeRandomLengthString(256);
  const std::string location = input.ConsumeRandomLengthString(128);
  const std::string folder = input.ConsumeRandomLengthString(64);
  const std::string file = input.ConsumeRandomLengthString(64);
  CompleteUrlScheme(url);
  UrlFileName(url);
  const std::string joined = JoinUrl(folder, file);
  // The file name follows the last "/", with every byte a URL cannot carry
  // escaped.
  const std::string tail = joined.substr(joined.rfind('/') + 1);
  for (char c : tail) {
    const unsigned char byte = static_cast<unsigned char>(c);
    FUZZ_CHECK(byte > ' ' && byte < 0x7F && std::string(" \"<>\\^`{|}#?").find(c) == std::string::npos,
               "a joined file name carries a byte a URL cannot");
  }
  if (file.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-") == std::string::npos) {
    FUZZ_CHECK(tail == file, "a plain file name was changed by joining");
  }
  const std::string resolved = ResolveUrl(url, location);
  for (const std::string& candidate : {url, resolved, joined}) {
    UrlParts parts;
    if (!SplitUrl(candidate, parts)) continue;
    FUZZ_CHECK(!parts.host.empty() && parts.port >= 1 && parts.port <= 65535, "a URL without host or with a bad port");
    FUZZ_CHECK(!parts.path.empty() && parts.path[0] == '/', "a request path that does not start with /");
    for (char c : parts.host + parts.path) {
      const unsigned char byte = static_cast<unsigned char>(c);
      FUZZ_CHECK(byte > ' ' && byte < 0x7F, "a request line would carry a blank, control or non-ASCII byte");
    }
    FUZZ_CHECK(parts.host.find_first_of("@/\\") == std::string::npos, "a host with a user part or a path");
  }
}

void Lengths(FuzzedDataProvider& input) {
  const uint64_t size = input.ConsumeBool() ? input.ConsumeIntegral<uint64_t>()
                                            : input.ConsumeIntegralInRange<uint64_t>(0, 1u << 20);
  const uint64_t received = input.ConsumeIntegral<uint64_t>();
  const uint32_t chunk = input.ConsumeBool() ? ProgressChunk(size) : input.ConsumeIntegral<uint32_t>();
  const uint64_t range = ProgressRange(size, chunk);
  FUZZ_CHECK(ProgressPosition(received, size, chunk) <= range, "progress beyond its range");
  FUZZ_CHECK(ProgressPosition(size, size, chunk) == range, "a complete transfer short of the full range");
  const uint64_t announced = input.ConsumeIntegral<uint64_t>(), expected = input.ConsumeIntegral<uint64_t>();
  const std::string verdict = TransferVerdict(announced, received, expected);
  if (announced != kUnknownSize) FUZZ_CHECK(verdict.empty() == (received == announced), "verdict on the length");
  const std::string dest = input.ConsumeRandomLengthString(64);
  const std::string partial = PartialFileName(dest, size, input.ConsumeIntegral<uint32_t>());
  if (!dest.empty() && dest.find_first_of("\\/:") == std::string::npos) {
    FUZZ_CHECK(IsPartialNameOf(partial, dest), "a partial name not known as one");
  }
  HttpStatusError(dest, input.ConsumeIntegral<unsigned>());
  IncompleteDownloadText(received, announced);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  switch (input.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
      ErrorPage(input);
      break;
    case 1:
      Urls(input);
      break;
    default:
      Lengths(input);
  }
  return 0;
}
