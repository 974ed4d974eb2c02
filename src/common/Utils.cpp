#include "common/Utils.h"

#include <windows.h>

#include <cstdio>
#include <exception>
#include <vector>

#include "common/CmdLine.h"
#include "common/VDebug.h"

std::string ProgramPath() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length);
}

std::string GetCmdLineParams() { return CmdLineParamsOf(GetCommandLineA(), ProgramPath()); }

bool HasSwitch(const std::string& switchWord) { return HasSwitchIn(GetCmdLineParams(), switchWord); }

std::string GetSwitchValue(const std::string& switchName, const std::string& fallback) {
  return SwitchValueIn(GetCmdLineParams(), switchName, fallback);
}

int64_t GetSwitchInt(const std::string& switchName, int64_t fallback) {
  return SwitchIntIn(GetCmdLineParams(), switchName, fallback);
}

namespace {

std::string ReadExeVersion(const std::string& file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) return "";
  std::vector<char> block(size > 16384 ? size : 16384);
  if (!GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data())) return "";
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return "";
  }
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
  return text;
}

}  // namespace

std::string GetExeVersion(const std::string& file) {
  try {
    return ReadExeVersion(file.empty() ? ProgramPath() : file);
  } catch (const std::exception& e) {
    LogException(e, "Utils.GetExeVersion()");
    return "";
  }
}

const char* BoolText(bool value) { return value ? "TRUE" : "FALSE"; }
