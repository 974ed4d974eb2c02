#include "common/ShellFolderRules.h"

namespace {

class Deriver {
 public:
  Deriver(ShellFolderSource& source, LeadByteTest isLeadByte)
      : source_(source), isLeadByte_(isLeadByte) {}

  std::string Folder(SpecialFolder folder) {
    switch (folder) {
      case SpecialFolder::kUserDir:
        return UserDir();
      case SpecialFolder::kDocumentsAndSettings:
        return DocumentsAndSettingsDir();
      case SpecialFolder::kAllUsersDir:
        return AllUsersDir();
      case SpecialFolder::kUserAppData:
        return Or(Shell(Csidl::kAppData), [&] { return Under(Profiles(), "Application Data"); });
      case SpecialFolder::kUserLocalAppData:
        return Or(Shell(Csidl::kLocalAppData),
                  [&] { return Under(Profiles(), "Application Data"); });
      case SpecialFolder::kAllUsersAppData:
        return Or(Shell(Csidl::kCommonAppData),
                  [&] { return Under(source_.WindowsDir(), "Application Data"); });
      case SpecialFolder::kMyDocuments:
        return Or(Shell(Csidl::kPersonal), [&] { return Under(Profiles(), "My Documents"); });
      case SpecialFolder::kAllUsersDocuments:
        return Or(Shell(Csidl::kCommonDocuments),
                  [&] { return Under(source_.WindowsDir(), "Documents"); });
      case SpecialFolder::kUserStartMenu:
        return PerUser(Csidl::kStartMenu, "Start Menu");
      case SpecialFolder::kAllUsersStartMenu:
        return AllUsers(Csidl::kCommonStartMenu, "Start Menu");
      case SpecialFolder::kUserStartProgramMenu:
        return PerUser(Csidl::kPrograms, "Start Menu\\Programs");
      case SpecialFolder::kAllUsersStartProgramMenu:
        return AllUsers(Csidl::kCommonPrograms, "Start Menu\\Programs");
      case SpecialFolder::kUserDesktop:
        return PerUser(Csidl::kDesktopDirectory, "Desktop");
      case SpecialFolder::kAllUsersDesktop:
        return AllUsers(Csidl::kCommonDesktopDirectory, "Desktop");
    }
    return "";
  }

  std::string Profiles() {
    const std::string windows = source_.WindowsDir();
    const std::string profile =
        WithTrailingBackslash(windows, isLeadByte_) + "Profiles\\" + source_.RegisteredOwner();
    return source_.FolderExists(profile) ? profile : windows;
  }

 private:
  // The folder-path query always carries the create flag: the shell makes a
  // missing standard folder rather than letting a fallback guess one.
  std::string Shell(int csidl) { return source_.ShellFolderPath(csidl | Csidl::kFlagCreate); }

  // `folder` when it exists, else what `fallback` gives, existing or not.
  template <typename Fallback>
  std::string Or(const std::string& folder, Fallback fallback) {
    return source_.FolderExists(folder) ? folder : fallback();
  }

  std::string Under(const std::string& folder, const char* name) {
    return WithTrailingBackslash(folder, isLeadByte_) + name;
  }

  std::string ParentWhileExists(std::string folder, int steps) {
    for (int i = 0; i < steps && source_.FolderExists(folder); ++i)
      folder = ParentFolder(folder, isLeadByte_);
    return folder;
  }

  std::string UserDir() {
    return Or(ParentWhileExists(Shell(Csidl::kPersonal), 1), [&] { return Profiles(); });
  }
  std::string DocumentsAndSettingsDir() {
    return Or(ParentWhileExists(Shell(Csidl::kPersonal), 2), [&] { return Profiles(); });
  }
  std::string AllUsersDir() {
    return Or(ParentWhileExists(Shell(Csidl::kCommonAppData), 1),
              [&] { return source_.WindowsDir(); });
  }

  // The shell's special folder, else the same name below the user folder,
  // else below the all-users folder.
  std::string PerUser(int csidl, const char* name) {
    return Or(source_.ShellSpecialFolderPath(csidl), [&] {
      return Or(UserDir() + "\\" + name, [&] { return AllUsersDir() + "\\" + name; });
    });
  }
  std::string AllUsers(int csidl, const char* name) {
    return Or(source_.ShellSpecialFolderPath(csidl), [&] { return AllUsersDir() + "\\" + name; });
  }

  ShellFolderSource& source_;
  LeadByteTest isLeadByte_;
};

}  // namespace

std::string DeriveSpecialFolder(SpecialFolder folder, ShellFolderSource& source, bool withBackslash,
                                LeadByteTest isLeadByte) {
  const std::string found = Deriver(source, isLeadByte).Folder(folder);
  return withBackslash ? WithTrailingBackslash(found, isLeadByte)
                       : WithoutTrailingBackslash(found, isLeadByte);
}

std::string ProfilesDir(ShellFolderSource& source, LeadByteTest isLeadByte) {
  return Deriver(source, isLeadByte).Profiles();
}
