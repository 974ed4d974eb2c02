#include "ToolSupport.h"

#include <cstdio>
#include <cstring>

namespace tools {

namespace {

// Length of "NAME=" if the argument starts with it (ignoring case), else 0.
size_t MatchOption(const char* arg, const char* name) {
  const size_t length = std::strlen(name);
  if (_strnicmp(arg, name, length) != 0 || arg[length] != '=') return 0;
  return length + 1;
}

}  // namespace

bool FindOption(int argc, char** argv, int first, const char* name, std::string* value) {
  bool found = false;
  for (int i = first; i < argc; ++i) {
    const size_t skip = MatchOption(argv[i], name);
    if (skip == 0) continue;
    value->assign(argv[i] + skip);
    found = true;
  }
  return found;
}

bool IsKnownOption(const char* arg, const char* const* names) {
  for (; *names != nullptr; ++names) {
    if (MatchOption(arg, *names) != 0) return true;
  }
  return false;
}

bool WriteFileAtomically(const std::string& path, const std::string& text) {
  const std::string temp = path + ".tmp";
  {
    UniqueFile file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(text.size());
    if (!WriteFile(file.get(), text.data(), size, &written, nullptr) || written != size) {
      file.reset();
      DeleteFileA(temp.c_str());
      return false;
    }
  }
  if (MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  DeleteFileA(temp.c_str());
  return false;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string JsonString(const std::string& ansi) {
  std::wstring wide(ansi.size(), L'\0');
  const int length = ansi.empty() ? 0
                                  : MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                                        &wide[0], static_cast<int>(wide.size()));
  std::string json = "\"";
  for (int i = 0; i < length; ++i) {
    const unsigned code = wide[i];
    if (code >= 0x20 && code < 0x7F && code != '"' && code != '\\') {
      json += static_cast<char>(code);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\u%04x", code);
      json += escaped;
    }
  }
  return json + "\"";
}

}  // namespace tools
