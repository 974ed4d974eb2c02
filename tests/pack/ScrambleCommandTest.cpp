// The scramble command writes inform pages that the agent's own reader
// (SplitTokenText) takes apart into the publisher's token and page.
#include <random>

#include "PackTestSupport.h"
#include "autoupdate/SecretToken.h"
#include "common/Scramble.h"
#include "pack/TextScrambler.h"
#include "package/PackageReader.h"

namespace {

using packtest::ReadFile;
using packtest::TempDir;
using packtest::WriteFile;

std::string ScrambledToken(const std::string& token) {
  std::mt19937 random(7);
  return ScrambleToken(token, [&random] { return static_cast<unsigned>(random()); });
}

TEST(ScrambleCommand, TheAgentReadsTokenAndPageBack) {
  // Every byte value in the page: the file is bytes, not lines.
  std::string page = "<P>Version 101\r\n<B>faster</B>";
  for (int c = 0; c < 256; ++c) page += static_cast<char>(c);
  const std::string plain = "|" + ScrambledToken("publisher-token") + "|x|y|" + page;
  const int kKeys[] = {33, 77, 122};  // both ends of the key range and one between
  for (int key : kKeys) {
    TempDir dir;
    WriteFile(dir.path() / "inform.txt", plain);

    const PackStatus status = ScrambleTextFile(dir / "inform.txt", dir / "scrambled.txt", key);

    ASSERT_TRUE(status.ok()) << key << ": " << status.message;
    const std::string written = ReadFile(dir.path() / "scrambled.txt");
    EXPECT_EQ(written.compare(0, 12, "Scrambled=01"), 0) << key;
    EXPECT_EQ(written.find("publisher"), std::string::npos) << key;
    EXPECT_EQ(written.find("Version 101"), std::string::npos) << key;
    std::string token, body;
    bool tokenOk = false;
    SplitTokenText(written, token, body, &tokenOk);
    EXPECT_TRUE(tokenOk) << key;
    EXPECT_EQ(token, "publisher-token") << key;
    EXPECT_EQ(body, page) << key;
    EXPECT_EQ(ReadFile(dir.path() / "inform.txt"), plain) << key;  // the input stays
  }
}

TEST(ScrambleCommand, ReplacesItsInputWhenBothAreOneFile) {
  TempDir dir;
  WriteFile(dir.path() / "inform.txt", "|t|x|y|page");
  ASSERT_TRUE(ScrambleTextFile(dir / "inform.txt", dir / "inform.txt", 40).ok());
  EXPECT_EQ(ScrambleText(ReadFile(dir.path() / "inform.txt"), false, false), "|t|x|y|page");
}

TEST(ScrambleCommand, RefusesWhatTheAgentCouldNotRead) {
  // Scrambling adds the marker and the key character.
  const size_t largest = kInformFileMaxBytes - 13;
  const struct {
    const char* edge;
    const char* input;  // nullptr: no input file
    size_t size;        // the input's size when `input` is empty
    ExitCode code;
    const char* message;
  } kCases[] = {
      {"no input file", nullptr, 0, ExitCode::kInput, "cannot open the file"},
      {"empty input", "", 0, ExitCode::kInput, "nothing to scramble"},
      {"scrambled already", "Scrambled=01!abc", 0, ExitCode::kInput,
       "begins with \"Scrambled=01\" already"},
      {"one byte past the agent's limit", "", largest + 1, ExitCode::kInput, "up to 1048576 bytes"},
  };
  for (const auto& c : kCases) {
    TempDir dir;
    if (c.input) WriteFile(dir.path() / "in.txt", *c.input ? c.input : std::string(c.size, 'a'));

    const PackStatus status = ScrambleTextFile(dir / "in.txt", dir / "out.txt", 50);

    EXPECT_EQ(status.code, c.code) << c.edge;
    EXPECT_NE(status.message.find(c.message), std::string::npos)
        << c.edge << ": " << status.message;
    EXPECT_FALSE(packtest::fs::exists(dir.path() / "out.txt")) << c.edge;
  }
  TempDir dir;
  WriteFile(dir.path() / "in.txt", std::string(largest, 'a'));
  EXPECT_TRUE(ScrambleTextFile(dir / "in.txt", dir / "out.txt", 50).ok())
      << "the largest the agent reads";
  EXPECT_EQ(ReadFile(dir.path() / "out.txt").size(), kInformFileMaxBytes);
}

TEST(ScrambleCommand, UnwritableOutputFailsWithoutAFile) {
  TempDir dir;
  WriteFile(dir.path() / "in.txt", "|t|x|y|page");
  const PackStatus status = ScrambleTextFile(dir / "in.txt", dir / "missing/out.txt", 50);
  EXPECT_EQ(status.code, ExitCode::kOutput);
  EXPECT_NE(status.message.find("cannot write the file"), std::string::npos) << status.message;
  EXPECT_FALSE(packtest::fs::exists(dir.path() / "missing"));
}

}  // namespace
