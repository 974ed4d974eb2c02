#include "autoupdate/PathMacros.h"

#include <cmath>
#include <cstring>

#include "common/DateText.h"
#include "common/NumberText.h"
#include "common/TextRules.h"
#include "common/VSUB.h"

namespace {

struct MacroState {
  std::string application, common, auxiliary;
  EnteredValueProvider entered = nullptr;
  std::string customVariables;
};

MacroState& State() {
  static MacroState state;
  return state;
}

std::string Entered(const char* key) {
  return State().entered ? State().entered(key) : std::string();
}

size_t CountOccurrences(const std::string& text, const std::string& name) {
  const std::string haystack = UpperText(text);
  const std::string needle = UpperText(name);
  size_t count = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + needle.size())) {
    ++count;
  }
  return count;
}

// Values come from the registry and other processes' settings: a value that
// holds further macros, repeated, must not grow the text without bound.
void ReplaceBounded(std::string& text, const std::string& name, const std::string& value) {
  const size_t count = CountOccurrences(text, name);
  if (count == 0) return;
  const size_t kept = text.size() - count * name.size();
  const size_t room = kept < kMaxExpandedLength ? kMaxExpandedLength - kept : 0;
  if (!value.empty() && count > room / value.size()) return;
  text = ReplaceText(text, name, value, true);
}

// The value is asked for only when the macro occurs.
template <typename Value>
void ReplaceMacro(std::string& text, const char* name, Value value) {
  if (ContainsText(text, name, true)) ReplaceBounded(text, name, value());
}

bool IsAsciiLetter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }

// A folder followed by a name gets the separator; one that ends the text, a
// blank or a closing quote that encloses the whole text stands alone. The
// first occurrence decides for all of them.
bool SeparatorWanted(const std::string& text, size_t after) {
  if (after >= text.size()) return false;
  const char next = text[after];
  if (next == ' ') return false;
  const bool encloses = next == text.front() && next == text.back();
  return !(encloses && next != '<' && !IsAsciiLetter(next));
}

template <typename Value>
void ReplaceFolderMacro(std::string& text, const char* name, bool separatorRule, char separator,
                        Value value) {
  const size_t at = FindText(text, name, true);
  if (at == std::string::npos) return;
  std::string folder = value();
  if (separatorRule && separator != '\0' && SeparatorWanted(text, at + std::strlen(name))) {
    folder += separator;
  }
  ReplaceBounded(text, name, folder);
}

std::string TwoDigits(int number) { return DecimalText(number % 100, 2); }

std::string FourDigits(int number) { return DecimalText(number, 4); }

// The date text of a format code; false for a code that has none.
bool DateText(char code, MacroValues& values, std::string& date) {
  if (code != '#' && (code < '0' || code > '7')) return false;
  const double now = values.NowAsDays();
  if (code == '0') {
    static const double kFirstDayOf2000 = DaysFromCivil(CivilTime{2000, 1, 1, 0, 0, 0});
    date = std::to_string(static_cast<long long>(std::floor(now) - kFirstDayOf2000));
    return true;
  }
  const CivilTime t = CivilFromDays(now);
  const std::string dd = TwoDigits(t.day), mm = TwoDigits(t.month), yy = TwoDigits(t.year);
  const std::string yyyy = FourDigits(t.year);
  switch (code) {
    case '#': {
      const std::string sep = values.DateSeparator();
      date = dd + sep + values.MonthName(t.month) + sep + yyyy;
      break;
    }
    case '1':
      date = dd + "-" + mm + "-" + yy;
      break;
    case '2':
      date = mm + "-" + dd + "-" + yy;
      break;
    case '3':
      date = yy + "-" + mm + "-" + dd;
      break;
    case '4':
      date = dd + "-" + mm + "-" + yyyy;
      break;
    case '5':
      date = mm + "-" + dd + "-" + yyyy;
      break;
    case '6':
      date = yyyy + "-" + mm + "-" + dd;
      break;
    default: {
      const std::string sep = values.TimeSeparator();
      date = yyyy + "-" + mm + "-" + dd + " " + TwoDigits(t.hour) + sep + TwoDigits(t.minute) +
             sep + TwoDigits(t.second);
    }
  }
  return true;
}

