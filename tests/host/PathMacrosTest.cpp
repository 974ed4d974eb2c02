#include <gtest/gtest.h>

#include <string>

#include "autoupdate/PathMacros.h"
#include "common/DateText.h"
#include "common/RunTimeDir.h"

namespace {

bool ShiftJisLead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Fixed answers, and a count of every question asked.
class FakeValues : public MacroValues {
 public:
  int asked = 0;
  std::string startMenu = "C:\\Start";

  std::string LoggedUserName() override { return Ask("ann"); }
  std::string RegisteredOwner() override { return Ask("Ann Owner"); }
  std::string RegisteredOrganization() override { return Ask("Org Ltd"); }
  std::string ComputerName() override { return Ask("PC-1"); }
  std::string DomainName() override { return Ask("DOM"); }
  double NowAsDays() override {
    ++asked;
    return DaysFromCivil(CivilTime{2026, 12, 6, 14, 3, 5});
  }
  std::string DateSeparator() override { return Ask("/"); }
  std::string TimeSeparator() override { return Ask("."); }
  std::string MonthName(int month) override { return Ask(month == 12 ? "December" : "?"); }
  std::string WindowsDir() override { return Ask("C:\\WINDOWS"); }
  std::string SystemDir() override { return Ask("C:\\WINDOWS\\system32"); }
  std::string System16Dir() override { return Ask("C:\\WINDOWS\\system"); }
  std::string FontDir() override { return Ask("C:\\WINDOWS\\Fonts"); }
  std::string TempDir() override { return Ask("C:\\Temp"); }
  std::string ProgramDir() override { return Ask("C:\\Prog\\Agent"); }
  std::string OriginDir() override { return Ask("D:\\Origin"); }
  std::string SpecialFolderDir(SpecialFolder folder) override {
    return Ask("S:\\" + std::to_string(static_cast<int>(folder)));
  }
  std::string RunTimeDir(int number) override { return Ask("R:\\" + std::to_string(number)); }
  std::string StartMenuDir() override { return Ask(startMenu); }
  std::string ProgramFilesDir() override { return Ask("C:\\Program Files"); }
  std::string CommonFilesDir() override { return Ask("C:\\Program Files\\Common Files"); }
  LeadByteTest LeadBytes() override { return ShiftJisLead; }

 private:
  std::string Ask(const std::string& answer) {
    ++asked;
    return answer;
  }
};

std::string EnteredEcho(const std::string& key) { return "v:" + key; }
std::string EnteredMacro(const std::string&) { return "<WinDir>"; }

class PathMacros : public ::testing::Test {
 protected:
  void SetUp() override {
    SetInstallDirs("C:\\Prog", "C:\\Common\\", "\\\\srv\\share");
    SetEnteredValueProvider(nullptr);
    SetCustomVariables("");
  }
  void TearDown() override { SetUp(); }

  std::string Values(const std::string& text) {
    return ExpandMacros(text, ExpandOptions{}, values);
  }
  std::string Folders(const std::string& text, bool resolveRelative = false) {
    ExpandOptions options;
    options.folderStage = true;
    options.resolveRelative = resolveRelative;
    return ExpandMacros(text, options, values);
  }

  FakeValues values;
};

}  // namespace

TEST_F(PathMacros, ValueMacros) {
  struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"<LoggedUserName>", "ann"},
      {"<USERNAME>", "Ann Owner"},  // names ignore case
      {"<companyname>", "Org Ltd"},
      {"<ComputerName>", "PC-1"},
      {"<CurrentDomainName>", "DOM"},
      {"<LastExecutableExitCode>", "0"},
      {"<ReqFreeDiskSpaceMB>", "0"},
      {"<ComputerName>-<computername>", "PC-1-PC-1"},  // every occurrence
      {"<ComputerName><LoggedUserName>", "PC-1ann"},   // adjacent
      {"[<ProjectName>]", "[]"},                       // no entered values here
      {"<NoSuchMacro> <ComputerName", "<NoSuchMacro> <ComputerName"},
      {"<WinDir>\\<ComputerName>", "<WinDir>\\PC-1"},  // folders not asked for
      {"C:\\plain\\..\\text", "C:\\plain\\..\\text"},
  };
  for (const auto& c : cases) EXPECT_EQ(Values(c.text), c.expected) << c.text;
}

TEST_F(PathMacros, DateMacros) {
  struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"<Date=#>", "06/December/2026"},  // the system's date separator
      {"<date=0>", "9836"},              // days since 1 January 2000
      {"<Date=1>", "06-12-26"},
      {"<Date=2>", "12-06-26"},
      {"<Date=3>", "26-12-06"},
      {"<Date=4>", "06-12-2026"},
      {"<Date=5>", "12-06-2026"},
      {"log<Date=6>.txt", "log2026-12-06.txt"},
      {"<Date=7>", "2026-12-06 14.03.05"},  // the system's time separator
      {"<Date=9>", "<Date=9>"},
      {"<Date=6><Date=4>", "2026-12-06<Date=4>"},  // only the first
      {"<Date=6", "<Date=6"},
      {"<Date=6x> <ComputerName>", "<Date=6x> PC-1"},  // not closed right after the code
      {"<Date=>", "<Date=>"},
  };
  for (const auto& c : cases) EXPECT_EQ(Values(c.text), c.expected) << c.text;
}

