// fake-engine: stands in for the setup engine that a package names. It tells
// the tests what the stub handed over (command line, current folder, show
// state, the unpacked files beside it, whether the token atom was there) and
// reacts as the test asks: exit code, atom deleted or kept, an engine dialog
// that outlives the process, a long run. It takes no product code, so it
// keeps only the engine's side of the contract and nothing the stub could
// share with it by accident.
//
// The stub builds the engine's command line itself, so a test cannot put
// switches there; everything comes from the environment, which the launcher
// and the stub pass on:
//   VARNIX_ENGINE_RECORD     file that receives one JSON line per run, appended
//                            (default: engine-record.txt beside the program)
//   VARNIX_ENGINE_EXIT       exit code, decimal or 0x hexadecimal (default 0)
//   VARNIX_ENGINE_ATOM       delete (default) or keep the token atom
//   VARNIX_ENGINE_WAIT_MS    stay alive this long after recording
//   VARNIX_ENGINE_DIALOG_MS  keep a window of the engine dialog class up this
//                            long; a child copy of the program holds it, so
//                            it stays after this process has ended
//   VARNIX_ENGINE_RELEASE    a file: the wait and the dialog end as soon as it
//                            exists, so a test holds the engine exactly as
//                            long as it looks (the two times above are then
//                            only upper bounds, for a test that never releases)
//   VARNIX_ENGINE_SHOW_RECORD  accepted; the show state is always recorded
//
// "fake-engine.exe /fake-engine-find-atom=NAME" only looks the global atom
// up: exit code 1 when it exists, 0 when not. A test sees that way whether a
// stub left its token atom behind (the wineserver keeps atoms of ended
// processes).
// "fake-engine.exe /fake-engine-wait-exit=PID MS" waits up to MS for the
// process to end: exit code 0 once it has ended (or no longer exists), 1 when
// it still runs. A test learns that way when an engine it holds no handle
// to (the stub started it) has really gone.
//
// The engine's line (written once the dialog is up, before the wait):
//   {"kind":"engine", "cmdline", "cwd", "module", "pid", "parent" (the
//    parent process's file name), "show" (nCmdShow), "startup_flags",
//    "startup_show" (STARTUPINFO), "th_id" (value of "/TH_ID=", null when
//    absent), "atom_found", "atom_deleted", "dialog_started",
//    "files": [{"name" (relative, "\"), "size", "crc32", "write_time" (FILETIME,
//    100 ns since 1601 UTC)}, ...] of its own folder, sorted, sub-folders
//    included}
// The dialog child adds {"kind":"dialog", "class", "event":"open"} once its
// window exists and {"kind":"dialog", "class", "event":"closing"} just before
// the window goes, so a stub that has ended before "closing" was written did
// not wait for the dialog.
// Text is the ANSI bytes as the program got them; only '"', '\' and control
// characters are escaped.

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/WinHandles.h"
#include "setup/EngineContract.h"

namespace {

const char kChildSwitch[] = "/fake-engine-dialog=";
const char kFindAtomSwitch[] = "/fake-engine-find-atom=";
const char kWaitExitSwitch[] = "/fake-engine-wait-exit=";
const char kDefaultRecordName[] = "engine-record.txt";
const UINT_PTR kCloseTimer = 1;
// How often a held engine or dialog looks for the release file: short
// against a Wine process start, negligible in load.
const DWORD kReleasePollMs = 20;
// Long enough for a slow Wine process start; the stub looks for the dialog
// only after its own one-second pause.
const DWORD kChildStartLimitMs = 20000;

std::string Environment(const char* name) {
  char buffer[1024];
  const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) : std::string();
}

DWORD EnvironmentNumber(const char* name, DWORD fallback) {
  const std::string text = Environment(name);
  return text.empty() ? fallback : static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 0));
}

std::string ModulePath() {
  char buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
  return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) : std::string();
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string RecordPath() {
  const std::string path = Environment("VARNIX_ENGINE_RECORD");
  return path.empty() ? FolderOf(ModulePath()) + "\\" + kDefaultRecordName : path;
}

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

const char* JsonBool(bool value) { return value ? "true" : "false"; }

// Whether the test has released what it held; never without a release file.
bool Released() {
  static const std::string path = Environment("VARNIX_ENGINE_RELEASE");
  return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Stays until the test releases the engine, at most limit_ms.
void HoldUntilReleased(DWORD limit_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= limit_ms || Released()) return;
    Sleep(std::min(kReleasePollMs, limit_ms - elapsed));
  }
}

