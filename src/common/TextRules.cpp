#include "common/TextRules.h"

#include <cmath>
#include <cstdlib>

#include "common/NumberText.h"

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

bool IsPathSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

size_t LastPathSeparator(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return i - 1;
  }
  return std::string::npos;
}

}  // namespace

std::string TrimText(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

size_t FindText(const std::string& text, const std::string& find, bool ignoreCase, size_t start) {
  if (!ignoreCase) return text.find(find, start);
  return UpperText(text).find(UpperText(find), start);
}

bool ContainsText(const std::string& text, const std::string& find, bool ignoreCase) {
  return FindText(text, find, ignoreCase) != std::string::npos;
}

std::string ReplaceText(const std::string& text, const std::string& find,
                        const std::string& replacement, bool ignoreCase) {
  if (text.empty() || find.empty()) return text;
  // Search a copy with the case folded once; positions match the original.
  const std::string haystack = ignoreCase ? UpperText(text) : text;
  const std::string needle = ignoreCase ? UpperText(find) : find;
  std::string out;
  size_t from = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, from)) {
    out.append(text, from, at - from);
    out += replacement;
    from = at + find.size();
  }
  out.append(text, from, std::string::npos);
  return out;
}

std::string ReplaceTextTrimmed(const std::string& text, const std::string& find,
                               const std::string& replacement, bool ignoreCase) {
  return TrimText(ReplaceText(text, find, replacement, ignoreCase));
}

std::string ExpandEscapes(const std::string& text) {
  std::string out = ReplaceText(text, "\\\\n", "\r\n", false);
  out = ReplaceText(out, "\\\\t", "\t", false);
  out = ReplaceText(out, "<P>", "\r\n", true);
  return ReplaceText(out, "<T>", "\t", true);
}

namespace {

std::string GroupThousands(const std::string& number) {
  const size_t point = number.find('.');
  const std::string whole = number.substr(0, point);
  std::string grouped;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
    grouped += whole[i];
  }
  return point == std::string::npos ? grouped : grouped + number.substr(point);
}

std::string FormatQuotient(double quotient, int decimals, bool separators) {
  const std::string text = decimals <= 0 ? FixedText(std::ceil(quotient), 0)
                                         : FixedText(quotient, decimals <= 4 ? decimals : 1);
  return separators ? GroupThousands(text) : text;
}

}  // namespace

std::string FormatSizeKB(double bytes, int decimals, bool separators) {
  return FormatQuotient(bytes / 1024.0, decimals, separators);
}

std::string FormatSizeMB(double bytes, int decimals, bool separators) {
  return FormatQuotient(bytes / 1048576.0, decimals, separators);
}

bool StartsWithText(const std::string& prefix, const std::string& text, bool ignoreCase) {
  if (prefix.size() > text.size()) return false;
  const std::string head = text.substr(0, prefix.size());
  return ignoreCase ? UpperText(head) == UpperText(prefix) : head == prefix;
}

bool EndsWithText(const std::string& suffix, const std::string& text, bool ignoreCase) {
  if (suffix.size() > text.size()) return false;
  const std::string tail = text.substr(text.size() - suffix.size());
  return ignoreCase ? UpperText(tail) == UpperText(suffix) : tail == suffix;
}

std::string RemoveBlanksBeforeEquals(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '=') {
      while (!out.empty() && out.back() == ' ') out.pop_back();
    }
    out += c;
  }
  return out;
}

bool SameTrimmedText(const std::string& a, const std::string& b) {
  return UpperText(TrimText(a)) == UpperText(TrimText(b));
}

std::string BytesToHex(const std::string& bytes, bool withPrefix, bool withBlanks) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (withPrefix) out += "0x";
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
    if (withBlanks) {
      out += ' ';
      if (i % 8 == 7) out += ' ';
    }
  }
  return out;
}

bool HexToBytes(const std::string& hex, std::string& bytes) {
  bytes.clear();
  size_t i = 0;
  while (i < hex.size()) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    if (hex[i] == '0' && i + 1 < hex.size() && (hex[i + 1] == 'x' || hex[i + 1] == 'X')) i += 2;
    if (i + 1 >= hex.size() || !IsHexDigit(hex[i]) || !IsHexDigit(hex[i + 1])) return false;
    bytes += static_cast<char>(HexValue(hex[i]) * 16 + HexValue(hex[i + 1]));
    i += 2;
  }
  return true;
}

bool ParseInt64(const std::string& text, int64_t& value) {
  const std::string t = TrimText(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = (t[i++] == '-');
  if (i == t.size()) return false;
  uint64_t magnitude = 0;
  const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    const unsigned digit = t[i] - '0';
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

int64_t TextToInt64(const std::string& text, int64_t fallback) {
  int64_t value = fallback;
  return ParseInt64(text, value) ? value : fallback;
}

std::string ExtractFileName(const std::string& path) {
  const size_t at = LastPathSeparator(path);
  return at == std::string::npos ? path : path.substr(at + 1);
}

std::string ExtractFileDir(const std::string& path) {
  const size_t at = LastPathSeparator(path);
  if (at == std::string::npos) return "";
  // Keep the separator of a drive root ("C:\") so the result still names it.
  if (at > 0 && path[at - 1] == ':') return path.substr(0, at + 1);
  if (path[at] == ':') return path.substr(0, at + 1);
  return path.substr(0, at);
}

std::string RemoveLastExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name;
  const size_t separator = LastPathSeparator(name);
  if (separator != std::string::npos && separator > dot) return name;
  return name.substr(0, dot);
}
