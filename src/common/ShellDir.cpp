#include "common/ShellDir.h"

#include <windows.h>

#include <cstring>

#include "common/Files.h"
#include "common/Utils.h"
#include "common/WinHandles.h"

namespace {

using SHGetFolderPathAFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
using SHGetSpecialFolderPathAFn = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);

// Larger than any path the shell writes (MAX_PATH), with room for the end.
constexpr DWORD kShellBufferSize = 1025;

class SystemShellFolders : public ShellFolderSource {
 public:
  std::string ShellFolderPath(int csidl) override { return ::ShellFolderPath(csidl); }
  std::string ShellSpecialFolderPath(int csidl) override { return ::ShellSpecialFolderPath(csidl); }
  bool FolderExists(const std::string& folder) override { return ::FolderExists(folder); }
  std::string WindowsDir() override { return WindowsFolder(); }
  std::string RegisteredOwner() override { return GetRegisteredOwner(); }
};

std::string TextOf(const char* buffer) {
  return std::string(buffer, strnlen(buffer, kShellBufferSize - 1));
}

}  // namespace

std::string ShellFolderPath(int csidl) {
  // Bound at run time from the system folder: SHFolder.dll is missing on
  // the oldest systems, and a library of that name beside a downloaded
  // program must never be the one loaded.
  UniqueModule library(LoadSystemLibrary("SHFolder.dll"));
  if (!library) return "";
  const auto query = reinterpret_cast<SHGetFolderPathAFn>(
      reinterpret_cast<void*>(GetProcAddress(library.get(), "SHGetFolderPathA")));
  char buffer[kShellBufferSize] = {};
  if (!query || query(nullptr, csidl, nullptr, 0, buffer) != S_OK) return "";
  return TextOf(buffer);
}

std::string ShellSpecialFolderPath(int csidl) {
  UniqueModule library(LoadSystemLibrary("shell32.dll"));
  if (!library) return "";
  const auto query = reinterpret_cast<SHGetSpecialFolderPathAFn>(
      reinterpret_cast<void*>(GetProcAddress(library.get(), "SHGetSpecialFolderPathA")));
  char buffer[kShellBufferSize] = {};
  if (!query || !query(nullptr, buffer, csidl, FALSE)) return "";
  return TextOf(buffer);
}

std::string WindowsFolder() {
  char buffer[MAX_PATH + 1] = {};
  const UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return "";
  return WithoutTrailingBackslash(std::string(buffer, length), SystemLeadByte);
}

bool SystemLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

std::string GetSpecialFolder(SpecialFolder folder, bool withBackslash) {
  SystemShellFolders source;
  return DeriveSpecialFolder(folder, source, withBackslash, SystemLeadByte);
}
