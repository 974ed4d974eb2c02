#include "inet/DownloadRules.h"

#include <algorithm>
#include <cctype>

#include "common/TextRules.h"

namespace {

constexpr char kPartialSuffix[] = ".vxpart";

// True for a byte a URL can carry as it is in a path or query.
bool CarriedInPath(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return false;
  static const char kUnsafe[] = "\"<>\\^`{|}";
  for (const char* u = kUnsafe; *u; ++u) {
    if (c == static_cast<unsigned char>(*u)) return false;
  }
  return true;
}

// A file name is one component: its "/" and the URL's delimiters are data.
bool CarriedInFileName(unsigned char c) {
  return CarriedInPath(c) && c != '%' && c != '#' && c != '?' && c != '/';
}

std::string PercentEncoded(const std::string& text, bool (*carried)(unsigned char)) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (carried(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool HasControlByte(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// Names and IPv4 addresses only: letters, digits, "-", "." and "_".
bool IsPlainHostName(const std::string& host) {
  if (host.empty()) return false;
  for (const char c : host) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_')
      return false;
  }
  return true;
}

// "host" or "host:port"; false when the host is not a plain name or the
// port is not 1..65535.
bool SplitHostPort(const std::string& authority, bool secure, UrlParts& parts) {
  const size_t colon = authority.find(':');
  parts.host = authority.substr(0, colon);
  parts.port = secure ? 443 : 80;
  if (colon != std::string::npos) {
    const std::string port = authority.substr(colon + 1);
    if (!AllDigits(port) || port.size() > 5) return false;
    parts.port = std::stoi(port);
    if (parts.port < 1 || parts.port > 65535) return false;
  }
  return IsPlainHostName(parts.host);
}

// ceil(bytes / chunk); a chunk of 0 counts as 1.
uint64_t ChunkCount(uint64_t bytes, uint32_t chunk) {
  if (chunk == 0) chunk = 1;
  return bytes / chunk + (bytes % chunk != 0 ? 1 : 0);
}

// A scheme ("ftp://", "file://") other than the two this client speaks.
bool HasOtherScheme(const std::string& url) {
  const size_t mark = url.find("://");
  return mark != std::string::npos && url.find_first_of("/?#") > mark;
}

}  // namespace

std::string CompleteUrlScheme(const std::string& url) {
  if (StartsWithText("http://", url, true) || StartsWithText("https://", url, true)) return url;
  return "http://" + url;
}

std::string JoinUrl(const std::string& folder, const std::string& fileName) {
  size_t end = folder.size();
  while (end > 0 && folder[end - 1] == '/') --end;
  return folder.substr(0, end) + "/" + PercentEncoded(fileName, CarriedInFileName);
}

std::string UrlFileName(const std::string& url) {
  const std::string path = url.substr(0, url.find_first_of("?#"));
  const size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool SplitUrl(const std::string& url, UrlParts& parts) {
  parts = UrlParts();
  // Control bytes (CR, LF) in a URL could add lines to the request.
  if (HasControlByte(url)) return false;
  const std::string full = CompleteUrlScheme(url);
  if (full != url && HasOtherScheme(url)) return false;
  parts.secure = StartsWithText("https://", full, true);
  const std::string rest = full.substr(parts.secure ? 8 : 7);
  const size_t slash = rest.find_first_of("/?#");
  const std::string authority = rest.substr(0, slash);
  // A user part ("user@host") is refused; so are IPv6 literals.
  if (authority.find('@') != std::string::npos) return false;
  if (!SplitHostPort(authority, parts.secure, parts)) return false;
  std::string path = slash == std::string::npos ? "" : rest.substr(slash);
  path.erase(std::min(path.find('#'), path.size()));
  if (path.empty() || path[0] != '/') path.insert(0, "/");
  parts.path = PercentEncoded(path, CarriedInPath);
  return true;
}

uint32_t ProgressChunk(uint64_t size) {
  const uint64_t chunk = size / 10;
  if (chunk < 1) return 1;
  return chunk > 8192 ? 8192 : static_cast<uint32_t>(chunk);
}

uint64_t ProgressRange(uint64_t size, uint32_t chunk) { return ChunkCount(size, chunk) + 1; }

uint64_t ProgressPosition(uint64_t received, uint64_t size, uint32_t chunk) {
  // Counted as the steps chunk-sized reads would make: every read, the last
  // short one too, is a step, so the bar stands full when all bytes are in.
  const uint64_t position = ChunkCount(received, chunk) + 1;
  const uint64_t range = ProgressRange(size, chunk);
  return position > range ? range : position;
}

std::string PartialFileName(const std::string& destFile, uint64_t size, uint32_t dosDate) {
  const uint32_t number = static_cast<uint32_t>(size + dosDate);
  return destFile + "." + std::to_string(number) + kPartialSuffix;
}

bool IsPartialNameOf(const std::string& candidate, const std::string& destName) {
  const std::string suffix = kPartialSuffix;
  const size_t fixed = destName.size() + 1 + suffix.size();
  if (candidate.size() <= fixed || !StartsWithText(destName + ".", candidate, true) ||
      !EndsWithText(suffix, candidate, true)) {
    return false;
  }
  return AllDigits(candidate.substr(destName.size() + 1, candidate.size() - fixed));
}

std::string HttpStatusError(const std::string& url, unsigned status) {
  return url + " --- HTTP " + std::to_string(status);
}

std::string IncompleteDownloadText(uint64_t received, uint64_t expected) {
  return "Incomplete download: " + std::to_string(received) + " of " + std::to_string(expected) +
         " bytes";
}

std::string TransferVerdict(uint64_t announced, uint64_t received, uint64_t expected) {
  if (announced != kUnknownSize)
    return received == announced ? "" : IncompleteDownloadText(received, announced);
  if (expected != 0 && received != expected) return IncompleteDownloadText(received, expected);
  return "";
}

std::string ResolveUrl(const std::string& base, const std::string& location) {
  if (StartsWithText("http://", location, true) || StartsWithText("https://", location, true)) return location;
  const std::string full = CompleteUrlScheme(base);
  const size_t authority = full.find("//") + 2;
  if (location.compare(0, 2, "//") == 0) return full.substr(0, authority - 2) + location;
  const size_t pathStart = full.find_first_of("/?#", authority);
  const std::string origin = full.substr(0, pathStart);
  if (!location.empty() && location[0] == '/') return origin + location;
  std::string path = pathStart == std::string::npos ? "/" : full.substr(pathStart);
  path = path.substr(0, path.find_first_of("?#"));
  if (path.empty() || path[0] != '/') path = "/";
  return origin + path.substr(0, path.rfind('/') + 1) + location;
}
