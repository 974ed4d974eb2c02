#include "pack/IniFile.h"

#include "common/TextRules.h"

namespace {

bool Fail(int line, const std::string& what, std::string& error, int& errorLine) {
  error = what;
  errorLine = line;
  return false;
}

std::string Unquote(const std::string& value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

bool ParseIni(const std::string& text, std::vector<IniSection>& sections, std::string& error,
              int& errorLine) {
  sections.clear();
  if (text.find('\0') != std::string::npos) {
    return Fail(0, "the file holds a NUL byte (not a text file)", error, errorLine);
  }
  size_t start = StartsWithText("\xEF\xBB\xBF", text, false) ? 3 : 0;
  int lineNumber = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = TrimText(text.substr(start, end - start));
    start = end + 1;
    ++lineNumber;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') {
        return Fail(lineNumber, "section header without closing \"]\"", error, errorLine);
      }
      IniSection section;
      section.name = TrimText(line.substr(1, line.size() - 2));
      section.line = lineNumber;
      sections.push_back(section);
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0) {
      return Fail(lineNumber, "expected \"key = value\", found \"" + line + "\"", error, errorLine);
    }
    if (sections.empty()) return Fail(lineNumber, "key outside of any [section]", error, errorLine);
    IniEntry entry;
    entry.key = TrimText(line.substr(0, equals));
    entry.value = Unquote(TrimText(line.substr(equals + 1)));
    entry.line = lineNumber;
    if (entry.key.empty()) return Fail(lineNumber, "empty key", error, errorLine);
    sections.back().entries.push_back(entry);
  }
  return true;
}
