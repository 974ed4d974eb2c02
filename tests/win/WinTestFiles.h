// Helpers the Windows tests share: a scratch folder removed with its files,
// whole-file reading, a per-program Windows version under Wine and folder
// links under Wine.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/ChildProcess.h"

class ScratchFolder {
 public:
  ScratchFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "varnix-test-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(counter_++);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchFolder() {
    for (const std::string& file : files_) DeleteFileA(file.c_str());
    RemoveDirectoryA(path_.c_str());
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Writes a file into the folder and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string file = Path(name);
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return file;
  }
  std::string Path(const std::string& name) {
    files_.push_back(path_ + "\\" + name);
    return files_.back();
  }
  const std::string& path() const { return path_; }

 private:
  static inline int counter_ = 0;
  std::string path_;
  std::vector<std::string> files_;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::string bytes;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
  CloseHandle(h);
  return bytes;
}

// Wine's per-program Windows version, set for one program name and removed:
// a copy of a test program run under that name sees that Windows version.
class WineVersionFor {
 public:
  WineVersionFor(const std::string& exeName, const char* version)
      : key_("Software\\Wine\\AppDefaults\\" + exeName) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (!key) return;
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>(strlen(version) + 1));
    RegCloseKey(key);
  }
  ~WineVersionFor() { RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str()); }
  WineVersionFor(const WineVersionFor&) = delete;
  WineVersionFor& operator=(const WineVersionFor&) = delete;

 private:
  std::string key_;
};

// The Unix path of a Windows path under Wine; empty elsewhere.
inline std::string WineUnixPath(const std::string& windowsPath) {
  using Convert = char*(CDECL*)(LPCWSTR);
  const FARPROC address =
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
  const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void (*)()>(address));
  wchar_t wide[MAX_PATH] = {};
  if (!convert || !MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH)) {
    return "";
  }
  char* unixPath = convert(wide);
  if (!unixPath) return "";
  const std::string path = unixPath;
  HeapFree(GetProcessHeap(), 0, unixPath);
  return path;
}

// A folder link, made the one way Wine 8 offers: a Unix symbolic link. Wine
// reports it with FILE_ATTRIBUTE_REPARSE_POINT (0x410 with the directory bit)
// in GetFileAttributesA and FindFirstFileA, and follows it everywhere else;
// CreateSymbolicLinkA returns TRUE but makes nothing, and
// FSCTL_SET_REPARSE_POINT with a junction fails with ERROR_NOT_SUPPORTED.
// The link is made and removed by /bin/sh: Wine starts Unix programs, but
// waiting on such a process fails at once, so the shell leaves a marker file
// when done. made() is false outside Wine or when the shell did not finish.
class WineFolderLink {
 public:
  WineFolderLink(const std::string& link, const std::string& target)
      : link_(link), unixLink_(WineUnixPath(link)) {
    const std::string unixTarget = WineUnixPath(target);
    made_ = !unixLink_.empty() && !unixTarget.empty() &&
            RunShell("ln -s -n '" + unixTarget + "' '" + unixLink_ + "'");
  }
  // Removes the link, never its target.
  ~WineFolderLink() {
    if (made_) RunShell("rm -f '" + unixLink_ + "'");
  }
  WineFolderLink(const WineFolderLink&) = delete;
  WineFolderLink& operator=(const WineFolderLink&) = delete;

  bool made() const { return made_; }

 private:
  bool RunShell(const std::string& command) {
    const std::string marker = link_ + ".done";
    DeleteFileA(marker.c_str());
    const std::string line = "/bin/sh -c \"" + command + " && touch '" + unixLink_ + ".done'\"";
    ChildOptions shell;
    shell.program = "Z:\\bin\\sh";
    // Started, but without a handle to wait on (see above).
    if (!ChildProcess::Start(line, shell).started()) return false;
    for (int wait = 0; wait < 500; ++wait) {  // at most 10 s
      if (DeleteFileA(marker.c_str())) return true;
      Sleep(20);
    }
    return false;
  }

  std::string link_;
  std::string unixLink_;
  bool made_ = false;
};
