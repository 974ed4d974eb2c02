#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "common/Scramble.h"
#include "common/TextRules.h"
#include "CraftedPackage.h"
#include "package/ByteSource.h"
#include "package/PackageReader.h"
#include "package/TGFileInfo.h"

namespace {

std::function<unsigned()> Seeded(unsigned seed) {
  auto engine = std::make_shared<std::mt19937>(seed);
  return [engine] { return static_cast<unsigned>((*engine)()); };
}

// Hands out the given values in turn (then 0xEE).
std::function<unsigned()> Scripted(std::vector<unsigned> values) {
  auto queue = std::make_shared<std::vector<unsigned>>(std::move(values));
  auto next = std::make_shared<size_t>(0);
  return [queue, next] { return *next < queue->size() ? (*queue)[(*next)++] : 0xEEu; };
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

// Worked out by hand from the token scrambling's rules (positions counted
// from 1 here), for the token "Hi" in n = 10 bytes:
//   r = B[1] = 0x5A, r' = B[10] = 0x0F, so K = 0x5A ^ 0x0F = 0x55.
//   a = 1 byte of padding before the token, b = 3 bytes after it (the last
//   of them, B[9], is the check byte): n - a - b - 4 = 2 token bytes from
//   position a + 4 = 5.
//   B[2] = a ^ K = 0x01 ^ 0x55 = 0x54, B[3] = b ^ K = 0x03 ^ 0x55 = 0x56,
//   B[4] = 0x00 (padding), B[5] = 'H' ^ K = 0x48 ^ 0x55 = 0x1D,
//   B[6] = 'i' ^ K = 0x69 ^ 0x55 = 0x3C, B[7] = 0xFF, B[8] = 0x20 (padding).
//   Check B[9]: 0x5A + 0x54 + 0x56 + 0x00 + 0x1D + 0x3C + 0xFF + 0x20 + 0x0F
//   = 651 = 0x28B, modulo 256 0x8B.
//   Hexadecimal 5A 54 56 00 1D 3C FF 20 8B 0F; each digit's code + 50
//   ("0".."9" -> "b".."k", "A".."F" -> "s".."x") gives the letters below.
TEST(Token, KnownAnswer) {
  const std::string letters = "gsgfghbbcveuxxdbjtbx";
  EXPECT_EQ(Descramble(letters), "Hi");
  bool ok = false;
  EXPECT_EQ(Descramble(letters, ok), "Hi");
  EXPECT_TRUE(ok);
  // The inverse builds the same letters from the same choices: first the
  // padding split (1 % 4 = a), then the ten bytes, of which B[1], B[4], B[7],
  // B[8] and B[10] survive (0xEE stands for the overwritten ones).
  EXPECT_EQ(ScrambleToken("Hi", Scripted({1, 0x5A, 0xEE, 0xEE, 0x00, 0xEE, 0xEE, 0xFF, 0x20, 0xEE, 0x0F}), 10),
            letters);
  // One check-byte digit off ("8B" -> "8C"): the check fails.
  std::string damaged = letters;
  damaged[17] = 'u';
  Descramble(damaged, ok);
  EXPECT_FALSE(ok);
}

TEST(Token, FailedChecksNeverCompareEqual) {
  const std::string good = ScrambleToken("PRODUCT-TOKEN", Seeded(1));
  const std::string sameTokenOtherPadding = ScrambleToken("PRODUCT-TOKEN", Seeded(2));
  ASSERT_NE(good, sameTokenOtherPadding);
  EXPECT_TRUE(SameToken(good, good));
  EXPECT_TRUE(SameToken(good, sameTokenOtherPadding));
  EXPECT_FALSE(SameToken(good, ScrambleToken("PRODUCT-TOKEM", Seeded(1))));
  EXPECT_TRUE(SameToken(ScrambleToken("", Seeded(3)), ScrambleToken("", Seeded(4))));  // an empty token is a token

  std::string broken = good;
  broken[10] = broken[10] == 'b' ? 'c' : 'b';
  const std::string invalid[] = {broken, "", "bbbb", "not letters at all", "zzzzzzzzzzzz"};
  for (const std::string& a : invalid) {
    bool ok = true;
    const std::string number = Descramble(a, ok);
    EXPECT_FALSE(ok) << a;
    EXPECT_TRUE(IsDecimal(number)) << a;  // the one-argument behaviour stays
    EXPECT_FALSE(SameToken(a, good)) << a;
    EXPECT_FALSE(SameToken(good, a)) << a;
    for (const std::string& b : invalid) EXPECT_FALSE(SameToken(a, b)) << a << " | " << b;
  }
}

TEST(Token, SameWebTokenNeedsTwoValidTokens) {
  auto packageWith = [](const std::string& token) {
    CraftedPackage p;
    p.web = "|http://host/|setup.exe|1|" + token + "|1234|";
    return p.Bytes();
  };
  const std::string good = ScrambleToken("secret", Seeded(5));
  std::string broken = good;
  broken[12] = broken[12] == 'b' ? 'c' : 'b';
  MemorySource a(packageWith(good)), b(packageWith(ScrambleToken("secret", Seeded(6)))),
      c(packageWith(broken)), d(packageWith("bbbb")), e(packageWith(ScrambleToken("other", Seeded(5))));
  const TGFileInfo infoA(a), infoB(b), infoC(c), infoD(d), infoE(e);
  EXPECT_TRUE(infoA.SameWebToken(infoB));
  EXPECT_FALSE(infoA.SameWebToken(infoE));
  EXPECT_FALSE(infoA.SameWebToken(infoC));
  EXPECT_FALSE(infoC.SameWebToken(infoA));
  EXPECT_FALSE(infoC.SameWebToken(infoD));  // two failed checks are no match
  EXPECT_FALSE(infoC.SameWebToken(infoC));
}

TEST(Token, SplitTokenTextTellsAFailedCheck) {
  const std::string token = ScrambleToken("TOK", Seeded(3));
  std::string got, rest;
  bool ok = false;
  SplitTokenText("head|" + token + "|b|c|tail", got, rest, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(got, "TOK");
  SplitTokenText("head|bbbb|b|c|tail", got, rest, &ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(IsDecimal(got));
  EXPECT_EQ(rest, "tail");
}
