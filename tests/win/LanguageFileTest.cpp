#include <gtest/gtest.h>

#include <windows.h>

#include "WinTestFiles.h"
#include "common/Utils.h"
#include "package/Language.h"

namespace {

// The language file lives beside the program: HELP\English\Varnix.language.ini.
class LanguageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string program = ProgramPath();
    help_ = program.substr(0, program.rfind('\\') + 1) + "HELP";
    CreateDirectoryA(help_.c_str(), nullptr);
    CreateDirectoryA((help_ + "\\English").c_str(), nullptr);
    file_ = help_ + "\\English\\Varnix.language.ini";
  }
  void TearDown() override {
    DeleteFileA(file_.c_str());
    RemoveDirectoryA((help_ + "\\English").c_str());
    RemoveDirectoryA(help_.c_str());
  }
  void Write(const std::string& text) {
    HANDLE h = CreateFileA(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
  }

  std::string help_, file_;
};

}  // namespace

TEST_F(LanguageFileTest, TextsFromTheFile) {
  const char* fallback = "RunTimeDir (<?>)<P><P>Not Found!";
  EXPECT_EQ(LangIniText("RunTimeDir_01", fallback, "C:\\X"), "RunTimeDir (C:\\X)<P><P>Not Found!");  // no file

  Write("[STRINGS]\r\nRunTimeDir_01=Ordner <?> fehlt, <?>!\r\nBarred=| kept blanks |\r\nLoneBar=|\r\nEmpty=\r\n");
  struct {
    const char* key;
    const char* expected;
  } cases[] = {
      {"RunTimeDir_01", "Ordner C:\\X fehlt, C:\\X!"},  // every <?> replaced
      {"Barred", " kept blanks "},                      // guarding bars removed
      {"LoneBar", "fallback C:\\X"},                    // a lone bar is empty
      {"Empty", "fallback C:\\X"},
      {"Missing", "fallback C:\\X"},
  };
  for (const auto& c : cases) EXPECT_EQ(LangIniText(c.key, "fallback <?>", "C:\\X"), c.expected) << c.key;
}
