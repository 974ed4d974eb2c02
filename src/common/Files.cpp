#include "common/Files.h"

#include <windows.h>

#include <vector>

#include "common/FilePosition.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/VDebug.h"
#include "common/WinHandles.h"

const char kFolderLockName[] = "~varnix.lock";

namespace {

constexpr size_t kLargeText = 1048576;  // longer texts are always written in chunks
constexpr size_t kSmallChunk = 1024;
constexpr DWORD kEjectMedia = 0x2D4808;  // IOCTL_STORAGE_EJECT_MEDIA
constexpr int kSelfDeleteTries = 60;     // about a second each

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Without closing separators, except for a drive root such as "C:\".
std::string WithoutClosingSeparator(std::string path) {
  while (path.size() > 3 && IsSeparator(path.back())) path.pop_back();
  return path;
}

// "", "\", "C:" or "C:\": a whole drive.
bool NamesDriveRoot(const std::string& path) {
  const std::string rest = path.size() >= 2 && path[1] == ':' ? path.substr(2) : path;
  return rest.empty() || (rest.size() == 1 && IsSeparator(rest[0]));
}

bool IsDotEntry(const WIN32_FIND_DATAA& entry) {
  return lstrcmpA(entry.cFileName, ".") == 0 || lstrcmpA(entry.cFileName, "..") == 0;
}

bool IsFolderEntry(const WIN32_FIND_DATAA& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

using FreeSpaceExFunction = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                          PULARGE_INTEGER);

// Decided once: the extended query is missing on the first 9x releases.
// kernel32 stays mapped for the life of every process, so the address stays
// valid after the lookup's own reference is released.
FreeSpaceExFunction ExtendedFreeSpace() {
  static const FreeSpaceExFunction function = [] {
    UniqueModule kernel(LoadLibraryA("kernel32.dll"));
    const FARPROC address = kernel ? GetProcAddress(kernel.get(), "GetDiskFreeSpaceExA") : nullptr;
    return reinterpret_cast<FreeSpaceExFunction>(reinterpret_cast<void (*)()>(address));
  }();
  return function;
}

std::string DriveRoot(const std::string& path) { return UpperText(path.substr(0, 1)) + ":\\"; }

// "C:\Data\Setup" gives "C:\Data": the text before the first backslash from
// the fourth character on.
std::string FirstFolderLevel(const std::string& path) {
  if (path.size() < 3) return DriveRoot(path);
  const size_t slash = path.find('\\', 3);
  return slash == std::string::npos ? path : path.substr(0, slash);
}

bool QueryFreeSpaceEx(FreeSpaceExFunction query, const std::string& path, double& freeBytes) {
  ULARGE_INTEGER available, total, totalFree;
  if (!query(path.c_str(), &available, &total, &totalFree)) return false;
  freeBytes = static_cast<double>(available.QuadPart);
  return true;
}

double OlderFreeSpace(const std::string& root) {
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters)) {
    return 0;
  }
  return static_cast<double>(sectorsPerCluster) * bytesPerSector * freeClusters;
}

size_t ChunkSize(size_t length) {
  const size_t tenth = length / 10;
  if (tenth <= kSmallChunk) return length < kSmallChunk ? length : kSmallChunk;
  return tenth < kLargeText ? tenth : kLargeText;
}

bool WriteAll(HANDLE file, const char* data, size_t length) {
  DWORD written = 0;
  return WriteFile(file, data, static_cast<DWORD>(length), &written, nullptr) && written == length;
}

// Returns the number of bytes written.
size_t WriteInChunks(HANDLE file, const std::string& text, const FileProgress& progress) {
  const size_t chunk = ChunkSize(text.size());
  const int64_t total = static_cast<int64_t>(text.size());
  bool cancel = false;
  if (progress) progress(total, 0, cancel);
  size_t done = 0;
  while (done < text.size() && !cancel) {
    const size_t piece = text.size() - done < chunk ? text.size() - done : chunk;
    DWORD written = 0;
    if (!WriteFile(file, text.data() + done, static_cast<DWORD>(piece), &written, nullptr) ||
        written == 0)
      break;
    done += written;
    if (progress) progress(total, static_cast<int64_t>(done), cancel);
  }
  return done;
}

UniqueFile OpenForWriting(const std::string& path, bool append) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
  if (file && append && !SeekToEnd(file.get())) file.reset();
  return file;
}

struct HeldLock {
  std::string key;  // the folder, upper case, without closing separator
  UniqueFile file;
};

