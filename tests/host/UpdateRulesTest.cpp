#include <gtest/gtest.h>

#include "AgentFakes.h"
#include "autoupdate/UpdateRules.h"

namespace {

const AgentOwnFiles kOwn{"ProdUpdate.exe", "prod.info", "prod.original"};

struct NameCase {
  const char* file;      // NameOfUpdateFile as the server sends it
  const char* expected;  // the name the agent uses; "" refused
};

const NameCase kNames[] = {
    {"setup2.exe", "setup2.exe"},
    {"Setup 2.0 (new).exe", "Setup 2.0 (new).exe"},
    // Only the last part counts: no folder of the server's reaches the disk.
    {"..\\..\\Windows\\evil.exe", "evil.exe"},
    {"sub/dir/setup2.exe", "setup2.exe"},
    {"C:\\Temp\\setup2.exe", "setup2.exe"},
    {"", ""},
    {"..", ""},
    {".", ""},
    {"dir\\", ""},
    {"setup2.exe:stream", ""},
    {"C:setup2.exe", ""},
    {"CON", ""},
    {"nul.exe", ""},
    {"LPT1.txt", ""},
    {"setup2.exe.", ""},
    {"setup2.exe ", ""},
    {"set\tup.exe", ""},
    // The agent's own files.
    {"ProdUpdate.exe", ""},
    {"produpdate.EXE", ""},
    {"X_ProdUpdate.exe", ""},
    {"prod.info", ""},
    {"PROD.ORIGINAL", ""},
    {"X_ProdUpdate.log", ""},
    {"..\\ProdUpdate.exe", ""},
};

TEST(UpdateRules, DownloadNamesAreOnePlainPartAndNeverTheAgentsOwnFiles) {
  for (const NameCase& c : kNames) {
    EXPECT_EQ(SafeDownloadName(c.file, kOwn), c.expected) << c.file;
  }
}

TEST(UpdateRules, TheInfoFileNameIsAllowedWhenTheCallerFetchesTheInfoFile) {
  AgentOwnFiles own = kOwn;
  own.infoName.clear();
  EXPECT_EQ(SafeDownloadName("prod.info", own), "prod.info");
  EXPECT_EQ(SafeDownloadName("prod.original", own), "");
}

struct ProductCase {
  const char* running;   // RunningProcess after macro expansion
  const char* expected;  // "" refused
};

const ProductCase kProducts[] = {
    {"C:\\Prod\\app.exe", "C:\\Prod\\app.exe"},
    {"\"C:\\Prod\\app.exe\"", "C:\\Prod\\app.exe"},
    {"  c:\\prod\\bin\\app.exe ", "c:\\prod\\bin\\app.exe"},
    {"C:/Prod/app.exe", "C:\\Prod\\app.exe"},
    {"app.exe", "C:\\Prod\\app.exe"},  // relative: from the installation folder
    {"bin\\app.exe", "C:\\Prod\\bin\\app.exe"},
    {"D:\\Shared\\tool.exe", "D:\\Shared\\tool.exe"},
    {"\\\\srv\\aux\\helper.exe", "\\\\srv\\aux\\helper.exe"},
    {"", ""},
    {"C:\\Prod", ""},                   // the folder itself is no program
    {"C:\\Prod\\..\\Windows\\explorer.exe", ""},
    {"..\\Windows\\explorer.exe", ""},
    {"C:/Prod/../Windows/explorer.exe", ""},
    {"C:\\Product\\app.exe", ""},       // a sibling that shares the prefix
    {"C:\\Windows\\notepad.exe", ""},
    {"notepad.exe\\..\\..\\x.exe", ""},
};

TEST(UpdateRules, TheProductProgramMustLieInsideTheProductsFolders) {
  const std::string folders[3] = {"C:\\Prod\\", "D:\\Shared", "\\\\srv\\aux"};
  for (const ProductCase& c : kProducts) {
    EXPECT_EQ(ProductProgramPath(c.running, folders, NoLeadBytes), c.expected) << c.running;
  }
}

TEST(UpdateRules, EmptyFoldersContainNothing) {
  const std::string noTarget[3] = {"", "C:\\Shared", ""};
  EXPECT_EQ(ProductProgramPath("C:\\Shared\\a.exe", noTarget, NoLeadBytes), "");
  const std::string onlyTarget[3] = {"C:\\Prod", "", ""};
  EXPECT_EQ(ProductProgramPath("C:\\a.exe", onlyTarget, NoLeadBytes), "");
  EXPECT_EQ(ProductProgramPath("\\a.exe", onlyTarget, NoLeadBytes), "");
}

TEST(UpdateRules, FolderLocationsAreDrivesAndShares) {
  EXPECT_TRUE(IsFolderLocation("C:\\updates"));
  EXPECT_TRUE(IsFolderLocation("\\\\server\\share\\updates"));
  EXPECT_FALSE(IsFolderLocation("http://host/updates"));
  EXPECT_FALSE(IsFolderLocation("https://host"));
  EXPECT_FALSE(IsFolderLocation("\\updates"));
  EXPECT_FALSE(IsFolderLocation(""));
}

class UpdateTexts : public ::testing::Test {
 protected:
  MemoryIniStore store;
  OverrideFlags overrides;
  SetupRecords records{store, overrides, "C:\\P\\", "p.info", "p.original"};

  void Original(const char* key, const char* value) { store.WriteText("C:\\P\\p.original", "AutoUpdate", key, value); }
  void Info(const char* key, const char* value) { store.WriteText("C:\\P\\p.info", "NewSetup", key, value); }

  void SetUp() override {
    const char* const texts[][2] = {{"s11", "PROG_NAME is out. "}, {"s12", "Download?"},
                                    {"s13", "Download, then ask?"}, {"s18", "Downloading."},
                                    {"s19", "Downloading, then asking."}, {"s14", "Install PROG_NAME?"},
                                    {"s20", "Installing PROG_NAME."}, {"s15", "Close PROG_NAME!"},
                                    {"s16", "PROG_NAME is installed."}};
    for (const auto& text : texts) Original(text[0], text[1]);
    Info("ProgramName", "Demo 2");
  }
};

TEST_F(UpdateTexts, TheOfferNamesTheProgramAndWhatFollows) {
  struct Case {
    const char* install;
    const char* force;
    const char* expected;
  } const cases[] = {
      {"0", "0", "Demo 2 is out. Download?"},
      {"1", "0", "Demo 2 is out. Download, then ask?"},
      {"0", "1", "Demo 2 is out. Downloading."},
      {"1", "1", "Demo 2 is out. Downloading, then asking."},
  };
  for (const Case& c : cases) {
    Info("RequestConfirmationBeforeInstall", c.install);
    Info("RequestConfirmationBeforeDownloadForce", c.force);
    EXPECT_EQ(OfferText(records), c.expected) << c.install << c.force;
  }
}

TEST_F(UpdateTexts, InstallFinishAndShutDownTexts) {
  EXPECT_EQ(InstallText(records), "Install Demo 2?");
  Info("RequestConfirmationBeforeInstallForce", "1");
  EXPECT_EQ(InstallText(records), "Installing Demo 2.");
  EXPECT_EQ(FinishText(records), "Demo 2 is installed.");
  // The program's file name, not the whole path and not the product's name.
  EXPECT_EQ(ShutDownText(records, "C:\\Prod\\app.exe"), "Close app.exe!");
}

}  // namespace
