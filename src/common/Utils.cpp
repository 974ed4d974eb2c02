#include "common/Utils.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/CmdLine.h"
#include "common/NumberText.h"
#include "common/RegistryRules.h"
#include "common/TextRules.h"
#include "common/VDebug.h"
#include "common/Win64.h"
#include "common/WinHandles.h"

std::string ProgramPath() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length);
}

std::string GetCmdLineParams() { return CmdLineParamsOf(GetCommandLineA(), ProgramPath()); }

bool HasSwitch(const std::string& switchWord) {
  return HasSwitchIn(GetCmdLineParams(), switchWord);
}

std::string GetSwitchValue(const std::string& switchName, const std::string& fallback) {
  return SwitchValueIn(GetCmdLineParams(), switchName, fallback);
}

int64_t GetSwitchInt(const std::string& switchName, int64_t fallback) {
  return SwitchIntIn(GetCmdLineParams(), switchName, fallback);
}

namespace {

constexpr DWORD kIniBufferChars = 32769;
constexpr DWORD kIniLongValueChars = 10240;

// Two readers must not use the system's profile cache at the same time.
class SettingsLock {
 public:
  SettingsLock() { InitializeCriticalSection(&section_); }
  ~SettingsLock() { DeleteCriticalSection(&section_); }
  SettingsLock(const SettingsLock&) = delete;
  SettingsLock& operator=(const SettingsLock&) = delete;

  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class SettingsLockHolder {
 public:
  SettingsLockHolder() { Lock().Enter(); }
  ~SettingsLockHolder() { Lock().Leave(); }
  SettingsLockHolder(const SettingsLockHolder&) = delete;
  SettingsLockHolder& operator=(const SettingsLockHolder&) = delete;

 private:
  static SettingsLock& Lock() {
    static SettingsLock lock;
    return lock;
  }
};

void ReadIniInto(const std::string& file, const std::string& section, const std::string& key,
                 std::string& result) {
  std::vector<char> buffer(kIniBufferChars);
  const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                                kIniBufferChars, file.c_str());
  if (length > 0) result.assign(buffer.data(), length);
  if (length > kIniLongValueChars) DebugChannel() << "ReadIniString SizeError=" << length;
}

}  // namespace

std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& fallback) {
  SettingsLockHolder hold;
  std::string result = fallback;
  if (!file.empty() && !section.empty() && !key.empty()) ReadIniInto(file, section, key, result);
  return result;
}

int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
                   int64_t fallback) {
  return TextToInt64(ReadIniString(file, section, key, ""), fallback);
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  if (file.empty() || section.empty() || key.empty()) return false;
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) !=
         FALSE;
}

bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key,
                 int64_t value) {
  return WriteIniString(file, section, key, std::to_string(value));
}

namespace {

constexpr DWORD kRegValueBufferBytes = 10241;

static_assert(kRegTypeDword == REG_DWORD && kRegTypeMultiString == REG_MULTI_SZ,
              "the portable type numbers are the system's");

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegRoot::Users:
      return HKEY_USERS;
    case RegRoot::CurrentConfig:
      return HKEY_CURRENT_CONFIG;
    case RegRoot::DynData:
      return HKEY_DYN_DATA;
    case RegRoot::CurrentUser:
      break;
  }
  return HKEY_CURRENT_USER;
}

std::string ReadRegValueText(const std::string& keyPath, const std::string& valueName,
                             const std::string& fallback, bool use64BitView) {
  const RegPath path = ParseRegPath(keyPath);
  const REGSAM access = KEY_READ | (use64BitView ? KEY_WOW64_64KEY : 0);
  HKEY opened = nullptr;
  if (RegOpenKeyExA(path.root, path.subKey.c_str(), 0, access, &opened) != ERROR_SUCCESS)
    return fallback;
  const UniqueRegKey key(opened);
  std::vector<char> data(kRegValueBufferBytes);
  DWORD type = REG_NONE;
  DWORD size = kRegValueBufferBytes;
  if (RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
    return fallback;
  }
  return RegistryDataText(type, data.data(),
                          size < kRegValueBufferBytes ? size : kRegValueBufferBytes);
}

}  // namespace

HKEY RegRootFromName(const std::string& name) { return RootKey(RegRootIdFromName(name)); }