std::vector<HeldLock>& HeldLocks() {
  static std::vector<HeldLock> locks;
  return locks;
}

std::string LockKey(const std::string& folder) {
  return UpperText(WithoutClosingSeparator(folder));
}

std::string LockPath(const std::string& folder) {
  return WithoutClosingSeparator(folder) + "\\" + kFolderLockName;
}

bool HoldsLock(const std::string& folder) {
  const std::string key = LockKey(folder);
  for (const HeldLock& lock : HeldLocks()) {
    if (lock.key == key) return true;
  }
  return false;
}

struct Removal {
  bool clearAttributes;
  const FileProgress& progress;
  bool cancel;
};

void RemoveTree(const std::string& folder, Removal& removal);

// A folder link is removed as a link: recursing would empty its target,
// which need not be ours. (On Windows this removes the link alone; Wine
// follows it and only ever removes an empty target.)
void RemoveSubfolder(const std::string& path, const WIN32_FIND_DATAA& entry, Removal& removal) {
  if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    RemoveDirectoryA(path.c_str());
  } else {
    RemoveTree(path, removal);
  }
}

void RemoveTree(const std::string& folder, Removal& removal) {
  if (FolderLockedElsewhere(folder)) return;
  // Our own lock file survives this (it is open without sharing) and keeps
  // the name taken until the folder is empty: let go of it only then.
  DeleteFiles(folder + "\\*.*", removal.clearAttributes);
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA((folder + "\\*.*").c_str(), &entry));
  int64_t removed = 0;
  for (bool more = static_cast<bool>(find); more && !removal.cancel;
       more = FindNextFileA(find.get(), &entry)) {
    if (IsDotEntry(entry)) continue;
    if (IsFolderEntry(entry)) {
      RemoveSubfolder(folder + "\\" + entry.cFileName, entry, removal);
      if (removal.progress) removal.progress(0, ++removed, removal.cancel);
    }
    WaitPumping(0, 10);
  }
  find.reset();
  UnlockFolder(folder);
  RemoveDirectoryA(folder.c_str());
}

// Inside double quotes cmd still expands "%" in a batch file; "%%" is one.
std::string BatchQuoted(const std::string& path) {
  return "\"" + ReplaceText(path, "%", "%%", false) + "\"";
}

// `text` (ANSI) in the OEM code page; empty when a character has no OEM form.
// Converting back catches the look-alikes a best-fit conversion puts in, which
// would name another file.
std::string AnsiToOem(const std::string& text) {
  const int length = static_cast<int>(text.size());
  const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (length == 0 || wideLength <= 0) return "";
  std::vector<wchar_t> wide(static_cast<size_t>(wideLength));
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), wideLength);
  const int oemLength =
      WideCharToMultiByte(CP_OEMCP, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (oemLength <= 0) return "";
  std::string oem(static_cast<size_t>(oemLength), '\0');
  WideCharToMultiByte(CP_OEMCP, 0, wide.data(), wideLength, &oem[0], oemLength, nullptr, nullptr);
  std::vector<wchar_t> back(wide.size());
  const int backLength =
      MultiByteToWideChar(CP_OEMCP, 0, oem.data(), oemLength, back.data(), wideLength);
  return backLength == wideLength && back == wide ? oem : "";
}

}  // namespace

bool SetFileDosTime(HANDLE file, uint32_t dosTime) {
  FILETIME local, utc;
  return DosDateTimeToFileTime(HIWORD(dosTime), LOWORD(dosTime), &local) &&
         LocalFileTimeToFileTime(&local, &utc) && SetFileTime(file, nullptr, nullptr, &utc);
}

// Without the high word Windows refuses an end past 4 GiB.
bool SeekToEnd(HANDLE file) { return SeekFile(file, 0, FILE_END); }

double GetDiskFreeBytes(const std::string& path) {
  const std::string windowsPath = ReplaceText(path, "/", "\\", false);
  if (windowsPath.empty()) return 0;
  const FreeSpaceExFunction query = ExtendedFreeSpace();
  if (!query) return OlderFreeSpace(DriveRoot(windowsPath));
  double freeBytes = 0;
  if (QueryFreeSpaceEx(query, FirstFolderLevel(windowsPath), freeBytes)) return freeBytes;
  if (QueryFreeSpaceEx(query, DriveRoot(windowsPath), freeBytes)) return freeBytes;
  return 0;
}

