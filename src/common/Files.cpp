#include "common/Files.h"

#include <windows.h>

#include "common/VDebug.h"
#include "common/WinHandles.h"

namespace {

bool SetDosTime(HANDLE file, uint32_t dosTime) {
  FILETIME local, utc;
  return DosDateTimeToFileTime(HIWORD(dosTime), LOWORD(dosTime), &local) && LocalFileTimeToFileTime(&local, &utc) &&
         SetFileTime(file, nullptr, nullptr, &utc);
}

}  // namespace

bool AppendToFile(const std::string& path, const std::string& text, bool addLineEnd, uint32_t dosTime) {
  const std::string bytes = addLineEnd ? text + "\r\n" : text;
  const DWORD disposition = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES ? OPEN_EXISTING : CREATE_NEW;
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  if (SetFilePointer(file.get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    return false;
  }
  DWORD written = 0;
  const bool complete = bytes.empty() || (WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                                    &written, nullptr) &&
                                          written == bytes.size());
  if (complete && dosTime != 0) SetDosTime(file.get(), dosTime);
  return complete;
}

void DeleteMySelf(bool removeFolder) {
  DebugTrace() << " DeleteMySelf(" << (removeFolder ? "with folder" : "file only")
               << "): self-deletion is not built yet";
}
