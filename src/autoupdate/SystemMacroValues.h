// The running system's answers to the path macros (see PathMacros.h), and
// the folder queries of their own that the macros use.
#pragma once

#include <string>

#include "autoupdate/PathMacros.h"

class SystemMacroValues : public MacroValues {
 public:
  std::string LoggedUserName() override;
  std::string RegisteredOwner() override;
  std::string RegisteredOrganization() override;
  std::string ComputerName() override;
  std::string DomainName() override;
  double NowAsDays() override;
  std::string DateSeparator() override;
  std::string TimeSeparator() override;
  std::string MonthName(int month) override;
  std::string WindowsDir() override;
  std::string SystemDir() override;
  std::string System16Dir() override;
  std::string FontDir() override;
  std::string TempDir() override;
  std::string ProgramDir() override;
  std::string OriginDir() override;
  std::string SpecialFolderDir(SpecialFolder folder) override;
  std::string RunTimeDir(int number) override;
  std::string StartMenuDir() override;
  std::string ProgramFilesDir() override;
  std::string CommonFilesDir() override;
  LeadByteTest LeadBytes() override;
};

// ExpandMacros with the running system's values.
std::string ExpandMacros(const std::string& text, const ExpandOptions& options);

// The "/OriginExe" switch, or the program's own path when it is empty or
// absent. Read once.
std::string GetOriginExe();
// The folder of GetOriginExe without a trailing backslash, or the program's
// folder. Read once.
std::string GetOriginDir();
// The 16-bit system folder: the system folder with its last "32" removed,
// else the Windows folder's "System", when either exists; else the system
// folder.
std::string GetSystem16Dir();
// The user's "Fonts" shell folder from the registry when it exists, else the
// Windows folder's "Fonts".
std::string GetFontDir();