int64_t GetFileSize64(const std::string& path) {
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA(path.c_str(), &entry));
  if (!find) return 0;
  return (static_cast<int64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

std::string ReadFilePart(const std::string& path, uint64_t count, bool trim, uint64_t offset) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  uint64_t fileSize = 0;
  if (!file || !OpenFileSize(file.get(), fileSize)) return "";
  if (offset >= fileSize) return "";
  if (count == 0 || count > fileSize - offset) count = fileSize - offset;
  if (count > kFilePartMaxBytes || !SeekFile(file.get(), offset)) return "";
  std::string bytes(static_cast<size_t>(count), '\0');
  DWORD got = 0;
  if (!ReadFile(file.get(), &bytes[0], static_cast<DWORD>(count), &got, nullptr) || got != count)
    return "";
  return trim ? TrimText(bytes) : bytes;
}

bool WriteTextToFile(const std::string& path, const std::string& text, uint32_t dosTime,
                     bool append, const FileProgress& progress) {
  UniqueFile file = OpenForWriting(path, append);
  if (!file) return false;
  bool complete;
  if (progress || text.size() > kLargeText) {
    complete = WriteInChunks(file.get(), text, progress) == text.size();
  } else {
    complete = text.empty() || WriteAll(file.get(), text.data(), text.size());
  }
  if (complete && dosTime != 0) SetFileDosTime(file.get(), dosTime);
  return complete;
}

bool CopyFileTime(const std::string& source, const std::string& target) {
  UniqueFile from(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  UniqueFile to(CreateFileA(target.c_str(), FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr));
  FILETIME time;
  return from && to && GetFileTime(from.get(), nullptr, nullptr, &time) &&
         SetFileTime(to.get(), nullptr, nullptr, &time);
}

bool AppendToFile(const std::string& path, const std::string& text, bool addLineEnd,
                  uint32_t dosTime) {
  const std::string bytes = addLineEnd ? text + "\r\n" : text;
  const DWORD disposition =
      GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES ? OPEN_EXISTING : CREATE_NEW;
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || !SeekToEnd(file.get())) return false;
  const bool complete = bytes.empty() || WriteAll(file.get(), bytes.data(), bytes.size());
  if (complete && dosTime != 0) SetFileDosTime(file.get(), dosTime);
  return complete;
}