TEST_F(PathMacros, EnteredValues) {
  SetEnteredValueProvider(EnteredEcho);
  struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"<EnteredUserName>", "v:UserName"},
      {"<EnteredCompanyName>", "v:CompanyName"},
      {"<EnteredStartProgramMenu>", "v:EnteredStartProgramMenu"},
      {"<VendorCompanyName>", "v:VendorCompanyName"},
      {"<ProjectName>", "v:ProjectName"},
      {"<ProgramDescriptiveName>", "v:ProgramDescriptiveName"},
      {"<ProgramVersion>", "v:ProgramVersion"},
      {"<SelectedLanguage>", "v:SelectedLanguage"},
      {"<UnInstallExePath>x", "v:UnInstallExePathx"},  // inserted bare
  };
  for (const auto& c : cases) EXPECT_EQ(Folders(c.text), c.expected) << c.text;

  // A value that holds a folder macro is expanded by the folder stage.
  SetEnteredValueProvider(EnteredMacro);
  EXPECT_EQ(Folders("<ProjectName>\\x"), "C:\\WINDOWS\\x");
  EXPECT_EQ(Values("<ProjectName>\\x"), "<WinDir>\\x");
}

TEST_F(PathMacros, FolderMacros) {
  struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"<installdir>\\app.exe", "C:\\Prog\\app.exe"},  // doubled backslash collapsed
      {"<InstallDir>app.exe", "C:\\Prog\\app.exe"},    // separator added
      {"<InstallCommonDir>\\x", "C:\\Common\\x"},      // installation folders as given
      {"<InstallAuxDir>\\x", "\\\\srv\\share\\x"},     // a network path keeps its two
      {"<Application Folder>x", "C:\\Prog\\x"},
      {"<Common Folder>x", "C:\\Common\\x"},
      {"<Auxiliary Folder>x", "\\\\srv\\share\\x"},
      {"<Windows Directory>x", "C:\\WINDOWS\\x"},
      {"<System Directory>x", "C:\\WINDOWS\\system32\\x"},
      {"<System16 Directory>x", "C:\\WINDOWS\\system\\x"},
      {"<WinDir>x", "C:\\WINDOWS\\x"},
      {"<WinSysDir>x", "C:\\WINDOWS\\system32\\x"},
      {"<WinSys32Dir>x", "C:\\WINDOWS\\system32\\x"},
      {"<WinSys16Dir>x", "C:\\WINDOWS\\system\\x"},
      {"<InstallDrive>x", "C:\\x"},  // drives and disks are inserted bare
      {"<InstallDisk>\\x", "C:\\x"},
      {"<WinDrive>x", "C:\\x"},
      {"<WinSysDrive>x", "C:\\x"},
      {"<OriginDrive>x", "D:\\x"},
      {"<WinDisk>x", "C:x"},
      {"<WinSysDisk>x", "C:x"},
      {"<OriginDisk>x", "D:x"},
      {"<StartMenuDir>x", "C:\\Start\\x"},
      {"<ProgramFilesDir>x", "C:\\Program Files\\x"},
      {"<CommonFilesDir>x", "C:\\Program Files\\Common Files\\x"},
      {"<FontDir>x", "C:\\WINDOWS\\Fonts\\x"},
      {"<SrcDir>x", "C:\\Prog\\Agent\\x"},
      {"<OriginDir>x", "D:\\Origin\\x"},
      {"<TempDir>x", "C:\\Temp\\x"},
      {"<ServiceDir>x", "C:\\Prog\\Agent\\x"},
      {"<UserDir>x", "S:\\0\\x"},
      {"<UserAppDataDir>x", "S:\\1\\x"},
      {"<UserLocalAppDataDir>x", "S:\\2\\x"},
      {"<MyDocumentsDir>x", "S:\\3\\x"},
      {"<UserStartMenuDir>x", "S:\\4\\x"},
      {"<UserStartProgramMenuDir>x", "S:\\5\\x"},
      {"<UserDesktopDir>x", "S:\\6\\x"},
      {"<DocumentsAndSettingsDir>x", "S:\\7\\x"},
      {"<AllUsersDir>x", "S:\\8\\x"},
      {"<AllUsersAppDataDir>x", "S:\\9\\x"},
      {"<AllUsersDocumentsDir>x", "S:\\10\\x"},
      {"<AllUsersStartMenuDir>x", "S:\\11\\x"},
      {"<AllUsersStartProgramMenuDir>x", "S:\\12\\x"},
      {"<AllUsersDesktopDir>x", "S:\\13\\x"},
      {"<RunTimeDir_1>x", "R:\\1\\x"},
      {"<RunTimeDir_8>x", "R:\\8\\x"},
      {"<RunTimeDir_0>x <RunTimeDir_9>", "<RunTimeDir_0>x <RunTimeDir_9>"},
  };
  for (const auto& c : cases) EXPECT_EQ(Folders(c.text), c.expected) << c.text;
}