// Only the first date macro counts, and only when its ">" closes it right
// after the code: "<Date=6" followed by anything else is not a macro.
void ExpandDateMacro(std::string& text, MacroValues& values) {
  const size_t at = FindText(text, "<Date=", true);
  const size_t close = at + 7;
  if (at == std::string::npos || close >= text.size() || text[close] != '>') return;
  std::string date;
  if (DateText(text[at + 6], values, date)) text.replace(at, 8, date);
}

std::string ExpandCustomVariables(const std::string& text) {
  const std::string& list = State().customVariables;
  if (list.empty()) return text;
  std::string out = text;
  size_t open = out.find('<');
  while (open != std::string::npos) {
    const size_t close = out.find('>', open + 1);
    if (close == std::string::npos) break;
    std::string name = out.substr(open, close - open + 1);
    const size_t first = name.find_first_not_of('<');
    const size_t last = name.find_last_not_of('>');
    name = first == std::string::npos || last < first ? "" : name.substr(first, last - first + 1);
    const std::string value = SUB::Value(list, "<" + name + ">");
    if (value.empty() || out.size() - (close - open + 1) + value.size() > kMaxExpandedLength) {
      open = out.find('<', open + 1);
      continue;
    }
    out.replace(open, close - open + 1, value);
    open = out.find('<', open + value.size());
  }
  return out;
}

void ExpandValueMacros(std::string& text, MacroValues& values) {
  if (ContainsText(text, "<Date=", true)) ExpandDateMacro(text, values);
  ReplaceMacro(text, "<LoggedUserName>", [&] { return values.LoggedUserName(); });
  ReplaceMacro(text, "<UserName>", [&] { return values.RegisteredOwner(); });
  ReplaceMacro(text, "<CompanyName>", [&] { return values.RegisteredOrganization(); });
  ReplaceMacro(text, "<ComputerName>", [&] { return values.ComputerName(); });
  ReplaceMacro(text, "<CurrentDomainName>", [&] { return values.DomainName(); });
  // Nothing in this program records an exit code or a required disk space.
  ReplaceMacro(text, "<LastExecutableExitCode>", [] { return std::string("0"); });
  ReplaceMacro(text, "<ReqFreeDiskSpaceMB>", [] { return std::string("0"); });
  static const struct {
    const char* name;
    const char* key;
  } kEntered[] = {
      {"<EnteredUserName>", "UserName"},
      {"<EnteredCompanyName>", "CompanyName"},
      {"<EnteredStartProgramMenu>", "EnteredStartProgramMenu"},
      {"<VendorCompanyName>", "VendorCompanyName"},
      {"<ProjectName>", "ProjectName"},
      {"<ProgramDescriptiveName>", "ProgramDescriptiveName"},
      {"<ProgramVersion>", "ProgramVersion"},
      {"<SelectedLanguage>", "SelectedLanguage"},
  };
  for (const auto& macro : kEntered) {
    ReplaceMacro(text, macro.name, [&] { return Entered(macro.key); });
  }
}

enum class Source {
  kApplication,
  kCommon,
  kAuxiliary,
  kWindows,
  kSystem,
  kSystem16,
  kStartMenu,
  kProgramFiles,
  kCommonFiles,
  kFont,
  kProgram,
  kOrigin,
  kTemp,
};

struct FolderMacro {
  const char* name;
  Source source;
  size_t prefix;  // 0: the whole folder; 2 or 3: its disk or drive
};