bool MoveOverFile(const std::string& from, const std::string& target) {
  if (MoveFileExA(from.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
  return ReplaceByRenaming(from, target);
}

bool ReplaceByRenaming(const std::string& from, const std::string& target) {
  if (!FileExists(target)) return MoveFileA(from.c_str(), target.c_str()) != FALSE;
  const std::string aside = target + ".old~";
  DeleteFileA(aside.c_str());
  if (!MoveFileA(target.c_str(), aside.c_str())) return false;
  if (!MoveFileA(from.c_str(), target.c_str())) {
    const DWORD error = GetLastError();
    MoveFileA(aside.c_str(), target.c_str());
    SetLastError(error);
    return false;
  }
  DeleteFileA(aside.c_str());
  return true;
}

bool DeleteFiles(const std::string& mask, bool clearAttributes) {
  const size_t separator = mask.find_last_of("\\/:");
  const std::string folder = separator == std::string::npos ? "" : mask.substr(0, separator + 1);
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA(mask.c_str(), &entry));
  bool found = false;
  for (bool more = static_cast<bool>(find); more; more = FindNextFileA(find.get(), &entry)) {
    if (IsFolderEntry(entry)) continue;
    found = true;
    const std::string path = folder + entry.cFileName;
    if (clearAttributes) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
  }
  return found;
}

std::string SystemTempPath() {
  char temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(MAX_PATH, temp);
  std::string folder(temp, length <= MAX_PATH ? length : 0);
  if (!folder.empty() && !IsSeparator(folder.back())) folder += '\\';
  return folder;
}

bool FolderExists(const std::string& folder) {
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsReparsePoint(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(WithoutClosingSeparator(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool CreateFolderWithParents(const std::string& folder) {
  const std::string path = WithoutClosingSeparator(folder);
  if (path.empty() || FolderExists(path)) return !path.empty();
  const std::string parent = ExtractFileDir(path);
  if (!parent.empty() && parent.size() < path.size()) CreateFolderWithParents(parent);
  CreateDirectoryA(path.c_str(), nullptr);
  return FolderExists(path);
}

bool LockFolder(const std::string& folder) {
  if (HoldsLock(folder)) return true;
  if (!FolderExists(folder)) return false;
  // No sharing at all: another process can neither open nor delete the file
  // while we live, and the system removes it when the handle goes.
  UniqueFile file(CreateFileA(LockPath(folder).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!file) return false;
  HeldLocks().push_back(HeldLock{LockKey(folder), std::move(file)});
  return true;
}

void UnlockFolder(const std::string& folder) {
  const std::string key = LockKey(folder);
  std::vector<HeldLock>& locks = HeldLocks();
  for (auto lock = locks.begin(); lock != locks.end(); ++lock) {
    if (lock->key != key) continue;
    lock->file.reset();
    // Systems without delete-on-close leave the file behind.
    DeleteFileA(LockPath(folder).c_str());
    locks.erase(lock);
    return;
  }
}

bool FolderLockedElsewhere(const std::string& folder) {
  if (folder.empty() || HoldsLock(folder)) return false;
  UniqueFile probe(CreateFileA(LockPath(folder).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (probe) return false;  // left behind by a holder that is gone
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool RemoveFolderTree(const std::string& folder, bool clearAttributes,
                      const FileProgress& progress) {
  const std::string path = WithoutClosingSeparator(folder);
  // A caller's empty or cut-down path must never cost the user a disk.
  if (NamesDriveRoot(path) || !FolderExists(path)) return false;
  if (IsReparsePoint(path)) {
    // Asked to remove a link: the link goes, never what it points to.
    RemoveDirectoryA(path.c_str());
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
  }
  Removal removal{clearAttributes, progress, false};
  RemoveTree(path, removal);
  return !FolderExists(path);
}

bool EjectCD(const std::string& path) {
  const char letter = UpperText(path.substr(0, 1)).c_str()[0];
  if (letter < 'A' || letter > 'Z') return false;
  if (GetDriveTypeA((std::string(1, letter) + ":\\").c_str()) != DRIVE_CDROM) return false;
  const std::string device = std::string("\\\\.\\") + letter + ":";
  UniqueFile drive(CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr));
  DebugChannel() << "EjectCD-2: " << device << ' ' << reinterpret_cast<uintptr_t>(drive.get());
  if (!drive) {
    // Without administrator rights a drive opens for reading only, which
    // still accepts the eject request.
    drive.reset(CreateFileA(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr));
    DebugChannel() << "EjectCD-3: " << device << ' ' << reinterpret_cast<uintptr_t>(drive.get());
  }
  DWORD returned = 0;
  return drive &&
         DeviceIoControl(drive.get(), kEjectMedia, nullptr, 0, nullptr, 0, &returned, nullptr);
}

std::string SelfDeleteBatchPath() {
  const std::string temp = SystemTempPath();
  if (temp.empty()) return "";
  return temp + "_DEL_ME_" + std::to_string(GetCurrentProcessId()) + ".BAT";
}

std::string SelfDeleteBatchText(const std::string& program, const std::string& batch,
                                bool removeFolder) {
  if (program.find_first_of("?*") != std::string::npos ||
      batch.find_first_of("?*") != std::string::npos) {
    return "";
  }
  const std::string file = BatchQuoted(program);
  std::string text = "SET TRIES=0\r\n:START\r\n";
  text += "DEL " + file + "\r\n";
  text += "IF NOT exist " + file + " GOTO DONE\r\n";
  text += "SET /A TRIES+=1\r\n";
  text += "IF %TRIES% GEQ " + std::to_string(kSelfDeleteTries) + " GOTO DONE\r\n";
  // Two echoes one second apart: the pause every cmd since Windows 2000 can
  // make (timeout.exe and choice.exe are missing on XP).
  text += "PING -n 2 127.0.0.1 >NUL\r\n";
  text += "GOTO START\r\n:DONE\r\n";
  if (removeFolder) text += "RD " + BatchQuoted(ExtractFileDir(program)) + "\r\n";
  text += "DEL " + BatchQuoted(batch) + "\r\n";
  return AnsiToOem(text);
}

void DeleteMySelf(bool removeFolder) {
  const std::string program = ProgramPath();
  DebugChannel() << "["
                 << "ExeName"
                 << "]  [" << program << "]";
  const std::string temp = SystemTempPath();
  const std::string batch = SelfDeleteBatchPath();
  const std::string text = SelfDeleteBatchText(program, batch, removeFolder);
  if (temp.empty() || text.empty()) return;
  // A read-only program file (copied from a CD) would make every DEL of the
  // batch fail until it gives up.
  const DWORD attributes = GetFileAttributesA(program.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesA(program.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  // Our own current folder would keep the program's folder in use.
  SetCurrentDirectoryA(temp.c_str());
  if (!WriteTextToFile(batch, text, 0, false)) return;
  WinExec(("\"" + batch + "\"").c_str(), SW_HIDE);
}
