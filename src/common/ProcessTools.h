// Finding, steering and ending other programs. Programs are named by a
// path or a file name, never by a process id handed in. The lookup depends
// on the running Windows: the tool-help snapshot on 9x, the process-status
// library (and, outside XP, the list of top-level windows) on NT up to 7,
// the console command "tasklist.exe" on 8 and later. Nothing here raises, shows or
// logs: a lookup that cannot be made answers "not found".
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/ProcessRules.h"

// True when a program of that file name runs (the path is trimmed and
// unquoted first; any folder's copy counts). On NT outside XP only
// programs that own a top-level window are seen. Never starts a console
// command.
bool IsProgramRunning(const std::string& path);

// The id of a running program of the path's file name (the last-listed
// one first), or 0. On XP `byFullPath` compares whole paths; on other NT
// versions only names are known, so it has no effect there.
DWORD FindProcessId(const std::string& path, bool byFullPath);

// The main window of the program: among the top-level windows of its
// process (input-method windows left out), the first with the best
// ranking (see TAnalizer). `byFullPath` accepts only the whole path (not on
// Windows 8 and later, which know only names). Of several running copies,
// `fromEnd` takes the last listed, otherwise the first. NULL when none.
HWND FindMainWindowOfProgram(const std::string& path, bool byFullPath, bool fromEnd);

// The main window of the process (ranked as above); NULL when none.
HWND MainWindowOfProcess(DWORD id);
// The id of a process whose program is exactly this full path (letter case
// ignored), never matched by name alone: any program of the same name
// elsewhere is another program. 0 when none runs.
DWORD ProcessIdOfPath(const std::string& path);
// The process's program as a full path; empty when the system cannot tell.
std::string ImagePathOf(DWORD id);
// How ProcessIdOfPath and ImagePathOf find programs on this system, for the
// start-up trace: "tool help" (Windows 9x), "image names" (the system's own
// answer, from Vista on; also for 64-bit programs seen from this 32-bit one)
// or "process status" (the module list, NT 4 to XP).
const char* ProgramLookupRoute();
// Ends the process with exit code 0; true when it was ended.
bool TerminateProcessId(DWORD id);

// Posts the message to the program's main window; true when a window was
// found and the message posted. Nothing waits for it to be handled.
bool PostToProgram(const std::string& path, bool byFullPath, UINT message, WPARAM wParam,
                   LPARAM lParam);
// Posts WM_CLOSE (wParam 15, lParam 255), then, for a limit above 0, waits
// up to that many milliseconds for the program to end. True when posted.
bool CloseProgram(const std::string& path, bool byFullPath, DWORD waitLimitMs);
// Posts WM_QUIT (wParam 15, lParam 255). True when posted.
bool QuitProgram(const std::string& path, bool byFullPath);
// Ends the program's process (the last-listed one) with exit code 0; true
// when it was found and ended.
bool TerminateProgram(const std::string& path, bool byFullPath);

// Waits, processing window messages, until IsProgramRunning is false or
// `limitMs` (0: 1000) have passed; checks ten times a second. True when
// the program no longer runs.
bool WaitProgramEnd(const std::string& path, DWORD limitMs);
// Processes window messages and sleeps 100 ms at a time while a top-level
// window of that class and title exists (an empty text matches any class
// or title). No time limit; returns at once when both texts are empty.
void WaitWindowGone(const std::string& className, const std::string& title);

// One enumeration of all top-level windows into a WindowList (see
// ProcessRules.h for the modes and filters).
WindowList EnumTopWindows(int mode, const std::string& nameFilter, int64_t idFilter);

// The id of the program of the path's file name in the list "tasklist.exe
// /FO csv" prints (the last-listed with `fromEnd`, else the first); 0 when
// it is not listed or the command fails.
DWORD TasklistProcessId(const std::string& path, bool fromEnd);

// The lookups behind the functions above, for callers that need one of
// them in particular. Each answers 0 (or an empty list) when its library
// or one of its entry points is missing.
//
// Process-status library: the processes whose program matches the path
// (see ProgramMatches), walked from the last listed; `fromEnd` takes the
// first match of that walk, otherwise the last.
DWORD ProcessStatusSearch(const std::string& path, bool byFullPath, bool fromEnd);
// Tool-help snapshot, walked from the first listed; `fromEnd` takes the
// last match, otherwise the first. On NT the snapshot knows only names.
DWORD ToolHelpSearch(const std::string& path, bool byFullPath, bool fromEnd);
// A ProcessList of every process the process-status library can open,
// with file names or full paths.
std::string ProcessStatusList(bool fullPaths);
