// The decisions of the process tools that need no operating system: path
// normalisation, the "name=id" process list, the window list of one
// enumeration, the ranking of a process's windows, the reading of the
// tasklist console command's CSV text and the composition of a console
// command line. Portable: no operating system needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Trimmed, with one pair of enclosing double quotes removed (and trimmed
// again inside them). A lone quote at one end stays.
std::string NormaliseProgramPath(const std::string& path);

// ProcessList: a "|"-list of "name=id" entries, for example
// "|explorer.exe=1500|prog.exe=2044|". Names may hold "=": the id is the
// text after the last one.
constexpr char kEmptyProcessList[] = "|";
// Appends "name=id"; an empty name adds nothing.
void AddProcessEntry(std::string& list, const std::string& name, uint32_t id);
// The same "|"-list with its items in reverse order.
std::string ReversedList(const std::string& list);
// The id of the first entry whose name equals `name`, or `shortName` when
// that is not empty (both trimmed, ignoring case); 0 when none matches.
uint32_t FindInProcessList(const std::string& list, const std::string& name,
                           const std::string& shortName);

// The names the process-status library cannot give: id 0 on every NT, the
// system process at id 2 on NT 4 and at id 8 on Windows 2000. Empty for
// any other id.
std::string SpecialProcessName(uint32_t id, uint32_t majorVersion, uint32_t minorVersion);

// One process as a process lookup sees it. Empty short path: the system
// has no short (8.3) form of it.
struct ListedProgram {
  std::string fullPath;
  std::string baseName;
  std::string shortPath;
};
// True when `path` names the listed program: equal to its full path, or
// (unless `byFullPath`) to its base name, or with equal short forms. Texts
// are compared trimmed and ignoring case; short forms only when both exist.
bool ProgramMatches(const std::string& path, const std::string& pathShort,
                    const ListedProgram& listed, bool byFullPath);

// What one enumeration of the top-level windows learns about a window.
struct WindowFacts {
  uint32_t processId = 0;
  std::string programName;  // as the process snapshot gives it
  std::string className;
  uintptr_t window = 0;
  uint32_t threadId = 0;
  std::string title;
  bool visible = false;
};

// WindowList: the accepted windows of one enumeration in seven parallel
// "|"-lists, one item per window. Mode 1 takes every window; mode 0 takes
// the first window of each program name and stops at the window whose
// program name equals `nameFilter` exactly or whose process id equals
// `idFilter` (-1: none).
struct WindowList {
  int mode = 0;
  std::string nameFilter;
  int64_t idFilter = -1;
  std::string processIds = "|";
  std::string programNames = "|";
  std::string classNames = "|";
  std::string windows = "|";  // handles in decimal
  std::string threadIds = "|";
  std::string titles = "|";
  std::string visible = "|";  // "1" visible, "0" hidden
};
WindowList NewWindowList(int mode, const std::string& nameFilter, int64_t idFilter);
// Appends the window's fields when the mode accepts it. "|" in a class name
// or title becomes "/", so the lists stay parallel. False when the
// enumeration should stop after this window.
bool AddToWindowList(WindowList& list, const WindowFacts& facts);
// True when an item of the "|"-list equals `name` (trimmed, ignoring case),
// a "*" in the item standing for any run of characters.
bool ListHoldsName(const std::string& list, const std::string& name);
// "name=id" for every entry of the list's program names, in their order.
std::string ProcessListOf(const WindowList& list);

// The system's input-method windows, which every thread with windows may
// get and which are never a program's main window.
bool IsImeWindowClass(const std::string& className);

// Ranks the windows of one process to find its main window.
class TAnalizer {
 public:
  static constexpr size_t kMaxWindows = 2001;

  explicit TAnalizer(uint32_t processId) : processId_(processId) {}
  uint32_t processId() const { return processId_; }

  // Collects a window with its top-most owner (the window itself when it
  // has none), whether its title is not empty and whether it is visible.
  // False, and nothing collected, once kMaxWindows are held.
  bool Add(uintptr_t window, uintptr_t topOwner, bool titled, bool visible);
  size_t count() const { return windows_.size(); }

  // Per collected window: 4 times the number of collected windows whose
  // top-most owner it is, plus 2 when titled, plus 1 when visible.
  std::vector<uint16_t> Scores() const;
  // The first window with the highest score above 0; 0 when none.
  uintptr_t Best() const;

 private:
  struct Collected {
    uintptr_t window;
    uintptr_t topOwner;
    bool titled;
    bool visible;
  };
  uint32_t processId_;
  std::vector<Collected> windows_;
};

// The process id of the program named by `path` (its file-name part) in
// the text "tasklist.exe /FO csv" printed: forward, the first listed line;
// `fromEnd`, the last. 0 when the program is not listed.
uint32_t TasklistIdFromText(const std::string& text, const std::string& path, bool fromEnd);

// Console commands.
constexpr uint32_t kConsoleStartFailed = 21;  // the exit code when the start failed
constexpr uint32_t kConsoleStopped = 255;     // the exit code of a command stopped by its caller
constexpr size_t kMaxCommandLine = 32766;
constexpr size_t kMaxConsoleRead = 30000;  // bytes per read of a pipe
// The program, quoted when it holds a blank and no quote, then a blank and
// the arguments when there are any.
std::string ConsoleCommandLine(const std::string& program, const std::string& arguments);
// The error text of a failed start: "Command line is too long" over
// kMaxCommandLine characters, else the system's text, " --- " and the
// first 256 characters of the command line.
std::string StartFailureText(const std::string& systemText, const std::string& commandLine);
// Milliseconds of the first poll: short when a caller watches the output.
uint32_t FirstPollInterval(bool withCallback);
// The next poll: 10 shorter while above 10 and standard output has text.
uint32_t NextPollInterval(uint32_t interval, bool haveOutput);
