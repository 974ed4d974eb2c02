#include "gtest/gtest.h"
#include "pack/Project.h"

namespace {

const char kMinimalSetup[] =
    "[Package]\nStub = stub.exe\nOutput = out/setup.exe\nFiles = files\nLaunch = setup.exe\n";

TEST(PackProject, ReadsEveryKeyAndResolvesPathsAgainstTheProjectFolder) {
  const std::string text =
      "\xEF\xBB\xBF; a comment line\r\n"
      "[package]\r\n"
      "type = Setup\n"
      "Stub = ../stubs/stub.exe\n"
      "Output = /abs/setup.exe\n"
      "Files = files\n"
      "Launch = bin/setup.exe\n"
      "LaunchArguments = /S /lang=de\n"
      "Compression = 0\n"
      "Checksum = no\n"
      "EndPointer = yes\n"
      "VolumeSize = 1440K\n"
      "NumberFirstVolume = 1\n"
      "MaxEntrySize = 2M\n"
      "[Flags]\n"
      "ShowTempDriveNotice = 1\nShowActivityBar = true\nWriteRunLog = 1\nAskBeforeDownload = 1\n"
      "HasUpdateAgent = 1\n"
      "[Settings]\n"
      "ServerUrl = http://host.test/upd/\nInfoFile = prod.info\nAgentExe = agent.exe\n"
      "Token = \"  spaced token  \"\nSilent = 1\n"
      "[Web]\n"
      "Folder = http://host.test/dl/\nFileName = full.exe\nAlwaysDownload = 1\nToken = web-token\n"
      "Size = 123456\n"
      "[Language English]\n"
      "s0 = Title; with a semicolon\n"
      "BtnText = |&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|\n"
      "[Language  German ]\n"
      "s0 = Titel\n";
  Project p;
  PackStatus status = ParseProject(text, "/proj/dir/project.ini", p);
  ASSERT_TRUE(status.ok()) << status.message;
  EXPECT_EQ(PackageType::kSetup, p.type);
  EXPECT_EQ("/proj/dir/../stubs/stub.exe", p.stubPath);
  EXPECT_EQ("/abs/setup.exe", p.outputPath);
  EXPECT_EQ("/proj/dir/files", p.filesDir);
  EXPECT_EQ("bin/setup.exe", p.launchFile);  // relative to the files folder, kept as written
  EXPECT_EQ("/S /lang=de", p.launchArguments);
  EXPECT_EQ(0, p.compression);
  EXPECT_FALSE(p.computeChecksum);
  EXPECT_TRUE(p.writeEndPointer);
  EXPECT_EQ(1440u * 1024, p.volumeSize);
  EXPECT_TRUE(p.numberFirstVolume);
  EXPECT_EQ(2u << 20, p.maxEntrySize);
  EXPECT_TRUE(p.showTempDriveNotice && p.showActivityBar && p.writeRunLog && p.askBeforeDownload &&
              p.hasUpdateAgent);
  EXPECT_EQ("http://host.test/upd/", p.serverUrl);
  EXPECT_EQ("prod.info", p.infoFile);
  EXPECT_EQ("agent.exe", p.agentExe);
  EXPECT_EQ("  spaced token  ", p.token);
  EXPECT_TRUE(p.silent);
  ASSERT_TRUE(p.hasWeb);
  EXPECT_EQ("http://host.test/dl/", p.web.folder);
  EXPECT_EQ("full.exe", p.web.fileName);
  EXPECT_TRUE(p.web.alwaysDownload);
  EXPECT_EQ("web-token", p.web.token);
  EXPECT_EQ(123456u, p.web.size);
  ASSERT_EQ(2u, p.languages.size());
  EXPECT_EQ("English", p.languages[0].name);
  ASSERT_EQ(2u, p.languages[0].lines.size());
  EXPECT_EQ("s0", p.languages[0].lines[0].first);
  EXPECT_EQ("Title; with a semicolon", p.languages[0].lines[0].second);
  EXPECT_EQ("German", p.languages[1].name);
}

TEST(PackProject, DefaultsGiveThePlainSettingsOfAPackageWithoutAgent) {
  Project p;
  ASSERT_TRUE(ParseProject(kMinimalSetup, "project.ini", p).ok());
  EXPECT_EQ("stub.exe", p.stubPath);  // project in the current folder: paths stay relative
  EXPECT_EQ(9, p.compression);
  EXPECT_TRUE(p.computeChecksum);
  EXPECT_FALSE(p.writeEndPointer);
  EXPECT_EQ(0u, p.volumeSize);
  EXPECT_EQ("http://", p.serverUrl);
  EXPECT_EQ(".info", p.infoFile);
  EXPECT_EQ(".exe", p.agentExe);
  EXPECT_FALSE(p.hasWeb);
  EXPECT_TRUE(p.languages.empty());
}

TEST(PackProject, RefusesBadProjectsWithTheLineAndTheReason) {
  const std::string setup = kMinimalSetup;
  struct {
    std::string text;
    std::string expected;  // part of the message
  } kCases[] = {
      // Structure.
      {"Stub = x\n", "project.ini:1: key outside of any [section]"},
      {"[Package\n", "project.ini:1: section header without closing"},
      {"[Package]\njust words\n", "project.ini:2: expected \"key = value\""},
      {"[Package]\n= value\n", "project.ini:2: expected \"key = value\""},
      {"[Packages]\n", "project.ini:1: unknown section [Packages]"},
      {setup + "[Flags]\n[Flags]\n", "section [Flags] given twice"},
      {setup + "Colour = blue\n", "project.ini:6: unknown key \"Colour\" in [Package]"},
      {setup + "launch = other.exe\n",
       "project.ini:6: key \"launch\" given twice in [Package] (first on line 5)"},
      {std::string("[Package]\nStub = a\0b\n", 21), "project.ini: the file holds a NUL byte"},
      // Values.
      {setup + "Type = installer\n", "Type: expected setup, web or agent"},
      {setup + "Compression = 10\n", "Compression: expected 0 (store) to 9"},
      {setup + "Compression = fast\n", "Compression: expected 0 (store) to 9"},
      {setup + "Checksum = maybe\n", "Checksum: expected 1 or 0"},
      {setup + "VolumeSize = 1.5M\n", "VolumeSize: expected a byte count"},
      {setup + "VolumeSize = -5\n", "VolumeSize: expected a byte count"},
      {setup + "VolumeSize = 99999999999999999999\n", "VolumeSize: expected a byte count"},
      {setup + "VolumeSize = 20000000000G\n",
       "VolumeSize: expected a byte count"},  // overflows 64 bits
      {setup + "MaxEntrySize = 2G\n", "MaxEntrySize must lie between 1 and 1G"},
      {"[Package]\nStub =\n", "Stub: empty path"},
      {setup + "LaunchArguments = a|b\n", "may not hold \"|\""},
      {setup + "[Settings]\nInfoFile = a|b.info\n", "may not hold \"|\""},
      {setup + "[Settings]\nSilent = 2\n", "Silent: expected 1 or 0"},
      {setup + "[Web]\nSize = lots\n", "Size: expected a byte count"},
      {setup + "[Web]\nSize = 5\nSizeOfFile = x.exe\n", "either Size or SizeOfFile"},
      {setup + "[Language]\ns0 = x\n", "a language section needs a name"},
      {setup + "[Language English]\n[Language ENGLISH]\n", "language \"ENGLISH\" given twice"},
      {setup + "[Language English]\ns0 = a\nS0 = b\n", "key \"S0\" given twice"},
      {setup + "[Language English]\nmy key = a\n", "keys no blanks"},
      {setup + "[Language English]\ns0 = a\x01"
               "b\n",
       "control characters"},
      // Combinations.
      {"[Package]\nStub = s\nOutput = o\nLaunch = setup.exe\n", "a setup package needs Files"},
      {"[Package]\nStub = s\nOutput = o\nFiles = f\n", "a setup package needs Launch"},
      {"[Package]\nType = web\nFiles = f\n[Web]\nSize = 1\n", "belong to setup packages only"},
      {"[Package]\nType = agent\nVolumeSize = 1M\n", "belong to setup packages only"},
      {"[Package]\nType = web\n", "a web package needs a [Web] section"},
      {"[Package]\nType = web\n[Web]\nFolder = http://x/\n", "needs Size or SizeOfFile"},
      {"[Package]\nType = agent\n[Web]\nSize = 1\n", "an agent package has no [Web] section"},
      {setup + "SpanCd = 1\nNumberFirstVolume = 1\n",
       "SpanCd and NumberFirstVolume exclude each other"},
  };
  for (const auto& c : kCases) {
    Project p;
    PackStatus status = ParseProject(c.text, "project.ini", p);
    EXPECT_EQ(ExitCode::kProject, status.code) << c.text;
    EXPECT_NE(std::string::npos, status.message.find(c.expected))
        << c.text << "\n=> " << status.message;
  }
}

TEST(PackProject, UnreadableProjectFileIsAProjectError) {
  Project p;
  PackStatus status = LoadProject("/nonexistent/folder/project.ini", p);
  EXPECT_EQ(ExitCode::kProject, status.code);
  EXPECT_NE(std::string::npos, status.message.find("cannot open the project file"))
      << status.message;
}

}  // namespace