TEST_F(PathMacros, SeparatorAndInstallFolderRules) {
  struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"<InstallDir>", "C:\\Prog"},                          // ends the text
      {"<InstallDir> /s", "C:\\Prog /s"},                    // a blank follows
      {"\"<InstallDir>\"", "\"C:\\Prog\""},                  // a closing quote
      {"<WinDir><TempDir>", "C:\\WINDOWS\\C:\\Temp"},        // adjacent: "<" is no end
      {"<TempDir>\\a;<TempDir>", "C:\\Temp\\a;C:\\Temp\\"},  // the first decides for all
      // an absolute folder drops the installation folder written before it
      {"<InstallDir><Windows Directory>\\x.dll", "C:\\WINDOWS\\x.dll"},
      // "<AbsoluteDir>" only disappears, and then a name follows the folder
      {"<InstallDir><AbsoluteDir>D:\\Data", "C:\\Prog\\D:\\Data"},
      {"<InstallDir>\\<NoSuch>\\x", "C:\\Prog\\<NoSuch>\\x"},
      {"|<InstallAuxDir>\\a|<InstallAuxDir>\\b|", "|\\\\srv\\share\\a|\\\\srv\\share\\b|"},
      {"\"<InstallAuxDir>\\a\"", "\"\\\\srv\\share\\a\""},
  };
  for (const auto& c : cases) EXPECT_EQ(Folders(c.text), c.expected) << c.text;
}

TEST_F(PathMacros, RelativeStepsResolveAgainstTheProgramFolder) {
  struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"<InstallDir>\\..\\b.exe", "C:\\b.exe"},
      {"..\\tool.exe", "C:\\Prog\\tool.exe"},                     // no macro at all
      {"|..\\a|C:\\b\\..\\c|.\\d|", "|C:\\Prog\\a|C:\\c|.\\d|"},  // item by item
      {",<TempDir>\\..\\x,", ",C:\\x,"},
      {"C:\\no\\steps", "C:\\no\\steps"},
  };
  for (const auto& c : cases) EXPECT_EQ(Folders(c.text, true), c.expected) << c.text;
  EXPECT_EQ(Folders("..\\tool.exe"), "..\\tool.exe");  // not asked for
}

// Some answers block (account look-ups off line) or create folders (the
// shell): nothing is asked for a macro the text does not hold.
TEST_F(PathMacros, AsksOnlyForTheMacrosInTheText) {
  struct {
    const char* text;
    int questions;
  } cases[] = {
      {"C:\\plain\\text.exe", 0},
      {"<NoSuchMacro> <Date=9> <RunTimeDir_9>", 0},
      {"<ComputerName>", 1},
      {"<ComputerName> <ComputerName>", 1},
      {"<TempDir>\\x", 1},
      {"<UserAppDataDir>\\x", 1},
      {"<Date=6>", 1},
  };
  for (const auto& c : cases) {
    values.asked = 0;
    Folders(c.text);
    EXPECT_EQ(values.asked, c.questions) << c.text;
  }
}

TEST_F(PathMacros, CustomVariables) {
  SetCustomVariables("|<Edition>=Pro|<Tag>=x|");
  ExpandOptions options;
  options.customPass = true;
  EXPECT_EQ(ExpandMacros("<edition>-<Missing>-<Tag>", options, values), "Pro-<Missing>-x");
  EXPECT_EQ(ExpandMacros("a < b <Tag>", options, values), "a < b x");  // "< b <Tag>" is no name
  options.customPass = false;
  EXPECT_EQ(ExpandMacros("<Edition>", options, values), "<Edition>");
}

// A stored folder that repeats macros must not multiply the text.
TEST_F(PathMacros, GrowthIsBounded) {
  for (int i = 0; i < 2000; ++i) values.startMenu += "<TempDir>";
  std::string text;
  for (int i = 0; i < 20; ++i) text += "<StartMenuDir>";
  const std::string result = Folders(text);
  EXPECT_LE(result.size(), kMaxExpandedLength);
  EXPECT_NE(result.find("<StartMenuDir>"), std::string::npos);
}

TEST_F(PathMacros, DoubleByteFolderNames) {
  // "C:\" and one Shift-JIS character whose second byte is 0x5C.
  SetInstallDirs("C:\\\x95\\", "", "");
  EXPECT_EQ(Folders("<InstallDir>\\x"), "C:\\\x95\\\\x");
}

TEST(RunTimeDir, EightEmptyFolders) {
  for (int pass = 0; pass < 2; ++pass) {
    for (int number = 0; number <= kRunTimeDirCount + 1; ++number) {
      EXPECT_EQ(GetRunTimeDir(number), "") << number << " pass " << pass;
    }
  }
}
