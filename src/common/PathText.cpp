#include "common/PathText.h"

#include <vector>

namespace {

bool IsSlash(char ch) { return ch == '\\' || ch == '/'; }

// Splits at "\" and "/" that are characters of their own, never the second
// byte of a double-byte character.
std::vector<std::string> SplitSteps(const std::string& text, LeadByteTest isLeadByte) {
  std::vector<std::string> steps(1);
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (isLeadByte(byte) && i + 1 < text.size()) {
      steps.back() += text.substr(i, 2);
      ++i;
    } else if (IsSlash(text[i])) {
      steps.emplace_back();
    } else {
      steps.back() += text[i];
    }
  }
  return steps;
}

bool IsDriveLetter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }

// "C:" for drive paths, "\\server\share" for network paths, empty for a path
// without a root. `rest` gets what follows the root.
std::string SplitRoot(const std::string& path, std::string& rest, LeadByteTest isLeadByte) {
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
    rest = path.substr(2);
    return path.substr(0, 2);
  }
  if (path.size() >= 2 && IsSlash(path[0]) && IsSlash(path[1])) {
    const std::vector<std::string> steps = SplitSteps(path.substr(2), isLeadByte);
    std::string root = "\\\\" + steps[0];
    size_t used = 2 + steps[0].size();
    if (steps.size() > 1) {
      root += "\\" + steps[1];
      used += 1 + steps[1].size();
    }
    rest = path.substr(used);
    return root;
  }
  rest = path;
  return "";
}

std::string ResolveUnquoted(const std::string& path, const std::string& baseFolder,
                            LeadByteTest isLeadByte) {
  std::string rest;
  std::string root = SplitRoot(path, rest, isLeadByte);
  std::string steps = rest;
  if (root.empty()) {
    std::string baseRest;
    root = SplitRoot(baseFolder, baseRest, isLeadByte);
    // "\x" is on the base's drive; anything else below the base folder.
    steps = !rest.empty() && IsSlash(rest[0]) ? rest : baseRest + "\\" + rest;
  }
  std::vector<std::string> kept;
  for (const std::string& step : SplitSteps(steps, isLeadByte)) {
    if (step.empty() || step == ".") continue;
    if (step == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(step);
  }
  std::string full = root;
  for (const std::string& step : kept) full += "\\" + step;
  const bool isNetworkRoot = root.size() > 2;
  if (kept.empty() && !isNetworkRoot)
    full += "\\";
  else if (!kept.empty() && IsSlash(path.back()))
    full += "\\";
  return full;
}

// A last byte 0x5C is a backslash only when it is not the second byte of a
// double-byte character.
bool EndsWithBackslash(const std::string& text, LeadByteTest isLeadByte) {
  if (text.empty() || text.back() != '\\') return false;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (!isLeadByte(static_cast<unsigned char>(text[i]))) continue;
    if (i + 2 == text.size()) return false;
    ++i;
  }
  return true;
}

}  // namespace

bool NoLeadBytes(unsigned char) { return false; }

std::string CollapseBackslashes(const std::string& text, LeadByteTest isLeadByte) {
  if (text.size() < 3) return text;
  const char enclosing = text.front() == text.back() ? text.front() : '\0';
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  // Whether the last character written is a backslash of its own, and how
  // many of the current run may stay.
  bool inRun = false;
  int runKeeps = 0;
  while (i < text.size()) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (isLeadByte(byte) && i + 1 < text.size()) {
      out.append(text, i, 2);
      i += 2;
      inRun = false;
      continue;
    }
    if (i == 0 || text[i] != '\\') {
      out += text[i++];
      inRun = false;
      continue;
    }
    if (!inRun) {
      inRun = true;
      // A network path enclosed in quotes or as the first item of a list
      // keeps its two leading backslashes.
      runKeeps = enclosing != '\0' && text[i - 1] == enclosing ? 2 : 1;
    }
    if (runKeeps > 0) {
      out += '\\';
      --runKeeps;
    }
    ++i;
  }
  return out;
}

std::string WithoutTrailingBackslash(const std::string& text, LeadByteTest isLeadByte) {
  if (text.size() <= 2 || !EndsWithBackslash(text, isLeadByte)) return text;
  return text.substr(0, text.size() - 1);
}

std::string WithTrailingBackslash(const std::string& text, LeadByteTest isLeadByte) {
  if (text.empty() || EndsWithBackslash(text, isLeadByte)) return text;
  return text + "\\";
}

std::string ParentFolder(const std::string& path, LeadByteTest isLeadByte) {
  const std::string folder = WithoutTrailingBackslash(path, isLeadByte);
  size_t separator = std::string::npos;
  for (size_t i = 0; i < folder.size(); ++i) {
    if (isLeadByte(static_cast<unsigned char>(folder[i]))) {
      ++i;
    } else if (IsSlash(folder[i]) || folder[i] == ':') {
      separator = i;
    }
  }
  if (separator == std::string::npos) return "";
  // "C:" keeps its colon; a separator is dropped.
  const size_t end = folder[separator] == ':' ? separator + 1 : separator;
  return WithoutTrailingBackslash(folder.substr(0, end), isLeadByte);
}

bool HasRelativeStep(const std::string& text) {
  return text.find("\\..") != std::string::npos || text.find("..\\") != std::string::npos;
}

std::string ResolveFullPath(const std::string& path, const std::string& baseFolder,
                            LeadByteTest isLeadByte) {
  if (path.empty()) return path;
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
    return "\"" + ResolveUnquoted(path.substr(1, path.size() - 2), baseFolder, isLeadByte) + "\"";
  }
  return ResolveUnquoted(path, baseFolder, isLeadByte);
}
