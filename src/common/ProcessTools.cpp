#include "common/ProcessTools.h"

#include <tlhelp32.h>

#include <cstring>
#include <vector>

#include "common/ConsoleCommand.h"
#include "common/PsAPI.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/VDebug.h"
#include "common/WinHandles.h"

namespace {

// NT 4's kernel32 has no tool-help functions, so they are looked up rather
// than imported: the program must still start there.
using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
struct ToolHelpFunctions {
  SnapshotFn snapshot = nullptr;
  ProcessWalkFn first = nullptr;
  ProcessWalkFn next = nullptr;
};

template <typename Function>
Function FindInKernel(const char* name) {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, name)));
}

const ToolHelpFunctions& ToolHelp() {
  static const ToolHelpFunctions functions = [] {
    ToolHelpFunctions f;
    f.snapshot = FindInKernel<SnapshotFn>("CreateToolhelp32Snapshot");
    f.first = FindInKernel<ProcessWalkFn>("Process32First");
    f.next = FindInKernel<ProcessWalkFn>("Process32Next");
    return f;
  }();
  return functions;
}

struct SnapshotEntry {
  DWORD id;
  std::string program;  // a full path on 9x, a file name on NT
};

std::vector<SnapshotEntry> ProcessSnapshot() {
  std::vector<SnapshotEntry> entries;
  const ToolHelpFunctions& toolHelp = ToolHelp();
  if (!toolHelp.snapshot || !toolHelp.first || !toolHelp.next) return entries;
  const UniqueFile snapshot(toolHelp.snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return entries;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL ok = toolHelp.first(snapshot.get(), &entry); ok;
       ok = toolHelp.next(snapshot.get(), &entry)) {
    entries.push_back(
        {entry.th32ProcessID, std::string(entry.szExeFile, strnlen(entry.szExeFile, MAX_PATH))});
  }
  return entries;
}

// Empty when the system has no short form of the path.
std::string ShortPathOf(const std::string& path) {
  if (path.empty()) return "";
  char buffer[MAX_PATH + 1];
  const DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : "";
}

// Far more than any system runs; ends the growth if the library misbehaves.
constexpr DWORD kMaxProcessIdBytes = 1024 * 1024;

std::vector<DWORD> ProcessIds() {
  std::vector<DWORD> ids;
  // A full buffer may have cut the list short: grow until some room is left.
  for (DWORD bytes = 1024; bytes <= kMaxProcessIdBytes; bytes += 1024) {
    ids.resize(bytes / sizeof(DWORD));
    DWORD returned = 0;
    if (!PsAPI::EnumProcesses(ids.data(), bytes, &returned)) return {};
    if (returned < bytes) {
      ids.resize(returned / sizeof(DWORD));
      return ids;
    }
  }
  return {};
}

struct ModuleNames {
  std::string fullPath;
  std::string baseName;
};

// The names of the process's first module (its program). False for a
// process that cannot be opened, such as a protected system process.
bool FirstModuleNames(DWORD id, DWORD maxChars, ModuleNames& names) {
  const UniqueKernelHandle process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
  if (!process) return false;
  HMODULE module = nullptr;
  DWORD needed = 0;
  if (!PsAPI::EnumProcessModules(process.get(), &module, sizeof module, &needed)) return false;
  char buffer[MAX_PATH + 1];
  DWORD length = PsAPI::GetModuleFileNameExA(process.get(), module, buffer, maxChars);
  names.fullPath.assign(buffer, length < maxChars ? length : maxChars);
  length = PsAPI::GetModuleBaseNameA(process.get(), module, buffer, maxChars);
  names.baseName.assign(buffer, length < maxChars ? length : maxChars);
  return true;
}

std::string ClassNameOf(HWND window) {
  char name[257];
  const int length = GetClassNameA(window, name, sizeof name);
  return std::string(name, length > 0 ? length : 0);
}

std::string TitleOf(HWND window) {
  char title[1024];
  const int length = GetWindowTextA(window, title, sizeof title);
  return std::string(title, length > 0 ? length : 0);
}

// Owner chains cannot loop, but a bound costs nothing.
HWND TopOwnerOf(HWND window) {
  HWND top = window;
  for (int step = 0; step < 1024; ++step) {
    const HWND owner = GetWindow(top, GW_OWNER);
    if (!owner) break;
    top = owner;
  }
  return top;
}

struct TopWindowsWalk {
  WindowList* list;
  std::vector<SnapshotEntry> processes;
};

std::string ProgramNameOf(DWORD id, const std::vector<SnapshotEntry>& processes) {
  for (const SnapshotEntry& entry : processes) {
    if (entry.id == id) return entry.program;
  }
  return "";
}

