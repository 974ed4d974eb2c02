#include "autoupdate/SystemMacroValues.h"

#include <windows.h>

#include "common/DateText.h"
#include "common/Files.h"
#include "common/RunTimeDir.h"
#include "common/ShellDir.h"
#include "common/Utils.h"

namespace {

const char kShellFoldersKey[] =
    "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCurrentVersionKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

std::string Bare(const std::string& folder) {
  return WithoutTrailingBackslash(folder, SystemLeadByte);
}

std::string SystemFolder() {
  char buffer[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
  return length == 0 || length > MAX_PATH ? "" : Bare(std::string(buffer, length));
}

std::string LocaleText(LCTYPE type) {
  char buffer[128] = {};
  const int length = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
  return length > 1 ? std::string(buffer, static_cast<size_t>(length - 1)) : "";
}

std::string ProgramFolder() { return ParentFolder(ProgramPath(), SystemLeadByte); }

}  // namespace

std::string GetOriginExe() {
  static const std::string origin = [] {
    const std::string value = GetSwitchValue("/OriginExe", "");
    return value.empty() ? ProgramPath() : value;
  }();
  return origin;
}

std::string GetOriginDir() {
  static const std::string folder = [] {
    const std::string value = ParentFolder(GetOriginExe(), SystemLeadByte);
    return value.empty() ? ProgramFolder() : value;
  }();
  return folder;
}

std::string GetSystem16Dir() {
  const std::string system = SystemFolder();
  const size_t last32 = system.rfind("32");
  if (last32 != std::string::npos) {
    const std::string without32 = system.substr(0, last32) + system.substr(last32 + 2);
    if (FolderExists(without32)) return without32;
  }
  const std::string windowsSystem = WindowsFolder() + "\\System";
  return FolderExists(windowsSystem) ? windowsSystem : system;
}

std::string GetFontDir() {
  const std::string fonts = ReadRegValue(kShellFoldersKey, "Fonts", "");
  return FolderExists(fonts) ? fonts : WindowsFolder() + "\\Fonts";
}

std::string SystemMacroValues::LoggedUserName() { return GetLoggedUserName(); }
std::string SystemMacroValues::RegisteredOwner() { return GetRegisteredOwner(); }
std::string SystemMacroValues::RegisteredOrganization() { return GetRegisteredOrganization(); }
std::string SystemMacroValues::ComputerName() { return GetComputerNameText(); }
std::string SystemMacroValues::DomainName() { return GetDomainName(); }
double SystemMacroValues::NowAsDays() { return ::NowAsDays(); }
std::string SystemMacroValues::DateSeparator() { return LocaleText(LOCALE_SDATE); }
std::string SystemMacroValues::TimeSeparator() { return LocaleText(LOCALE_STIME); }
std::string SystemMacroValues::MonthName(int month) {
  if (month < 1 || month > 12) return "";
  return LocaleText(static_cast<LCTYPE>(LOCALE_SMONTHNAME1 + month - 1));
}
std::string SystemMacroValues::WindowsDir() { return WindowsFolder(); }
std::string SystemMacroValues::SystemDir() { return SystemFolder(); }
std::string SystemMacroValues::System16Dir() { return GetSystem16Dir(); }
std::string SystemMacroValues::FontDir() { return GetFontDir(); }
std::string SystemMacroValues::TempDir() { return Bare(SystemTempPath()); }
std::string SystemMacroValues::ProgramDir() { return ProgramFolder(); }
std::string SystemMacroValues::OriginDir() { return GetOriginDir(); }
std::string SystemMacroValues::SpecialFolderDir(SpecialFolder folder) {
  return GetSpecialFolder(folder, false);
}
std::string SystemMacroValues::RunTimeDir(int number) { return GetRunTimeDir(number); }
// Read in the registry view of a 32-bit program: "ProgramFilesDir" names the
// folder for 32-bit programs on 64-bit Windows.
std::string SystemMacroValues::StartMenuDir() {
  return ReadRegValue(kShellFoldersKey, "Start Menu", "");
}
std::string SystemMacroValues::ProgramFilesDir() {
  return ReadRegValue(kCurrentVersionKey, "ProgramFilesDir", "");
}
std::string SystemMacroValues::CommonFilesDir() {
  return ReadRegValue(kCurrentVersionKey, "CommonFilesDir", "");
}
LeadByteTest SystemMacroValues::LeadBytes() { return SystemLeadByte; }

std::string ExpandMacros(const std::string& text, const ExpandOptions& options) {
  SystemMacroValues values;
  return ExpandMacros(text, options, values);
}
