#include <gtest/gtest.h>

#include <random>

#include "common/Scramble.h"
#include "common/TextRules.h"
#include "package/PackageReader.h"

namespace {

std::function<unsigned()> Seeded(unsigned seed) {
  auto engine = std::make_shared<std::mt19937>(seed);
  return [engine] { return static_cast<unsigned>((*engine)()); };
}

bool IsDecimal(const std::string& text) {
  int64_t value = 0;
  return !text.empty() && ParseInt64(text, value) && value >= 0 && value <= 99998;
}

}  // namespace

TEST(Token, DescrambleRestoresEveryToken) {
  const std::string tokens[] = {"", "x", "PRODUCT-TOKEN-2026", std::string("\x00\xff|*", 4), std::string(25, 'q'),
                                std::string(26, 'r'), std::string(200, 's')};
  for (const std::string& token : tokens) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
      const std::string stored = ScrambleToken(token, Seeded(seed));
      ASSERT_EQ(Descramble(stored), token) << "seed " << seed << " size " << token.size();
      for (char c : stored) {
        ASSERT_TRUE((c >= 'b' && c <= 'k') || (c >= 's' && c <= 'x')) << stored;
      }
      if (token.size() <= 25) {
        EXPECT_EQ(stored.size(), 60u);  // current packages hold 60 letters
      }
    }
  }
}

TEST(Token, FailedCheckGivesANumber) {
  std::string stored = ScrambleToken("secret", Seeded(7));
  stored[10] = stored[10] == 'b' ? 'c' : 'b';  // one digit off breaks the check byte
  const char* damaged[] = {"", "bbbb", "not letters at all", "zzzzzzzzzzzz"};
  EXPECT_TRUE(IsDecimal(Descramble(stored))) << Descramble(stored);
  for (const char* text : damaged) EXPECT_TRUE(IsDecimal(Descramble(text))) << text;
}

TEST(Token, SplitTokenText) {
  const std::string token = ScrambleToken("TOK", Seeded(3));
  struct {
    std::string text;
    const char* token;
    const char* remainder;
  } cases[] = {
      {"head|" + token + "|b|c|the rest|more", "TOK", "the rest|more"},
      {ScrambleText("head|" + token + "|b|c|tail", true, false), "TOK", "tail"},  // scrambled form
      {"head|" + token + "|b|c|", "TOK", ""},
  };
  for (const auto& c : cases) {
    std::string got, rest;
    SplitTokenText(c.text, got, rest);
    EXPECT_EQ(got, c.token) << c.text;
    EXPECT_EQ(rest, c.remainder) << c.text;
  }
  std::string got, rest;
  SplitTokenText("no bars here", got, rest);
  EXPECT_TRUE(IsDecimal(got));
  EXPECT_EQ(rest, "");
}
