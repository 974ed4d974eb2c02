// 64-bit sizes and positions of an open file through the calls every Windows
// has (GetFileSize and SetFilePointer with their high words). The Ex forms
// came with Windows 2000: importing them keeps the stub from loading on the
// 9x family and NT 4.
#pragma once

#include <windows.h>

#include <cstdint>

// False when the size cannot be read. The low word can be 0xFFFFFFFF for a
// real size, so only the error code tells a failure.
inline bool OpenFileSize(HANDLE file, uint64_t& size) {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  size = (static_cast<uint64_t>(high) << 32) | low;
  return true;
}

// Moves to `offset` from the start (or, with FILE_END, from the end).
inline bool SeekFile(HANDLE file, uint64_t offset, DWORD method = FILE_BEGIN) {
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(NO_ERROR);
  return SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, method) !=
             INVALID_SET_FILE_POINTER ||
         GetLastError() == NO_ERROR;
}
