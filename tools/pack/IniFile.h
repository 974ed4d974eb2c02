// A small INI reader for project files. It keeps the order of sections and
// keys and the line of each, so that errors can point at the line.
#pragma once

#include <string>
#include <vector>

struct IniEntry {
  std::string key;    // trimmed
  std::string value;  // trimmed; one pair of surrounding double quotes removed
  int line = 0;       // 1-based
};

struct IniSection {
  std::string name;  // text between the brackets, trimmed
  int line = 0;
  std::vector<IniEntry> entries;
};

// Reads INI text: blank lines, comments (";" or "#" as the first non-blank
// character), "[name]" and "key = value" lines; CR LF and LF both end a line.
// Comments stand on their own lines: a ";" inside a value belongs to it. A
// quoted value keeps its outer blanks. A leading UTF-8 byte-order mark is
// skipped. False with `error` and `errorLine` (0: the whole text) on a line
// of no such form, a key before the first section or a NUL byte.
bool ParseIni(const std::string& text, std::vector<IniSection>& sections, std::string& error,
              int& errorLine);
