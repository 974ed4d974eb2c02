// demo-engine: the setup engine of the demo package. The stub unpacks the
// package into its working folder and starts this program from there; it
// installs the files beside it and reports where.
//
// Usage (as the stub builds it): demo-engine.exe [/INSTALLDIR=FOLDER]
//                                [/TH_ID=_N] [/OriginExe="PATH"] [...]
//   /INSTALLDIR=  install folder, quoted or running to the next " /"
//                 (default C:\Program Files\Varnix Demo)
//   /TH_ID=       the stub's thread token: names the atom this engine deletes
//                 to report success and the dialog class the stub waits for
// What it does: shows its window (title and one line of text), copies every
// file of its own folder and its sub-folders except itself (and files another
// process holds open without sharing, such as the stub's lock) into the install
// folder, writes install-report.txt there (the folder, the command line and
// each file with its size), prints the install folder on standard output,
// deletes the token atom, keeps the window up about 1.5 s so that it can be
// seen, then exits. Exit code 0, or 1 when a file could not be installed (the
// atom then stays, so the stub knows the setup did not succeed).

#include <windows.h>

#include <string>
#include <vector>

#include "common/WinHandles.h"
#include "setup/EngineContract.h"

namespace {

const char kDefaultInstallFolder[] = "C:\\Program Files\\Varnix Demo";
const char kReportName[] = "install-report.txt";
// Without a thread token nobody waits for the window; any class will do.
const char kStandaloneClass[] = "VarnixDemoEngine";
const char kTitle[] = "Varnix Demo Setup";
const UINT_PTR kCloseTimer = 1;
const UINT kShowMs = 1500;
const int kWidth = 440;
const int kHeight = 110;

struct InstalledFile {
  std::string name;  // relative to the payload folder
  unsigned long long size;
};

// The value of a switch: quoted, or up to the next " /" (trimmed).
bool SwitchValue(const std::string& command_line, const char* name, std::string* value) {
  const size_t at = command_line.find(name);
  if (at == std::string::npos) return false;
  size_t start = at + std::string(name).size();
  size_t end;
  if (start < command_line.size() && command_line[start] == '"') {
    ++start;
    end = command_line.find('"', start);
  } else {
    end = command_line.find(" /", start);
  }
  std::string text =
      command_line.substr(start, end == std::string::npos ? std::string::npos : end - start);
  const size_t first = text.find_first_not_of(" \t");
  const size_t last = text.find_last_not_of(" \t");
  *value = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  return true;
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

// Creates the folder and every missing parent; true when it exists afterwards.
bool CreateFolderTree(const std::string& folder) {
  for (size_t at = folder.find('\\', 3); at != std::string::npos; at = folder.find('\\', at + 1)) {
    CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryA(folder.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A file that some process keeps open without sharing (the stub's lock on
// its working folder) is not part of the payload.
bool HeldByAnotherProcess(const std::string& path) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return !file && GetLastError() == ERROR_SHARING_VIOLATION;
}

// Copies the folder's files (sub-folders included) except `skip` into the
// target; false when one could not be copied.
bool CopyTree(const std::string& source, const std::string& target, const std::string& relative,
              const std::string& skip, std::vector<InstalledFile>* installed) {
  const std::string from = relative.empty() ? source : source + "\\" + relative;
  WIN32_FIND_DATAA data;
  UniqueFind find(FindFirstFileA((from + "\\*").c_str(), &data));
  if (!find) return true;
  bool ok = true;
  do {
    const std::string leaf = data.cFileName;
    if (leaf == "." || leaf == "..") continue;
    const std::string name = relative.empty() ? leaf : relative + "\\" + leaf;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = CopyTree(source, target, name, skip, installed) && ok;
      continue;
    }
    if (lstrcmpiA(name.c_str(), skip.c_str()) == 0 || HeldByAnotherProcess(source + "\\" + name)) {
      continue;
    }
    const std::string destination = target + "\\" + name;
    if (!CreateFolderTree(FolderOf(destination)) ||
        !CopyFileA((source + "\\" + name).c_str(), destination.c_str(), FALSE)) {
      ok = false;
      continue;
    }
    installed->push_back(
        {name, (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow});
  } while (FindNextFileA(find.get(), &data));
  return ok;
}

bool WriteWholeFile(const std::string& path, const std::string& text) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file &&
         WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

void PrintLine(const std::string& text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  const std::string line = text + "\r\n";
  DWORD written = 0;
  WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

struct Install {
  std::string folder;
  std::string command_line;
  std::vector<InstalledFile> files;
  bool ok = false;
};

void RunInstall(Install* install) {
  const std::string module = ModulePath();
  const std::string payload = FolderOf(module);
  const std::string self = module.substr(payload.size() + 1);
  install->ok = CreateFolderTree(install->folder) &&
                CopyTree(payload, install->folder, "", self, &install->files);
  std::string report = "Install folder: " + install->folder + "\r\n";
  report += "Command line: " + install->command_line + "\r\n";
  report += "Files:\r\n";
  for (const InstalledFile& file : install->files) {
    report += "  " + file.name + "  " + std::to_string(file.size) + " bytes\r\n";
  }
  report += install->ok ? "Result: installed\r\n" : "Result: some files could not be installed\r\n";
  install->ok = WriteWholeFile(install->folder + "\\" + kReportName, report) && install->ok;
  PrintLine(install->folder);
}

HWND g_text_line = nullptr;

LRESULT CALLBACK EngineProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      if (wparam == kCloseTimer) {
        KillTimer(window, kCloseTimer);
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

HWND CreateEngineWindow(HINSTANCE instance, const std::string& class_name) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = EngineProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = class_name.c_str();
  if (!RegisterClassA(&window_class)) return nullptr;
  RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  // Below the stub's centred main window, so a screenshot shows both.
  const int x = work.left + (work.right - work.left - kWidth) / 2;
  const int y = work.top + (work.bottom - work.top) / 2 + 80;
  HWND window =
      CreateWindowExA(0, class_name.c_str(), kTitle, WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, x,
                      y, kWidth, kHeight, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return nullptr;
  g_text_line =
      CreateWindowExA(0, "Static", "Installing the demo product...", WS_CHILD | WS_VISIBLE, 20, 24,
                      kWidth - 40, 36, window, nullptr, instance, nullptr);
  SendMessageA(g_text_line, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
  return window;
}

void PumpPending() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  Install install;
  install.command_line = GetCommandLineA();
  if (!SwitchValue(install.command_line, "/INSTALLDIR=", &install.folder) ||
      install.folder.empty()) {
    install.folder = kDefaultInstallFolder;
  }
  while (install.folder.size() > 3 && install.folder.back() == '\\') install.folder.pop_back();
  std::string token;
  const bool has_token = SwitchValue(install.command_line, kThreadTokenSwitch, &token) && !token.empty();
  if (has_token) token = token.substr(0, token.find(' '));

  HWND window =
      CreateEngineWindow(instance, has_token ? kEngineDialogClassPrefix + token : kStandaloneClass);
  if (window != nullptr) {
    // Wine ignores STARTUPINFO for the first ShowWindow; nCmdShow carries it.
    ShowWindow(window, show);
    UpdateWindow(window);
    PumpPending();
  }

  RunInstall(&install);
  if (window != nullptr) {
    const std::string done =
        install.ok
            ? "Installed " + std::to_string(install.files.size()) + " files into " + install.folder
            : "Some files could not be installed into " + install.folder;
    SetWindowTextA(g_text_line, done.c_str());
  }
  if (install.ok && has_token) {
    const ATOM atom = GlobalFindAtomA((kTokenAtomPrefix + token).c_str());
    if (atom != 0) GlobalDeleteAtom(atom);
  }

  if (window != nullptr) {
    SetTimer(window, kCloseTimer, kShowMs, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return install.ok ? 0 : 1;
}
