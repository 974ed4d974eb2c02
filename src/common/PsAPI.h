// The process-status functions of "PSAPI.dll", which older systems lack.
// The library is loaded, and all four functions looked up, the first time
// one of them is called; never imported, so the program starts without it.
// Each call answers 0 when the library or the function is missing, and
// otherwise returns what the system function returns.
#pragma once

#include <windows.h>

namespace PsAPI {

// True when the library and all four functions were found.
bool Available();

BOOL EnumProcesses(DWORD* processIds, DWORD bytes, DWORD* bytesReturned);
BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes, DWORD* bytesNeeded);
DWORD GetModuleBaseNameA(HANDLE process, HMODULE module, LPSTR baseName, DWORD size);
DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR fileName, DWORD size);

}  // namespace PsAPI