BOOL CALLBACK AddTopWindow(HWND window, LPARAM walkParam) {
  TopWindowsWalk& walk = *reinterpret_cast<TopWindowsWalk*>(walkParam);
  WindowFacts facts;
  DWORD processId = 0;
  facts.threadId = GetWindowThreadProcessId(window, &processId);
  facts.processId = processId;
  facts.programName = ProgramNameOf(processId, walk.processes);
  facts.className = ClassNameOf(window);
  facts.window = reinterpret_cast<uintptr_t>(window);
  facts.title = TitleOf(window);
  facts.visible = IsWindowVisible(window) != FALSE;
  return AddToWindowList(*walk.list, facts) ? TRUE : FALSE;
}

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM analizerParam) {
  TAnalizer& analizer = *reinterpret_cast<TAnalizer*>(analizerParam);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != analizer.processId() || IsImeWindowClass(ClassNameOf(window))) return TRUE;
  char title[2];
  const bool titled = GetWindowTextA(window, title, sizeof title) > 0;
  const bool added = analizer.Add(reinterpret_cast<uintptr_t>(window),
                                  reinterpret_cast<uintptr_t>(TopOwnerOf(window)), titled,
                                  IsWindowVisible(window) != FALSE);
  return added ? TRUE : FALSE;
}

DWORD ProcessIdOfProgram(const std::string& path, bool byFullPath, bool fromEnd) {
  if (IsWindows8OrLater()) return TasklistProcessId(path, fromEnd);
  if (IsWindowsNT()) return ProcessStatusSearch(path, byFullPath, fromEnd);
  return ToolHelpSearch(path, byFullPath, fromEnd);
}

}  // namespace

std::string ProcessStatusList(bool fullPaths) {
  std::string list = kEmptyProcessList;
  const OSVERSIONINFOEXA& os = GetOSVersionInfo();
  for (DWORD id : ProcessIds()) {
    std::string name = SpecialProcessName(id, os.dwMajorVersion, os.dwMinorVersion);
    ModuleNames names;
    if (name.empty() && FirstModuleNames(id, MAX_PATH, names)) {
      name = fullPaths ? names.fullPath : ExtractFileName(names.fullPath);
    }
    AddProcessEntry(list, name, id);
  }
  return list;
}

DWORD ProcessStatusSearch(const std::string& path, bool byFullPath, bool fromEnd) {
  const std::string wanted = NormaliseProgramPath(path);
  const std::string wantedShort = ShortPathOf(wanted);
  const std::vector<DWORD> ids = ProcessIds();
  DWORD found = 0;
  for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
    ModuleNames names;
    if (!FirstModuleNames(*id, 256, names)) continue;
    // Without a short form of the wanted path no short form can match.
    const ListedProgram listed{names.fullPath, names.baseName,
                               wantedShort.empty() ? "" : ShortPathOf(names.fullPath)};
    if (!ProgramMatches(wanted, wantedShort, listed, byFullPath)) continue;
    found = *id;
    if (fromEnd) break;
  }
  return found;
}

DWORD ToolHelpSearch(const std::string& path, bool byFullPath, bool fromEnd) {
  const std::string wanted = NormaliseProgramPath(path);
  const std::string wantedShort = ShortPathOf(wanted);
  DWORD found = 0;
  for (const SnapshotEntry& entry : ProcessSnapshot()) {
    const ListedProgram listed{entry.program, ExtractFileName(entry.program),
                               wantedShort.empty() ? "" : ShortPathOf(entry.program)};
    if (!ProgramMatches(wanted, wantedShort, listed, byFullPath)) continue;
    found = entry.id;
    if (!fromEnd) break;
  }
  return found;
}

WindowList EnumTopWindows(int mode, const std::string& nameFilter, int64_t idFilter) {
  WindowList list = NewWindowList(mode, nameFilter, idFilter);
  // One snapshot serves every window of the walk.
  TopWindowsWalk walk{&list, ProcessSnapshot()};
  EnumWindows(AddTopWindow, reinterpret_cast<LPARAM>(&walk));
  return list;
}

DWORD FindProcessId(const std::string& path, bool byFullPath) {
  const std::string wanted = NormaliseProgramPath(path);
  if (wanted.empty()) return DWORD{0};
  if (!IsWindowsNT()) return ToolHelpSearch(wanted, byFullPath, true);
  const std::string shortName = ShortPathOf(wanted);
  // XP lists every process through the process-status library; later
  // systems refuse it for many processes, so there the window list
  // names the programs.
  if (IsWindowsXP()) {
    const std::string list = ReversedList(ProcessStatusList(byFullPath));
    if (byFullPath) return DWORD{FindInProcessList(list, wanted, shortName)};
    return DWORD{FindInProcessList(list, ExtractFileName(wanted), ExtractFileName(shortName))};
  }
  const std::string list = ReversedList(ProcessListOf(EnumTopWindows(0, "*", -1)));
  return DWORD{FindInProcessList(list, ExtractFileName(wanted), ExtractFileName(shortName))};
}

bool IsProgramRunning(const std::string& path) {
  const std::string wanted = NormaliseProgramPath(path);
  if (wanted.empty()) return false;
  if (!IsWindowsNT()) return ToolHelpSearch(wanted, false, true) != 0;
  return FindProcessId(wanted, false) != 0;
}

HWND FindMainWindowOfProgram(const std::string& path, bool byFullPath, bool fromEnd) {
  return MainWindowOfProcess(ProcessIdOfProgram(NormaliseProgramPath(path), byFullPath, fromEnd));
}