RegPath ParseRegPath(const std::string& path) {
  const RegPathParts parts = SplitRegPath(path);
  return RegPath{RootKey(parts.root), parts.subKey};
}

bool DefaultRegistryView() { return false; }

std::string ReadRegValue(const std::string& keyPath, const std::string& valueName,
                         const std::string& fallback, bool use64BitView) {
  return ReadRegValueText(keyPath, valueName, fallback, use64BitView);
}

namespace {

// The file's version block; empty when it has none.
std::vector<char> ReadVersionBlock(const std::string& file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<char> block(size > 16384 ? size : 16384);
  if (!GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data()))
    return {};
  return block;
}

std::string ReadExeVersion(const std::string& file) {
  const std::vector<char> block = ReadVersionBlock(file);
  if (block.empty()) return "";
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return "";
  }
  return DecimalText(HIWORD(info->dwFileVersionMS)) + "." +
         DecimalText(LOWORD(info->dwFileVersionMS)) + "." +
         DecimalText(HIWORD(info->dwFileVersionLS)) + "." +
         DecimalText(LOWORD(info->dwFileVersionLS));
}

std::string ReadProductVersion(const std::string& file) {
  const std::vector<char> block = ReadVersionBlock(file);
  if (block.empty()) return "";
  WORD* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      !translation || length < 2 * sizeof(WORD)) {
    return "";
  }
  const std::string query = "\\StringFileInfo\\" + HexText(translation[0], 4) +
                            HexText(translation[1], 4) + "\\ProductVersion";
  char* text = nullptr;
  if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) ||
      !text)
    return "";
  const void* zero = std::memchr(text, '\0', length);
  const std::string version(text, zero ? static_cast<const char*>(zero) - text : length);
  return ReplaceText(version, ",", ".", false);
}

}  // namespace

std::string GetExeVersion(const std::string& file) {
  return ReadExeVersion(file.empty() ? ProgramPath() : file);
}

std::string GetProductVersion(const std::string& file) {
  return ReadProductVersion(file.empty() ? ProgramPath() : file);
}

namespace {

OSVERSIONINFOEXA ReadSystemVersion() {
  OSVERSIONINFOEXA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return info;
  // Systems before NT 4 SP6 accept only the short record.
  info = OSVERSIONINFOEXA{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info));
  return info;
}

