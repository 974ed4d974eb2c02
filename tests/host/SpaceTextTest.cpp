#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "setup/SpaceText.h"

TEST(SpaceText, FormatMegabytes) {
  struct {
    double bytes;
    const char* expected;
  } cases[] = {
      {40000000, "38.1"},    // above 10 MB: one decimal
      {5242880, "5.00"},     // 1 to 10 MB: two decimals
      {10485760, "10.00"},   // exactly 10 MB still has two
      {10590617.6, "10.1"},  // just above 10 MB
      {1048576, "1.00"},     // exactly 1 MB: two decimals
      {524288, "0.500"},     // below 1 MB: three decimals
      {0, "0.000"},          // zero
      {-5242880, "0.000"},   // negative counts as zero
      {NAN, "0.000"},        // not a number counts as zero too
      {5e12, "4768371.6"},   // no thousands separators
  };
  for (const auto& c : cases) EXPECT_EQ(FormatMegabytes(c.bytes), c.expected) << c.bytes;
}

TEST(SpaceText, DriveText) {
  EXPECT_EQ(TempDriveText("c:\\temp\\SETUP_1"), "C:");
  EXPECT_EQ(TempDriveText("D:"), "D:");
  EXPECT_EQ(TempDriveText(""), "");
}

namespace {

// The defaults, except for the keys a test gives texts of its own.
LanguageLookup Texts(std::map<std::string, std::string> own = {}) {
  return [own](const std::string& key, const std::string& fallback) {
    const auto found = own.find(key);
    return found == own.end() ? fallback : found->second;
  };
}

}  // namespace

TEST(SpaceText, QuestionOpensWithNoticeOrWarning) {
  const double mb5 = 5242880, mb38 = 40000000;
  struct {
    double required, available;
    bool notice;
    const char* opening;  // nullptr: no question at all
  } cases[] = {
      {mb5, mb38, true, "Varnix will extract files"},  // notice asked for, room enough
      {mb38, mb5, false, "Limited Free Space"},        // short of room
      {mb5, mb5, false, "Limited Free Space"},         // exactly equal counts as short
      {mb5, mb5, true, "Limited Free Space"},          // the warning replaces the notice
      {mb5, mb38, false, nullptr},                     // nothing to say: no question
      {0, 0, false, "Limited Free Space"},             // a drive without figures is short
  };
  for (const auto& c : cases) {
    const std::string question =
        TempSpaceQuestion("c:\\Temp\\SETUP_7", c.required, c.available, c.notice, Texts());
    const std::string where = std::to_string(c.required) + " / " + std::to_string(c.available) +
                              " / " + (c.notice ? "notice" : "-");
    if (c.opening == nullptr) {
      EXPECT_EQ(question, "") << where;
    } else {
      EXPECT_EQ(question.rfind(c.opening, 0), 0u) << where << ": " << question;
      EXPECT_NE(question.find("Continue with Setup?"), std::string::npos) << where;
    }
  }
}

TEST(SpaceText, QuestionWithDefaultTexts) {
  EXPECT_EQ(TempSpaceQuestion("c:\\Temp\\SETUP_7", 5242880, 40000000, true, Texts()),
            "Varnix will extract files to your Temp Drive (C:)<P>"
            "<P>Estimated space required on your Temp drive is: <T>  5.00 MB<P>"
            "Free space available on your Temp drive is: <T>  38.1 MB<P>"
            "<P>Continue with Setup?<P>");
  EXPECT_EQ(TempSpaceQuestion("d:\\Temp", 40000000, 524288, false, Texts()),
            "Limited Free Space on your Temp Drive! (D:)<P>"
            "<P>Estimated space required on your Temp drive is: <T>  38.1 MB<P>"
            "Free space available on your Temp drive is: <T>  0.500 MB<P>"
            "<P>Continue with Setup?<P>");
}

TEST(SpaceText, PlaceholdersAreCaseSensitiveAndRepeat) {
  const std::string question = TempSpaceQuestion("e:\\x", 524288, 1048576, true,
                                                 Texts({{"s2", "<DRIVE>|<drive>|<DRIVE>|"},
                                                        {"s4", "<SPACE_REQ>/<space_req>|"},
                                                        {"s5", "<SPACE_AVAIL>/<Space_Avail>|"},
                                                        {"s6", "?"}}));
  EXPECT_EQ(question, "E:|<drive>|E:|0.500/<space_req>|1.00/<Space_Avail>|?");
}

TEST(SpaceText, LanguageTextsReplaceTheDefaults) {
  const std::string question = TempSpaceQuestion("C:\\T", 2, 1, false,
                                                 Texts({{"s3", "Wenig Platz auf <DRIVE>. "},
                                                        {"s4", "Bedarf <SPACE_REQ> MB. "},
                                                        {"s5", "Frei <SPACE_AVAIL> MB. "},
                                                        {"s6", "Weiter?"}}));
  EXPECT_EQ(question, "Wenig Platz auf C:. Bedarf 0.000 MB. Frei 0.000 MB. Weiter?");
}
