#include "common/VSUB.h"

#include "common/TextRules.h"

namespace SUB {
namespace {

bool IsList(const std::string& list) {
  return list.size() >= 2 && list.front() == list.back();
}

}  // namespace

int Count(const std::string& list) {
  if (!IsList(list)) return 0;
  int separators = 0;
  for (char c : list) separators += (c == list.front());
  return separators - 1;
}

std::string Item(const std::string& list, int index, const std::string& fallback) {
  if (index < 0 || index >= Count(list)) return fallback;
  const char separator = list.front();
  size_t start = 1;
  for (int i = 0; i < index; ++i) start = list.find(separator, start) + 1;
  const std::string item = list.substr(start, list.find(separator, start) - start);
  return item.empty() ? fallback : item;
}

std::string Value(const std::string& list, const std::string& key, const std::string& fallback) {
  if (list.empty() || key.empty()) return fallback;
  const char separator = list.front();
  // Blanks directly before an "=" do not count in a key lookup.
  const std::string text = list.find(' ') == std::string::npos ? list : RemoveBlanksBeforeEquals(list);
  const std::string wanted = std::string(1, separator) + key + "=";
  const size_t at = FindText(text, wanted, true);
  if (at == std::string::npos) return fallback;
  const size_t start = at + wanted.size();
  const size_t end = text.find(separator, start);
  const std::string value = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
  return value.empty() ? fallback : value;
}

}  // namespace SUB
