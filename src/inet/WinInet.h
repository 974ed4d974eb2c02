// The system's Internet library, bound at run time. It is loaded from the
// system folder only (never from the program's folder, where a planted copy
// could lie) on the first call that needs it, and stays loaded until
// ReleaseWinInetLibrary. Every function is looked up by name on its first
// use, so a machine without the library, or without one of its functions,
// gets a failed call (null handle or FALSE, with the last error set) instead
// of a program that does not start.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

#include "common/WinHandles.h"

namespace WinInetLibrary {

BOOL GetConnectedState(DWORD* flags);
HINTERNET Open(const char* agent);
HINTERNET Connect(HINTERNET root, const std::string& host, INTERNET_PORT port);
HINTERNET OpenRequest(HINTERNET connection, const std::string& path, DWORD flags);
BOOL SendRequest(HINTERNET request);
BOOL QueryInfo(HINTERNET request, DWORD level, void* buffer, DWORD* length);
BOOL QueryDataAvailable(HINTERNET request, DWORD* available);
BOOL Read(HINTERNET request, void* buffer, DWORD size, DWORD* read);
BOOL SetOption(HINTERNET handle, DWORD option, void* value, DWORD length);
// The server's last response text; empty when there is none.
std::string LastResponseText();
BOOL Close(HINTERNET handle);
// Unloads the library; the next call loads it again.
void Release();

}  // namespace WinInetLibrary

struct InternetHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { WinInetLibrary::Close(h); }
};
using UniqueInternetHandle = UniqueHandle<InternetHandleTraits>;
