// The system functions of the 64-bit test, which exist only on some Windows
// versions: each is looked up by name at its first use, never imported, so
// the program still starts where one is missing.
#pragma once

#include <windows.h>

namespace Win64 {

// Presence only: true when the function exists.
bool HasGetNativeSystemInfo();      // kernel32 "GetNativeSystemInfo"
bool HasWow64FsRedirection();       // kernel32 "Wow64Disable/RevertWow64FsRedirection", both
bool HasGetSystemWow64Directory();  // kernel32 "GetSystemWow64DirectoryA"
bool HasRegDeleteKeyEx();           // advapi32 "RegDeleteKeyExA"

// kernel32 "IsWow64Process": true when `process` is a 32-bit process on
// 64-bit Windows; false when the function is missing or fails.
bool IsWow64Process(HANDLE process);

}  // namespace Win64
