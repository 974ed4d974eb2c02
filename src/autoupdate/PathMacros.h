// Path macros: a text such as "<InstallDir>\App.exe" or "<TempDir>\x.log"
// made concrete. Value macros (user, computer, date, entered values) come
// first, folder macros second; macro names ignore case, every occurrence is
// replaced, and a name not listed stays as it is. Portable: every value comes
// from a MacroValues provider, asked only for the macros the text holds,
// because some answers are slow (account look-ups off line) or have effects
// (the shell creates a standard folder it is asked for).
#pragma once

#include <string>

#include "common/PathText.h"
#include "common/ShellFolderRules.h"

class MacroValues {
 public:
  virtual ~MacroValues() = default;
  // Empty when the system cannot tell.
  virtual std::string LoggedUserName() = 0;
  virtual std::string RegisteredOwner() = 0;  // the logged-on user when unset
  virtual std::string RegisteredOrganization() = 0;
  virtual std::string ComputerName() = 0;
  virtual std::string DomainName() = 0;

  // Local time as days since 30 December 1899, and the user's date
  // separator, time separator and full month names (1..12).
  virtual double NowAsDays() = 0;
  virtual std::string DateSeparator() = 0;
  virtual std::string TimeSeparator() = 0;
  virtual std::string MonthName(int month) = 0;

  // Folders without a trailing backslash; empty when unknown.
  virtual std::string WindowsDir() = 0;
  virtual std::string SystemDir() = 0;
  virtual std::string System16Dir() = 0;
  virtual std::string FontDir() = 0;
  virtual std::string TempDir() = 0;
  virtual std::string ProgramDir() = 0;  // the running program's folder
  virtual std::string OriginDir() = 0;
  virtual std::string SpecialFolderDir(SpecialFolder folder) = 0;
  virtual std::string RunTimeDir(int number) = 0;
  // Registry folders, as stored.
  virtual std::string StartMenuDir() = 0;
  virtual std::string ProgramFilesDir() = 0;
  virtual std::string CommonFilesDir() = 0;

  // The lead-byte test of the ANSI code page the paths are in.
  virtual LeadByteTest LeadBytes() = 0;
};

// The installation's application, common and auxiliary folders, used as
// given (with or without a trailing backslash) by later expansions.
void SetInstallDirs(const std::string& application, const std::string& common,
                    const std::string& auxiliary);

// The value a user entered in a setup wizard for a key; nothing in this
// program installs one, so the entered-value macros expand to empty text.
using EnteredValueProvider = std::string (*)(const std::string& key);
void SetEnteredValueProvider(EnteredValueProvider provider);

// A delimited list of "<Name>=value" items for the custom pass; empty (the
// default) leaves every token of that pass unchanged.
void SetCustomVariables(const std::string& list);

struct ExpandOptions {
  char separator = '\\';         // appended to a folder that a name follows
  bool resolveRelative = false;  // ".." steps resolved against the program's folder
  bool customPass = false;
  bool folderStage = false;
};

// The expanded text; never fails: a value that cannot be had is empty. A
// result that would grow past kMaxExpandedLength keeps that macro unexpanded.
std::string ExpandMacros(const std::string& text, const ExpandOptions& options,
                         MacroValues& values);
constexpr size_t kMaxExpandedLength = 32768;
