#include "setup/EngineCommand.h"

#include "common/TextRules.h"

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The switch reader (SwitchValueIn) drops every double quote before it
// looks, so quotes are skipped here wherever they stand.
size_t SkipQuotes(const std::string& text, size_t at) {
  while (at < text.size() && text[at] == '"') ++at;
  return at;
}

// True when the switch character at `at` starts a switch for the reader: it
// is the first character apart from quotes, or the character before it
// (quotes skipped) is a blank.
bool StartsSwitch(const std::string& text, size_t at, char switchChar) {
  if (text[at] != switchChar) return false;
  size_t before = at;
  while (before > 0 && text[before - 1] == '"') --before;
  return before == 0 || text[before - 1] == ' ';
}

// True when the switch at `at` (its switch character) is `name` followed by
// blanks and "=", quotes skipped, letter case ignored.
bool IsSwitchNamed(const std::string& text, size_t at, const std::string& name) {
  size_t i = at + 1;
  for (char c : name) {
    i = SkipQuotes(text, i);
    if (i >= text.size() || AsciiUpper(text[i]) != AsciiUpper(c)) return false;
    ++i;
  }
  for (i = SkipQuotes(text, i); i < text.size() && text[i] == ' '; i = SkipQuotes(text, i + 1)) {
  }
  return i < text.size() && text[i] == '=';
}

}  // namespace

std::string RemoveSwitch(const std::string& commandLine, const std::string& switchText) {
  std::string name = TrimText(switchText);
  if (name.empty()) return commandLine;
  const char switchChar = name[0] == '-' ? '-' : '/';
  if (name[0] == switchChar) name.erase(0, 1);
  if (!name.empty() && name.back() == '=') name.pop_back();
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (name.empty()) return commandLine;

  std::string out;
  out.reserve(commandLine.size());
  size_t copied = 0;  // commandLine before this is in `out` or removed
  for (size_t at = 0; at < commandLine.size(); ++at) {
    if (!StartsSwitch(commandLine, at, switchChar) || !IsSwitchNamed(commandLine, at, name)) continue;
    // Quotes directly before the switch go with it.
    size_t from = at;
    while (from > copied && commandLine[from - 1] == '"') --from;
    // It ends where the reader's next switch starts (quotes directly before
    // that one stay with it), or at the end.
    size_t next = at + 1;
    while (next < commandLine.size() && !StartsSwitch(commandLine, next, switchChar)) ++next;
    size_t to = next;
    while (to < commandLine.size() && to > at + 1 && commandLine[to - 1] == '"') --to;
    out.append(commandLine, copied, from - copied);
    copied = to;
    at = to - 1;
  }
  out.append(commandLine, copied, std::string::npos);
  return out;
}

std::string EngineFileName(const std::string& launchEntry) {
  return TrimText(launchEntry.substr(0, launchEntry.find('*')));
}

std::string BuildEngineCommandLine(const EngineLaunch& launch) {
  std::string tail = launch.commandTail;
  const size_t star = launch.launchEntry.find('*');
  if (star != std::string::npos) tail = TrimText(TrimText(tail) + " " + TrimText(launch.launchEntry.substr(star + 1)));

  std::string folder = launch.workingFolder;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  // Quoted: with blanks in the path, CreateProcess would otherwise try each
  // blank-separated prefix ("C:\Documents.exe", ...) as the program first.
  std::string line = "\"" + folder + EngineFileName(launch.launchEntry) + "\"";
  if (!tail.empty()) line += " " + tail;
  line += " /TH_ID=" + launch.threadToken;
  if (line.find("/OriginExe=") == std::string::npos) line += " /OriginExe=\"" + launch.programPath + "\"";
  if (launch.isUpdateAgent) line += " /AutoUpdateProg";
  line = RemoveSwitch(line, "/SpanCdLvl=");
  return RemoveSwitch(line, "/SpanDiskFName1=");
}

std::string SpanRestartCommandLine(const std::string& copyPath, const std::string& params,
                                   const std::string& programPath) {
  // A level or first volume the user gave would come first and win over
  // ours: a copy started at level 1 again would restart itself without end.
  const std::string own = RemoveSwitch(RemoveSwitch(params, "/SpanCdLvl="), "/SpanDiskFName1=");
  // The copy's path is quoted: temporary folders may contain blanks.
  return "\"" + copyPath + "\" " +
         TrimText(TrimText(own) + " /SpanCdLvl=2 /SpanDiskFName1=\"" + programPath + ".001\" /OriginExe=\"" +
                  programPath + "\"");
}