std::string FolderValue(Source source, MacroValues& values) {
  const MacroState& state = State();
  switch (source) {
    case Source::kApplication:
      return state.application;
    case Source::kCommon:
      return state.common;
    case Source::kAuxiliary:
      return state.auxiliary;
    case Source::kWindows:
      return values.WindowsDir();
    case Source::kSystem:
      return values.SystemDir();
    case Source::kSystem16:
      return values.System16Dir();
    case Source::kStartMenu:
      return values.StartMenuDir();
    case Source::kProgramFiles:
      return values.ProgramFilesDir();
    case Source::kCommonFiles:
      return values.CommonFilesDir();
    case Source::kFont:
      return values.FontDir();
    case Source::kProgram:
      return values.ProgramDir();
    case Source::kOrigin:
      return values.OriginDir();
    case Source::kTemp:
      return values.TempDir();
  }
  return "";
}

template <size_t N>
void ReplaceFolderMacros(std::string& text, const FolderMacro (&macros)[N], char separator,
                         MacroValues& values) {
  for (const FolderMacro& macro : macros) {
    // A drive or disk is a prefix to which the caller adds its own path.
    ReplaceFolderMacro(text, macro.name, macro.prefix == 0, separator, [&] {
      const std::string folder = FolderValue(macro.source, values);
      return macro.prefix == 0 ? folder : folder.substr(0, macro.prefix);
    });
  }
}

const FolderMacro kAbsoluteFolders[] = {
    {"<Application Folder>", Source::kApplication, 0},
    {"<Common Folder>", Source::kCommon, 0},
    {"<Auxiliary Folder>", Source::kAuxiliary, 0},
    {"<Windows Directory>", Source::kWindows, 0},
    {"<System Directory>", Source::kSystem, 0},
    {"<System16 Directory>", Source::kSystem16, 0},
};
const FolderMacro kInstallFolders[] = {
    {"<InstallDir>", Source::kApplication, 0},
    {"<InstallCommonDir>", Source::kCommon, 0},
    {"<InstallAuxDir>", Source::kAuxiliary, 0},
};
const FolderMacro kOtherFolders[] = {
    {"<WinDir>", Source::kWindows, 0},
    {"<WinSysDir>", Source::kSystem, 0},
    {"<WinSys32Dir>", Source::kSystem, 0},
    {"<WinSys16Dir>", Source::kSystem16, 0},
    {"<InstallDrive>", Source::kApplication, 3},
    {"<WinDrive>", Source::kWindows, 3},
    {"<WinSysDrive>", Source::kSystem, 3},
    {"<OriginDrive>", Source::kOrigin, 3},
    {"<InstallDisk>", Source::kApplication, 2},
    {"<WinDisk>", Source::kWindows, 2},
    {"<WinSysDisk>", Source::kSystem, 2},
    {"<OriginDisk>", Source::kOrigin, 2},
    {"<StartMenuDir>", Source::kStartMenu, 0},
    {"<ProgramFilesDir>", Source::kProgramFiles, 0},
    {"<CommonFilesDir>", Source::kCommonFiles, 0},
    {"<FontDir>", Source::kFont, 0},
    {"<SrcDir>", Source::kProgram, 0},
    {"<OriginDir>", Source::kOrigin, 0},
    {"<TempDir>", Source::kTemp, 0},
    {"<ServiceDir>", Source::kProgram, 0},
};

const struct {
  const char* name;
  SpecialFolder folder;
} kSpecialFolders[] = {
    {"<UserDir>", SpecialFolder::kUserDir},
    {"<UserAppDataDir>", SpecialFolder::kUserAppData},
    {"<UserLocalAppDataDir>", SpecialFolder::kUserLocalAppData},
    {"<MyDocumentsDir>", SpecialFolder::kMyDocuments},
    {"<UserStartMenuDir>", SpecialFolder::kUserStartMenu},
    {"<UserStartProgramMenuDir>", SpecialFolder::kUserStartProgramMenu},
    {"<UserDesktopDir>", SpecialFolder::kUserDesktop},
    {"<DocumentsAndSettingsDir>", SpecialFolder::kDocumentsAndSettings},
    {"<AllUsersDir>", SpecialFolder::kAllUsersDir},
    {"<AllUsersAppDataDir>", SpecialFolder::kAllUsersAppData},
    {"<AllUsersDocumentsDir>", SpecialFolder::kAllUsersDocuments},
    {"<AllUsersStartMenuDir>", SpecialFolder::kAllUsersStartMenu},
    {"<AllUsersStartProgramMenuDir>", SpecialFolder::kAllUsersStartProgramMenu},
    {"<AllUsersDesktopDir>", SpecialFolder::kAllUsersDesktop},
};

