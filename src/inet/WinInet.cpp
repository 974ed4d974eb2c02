#include "inet/WinInet.h"

#include "common/Utils.h"

namespace WinInetLibrary {

namespace {

HMODULE library = nullptr;
bool loadTried = false;

// The library, loaded on first need; a failed load is not retried until
// Release, so a missing library costs one attempt per program run.
HMODULE Library() {
  if (!library && !loadTried) {
    loadTried = true;
    const UINT previousMode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    library = LoadSystemLibrary("wininet.dll");
    SetErrorMode(previousMode);
  }
  return library;
}

// One entry point, looked up on its first use and cached in `slot`. Null,
// with ERROR_PROC_NOT_FOUND (or the load's own error) as the last error,
// when the library or the function is missing.
template <typename Function>
Function Bind(Function& slot, const char* name) {
  if (slot) return slot;
  const HMODULE module = Library();
  if (!module) return nullptr;
  slot = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
  if (!slot) SetLastError(ERROR_PROC_NOT_FOUND);
  return slot;
}

struct EntryPoints {
  decltype(&InternetGetConnectedState) getConnectedState = nullptr;
  decltype(&InternetOpenA) open = nullptr;
  decltype(&InternetConnectA) connect = nullptr;
  decltype(&HttpOpenRequestA) openRequest = nullptr;
  decltype(&HttpSendRequestA) sendRequest = nullptr;
  decltype(&HttpQueryInfoA) queryInfo = nullptr;
  decltype(&InternetQueryDataAvailable) queryDataAvailable = nullptr;
  decltype(&InternetReadFile) read = nullptr;
  decltype(&InternetSetOptionA) setOption = nullptr;
  decltype(&InternetGetLastResponseInfoA) lastResponseInfo = nullptr;
  decltype(&InternetCloseHandle) close = nullptr;
};
EntryPoints entry;

}  // namespace

BOOL GetConnectedState(DWORD* flags) {
  const auto function = Bind(entry.getConnectedState, "InternetGetConnectedState");
  return function ? function(flags, 0) : FALSE;
}

HINTERNET Open(const char* agent) {
  const auto function = Bind(entry.open, "InternetOpenA");
  return function ? function(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0) : nullptr;
}

HINTERNET Connect(HINTERNET root, const std::string& host, INTERNET_PORT port) {
  const auto function = Bind(entry.connect, "InternetConnectA");
  return function ? function(root, host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0) : nullptr;
}

HINTERNET OpenRequest(HINTERNET connection, const std::string& path, DWORD flags) {
  const auto function = Bind(entry.openRequest, "HttpOpenRequestA");
  return function ? function(connection, "GET", path.c_str(), nullptr, nullptr, nullptr, flags, 0) : nullptr;
}

BOOL SendRequest(HINTERNET request) {
  const auto function = Bind(entry.sendRequest, "HttpSendRequestA");
  return function ? function(request, nullptr, 0, nullptr, 0) : FALSE;
}

BOOL QueryInfo(HINTERNET request, DWORD level, void* buffer, DWORD* length) {
  const auto function = Bind(entry.queryInfo, "HttpQueryInfoA");
  return function ? function(request, level, buffer, length, nullptr) : FALSE;
}

BOOL QueryDataAvailable(HINTERNET request, DWORD* available) {
  const auto function = Bind(entry.queryDataAvailable, "InternetQueryDataAvailable");
  return function ? function(request, available, 0, 0) : FALSE;
}

BOOL Read(HINTERNET request, void* buffer, DWORD size, DWORD* read) {
  const auto function = Bind(entry.read, "InternetReadFile");
  return function ? function(request, buffer, size, read) : FALSE;
}

BOOL SetOption(HINTERNET handle, DWORD option, void* value, DWORD length) {
  const auto function = Bind(entry.setOption, "InternetSetOptionA");
  return function ? function(handle, option, value, length) : FALSE;
}

std::string LastResponseText() {
  const auto function = Bind(entry.lastResponseInfo, "InternetGetLastResponseInfoA");
  char text[1024] = {};
  DWORD error = 0;
  DWORD length = sizeof text;
  if (!function || !function(&error, text, &length)) return "";
  return std::string(text, length < sizeof text ? length : sizeof text - 1);
}

BOOL Close(HINTERNET handle) {
  const auto function = Bind(entry.close, "InternetCloseHandle");
  return function ? function(handle) : FALSE;
}

void Release() {
  if (library) FreeLibrary(library);
  library = nullptr;
  loadTried = false;
  entry = EntryPoints();
}

}  // namespace WinInetLibrary