std::string SystemFolder() {
  char folder[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  return std::string(folder, length <= MAX_PATH ? length : 0);
}

OSVERSIONINFOEXA ReadCorrectedVersion() {
  OSVERSIONINFOEXA info = ReadSystemVersion();
  const VersionNumbers reported{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
  if (!NeedsVersionCorrection(reported)) return info;
  const VersionNumbers corrected =
      CorrectedVersion(reported, GetProductVersion(SystemFolder() + "\\kernel32.dll"));
  info.dwMajorVersion = corrected.major;
  info.dwMinorVersion = corrected.minor;
  info.dwBuildNumber = corrected.build;
  return info;
}

OsPlatform PlatformOf(DWORD platformId) {
  switch (platformId) {
    case VER_PLATFORM_WIN32s:
      return OsPlatform::Win32s;
    case VER_PLATFORM_WIN32_WINDOWS:
      return OsPlatform::Windows9x;
    case VER_PLATFORM_WIN32_NT:
      return OsPlatform::NT;
  }
  return OsPlatform::Other;
}

WinVersionRecord VersionRecord() {
  const OSVERSIONINFOEXA& info = GetOSVersionInfo();
  WinVersionRecord record;
  record.platform = PlatformOf(info.dwPlatformId);
  record.major = info.dwMajorVersion;
  record.minor = info.dwMinorVersion;
  record.build = BuildNumberOf(record.platform, info.dwBuildNumber);
  const void* zero = std::memchr(info.szCSDVersion, '\0', sizeof info.szCSDVersion);
  record.servicePack.assign(
      info.szCSDVersion,
      zero ? static_cast<const char*>(zero) - info.szCSDVersion : sizeof info.szCSDVersion);
  return record;
}

}  // namespace

const OSVERSIONINFOEXA& GetOSVersionInfo() {
  static const OSVERSIONINFOEXA info = ReadCorrectedVersion();
  return info;
}

bool IsWindowsNT() { return GetOSVersionInfo().dwPlatformId == VER_PLATFORM_WIN32_NT; }

bool IsWindowsXP() {
  static const bool isXP = IsWindowsNT() && GetOSVersionInfo().dwMajorVersion == 5 &&
                           GetOSVersionInfo().dwMinorVersion == 1;
  return isXP;
}

bool IsWindows8OrLater() { return IsWindows8OrLaterVersion(VersionRecord()); }

bool Is64BitWindows() {
  static const bool is64 = Win64::HasGetNativeSystemInfo() &&
                           Win64::IsWow64Process(GetCurrentProcess()) &&
                           Win64::HasWow64FsRedirection() && Win64::HasGetSystemWow64Directory() &&
                           Win64::HasRegDeleteKeyEx();
  return is64;
}

bool IsServer() {
  const BYTE productType = GetOSVersionInfo().wProductType;
  return GetSystemMetrics(SM_SERVERR2) != 0 || productType == VER_NT_DOMAIN_CONTROLLER ||
         productType == VER_NT_SERVER;
}

WindowsName GetWindowsName() {
  WinVersionRecord record = VersionRecord();
  record.is64 = Is64BitWindows();
  record.isServer = IsServer();
  return NameWindows(record);
}

namespace {

std::string ReadDomainName() {
  const std::string user = GetLoggedUserName();
  if (user.empty()) return "";
  DWORD sidBytes = 0;
  DWORD domainChars = 0;
  SID_NAME_USE use;
  // The first call only reports the sizes the second one needs.
  LookupAccountNameA(nullptr, user.c_str(), nullptr, &sidBytes, nullptr, &domainChars, &use);
  if (sidBytes == 0 || domainChars == 0) return "";
  std::vector<char> sid(sidBytes);
  std::vector<char> domain(domainChars + 1);
  if (!LookupAccountNameA(nullptr, user.c_str(), sid.data(), &sidBytes, domain.data(), &domainChars,
                          &use)) {
    return "";
  }
  return std::string(domain.data());
}

}  // namespace

std::string GetLoggedUserName() {
  char name[256] = {};
  DWORD size = sizeof name;
  return GetUserNameA(name, &size) ? TrimText(name) : std::string();
}

std::string GetComputerNameText() {
  char name[256] = {};
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? TrimText(name) : std::string();
}

std::string GetRegisteredOwner() {
  return TrimText(ReadRegValue(WindowsVersionKey(IsWindowsNT()), "RegisteredOwner",
                               GetLoggedUserName(), Is64BitWindows()));
}

std::string GetRegisteredOrganization() {
  return TrimText(ReadRegValue(WindowsVersionKey(IsWindowsNT()), "RegisteredOrganization", "",
                               Is64BitWindows()));
}

std::string GetDomainName() { return ReadDomainName(); }

HMODULE LoadSystemLibrary(const char* fileName) {
  char folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::string path = std::string(folder, length) + "\\" + fileName;
  return LoadLibraryA(path.c_str());
}

namespace {

// Where the system offers it (XP SP1 and later; Windows 7 with its update and
// later for the second call), later loads by bare name search the system
// folders only, not the program's folder or the current one.
void RestrictLibrarySearch() {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return;
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto setDllDirectory = reinterpret_cast<SetDllDirectoryFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDllDirectoryA")));
  const auto setDefaultDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDllDirectory) setDllDirectory("");
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  if (setDefaultDirectories) setDefaultDirectories(kSearchSystem32);
}

}  // namespace

void PreloadSystemLibraries() {
  RestrictLibrarySearch();
  const UINT previousMode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
  const char* const libraries[] = {"shell32.dll", "USP10.dll", "MSLS31.dll", "RICHED32.DLL"};
  for (const char* library : libraries) LoadSystemLibrary(library);
  SetErrorMode(previousMode);
}

std::string SystemErrorText(unsigned long code) {
  char text[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, text, sizeof text, nullptr);
  return TrimText(std::string(text, length));
}

std::string ErrorCodeText(unsigned long code) {
  const std::string text = SystemErrorText(code);
  return text.empty() ? "Error " + std::to_string(code) : text;
}

const char* BoolText(bool value) { return value ? "TRUE" : "FALSE"; }
