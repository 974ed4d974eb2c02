#include "inet/DownloadRules.h"

#include <cctype>

#include "common/TextRules.h"

namespace {

constexpr char kPartialSuffix[] = ".vxpart";

bool CarriedAsIs(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return false;
  static const char kReserved[] = "%#?\"<>\\^`{|}/";
  for (const char* r = kReserved; *r; ++r) {
    if (c == static_cast<unsigned char>(*r)) return false;
  }
  return true;
}

std::string PercentEncoded(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (CarriedAsIs(c)) {
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

bool HasBlankOrControl(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return true;
  }
  return false;
}

// "host" or "host:port"; false when the port is not 1..65535.
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
  return !parts.host.empty();
}

}  // namespace

std::string CompleteUrlScheme(const std::string& url) {
  if (StartsWithText("http://", url, true) || StartsWithText("https://", url, true)) return url;
  return "http://" + url;
}

std::string JoinUrl(const std::string& folder, const std::string& fileName) {
  size_t end = folder.size();
  while (end > 0 && folder[end - 1] == '/') --end;
  return folder.substr(0, end) + "/" + PercentEncoded(fileName);
}

std::string UrlFileName(const std::string& url) {
  const std::string path = url.substr(0, url.find_first_of("?#"));
  const size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool SplitUrl(const std::string& url, UrlParts& parts) {
  parts = UrlParts();
  const std::string full = CompleteUrlScheme(url);
  if (HasBlankOrControl(full)) return false;
  parts.secure = StartsWithText("https://", full, true);
  const std::string rest = full.substr(parts.secure ? 8 : 7);
  const size_t slash = rest.find_first_of("/?#");
  const std::string authority = rest.substr(0, slash);
  if (authority.find('@') != std::string::npos || authority.find('[') != std::string::npos) return false;
  if (!SplitHostPort(authority, parts.secure, parts)) return false;
  parts.path = slash == std::string::npos ? "/" : rest.substr(slash);
  const size_t fragment = parts.path.find('#');
  if (fragment != std::string::npos) parts.path.erase(fragment);
  if (parts.path.empty() || parts.path[0] != '/') parts.path.insert(0, "/");
  return true;
}

uint32_t ProgressChunk(uint64_t size) {
  const uint64_t chunk = size / 10;
  if (chunk < 1) return 1;
  return chunk > 8192 ? 8192 : static_cast<uint32_t>(chunk);
}

uint64_t ProgressRange(uint64_t size, uint32_t chunk) { return (size + chunk - 1) / chunk + 1; }

uint64_t ProgressPosition(uint64_t received, uint64_t size, uint32_t chunk) {
  const uint64_t position = 1 + received / chunk;
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
  return "Incomplete download: " + std::to_string(received) + " of " + std::to_string(expected) + " bytes";
}

std::string TransferVerdict(uint64_t announced, uint64_t received, uint64_t expected) {
  if (announced != kUnknownSize) return received == announced ? "" : IncompleteDownloadText(received, announced);
  if (expected != 0 && received != expected) return IncompleteDownloadText(received, expected);
  return "";
}
