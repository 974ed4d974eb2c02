#include "common/CmdLine.h"

#include "common/TextRules.h"

std::string CmdLineParamsOf(const std::string& rawCommandLine, const std::string& programPath) {
  const std::string name = ExtractFileName(programPath);
  const std::string quotedName = name + "\"";
  std::string rest;
  // The program's name is looked for rather than parsed as the first token:
  // launchers quote it, or not, or pass the full path in any case.
  size_t at = FindText(rawCommandLine, quotedName, true);
  if (at != std::string::npos) {
    rest = rawCommandLine.substr(at + quotedName.size());
  } else if ((at = FindText(rawCommandLine, name, true)) == std::string::npos) {
    rest = rawCommandLine;
    const size_t pathAt = programPath.empty() ? std::string::npos : FindText(rest, programPath, true);
    if (pathAt != std::string::npos) rest.erase(pathAt, programPath.size());
    return TrimText(rest);
  } else {
    rest = rawCommandLine.substr(at + name.size());
  }
  // A lone closing quote or similar left over after the name is no parameter.
  if (TrimText(rest).size() == 1) return "";
  return TrimText(rest);
}

bool HasSwitchIn(const std::string& params, const std::string& switchWord) {
  return ContainsText(params + " ", TrimText(switchWord) + " ", true);
}

namespace {

constexpr char kItemSeparator = '\x01';

// One item per switch: only a blank followed by the switch character starts
// the next switch, so values may hold blanks.
std::string SwitchList(const std::string& params, char switchChar) {
  std::string text = " " + params;
  text = ReplaceText(text, "\"", "", false);
  text = ReplaceText(text, std::string(" ") + switchChar, std::string(1, kItemSeparator), false);
  return RemoveBlanksBeforeEquals(std::string(1, kItemSeparator) + text + kItemSeparator);
}

}  // namespace

std::string SwitchValueIn(const std::string& params, const std::string& switchName,
                          const std::string& fallback) {
  std::string name = TrimText(switchName);
  if (name.empty()) return fallback;
  const char switchChar = name[0] == '-' ? '-' : '/';
  name = ReplaceText(name, std::string(1, switchChar), "", false);
  if (name.empty() || name.back() != '=') name += '=';

  const std::string list = SwitchList(params, switchChar);
  const size_t at = FindText(list, std::string(1, kItemSeparator) + name, true);
  if (at == std::string::npos) return fallback;
  const size_t start = at + 1 + name.size();
  const size_t end = list.find(kItemSeparator, start);
  return TrimText(list.substr(start, end - start));
}

int64_t SwitchIntIn(const std::string& params, const std::string& switchName, int64_t fallback) {
  const std::string missing = "\x01";  // cannot occur in a value
  const std::string value = SwitchValueIn(params, switchName, missing);
  if (value == missing) return fallback;
  return TextToInt64(value, fallback);
}
