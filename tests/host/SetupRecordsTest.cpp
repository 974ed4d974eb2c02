#include <gtest/gtest.h>

#include <functional>

#include "AgentFakes.h"
#include "CraftedPackage.h"
#include "package/ByteSource.h"
#include "package/TGFileInfo.h"

namespace {

using Getter = std::function<std::string(const SetupRecords&)>;

template <typename Value>
std::string Text(Value value) {
  return std::to_string(value);
}
std::string Text(bool value) { return value ? "on" : "off"; }
std::string Text(const std::string& value) { return value; }

#define GET(member) [](const SetupRecords& r) { return Text(r.member()); }

struct Item {
  bool info;  // in the info file (else the original file)
  const char* section;
  const char* key;
  Getter get;
  const char* fallback;  // what an empty file gives
  const char* stored;    // a good value...
  const char* read;      // ...and what it reads as
};

const Item kItems[] = {
    {false, "OriginalSetup", "ProbeSecondsInterval", GET(ProbeSecondsInterval), "0", "-1", "-1"},
    {false, "OriginalSetup", "ProbeSecondsLast", GET(ProbeSecondsLast), "0", "3974400000",
     "3974400000"},
    {false, "OriginalSetup", "ReAskSecondsInterval", GET(ReAskSecondsInterval), "0", "86400",
     "86400"},
    {false, "OriginalSetup", "ReAskSecondsLast", GET(ReAskSecondsLast), "0", "9223372036854775807",
     "9223372036854775807"},
    {false, "OriginalSetup", "VersionOriginal", GET(VersionOriginal), "0", "101", "101"},
    {false, "OriginalSetup", "Stamp", GET(Stamp), "0", "-2147483648", "-2147483648"},
    {false, "OriginalSetup", "ProgramName", GET(ProgramName), "", "Varnix Demo", "Varnix Demo"},
    {false, "Directories", "TargetDir", GET(TargetDir), "", "C:\\Program Files\\Demo",
     "C:\\Program Files\\Demo"},
    {false, "Directories", "SharedDir", GET(SharedDir), "", "C:\\Shared", "C:\\Shared"},
    {false, "Directories", "AuxiliaryDir", GET(AuxiliaryDir), "", "C:\\Aux", "C:\\Aux"},
    {false, "UnInstall", "StartUpLink", GET(StartUpLink), "", "C:\\S.lnk", "C:\\S.lnk"},
    {false, "UnInstall", "CheckforNewUpdateLink", GET(CheckforNewUpdateLink), "", "C:\\C.lnk",
     "C:\\C.lnk"},
    {false, "MsgBox", "BtnText", GET(BtnText), "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|",
     "|O|A|", "|O|A|"},
    {false, "MsgBox", "Error", GET(ErrorCaption), "Error", "Fehler", "Fehler"},
    {false, "MsgBox", "Confirm", GET(ConfirmCaption), "Confirm", "Frage", "Frage"},
    {false, "MsgBox", "Attention", GET(AttentionCaption), "Attention", "Achtung", "Achtung"},
    {false, "MsgBox", "CharSet", GET(CharSet), "0", "204", "204"},
    {false, "MsgBox", "FontName", GET(FontName), "Tahoma", "Arial", "Arial"},
    {false, "MsgBox", "FontSize", GET(FontSize), "8", "10", "10"},
    {true, "General", "AutoInform", GET(AutoInform), "off", "01", "on"},  // a number, not a text
    {true, "NewSetup", "DownloadURL_UPDATE", GET(DownloadUrlUpdate), "", "http://h/u",
     "http://h/u"},
    {true, "NewSetup", "NameOfUpdateFile", GET(NameOfUpdateFile), "", "Setup.exe", "Setup.exe"},
    {true, "NewSetup", "SizeOfUpdateFile", GET(SizeOfUpdateFile), "0", "5000000000", "5000000000"},
    {true, "NewSetup", "VersionNew", GET(VersionNew), "0", "102", "102"},
    {true, "NewSetup", "Stamp", GET(StampNew), "0", "7", "7"},
    {true, "NewSetup", "ValidVersions", GET(ValidVersions), "", "100,101", "100,101"},
    {true, "NewSetup", "ProgramName", GET(NewProgramName), "", "Demo 2", "Demo 2"},
    {true, "NewSetup", "RunningProcess", GET(RunningProcess), "", "<AppDir>\\demo.exe",
     "<AppDir>\\demo.exe"},
    {true, "NewSetup", "ShutDownMethod", GET(ShutDownMethod), "", "Using WM_CLOSE",
     "Using WM_CLOSE"},
    {true, "NewSetup", "RequestConfirmationBeforeDownload", GET(RequestConfirmationBeforeDownload),
     "off", "1", "on"},
    {true, "NewSetup", "RequestConfirmationBeforeDownloadForce",
     GET(RequestConfirmationBeforeDownloadForce), "off", "1", "on"},
    {true, "NewSetup", "RequestConfirmationBeforeInstall", GET(RequestConfirmationBeforeInstall),
     "off", "1", "on"},
    {true, "NewSetup", "RequestConfirmationBeforeInstallForce",
     GET(RequestConfirmationBeforeInstallForce), "off", "1", "on"},
    {true, "NewSetup", "BackgroundUpdate", GET(BackgroundUpdate), "off", "1", "on"},
    {true, "NewSetup", "InformFinish", GET(InformFinish), "off", "1", "on"},
    {true, "NewSetup", "RestartProcess", GET(RestartProcess), "off", "1", "on"},
    {true, "NewSetup", "RemoveStartUpShortcut", GET(RemoveStartUpShortcut), "off", "1", "on"},
    {true, "NewSetup", "RemoveCheckForNewUpdateShortcut", GET(RemoveCheckForNewUpdateShortcut),
     "off", "1", "on"},
    {true, "AutoInform", "DownloadURL_INFORM", GET(DownloadUrlInform), "", "http://h/page",
     "http://h/page"},
    {true, "AutoInform", "NameOfInformFile", GET(NameOfInformFile), "", "inform.txt", "inform.txt"},
    {true, "AutoInform", "SizeOfInformFile", GET(SizeOfInformFile), "0", "812", "812"},
    {true, "AutoInform", "AutoInformW", GET(AutoInformWidth), "360", "500", "500"},
    {true, "AutoInform", "AutoInformH", GET(AutoInformHeight), "360", "240", "240"},
};

void Store(AgentFiles& files, const Item& item, const std::string& value) {
  if (item.info) {
    files.Info(item.section, item.key, value);
  } else {
    files.Original(item.section, item.key, value);
  }
}

}  // namespace

