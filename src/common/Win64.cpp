#include "common/Win64.h"

namespace Win64 {

namespace {

// The library stays loaded for the whole process: the functions found in it
// are kept and may be called at any time.
FARPROC Lookup(const char* library, const char* name) {
  HMODULE module = GetModuleHandleA(library);
  if (!module) module = LoadLibraryA(library);
  return module ? GetProcAddress(module, name) : nullptr;
}

FARPROC Kernel32(const char* name) { return Lookup("kernel32.dll", name); }

}  // namespace

bool HasGetNativeSystemInfo() {
  static const bool present = Kernel32("GetNativeSystemInfo") != nullptr;
  return present;
}

bool HasWow64FsRedirection() {
  static const bool present = Kernel32("Wow64DisableWow64FsRedirection") != nullptr &&
                              Kernel32("Wow64RevertWow64FsRedirection") != nullptr;
  return present;
}

bool HasGetSystemWow64Directory() {
  static const bool present = Kernel32("GetSystemWow64DirectoryA") != nullptr;
  return present;
}

bool HasRegDeleteKeyEx() {
  static const bool present = Lookup("advapi32.dll", "RegDeleteKeyExA") != nullptr;
  return present;
}

bool IsWow64Process(HANDLE process) {
  using Function = BOOL(WINAPI*)(HANDLE, PBOOL);
  static const FARPROC address = Kernel32("IsWow64Process");
  if (!address) return false;
  // Through the generic function pointer type, which the compiler accepts
  // as a cast between unrelated function types.
  const Function isWow64Process = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
  BOOL isWow64 = FALSE;
  return isWow64Process(process, &isWow64) && isWow64;
}

}  // namespace Win64
