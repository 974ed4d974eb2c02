#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "common/ShellFolderRules.h"

namespace {

// A system with a Windows folder and an owner, whose shell answers only
// what a case gives it, and where only the listed folders exist.
class FakeShell : public ShellFolderSource {
 public:
  std::map<int, std::string> folderPaths;   // by number with flags
  std::map<int, std::string> specialPaths;  // by number
  std::set<std::string> existing;

  std::string ShellFolderPath(int csidl) override { return Answer(folderPaths, csidl); }
  std::string ShellSpecialFolderPath(int csidl) override { return Answer(specialPaths, csidl); }
  bool FolderExists(const std::string& folder) override { return existing.count(folder) > 0; }
  std::string WindowsDir() override { return "C:\\WINDOWS"; }
  std::string RegisteredOwner() override { return "Ann"; }

 private:
  static std::string Answer(const std::map<int, std::string>& answers, int csidl) {
    const auto found = answers.find(csidl);
    return found == answers.end() ? "" : found->second;
  }
};

const int kCreate = Csidl::kFlagCreate;
const char kProfile[] = "C:\\WINDOWS\\Profiles\\Ann";

// A present-day system: per-user folders below C:\Users, all-users data in
// C:\ProgramData. The folder-path answers are keyed with the create flag,
// so a query without it gets nothing.
void ModernSystem(FakeShell& shell) {
  shell.folderPaths = {
      {Csidl::kPersonal | kCreate, "C:\\Users\\Ann\\Documents"},
      {Csidl::kAppData | kCreate, "C:\\Users\\Ann\\AppData\\Roaming"},
      {Csidl::kLocalAppData | kCreate, "C:\\Users\\Ann\\AppData\\Local"},
      {Csidl::kCommonAppData | kCreate, "C:\\ProgramData"},
      {Csidl::kCommonDocuments | kCreate, "C:\\Users\\Public\\Documents"},
  };
  shell.specialPaths = {
      {Csidl::kStartMenu, "C:\\Users\\Ann\\Start"},
      {Csidl::kPrograms, "C:\\Users\\Ann\\Start\\Programs"},
      {Csidl::kDesktopDirectory, "C:\\Users\\Ann\\Desktop\\"},
      {Csidl::kCommonStartMenu, "C:\\ProgramData\\Start"},
      {Csidl::kCommonPrograms, "C:\\ProgramData\\Start\\Programs"},
      {Csidl::kCommonDesktopDirectory, "C:\\Users\\Public\\Desktop"},
  };
  for (const auto& answer : shell.folderPaths) shell.existing.insert(answer.second);
  for (const auto& answer : shell.specialPaths) shell.existing.insert(answer.second);
  shell.existing.insert({"C:", "C:\\Users", "C:\\Users\\Ann"});
}

}  // namespace

TEST(ShellFolderRules, ShellAnswerWhenItExists) {
  struct {
    SpecialFolder folder;
    const char* expected;
  } cases[] = {
      {SpecialFolder::kUserDir, "C:\\Users\\Ann"},          // documents' parent
      {SpecialFolder::kDocumentsAndSettings, "C:\\Users"},  // and its parent
      {SpecialFolder::kAllUsersDir, "C:"},                  // C:\ProgramData's parent, bare
      {SpecialFolder::kUserAppData, "C:\\Users\\Ann\\AppData\\Roaming"},
      {SpecialFolder::kUserLocalAppData, "C:\\Users\\Ann\\AppData\\Local"},
      {SpecialFolder::kAllUsersAppData, "C:\\ProgramData"},
      {SpecialFolder::kMyDocuments, "C:\\Users\\Ann\\Documents"},
      {SpecialFolder::kAllUsersDocuments, "C:\\Users\\Public\\Documents"},
      {SpecialFolder::kUserStartMenu, "C:\\Users\\Ann\\Start"},
      {SpecialFolder::kUserStartProgramMenu, "C:\\Users\\Ann\\Start\\Programs"},
      {SpecialFolder::kUserDesktop, "C:\\Users\\Ann\\Desktop"},  // its backslash removed
      {SpecialFolder::kAllUsersStartMenu, "C:\\ProgramData\\Start"},
      {SpecialFolder::kAllUsersStartProgramMenu, "C:\\ProgramData\\Start\\Programs"},
      {SpecialFolder::kAllUsersDesktop, "C:\\Users\\Public\\Desktop"},
  };
  FakeShell shell;
  ModernSystem(shell);
  for (const auto& c : cases) {
    EXPECT_EQ(DeriveSpecialFolder(c.folder, shell, false, NoLeadBytes), c.expected)
        << static_cast<int>(c.folder);
  }
  EXPECT_EQ(DeriveSpecialFolder(SpecialFolder::kUserDir, shell, true, NoLeadBytes),
            "C:\\Users\\Ann\\");
}

