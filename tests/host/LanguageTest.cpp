#include <gtest/gtest.h>

#include "CraftedPackage.h"
#include "common/VSUB.h"
#include "package/ByteSource.h"
#include "package/Language.h"
#include "package/TGFileInfo.h"

namespace {

std::string Section(const std::string& name, const std::string& lines) {
  return "\x01" + name + "\x01" + lines + "\x01";
}

const std::string kEnglish = Section("English", "s0=Setup\x01" "BtnText =|&OK|&Cancel|");
const std::string kGerman = Section(" german ", "s0=Installation\x01" "Charset=x\x01" "FontSize=10");
const std::string kTwoSections = "\x02" + kEnglish + "\x02" + kGerman + "\x02";

}  // namespace

TEST(Language, TableRows) {
  EXPECT_EQ(SUB::Count(kLanguageTable), 51);
  EXPECT_EQ(SUB::Item(kLanguageTable, 12), "ENGLISH      = 09");
  EXPECT_EQ(SUB::Item(kLanguageTable, 43), "CHINESE(SIMPLIFIED)  = 2052");
  struct {
    int id;
    const char* name;
  } cases[] = {
      {7, "GERMAN"},  {9, "ENGLISH"}, {12, "FRENCH"},
      {26, "CROATIAN"},               // the first row holding "26", never SERBIAN
      {52, "CHINESE(SIMPLIFIED)"},    // "52" only occurs inside 2052
      {1, "ARABIC"},  {0, ""},        // "00" is nowhere
      {99, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(LanguageNameOf(c.id), c.name) << c.id;
}

TEST(Language, SectionChoice) {
  struct {
    std::string block;
    const char* wanted;
    std::string expected;
  } cases[] = {
      {kTwoSections, "GERMAN", kGerman},  // names trimmed, case ignored
      {kTwoSections, "FRENCH", kEnglish},  // no match: English
      {"\x02" + kGerman + "\x02", "FRENCH", kGerman},  // a single section wins whatever its name
      {"\x02" + kGerman + "\x02" + Section("Dutch", "") + "\x02", "FRENCH", "*"},
      {"", "ENGLISH", "*"},
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseLanguageSection(c.block, c.wanted), c.expected) << c.wanted;
}

TEST(Language, SectionText) {
  EXPECT_EQ(SectionText(kEnglish, "BTNTEXT", "d"), "|&OK|&Cancel|");  // key case and blanks ignored
  EXPECT_EQ(SectionText(kEnglish, "s1", "d"), "d");
  EXPECT_EQ(SectionText("*", "s0", "d"), "d");
}

TEST(Language, FirstLookupFixesTheChoiceForTheRun) {
  ResetLanguageSectionForTesting();
  MemorySource emptySource("");
  const TGFileInfo empty(emptySource);
  CraftedPackage p;
  p.language = kTwoSections;
  MemorySource source(p.Bytes());
  const TGFileInfo full(source);

  EXPECT_EQ(empty.LangText("s0", "default"), "default");  // the first lookup: no block, "*"
  EXPECT_EQ(full.LangText("s0", "default"), "default");   // fixed for every reader
  EXPECT_EQ(full.FontName(), "Tahoma");
  EXPECT_EQ(full.FontSize(), 8);

  ResetLanguageSectionForTesting();
  EXPECT_EQ(full.LangText("s0", "default"), "Setup");  // the host counts as English
  EXPECT_EQ(empty.LangText("s0", "default"), "Setup");  // shared by all readers
  ResetLanguageSectionForTesting();
}

TEST(Language, NumbersFallBack) {
  ResetLanguageSectionForTesting();
  CraftedPackage p;
  p.language = "\x02" + kGerman + "\x02";
  MemorySource source(p.Bytes());
  const TGFileInfo info(source);
  EXPECT_EQ(info.Charset(), 0);  // "x" is no number
  EXPECT_EQ(info.FontSize(), 10);
  EXPECT_EQ(info.LangText("s0", ""), "Installation");
  ResetLanguageSectionForTesting();
}
