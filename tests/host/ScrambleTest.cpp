#include <gtest/gtest.h>

#include "common/Scramble.h"
#include "common/TextRules.h"

TEST(Scramble, RoundTrips) {
  const std::string texts[] = {
      "a",
      "|token|x|y|rest of the text",
      std::string("with\0nul and \xff high bytes", 26),
      "contains Scrambled=01 further on",
      std::string(300, 'z'),
  };
  for (const std::string& text : texts) {
    for (bool hex : {false, true}) {
      const std::string scrambled = ScrambleText(text, true, hex);
      EXPECT_NE(scrambled, text);
      EXPECT_EQ(ScrambleText(scrambled, false, hex), text) << text << " hex=" << hex;
    }
  }
}

TEST(Scramble, FixedKeyForm) {
  // Position 1 uses i + key, position 2 i - key: "AB" with key 33 is
  // 'A' ^ 34 and 'B' ^ (2 - 33) & 0xFF.
  const std::string s = ScrambleTextWithKey("AB", 33, false);
  EXPECT_EQ(s, std::string("Scrambled=01!") + char('A' ^ 34) + char('B' ^ ((2 - 33) & 0xFF)));
  EXPECT_EQ(ScrambleTextWithKey("AB", 33, true), BytesToHex(s));
}

TEST(Scramble, TextsLeftAlone) {
  EXPECT_EQ(ScrambleText("", true, false), "");
  EXPECT_EQ(ScrambleText("", false, false), "");
  EXPECT_EQ(ScrambleText("plain", false, false), "plain");                 // not scrambled
  EXPECT_EQ(ScrambleText("Scrambled=01 already", true, false), "Scrambled=01 already");
  EXPECT_EQ(ScrambleText("Scrambled=01", false, false), "");              // bare marker
  EXPECT_EQ(ScrambleText("not hex!", false, true), "not hex!");
}

TEST(Scramble, RandomRange) {
  for (int i = 0; i < 200; ++i) {
    const int n = RandomInRange(33, 122);
    ASSERT_GE(n, 33);
    ASSERT_LE(n, 122);
  }
  EXPECT_EQ(RandomInRange(5, 5), 5);
}