TEST(SetupRecords, PathsFollowThePackagesInfoFileName) {
  const struct {
    const char* infoItem;
    const char* info;
    const char* original;
  } kCases[] = {
      {"Product.info", "C:\\App\\Product.info", "C:\\App\\Product.original"},
      {"Prod.x.info", "C:\\App\\Prod.x.info", "C:\\App\\Prod.original"},  // every extension cut
      {"sub\\Prod.info", "C:\\App\\Prod.info",
       "C:\\App\\Prod.original"},  // only the file-name part
  };
  for (const auto& c : kCases) {
    CraftedPackage crafted;
    crafted.settings = std::string("|http://|") + c.infoItem + "|agent.exe||0|";
    MemorySource source(crafted.Bytes());
    const TGFileInfo package(source);
    MemoryIniStore store;
    const OverrideFlags overrides;
    const SetupRecords records(store, overrides, "C:\\App\\", package.InfoFileName(),
                               package.RecordFileName());
    EXPECT_EQ(records.InfoFilePath(), c.info) << c.infoItem;
    EXPECT_EQ(records.OriginalFilePath(), c.original) << c.infoItem;
  }
}

TEST(SetupRecords, EveryItemReadsItsDefaultFromEmptyFiles) {
  AgentFiles files;
  for (const Item& item : kItems) EXPECT_EQ(item.get(files.records), item.fallback) << item.key;
}

TEST(SetupRecords, EveryItemReadsItsStoredValue) {
  AgentFiles files;
  for (const Item& item : kItems) Store(files, item, item.stored);
  for (const Item& item : kItems) EXPECT_EQ(item.get(files.records), item.read) << item.key;
}

