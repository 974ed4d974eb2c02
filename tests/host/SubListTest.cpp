#include <gtest/gtest.h>

#include "common/VSUB.h"

TEST(SubList, CountAndItems) {
  struct {
    const char* list;
    int count;
    const char* item1;
  } cases[] = {
      {"|a|b|", 2, "b"},
      {"|a||c|", 3, "(none)"},  // empty item gives the fallback
      {"|a|b", 0, "(none)"},    // last character differs: no items
      {"|", 0, "(none)"},       // shorter than two characters
      {"", 0, "(none)"},
      {"||", 1, "(none)"},  // one empty item
      {",x,y,z,", 3, "y"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SUB::Count(c.list), c.count) << c.list;
    EXPECT_EQ(SUB::Item(c.list, 1, "(none)"), c.item1) << c.list;
  }
  EXPECT_EQ(SUB::Item("|a|b|", -1, "d"), "d");
  EXPECT_EQ(SUB::Item("|a|b|", 2, "d"), "d");
  EXPECT_EQ(SUB::Item("|a|b|", 0), "a");
}

TEST(SubList, ValueLookup) {
  const std::string section = "\x01" "English\x01" "BtnText =|&OK|\x01" "s1=Extracting\x01" "empty=\x01";
  struct {
    const char* key;
    const char* expected;
  } cases[] = {
      {"BTNTEXT", "|&OK|"},  // case ignored, blank before "=" ignored
      {"s1", "Extracting"},
      {"s", "fallback"},      // a key must match up to its "="
      {"empty", "fallback"},  // empty value gives the fallback
      {"missing", "fallback"},
      {"English", "fallback"},  // the name item has no "="
  };
  for (const auto& c : cases) EXPECT_EQ(SUB::Value(section, c.key, "fallback"), c.expected) << c.key;
  // A key found only inside another item's value does not count.
  EXPECT_EQ(SUB::Value("|a=x|b=a=y|", "a", "-"), "x");
  // The last item of a list that does not end with its separator still reads.
  EXPECT_EQ(SUB::Value("|a=1|b=2", "b", "-"), "2");
}
