#include "common/ProcessRules.h"

#include "common/TextRules.h"
#include "common/VSUB.h"

std::string NormaliseProgramPath(const std::string& path) {
  const std::string trimmed = TrimText(path);
  if (trimmed.size() >= 2 && trimmed.front() == '"' && trimmed.back() == '"') {
    return TrimText(trimmed.substr(1, trimmed.size() - 2));
  }
  return trimmed;
}

void AddProcessEntry(std::string& list, const std::string& name, uint32_t id) {
  if (name.empty()) return;
  list += name + "=" + std::to_string(id) + "|";
}

std::string ReversedList(const std::string& list) {
  const int count = SUB::Count(list);
  if (count == 0) return list;
  const std::string separator(1, list.front());
  std::string reversed = separator;
  for (int i = count - 1; i >= 0; --i) reversed += SUB::Item(list, i) + separator;
  return reversed;
}

namespace {

// Splits "name=id" at the last "=", as program names may hold one.
bool SplitEntry(const std::string& entry, std::string& name, uint32_t& id) {
  const size_t equals = entry.rfind('=');
  if (equals == std::string::npos) return false;
  name = entry.substr(0, equals);
  const int64_t value = TextToInt64(entry.substr(equals + 1), 0);
  id = value > 0 && value <= 0xFFFFFFFFLL ? static_cast<uint32_t>(value) : 0;
  return true;
}

}  // namespace

uint32_t FindInProcessList(const std::string& list, const std::string& name,
                           const std::string& shortName) {
  const int count = SUB::Count(list);
  for (int i = 0; i < count; ++i) {
    std::string entryName;
    uint32_t id = 0;
    if (!SplitEntry(SUB::Item(list, i), entryName, id)) continue;
    if (SameTrimmedText(entryName, name) ||
        (!TrimText(shortName).empty() && SameTrimmedText(entryName, shortName))) {
      return id;
    }
  }
  return 0;
}

std::string SpecialProcessName(uint32_t id, uint32_t majorVersion, uint32_t minorVersion) {
  if (id == 0) return "System Idle Process";
  if (id == 2 && majorVersion == 4) return "System Process";
  if (id == 8 && majorVersion == 5 && minorVersion == 0) return "System Process";
  return "";
}

bool ProgramMatches(const std::string& path, const std::string& pathShort,
                    const ListedProgram& listed, bool byFullPath) {
  if (TrimText(path).empty()) return false;
  if (SameTrimmedText(path, listed.fullPath)) return true;
  if (!byFullPath && SameTrimmedText(path, listed.baseName)) return true;
  // Two paths without a short form are not thereby the same program.
  return !TrimText(pathShort).empty() && !TrimText(listed.shortPath).empty() &&
         SameTrimmedText(pathShort, listed.shortPath);
}

WindowList NewWindowList(int mode, const std::string& nameFilter, int64_t idFilter) {
  WindowList list;
  list.mode = mode;
  list.nameFilter = nameFilter;
  list.idFilter = idFilter;
  return list;
}