void DeleteMacro(std::string& text, const char* name) { text = ReplaceText(text, name, "", true); }

void ExpandFolderMacros(std::string& text, char separator, MacroValues& values) {
  const std::string valuesOnly = text;
  ReplaceFolderMacro(text, "<UnInstallExePath>", false, separator,
                     [] { return Entered("UnInstallExePath"); });
  if (ContainsText(text, "<RunTimeDir_", true)) {
    for (int number = 1; number <= 8; ++number) {
      const std::string name = "<RunTimeDir_" + std::to_string(number) + ">";
      ReplaceFolderMacro(text, name.c_str(), true, separator,
                         [&] { return values.RunTimeDir(number); });
    }
  }
  ReplaceFolderMacros(text, kAbsoluteFolders, separator, values);
  // An absolute folder replaces the installation folder it was written after.
  if (text != valuesOnly) {
    for (const FolderMacro& macro : kInstallFolders) DeleteMacro(text, macro.name);
  }
  DeleteMacro(text, "<AbsoluteDir>");
  ReplaceFolderMacros(text, kInstallFolders, separator, values);
  DeleteMacro(text, "<AbsoluteDir>");
  ReplaceFolderMacros(text, kOtherFolders, separator, values);
  for (const auto& macro : kSpecialFolders) {
    ReplaceFolderMacro(text, macro.name, true, separator,
                       [&] { return values.SpecialFolderDir(macro.folder); });
  }
  if (text != valuesOnly) text = CollapseBackslashes(text, values.LeadBytes());
}

bool IsListSeparator(char ch) { return ch == ',' || ch == '|'; }

// Relative steps resolve against the program's folder: the current folder
// of a process started by a shortcut or another program is anybody's guess.
std::string ResolveRelative(const std::string& text, MacroValues& values) {
  if (!HasRelativeStep(text)) return text;
  const std::string base = values.ProgramDir();
  const LeadByteTest isLeadByte = values.LeadBytes();
  const char first = text.front();
  if (!(text.size() >= 2 && IsListSeparator(first) && text.back() == first)) {
    return ResolveFullPath(text, base, isLeadByte);
  }
  std::string out(1, first);
  size_t from = 1;
  for (size_t end = text.find(first, from); end != std::string::npos;
       end = text.find(first, from)) {
    const std::string item = text.substr(from, end - from);
    out += (HasRelativeStep(item) ? ResolveFullPath(item, base, isLeadByte) : item) + first;
    from = end + 1;
  }
  return out;
}

}  // namespace

void SetInstallDirs(const std::string& application, const std::string& common,
                    const std::string& auxiliary) {
  MacroState& state = State();
  state.application = application;
  state.common = common;
  state.auxiliary = auxiliary;
}

void SetEnteredValueProvider(EnteredValueProvider provider) { State().entered = provider; }

void SetCustomVariables(const std::string& list) { State().customVariables = list; }

std::string ExpandMacros(const std::string& text, const ExpandOptions& options,
                         MacroValues& values) {
  std::string result = text;
  if (result.find('<') != std::string::npos) {
    if (options.customPass) result = ExpandCustomVariables(result);
    ExpandValueMacros(result, values);
    if (options.folderStage) ExpandFolderMacros(result, options.separator, values);
  }
  return options.resolveRelative ? ResolveRelative(result, values) : result;
}