HWND MainWindowOfProcess(DWORD id) {
  if (id == 0) return HWND{nullptr};
  TAnalizer analizer(id);
  EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&analizer));
  return reinterpret_cast<HWND>(analizer.Best());
}

namespace {

using ImageNameQueryFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);

// QueryFullProcessImageNameA (Vista and later); null on older systems.
ImageNameQueryFn ImageNameQuery() {
  static const ImageNameQueryFn query = FindInKernel<ImageNameQueryFn>("QueryFullProcessImageNameA");
  return query;
}

}  // namespace

// From Vista on the system answers the program's path itself; the
// process-status library instead reads the other process's memory, which
// protected processes refuse (and Wine under an emulator cannot do).
std::string ImagePathOf(DWORD id) {
  const ImageNameQueryFn query = ImageNameQuery();
  constexpr DWORD kQueryLimitedInformation = 0x1000;  // Vista's PROCESS_QUERY_LIMITED_INFORMATION
  if (query) {
    const UniqueKernelHandle process(OpenProcess(kQueryLimitedInformation, FALSE, id));
    char buffer[MAX_PATH + 1];
    DWORD size = sizeof buffer;
    if (process && query(process.get(), 0, buffer, &size)) return std::string(buffer, size);
  }
  ModuleNames names;
  return FirstModuleNames(id, MAX_PATH, names) ? names.fullPath : "";
}

const char* ProgramLookupRoute() {
  if (!IsWindowsNT()) return "tool help";
  return ImageNameQuery() ? "image names" : "process status";
}

namespace {

// Windows 9x's snapshot names each program by its full path. A snapshot
// that gives only the file name (as NT's does, and Wine's in every mode) is
// asked for the full path of each process of that name.
DWORD ToolHelpIdOfPath(const std::string& wanted) {
  const std::string wantedName = ExtractFileName(wanted);
  for (const SnapshotEntry& entry : ProcessSnapshot()) {
    const bool bareName = entry.program.find('\\') == std::string::npos;
    if (bareName && UpperText(entry.program) != wantedName) continue;
    if (UpperText(bareName ? ImagePathOf(entry.id) : entry.program) == wanted) return entry.id;
  }
  return DWORD{0};
}

}  // namespace

DWORD ProcessIdOfPath(const std::string& path) {
  const std::string wanted = UpperText(NormaliseProgramPath(path));
  if (wanted.empty()) return DWORD{0};
  if (!IsWindowsNT()) return ToolHelpIdOfPath(wanted);
  for (DWORD id : ProcessIds()) {
    if (UpperText(ImagePathOf(id)) == wanted) return id;
  }
  return DWORD{0};
}

bool TerminateProcessId(DWORD id) {
  const UniqueKernelHandle process(id ? OpenProcess(PROCESS_TERMINATE, FALSE, id) : nullptr);
  return process && TerminateProcess(process.get(), 0);
}

bool PostToProgram(const std::string& path, bool byFullPath, UINT message, WPARAM wParam,
                   LPARAM lParam) {
  const HWND window = FindMainWindowOfProgram(path, byFullPath, false);
  return window && PostMessageA(window, message, wParam, lParam);
}

bool CloseProgram(const std::string& path, bool byFullPath, DWORD waitLimitMs) {
  const bool posted = PostToProgram(path, byFullPath, WM_CLOSE, 15, 255);
  if (waitLimitMs > 0) WaitProgramEnd(path, waitLimitMs);
  return posted;
}

bool QuitProgram(const std::string& path, bool byFullPath) {
  return PostToProgram(path, byFullPath, WM_QUIT, 15, 255);
}

bool TerminateProgram(const std::string& path, bool byFullPath) {
  const DWORD id = IsWindowsNT() ? ProcessStatusSearch(path, byFullPath, true)
                                 : ToolHelpSearch(path, byFullPath, true);
  if (id == 0) return false;
  const UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
  return process && TerminateProcess(process.get(), 0);
}

bool WaitProgramEnd(const std::string& path, DWORD limitMs) {
  const std::string wanted = NormaliseProgramPath(path);
  const DWORD limit = limitMs > 0 ? limitMs : 1000;
  const DWORD start = GetTickCount();
  do {
    if (!IsProgramRunning(wanted)) return true;
    WaitPumping(0, 100);
  } while (GetTickCount() - start < limit);
  return !IsProgramRunning(wanted);
}

void WaitWindowGone(const std::string& className, const std::string& title) {
  // Both empty would match any window and never end.
  if (className.empty() && title.empty()) return;
  const char* classText = className.empty() ? nullptr : className.c_str();
  const char* titleText = title.empty() ? nullptr : title.c_str();
  while (FindWindowA(classText, titleText)) YieldX(100);
}

DWORD TasklistProcessId(const std::string& path, bool fromEnd) {
  ConsoleResult result;
  if (!RunConsoleCommand("tasklist.exe", "/FO csv", SW_HIDE, nullptr, nullptr, 1, result))
    return DWORD{0};
  return DWORD{TasklistIdFromText(result.stdoutText, NormaliseProgramPath(path), fromEnd)};
}