namespace {

// Glob match with "*" only; both texts already upper-cased.
bool WildcardMatch(const std::string& pattern, const std::string& text) {
  size_t p = 0, t = 0, starP = std::string::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string ListSafe(const std::string& text) { return ReplaceText(text, "|", "/", false); }

}  // namespace

bool ListHoldsName(const std::string& list, const std::string& name) {
  const std::string wanted = UpperText(TrimText(name));
  const int count = SUB::Count(list);
  for (int i = 0; i < count; ++i) {
    if (WildcardMatch(UpperText(TrimText(SUB::Item(list, i))), wanted)) return true;
  }
  return false;
}

bool AddToWindowList(WindowList& list, const WindowFacts& facts) {
  if (list.mode == 1 || !ListHoldsName(list.programNames, facts.programName)) {
    list.processIds += std::to_string(facts.processId) + "|";
    list.programNames += facts.programName + "|";
    list.classNames += ListSafe(facts.className) + "|";
    list.windows += std::to_string(facts.window) + "|";
    list.threadIds += std::to_string(facts.threadId) + "|";
    list.titles += ListSafe(facts.title) + "|";
    list.visible += facts.visible ? "1|" : "0|";
  }
  if (list.mode != 0) return true;
  return facts.programName != list.nameFilter &&
         static_cast<int64_t>(facts.processId) != list.idFilter;
}

std::string ProcessListOf(const WindowList& list) {
  std::string processes = kEmptyProcessList;
  const int count = SUB::Count(list.programNames);
  for (int i = 0; i < count; ++i) {
    const int64_t id = TextToInt64(SUB::Item(list.processIds, i), 0);
    AddProcessEntry(processes, SUB::Item(list.programNames, i), static_cast<uint32_t>(id));
  }
  return processes;
}

bool IsImeWindowClass(const std::string& className) {
  return SameTrimmedText(className, "IME") || SameTrimmedText(className, "MSCTFIME UI");
}

bool TAnalizer::Add(uintptr_t window, uintptr_t topOwner, bool titled, bool visible) {
  if (windows_.size() >= kMaxWindows) return false;
  windows_.push_back({window, topOwner, titled, visible});
  return true;
}

std::vector<uint16_t> TAnalizer::Scores() const {
  std::vector<uint16_t> scores(windows_.size(), 0);
  for (const Collected& owned : windows_) {
    for (size_t i = 0; i < windows_.size(); ++i) {
      if (windows_[i].window == owned.topOwner) ++scores[i];
    }
  }
  // At most 2001 owners * 4 + 3: fits in 16 bits.
  for (size_t i = 0; i < windows_.size(); ++i) {
    scores[i] = static_cast<uint16_t>(scores[i] * 4 + (windows_[i].titled ? 2 : 0) +
                                      (windows_[i].visible ? 1 : 0));
  }
  return scores;
}

uintptr_t TAnalizer::Best() const {
  const std::vector<uint16_t> scores = Scores();
  uintptr_t best = 0;
  uint16_t bestScore = 0;
  for (size_t i = 0; i < scores.size(); ++i) {
    if (scores[i] > bestScore) {
      bestScore = scores[i];
      best = windows_[i].window;
    }
  }
  return best;
}

namespace {

// The tasklist text as a "|"-list of lines without quotes; the first line
// is the header.
std::string TasklistLines(const std::string& text) {
  std::string lines = ReplaceText(TrimText(text), "\"", "", false);
  lines = ReplaceText(lines, "\r\n", "|", false);
  lines = ReplaceText(lines, "\n", "|", false);
  return "|" + lines + "|";
}

uint32_t IdOnLine(const std::string& line, const std::string& name) {
  const std::string fields = "," + line + ",";
  if (!SameTrimmedText(SUB::Item(fields, 0), name)) return 0;
  const int64_t id = TextToInt64(TrimText(SUB::Item(fields, 1)), 0);
  return id > 0 && id <= 0xFFFFFFFFLL ? static_cast<uint32_t>(id) : 0;
}

}  // namespace

uint32_t TasklistIdFromText(const std::string& text, const std::string& path, bool fromEnd) {
  const std::string name = ExtractFileName(TrimText(path));
  if (TrimText(name).empty()) return 0;
  const std::string lines = TasklistLines(text);
  const int count = SUB::Count(lines);
  // The header (line 0) names no program; a walk from the end skips it.
  for (int i = 0; i < count; ++i) {
    const int index = fromEnd ? count - 1 - i : i;
    if (fromEnd && index == 0) break;
    const uint32_t id = IdOnLine(SUB::Item(lines, index), name);
    if (id > 0) return id;
  }
  return 0;
}

std::string ConsoleCommandLine(const std::string& program, const std::string& arguments) {
  const bool quote =
      program.find(' ') != std::string::npos && program.find('"') == std::string::npos;
  std::string commandLine = quote ? "\"" + program + "\"" : program;
  if (!arguments.empty()) commandLine += " " + arguments;
  return commandLine;
}

std::string StartFailureText(const std::string& systemText, const std::string& commandLine) {
  if (commandLine.size() > kMaxCommandLine) return "Command line is too long";
  return TrimText(systemText) + " --- " + commandLine.substr(0, 256);
}

uint32_t FirstPollInterval(bool withCallback) { return withCallback ? 1 : 100; }

uint32_t NextPollInterval(uint32_t interval, bool haveOutput) {
  return interval > 10 && haveOutput ? interval - 10 : interval;
}