// Each derivation, once with no shell at all (a missing library gives the
// same empty answers) and once with a shell that names folders that are gone.
TEST(ShellFolderRules, DerivationsWhenTheShellHasNoUsableAnswer) {
  struct {
    SpecialFolder folder;
    bool profileExists;
    const char* expected;
  } cases[] = {
      {SpecialFolder::kUserDir, true, kProfile},
      {SpecialFolder::kUserDir, false, "C:\\WINDOWS"},
      {SpecialFolder::kDocumentsAndSettings, true, kProfile},
      {SpecialFolder::kAllUsersDir, true, "C:\\WINDOWS"},
      {SpecialFolder::kUserAppData, true, "C:\\WINDOWS\\Profiles\\Ann\\Application Data"},
      // the last fallback is taken without looking
      {SpecialFolder::kUserAppData, false, "C:\\WINDOWS\\Application Data"},
      {SpecialFolder::kUserLocalAppData, true, "C:\\WINDOWS\\Profiles\\Ann\\Application Data"},
      {SpecialFolder::kAllUsersAppData, true, "C:\\WINDOWS\\Application Data"},
      {SpecialFolder::kMyDocuments, true, "C:\\WINDOWS\\Profiles\\Ann\\My Documents"},
      {SpecialFolder::kMyDocuments, false, "C:\\WINDOWS\\My Documents"},
      {SpecialFolder::kAllUsersDocuments, true, "C:\\WINDOWS\\Documents"},
      // per-user menus: below the user folder only when that exists there
      {SpecialFolder::kUserStartMenu, true, "C:\\WINDOWS\\Start Menu"},
      {SpecialFolder::kUserStartProgramMenu, true, "C:\\WINDOWS\\Start Menu\\Programs"},
      {SpecialFolder::kUserDesktop, true, "C:\\WINDOWS\\Desktop"},
      {SpecialFolder::kAllUsersStartMenu, true, "C:\\WINDOWS\\Start Menu"},
      {SpecialFolder::kAllUsersStartProgramMenu, true, "C:\\WINDOWS\\Start Menu\\Programs"},
      {SpecialFolder::kAllUsersDesktop, true, "C:\\WINDOWS\\Desktop"},
  };
  for (bool shellAnswers : {false, true}) {
    for (const auto& c : cases) {
      FakeShell shell;
      if (shellAnswers) {
        ModernSystem(shell);
        shell.existing.clear();  // every answer names a folder that is gone
      }
      shell.existing.insert("C:\\WINDOWS");
      if (c.profileExists) shell.existing.insert(kProfile);
      EXPECT_EQ(DeriveSpecialFolder(c.folder, shell, false, NoLeadBytes), c.expected)
          << static_cast<int>(c.folder) << " profile " << c.profileExists << " shell "
          << shellAnswers;
    }
  }
}

TEST(ShellFolderRules, PerUserMenuFallsBackToUserFolderThenAllUsers) {
  FakeShell shell;
  ModernSystem(shell);
  shell.specialPaths.clear();  // an old shell without these folders
  shell.existing.insert("C:\\Users\\Ann\\Desktop");
  EXPECT_EQ(DeriveSpecialFolder(SpecialFolder::kUserDesktop, shell, false, NoLeadBytes),
            "C:\\Users\\Ann\\Desktop");
  EXPECT_EQ(DeriveSpecialFolder(SpecialFolder::kUserStartMenu, shell, false, NoLeadBytes),
            "C:\\Start Menu");  // all-users folder "C:" + the name
}

TEST(ShellFolderRules, ProfilesDir) {
  FakeShell shell;
  EXPECT_EQ(ProfilesDir(shell, NoLeadBytes), "C:\\WINDOWS");
  shell.existing.insert(kProfile);
  EXPECT_EQ(ProfilesDir(shell, NoLeadBytes), kProfile);
}
