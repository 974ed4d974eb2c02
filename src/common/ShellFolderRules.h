// Where the user's and the all-users' special folders are: the shell's answer
// when it names an existing folder, otherwise a folder derived from others by
// fixed rules, so that a path comes out on every Windows version. Portable:
// the shell, the file system and the system's names come in through
// ShellFolderSource.
#pragma once

#include <string>

#include "common/PathText.h"

enum class SpecialFolder {
  kUserDir,
  kUserAppData,
  kUserLocalAppData,
  kMyDocuments,
  kUserStartMenu,
  kUserStartProgramMenu,
  kUserDesktop,
  kDocumentsAndSettings,
  kAllUsersDir,
  kAllUsersAppData,
  kAllUsersDocuments,
  kAllUsersStartMenu,
  kAllUsersStartProgramMenu,
  kAllUsersDesktop,
};
constexpr int kSpecialFolderCount = 14;

// Folder numbers of the shell.
namespace Csidl {
constexpr int kPrograms = 2;
constexpr int kPersonal = 5;
constexpr int kStartMenu = 11;
constexpr int kDesktopDirectory = 16;
constexpr int kCommonStartMenu = 22;
constexpr int kCommonPrograms = 23;
constexpr int kCommonDesktopDirectory = 25;
constexpr int kAppData = 26;
constexpr int kLocalAppData = 28;
constexpr int kCommonAppData = 35;
constexpr int kCommonDocuments = 46;
constexpr int kFlagCreate = 0x8000;
}  // namespace Csidl

class ShellFolderSource {
 public:
  virtual ~ShellFolderSource() = default;
  // The shell's folder of a number (the create flag may be part of it) from
  // its folder-path query; empty when the shell has no answer.
  virtual std::string ShellFolderPath(int csidl) = 0;
  // The same from the shell's older special-folder query, never creating.
  virtual std::string ShellSpecialFolderPath(int csidl) = 0;
  // False for an empty text.
  virtual bool FolderExists(const std::string& folder) = 0;
  // The Windows folder without a trailing backslash.
  virtual std::string WindowsDir() = 0;
  virtual std::string RegisteredOwner() = 0;
};

// The folder, with a trailing backslash when `withBackslash`, without one
// otherwise. The last fallback of each folder is used whether it exists or
// not, so the result is empty only when the Windows folder is.
std::string DeriveSpecialFolder(SpecialFolder folder, ShellFolderSource& source, bool withBackslash,
                                LeadByteTest isLeadByte);

// Windows folder + "\Profiles\" + registered owner when that folder exists
// (systems without per-user folders); the Windows folder otherwise.
std::string ProfilesDir(ShellFolderSource& source, LeadByteTest isLeadByte);
