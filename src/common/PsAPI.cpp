#include "common/PsAPI.h"

#include "common/Utils.h"

namespace PsAPI {

namespace {

using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using ModuleTextFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);

struct Functions {
  EnumProcessesFn enumProcesses = nullptr;
  EnumProcessModulesFn enumProcessModules = nullptr;
  ModuleTextFn getModuleBaseName = nullptr;
  ModuleTextFn getModuleFileNameEx = nullptr;
};

// Through the generic function pointer type, which the compiler accepts as a
// cast between unrelated function types.
template <typename Function>
Function Find(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// The library stays loaded for the rest of the process, as the functions
// found in it may be called at any time.
Functions Load() {
  Functions functions;
  const HMODULE library = LoadSystemLibrary("PSAPI.dll");
  if (!library) return functions;
  functions.enumProcesses = Find<EnumProcessesFn>(library, "EnumProcesses");
  functions.enumProcessModules = Find<EnumProcessModulesFn>(library, "EnumProcessModules");
  functions.getModuleBaseName = Find<ModuleTextFn>(library, "GetModuleBaseNameA");
  functions.getModuleFileNameEx = Find<ModuleTextFn>(library, "GetModuleFileNameExA");
  return functions;
}

const Functions& Loaded() {
  static const Functions functions = Load();
  return functions;
}

}  // namespace

bool Available() {
  const Functions& f = Loaded();
  return f.enumProcesses && f.enumProcessModules && f.getModuleBaseName && f.getModuleFileNameEx;
}

BOOL EnumProcesses(DWORD* processIds, DWORD bytes, DWORD* bytesReturned) {
  const EnumProcessesFn function = Loaded().enumProcesses;
  return function ? function(processIds, bytes, bytesReturned) : 0;
}

BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes, DWORD* bytesNeeded) {
  const EnumProcessModulesFn function = Loaded().enumProcessModules;
  return function ? function(process, modules, bytes, bytesNeeded) : 0;
}

DWORD GetModuleBaseNameA(HANDLE process, HMODULE module, LPSTR baseName, DWORD size) {
  const ModuleTextFn function = Loaded().getModuleBaseName;
  return function ? function(process, module, baseName, size) : 0;
}

DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR fileName, DWORD size) {
  const ModuleTextFn function = Loaded().getModuleFileNameEx;
  return function ? function(process, module, fileName, size) : 0;
}

}  // namespace PsAPI
