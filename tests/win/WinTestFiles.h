// Helpers the Windows tests share: a scratch folder removed with its files,
// whole-file reading and a per-program Windows version under Wine.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

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