// Text where a number belongs, a number too large for the key's type, and a
// yes/no other than exactly "1" all read as the default.
TEST(SetupRecords, BadValuesReadAsTheDefault) {
  const Item kBad[] = {
      {false, "OriginalSetup", "ProbeSecondsLast", GET(ProbeSecondsLast), "", "abc", "0"},
      {false, "OriginalSetup", "ProbeSecondsInterval", GET(ProbeSecondsInterval), "", "12abc", "0"},
      {false, "OriginalSetup", "ReAskSecondsLast", GET(ReAskSecondsLast), "",
       "99999999999999999999", "0"},
      {false, "OriginalSetup", "VersionOriginal", GET(VersionOriginal), "", "2147483648",
       "0"},  // over 32 bits
      {false, "OriginalSetup", "Stamp", GET(Stamp), "", "-2147483649", "0"},
      {false, "MsgBox", "FontSize", GET(FontSize), "", "big", "8"},
      {false, "MsgBox", "CharSet", GET(CharSet), "", "99999999999", "0"},
      {true, "AutoInform", "AutoInformW", GET(AutoInformWidth), "", "4294967656",
       "360"},  // would wrap to 360+
      {true, "NewSetup", "SizeOfUpdateFile", GET(SizeOfUpdateFile), "", "5 MB", "0"},
      {true, "NewSetup", "RequestConfirmationBeforeInstall", GET(RequestConfirmationBeforeInstall),
       "", "TRUE", "off"},
      {true, "NewSetup", "BackgroundUpdate", GET(BackgroundUpdate), "", "yes", "off"},
      {true, "NewSetup", "RestartProcess", GET(RestartProcess), "", "01",
       "off"},  // a text, not a number
      {true, "General", "AutoInform", GET(AutoInform), "", "2", "off"},
  };
  for (const Item& item : kBad) {
    AgentFiles files;
    Store(files, item, item.stored);
    EXPECT_EQ(item.get(files.records), item.read) << item.key << "=" << item.stored;
  }
}

TEST(SetupRecords, AutoUpdateTextsAndTheirDefaults) {
  const struct {
    const char* key;
    const char* fallback;
  } kDefaults[] = {
      {"s2", ""},
      {"s3", "File Download Aborted!"},
      {"s4", "File not Found!"},
      {"s5", "Unable to Download File!"},
      {"s11", ""},
      {"s24", ""},
      {"s31", "Downloading INFO File..."},
      {"s32", "Downloading UPDATE File..."},
      {"s33", "Downloading INFORM File..."},
      {"s34", "New Version"},
      {"s35", "Download"},
      {"S3", "File Download Aborted!"},  // keys ignore case, as in the file
  };
  AgentFiles files;
  for (const auto& c : kDefaults)
    EXPECT_EQ(files.records.AutoUpdateText(c.key), c.fallback) << c.key;
  files.Original("AutoUpdate", "s3", "Abgebrochen!");
  EXPECT_EQ(files.records.AutoUpdateText("s3"), "Abgebrochen!");
  EXPECT_EQ(files.records.AutoUpdateText("s31", "caller's own"), "caller's own");
}

TEST(SetupRecords, LastTimesAreWrittenWithTheirReadableDate) {
  AgentFiles files;
  files.records.SetProbeSecondsLast(3974400000);
  files.records.SetReAskSecondsLast(3974400000 + 14 * 3600 + 5 * 60 + 9);
  files.records.SetVersionOriginal(102);
  files.records.SetStamp(-5);
  files.records.SetProbeSecondsInterval(-1);
  files.records.SetReAskSecondsInterval(86400);
  MemoryIniStore& s = files.store;
  const char* kOriginal = AgentFiles::kOriginal;
  EXPECT_EQ(s.ReadText(kOriginal, "OriginalSetup", "ProbeSecondsLast", ""), "3974400000");
  EXPECT_EQ(s.ReadText(kOriginal, "OriginalSetup", "__ProbeSecondsLast", ""),
            "09-DEC-2025 00:00:00");
  EXPECT_EQ(s.ReadText(kOriginal, "OriginalSetup", "__ReAskSecondsLast", ""),
            "09-DEC-2025 14:05:09");
  EXPECT_EQ(files.records.ReAskSecondsLast(), 3974400000 + 50709);
  EXPECT_EQ(files.records.VersionOriginal(), 102);
  EXPECT_EQ(files.records.Stamp(), -5);
  EXPECT_EQ(files.records.ProbeSecondsInterval(), -1);
  EXPECT_EQ(files.records.ReAskSecondsInterval(), 86400);
  EXPECT_FALSE(s.Has(kOriginal, "OriginalSetup", "__VersionOriginal"));  // only times get a date
}