// One WriteFile per line, so concurrent writers (the engine and its dialog
// child, or two engines) never interleave inside a line.
void AppendRecord(const std::string& line) {
  UniqueFile file(CreateFileA(RecordPath().c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

struct FoundFile {
  std::string name;
  unsigned long long size;
  unsigned long crc32;
  unsigned long long write_time;  // FILETIME: 100 ns since 1601, UTC
};

// CRC-32 as zlib computes it, so a test compares contents with zlib.crc32.
unsigned long FileCrc32(const std::string& path) {
  static unsigned long table[256];
  if (table[1] == 0) {
    for (unsigned long n = 0; n < 256; ++n) {
      unsigned long c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320UL ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
  }
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 0;
  unsigned long crc = 0xFFFFFFFFUL;
  std::vector<unsigned char> buffer(65536);
  DWORD got = 0;
  while (ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
         got > 0) {
    for (DWORD i = 0; i < got; ++i) crc = table[(crc ^ buffer[i]) & 0xFF] ^ (crc >> 8);
  }
  return crc ^ 0xFFFFFFFFUL;
}

void ListFolder(const std::string& root, const std::string& relative,
                std::vector<FoundFile>* files) {
  const std::string folder = relative.empty() ? root : root + "\\" + relative;
  WIN32_FIND_DATAA data;
  UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &data));
  if (!find) return;
  do {
    if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
    const std::string name = relative.empty() ? data.cFileName : relative + "\\" + data.cFileName;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFolder(root, name, files);
    } else {
      files->push_back(
          {name, (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
           FileCrc32(root + "\\" + name),
           (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
               data.ftLastWriteTime.dwLowDateTime});
    }
  } while (FindNextFileA(find.get(), &data));
}

std::string FilesJson(const std::string& folder) {
  std::vector<FoundFile> files;
  ListFolder(folder, "", &files);
  std::sort(files.begin(), files.end(),
            [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
  std::string out = "[";
  for (const FoundFile& file : files) {
    if (out.size() > 1) out += ",";
    out += "{\"name\":" + JsonText(file.name) + ",\"size\":" + std::to_string(file.size) +
           ",\"crc32\":" + std::to_string(file.crc32) +
           ",\"write_time\":" + std::to_string(file.write_time) + "}";
  }
  return out + "]";
}

// The file name of the process that started this one, or empty.
std::string ParentName() {
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return std::string();
  std::vector<PROCESSENTRY32> entries;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    entries.push_back(entry);
  }
  const DWORD self = GetCurrentProcessId();
  for (const PROCESSENTRY32& me : entries) {
    if (me.th32ProcessID != self) continue;
    for (const PROCESSENTRY32& parent : entries) {
      if (parent.th32ProcessID == me.th32ParentProcessID) return parent.szExeFile;
    }
  }
  return std::string();
}

// The value of "/TH_ID=" up to the next blank; false when the switch is absent.
bool ThreadToken(const std::string& command_line, std::string* token) {
  const size_t at = command_line.find(kThreadTokenSwitch);
  if (at == std::string::npos) return false;
  const size_t start = at + std::strlen(kThreadTokenSwitch);
  const size_t end = command_line.find_first_of(" \t", start);
  token->assign(command_line, start, end == std::string::npos ? std::string::npos : end - start);
  return true;
}

std::string DialogEvent(const std::string& class_name, const char* event) {
  return std::string("{\"kind\":\"dialog\",\"class\":") + JsonText(class_name) + ",\"event\":\"" +
         event + "\"}";
}

std::string g_dialog_class;
DWORD g_dialog_start = 0;
DWORD g_dialog_limit_ms = 0;

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      if (wparam == kCloseTimer &&
          (Released() || GetTickCount() - g_dialog_start >= g_dialog_limit_ms)) {
        KillTimer(window, kCloseTimer);
        AppendRecord(DialogEvent(g_dialog_class, "closing"));
        DestroyWindow(window);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

// The child copy: shows a window of the engine dialog class until the test
// releases it or the given time has passed, then ends at once, so the stub
// may remove the working folder that holds this program soon after the
// window has gone.
int RunDialogChild(HINSTANCE instance, const std::string& class_name, DWORD milliseconds) {
  g_dialog_class = class_name;
  g_dialog_start = GetTickCount();
  g_dialog_limit_ms = milliseconds;
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = DialogProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = class_name.c_str();
  if (!RegisterClassA(&window_class)) return 1;
  HWND window = CreateWindowExA(0, class_name.c_str(), "Fake engine dialog",
                                WS_POPUP | WS_CAPTION | WS_VISIBLE, 8, 8, 260, 80, nullptr, nullptr,
                                instance, nullptr);
  if (window == nullptr) return 1;
  AppendRecord(DialogEvent(class_name, "open"));
  SetTimer(window, kCloseTimer, std::min(milliseconds, kReleasePollMs), nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

// Starts the dialog child and waits until its window exists: the stub must
// find the window once this process has ended.
bool StartDialogChild(const std::string& class_name, DWORD milliseconds) {
  std::string command =
      "\"" + ModulePath() + "\" " + kChildSwitch + class_name + " " + std::to_string(milliseconds);
  std::vector<char> writable(command.begin(), command.end());
  writable.push_back('\0');
  // The child must not hold the working folder as its current folder, or the
  // stub could not remove it.
  char temp[MAX_PATH];
  const DWORD length = GetTempPathA(sizeof(temp), temp);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      length > 0 && length < sizeof(temp) ? temp : nullptr, &startup, &process)) {
    return false;
  }
  UniqueKernelHandle child(process.hProcess);
  UniqueKernelHandle thread(process.hThread);
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kChildStartLimitMs) {
    if (FindWindowA(class_name.c_str(), nullptr) != nullptr) return true;
    if (WaitForSingleObject(child.get(), 20) == WAIT_OBJECT_0) return false;
  }
  return false;
}

bool ChildArguments(std::string* class_name, DWORD* milliseconds) {
  if (__argc != 3) return false;
  const size_t length = std::strlen(kChildSwitch);
  if (std::strncmp(__argv[1], kChildSwitch, length) != 0) return false;
  class_name->assign(__argv[1] + length);
  *milliseconds = static_cast<DWORD>(std::strtoul(__argv[2], nullptr, 10));
  return !class_name->empty();
}

bool FindAtomArgument(std::string* name) {
  const size_t length = std::strlen(kFindAtomSwitch);
  if (__argc != 2 || std::strncmp(__argv[1], kFindAtomSwitch, length) != 0) return false;
  name->assign(__argv[1] + length);
  return true;
}

bool WaitExitArguments(DWORD* pid, DWORD* milliseconds) {
  const size_t length = std::strlen(kWaitExitSwitch);
  if (__argc != 3 || std::strncmp(__argv[1], kWaitExitSwitch, length) != 0) return false;
  *pid = static_cast<DWORD>(std::strtoul(__argv[1] + length, nullptr, 10));
  *milliseconds = static_cast<DWORD>(std::strtoul(__argv[2], nullptr, 10));
  return true;
}

// 0 once the process has ended, 1 while it still runs after the time.
int WaitForProcessEnd(DWORD pid, DWORD milliseconds) {
  UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
  // A process that cannot be opened any more has ended and been reaped.
  if (!process) return 0;
  return WaitForSingleObject(process.get(), milliseconds) == WAIT_OBJECT_0 ? 0 : 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  std::string atom_name;
  if (FindAtomArgument(&atom_name)) return GlobalFindAtomA(atom_name.c_str()) != 0 ? 1 : 0;
  DWORD wait_pid = 0;
  DWORD wait_limit_ms = 0;
  if (WaitExitArguments(&wait_pid, &wait_limit_ms)) {
    return WaitForProcessEnd(wait_pid, wait_limit_ms);
  }
  std::string child_class;
  DWORD child_ms = 0;
  if (ChildArguments(&child_class, &child_ms)) {
    return RunDialogChild(instance, child_class, child_ms);
  }

  const std::string command_line = GetCommandLineA();
  const std::string module = ModulePath();
  char cwd[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof(cwd), cwd);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);
  // Listed first: the record file may lie in this folder.
  const std::string files = FilesJson(FolderOf(module));

  std::string token;
  const bool has_token = ThreadToken(command_line, &token);
  bool atom_found = false;
  bool atom_deleted = false;
  if (has_token) {
    const ATOM atom = GlobalFindAtomA((kTokenAtomPrefix + token).c_str());
    atom_found = atom != 0;
    if (atom_found && Environment("VARNIX_ENGINE_ATOM") != "keep") {
      GlobalDeleteAtom(atom);
      atom_deleted = GlobalFindAtomA((kTokenAtomPrefix + token).c_str()) == 0;
    }
  }

  const DWORD dialog_ms = EnvironmentNumber("VARNIX_ENGINE_DIALOG_MS", 0);
  const bool dialog_started =
      has_token && dialog_ms > 0 && StartDialogChild(kEngineDialogClassPrefix + token, dialog_ms);

  AppendRecord(std::string("{\"kind\":\"engine\"") + ",\"cmdline\":" + JsonText(command_line) +
               ",\"cwd\":" + JsonText(cwd) + ",\"module\":" + JsonText(module) +
               ",\"pid\":" + std::to_string(GetCurrentProcessId()) +
               ",\"parent\":" + JsonText(ParentName()) + ",\"show\":" + std::to_string(show) +
               ",\"startup_flags\":" + std::to_string(startup.dwFlags) +
               ",\"startup_show\":" + std::to_string(startup.wShowWindow) +
               ",\"th_id\":" + (has_token ? JsonText(token) : std::string("null")) +
               ",\"atom_found\":" + JsonBool(atom_found) +
               ",\"atom_deleted\":" + JsonBool(atom_deleted) +
               ",\"dialog_started\":" + JsonBool(dialog_started) + ",\"files\":" + files + "}");

  HoldUntilReleased(EnvironmentNumber("VARNIX_ENGINE_WAIT_MS", 0));
  ExitProcess(EnvironmentNumber("VARNIX_ENGINE_EXIT", 0));
}