TEST(OverrideFlags, TextFormAndParsing) {
  const struct {
    const char* text;
    const char* result;  // applied to the default flags (all 255)
  } kCases[] = {
      {"|1|0|", "|1|0|255|255|255|255|255|255|"},  // later items unchanged
      {"|0|1|0|1|0|1|0|1|", "|0|1|0|1|0|1|0|1|"},
      {"x|1|", "|1|255|255|255|255|255|255|255|"},  // the first field follows the first "|"
      {"||7|", "|255|7|255|255|255|255|255|255|"},  // an empty field leaves its item
      {"|abc|256|-1|4|", "|255|255|255|4|255|255|255|255|"},  // not a byte: unchanged
      {"|1|2|3|4|5|6|7|8|9|10|", "|1|2|3|4|5|6|7|8|"},        // extra fields ignored
      {"|3", "|255|255|255|255|255|255|255|255|"},            // a field without its closing "|"
      {"", "|255|255|255|255|255|255|255|255|"},
  };
  for (const auto& c : kCases) {
    OverrideFlags flags;
    ParseOverrideString(c.text, flags);
    EXPECT_EQ(OverrideString(flags), c.result) << c.text;
  }
}

TEST(OverrideFlags, SetOverrideTakesItemsZeroToFive) {
  OverrideFlags flags;
  EXPECT_TRUE(SetOverride(flags, 0, 1));
  EXPECT_TRUE(SetOverride(flags, 5, 0));
  EXPECT_FALSE(SetOverride(flags, 6, 1));
  EXPECT_FALSE(SetOverride(flags, -1, 1));
  EXPECT_EQ(OverrideString(flags), "|1|255|255|255|255|0|255|255|");
  EXPECT_TRUE(AskBeforeProbe(flags));
  flags.item[0] = 2;
  EXPECT_FALSE(AskBeforeProbe(flags));  // on only for 1
}

TEST(OverrideFlags, AnOverrideWinsOverTheInfoFile) {
  const struct {
    const char* fileValue;
    uint8_t flag;
    bool expected;
  } kCases[] = {
      {"1", 255, true}, {"0", 255, false},  // 255: the info file decides
      {"1", 0, false},  {"0", 1, true},     // an override replaces it
      {"1", 7, false},                      // only 1 is on
  };
  const struct {
    int item;
    const char* key;
    bool (SetupRecords::*get)() const;
  } kSettings[] = {
      {1, "RequestConfirmationBeforeDownload", &SetupRecords::RequestConfirmationBeforeDownload},
      {2, "RequestConfirmationBeforeInstall", &SetupRecords::RequestConfirmationBeforeInstall},
      {3, "BackgroundUpdate", &SetupRecords::BackgroundUpdate},
      {4, "InformFinish", &SetupRecords::InformFinish},
      {5, "RestartProcess", &SetupRecords::RestartProcess},
      {6, "RequestConfirmationBeforeDownloadForce",
       &SetupRecords::RequestConfirmationBeforeDownloadForce},
      {7, "RequestConfirmationBeforeInstallForce",
       &SetupRecords::RequestConfirmationBeforeInstallForce},
  };
  for (const auto& setting : kSettings) {
    for (const auto& c : kCases) {
      AgentFiles files;
      files.Info("NewSetup", setting.key, c.fileValue);
      files.overrides.item[setting.item] = c.flag;
      EXPECT_EQ((files.records.*setting.get)(), c.expected)
          << setting.key << "=" << c.fileValue << " override " << int(c.flag);
      // The override touches its own setting only.
      files.Info("NewSetup", "RemoveStartUpShortcut", "1");
      EXPECT_TRUE(files.records.RemoveStartUpShortcut());
    }
  }
}

TEST(SetupRecords, IsValidForVersion) {
  const struct {
    const char* validVersions;
    const char* installed;
    bool expected;
  } kCases[] = {
      {"", "10", true},          // empty: every version
      {"100,101", "10", false},  // a prefix of a listed number is no match
      {"100,101", "101", true},   {"100,101", "100", true},
      {"100, 101", "101", false},                      // blanks are not removed
      {"1000", "100", false},     {"100", "", false},  // no original file: version 0
  };
  for (const auto& c : kCases) {
    AgentFiles files;
    files.Info("NewSetup", "ValidVersions", c.validVersions);
    files.Original("OriginalSetup", "VersionOriginal", c.installed);
    EXPECT_EQ(files.records.IsValidForVersion(), c.expected)
        << c.validVersions << " / " << c.installed;
  }
}
