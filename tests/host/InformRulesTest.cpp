#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "common/TextRules.h"
#include "ui/InformRules.h"

namespace {

std::string Describe(const BoxRect& r) {
  return "{" + std::to_string(r.x) + ", " + std::to_string(r.y) + ", " + std::to_string(r.width) +
         ", " + std::to_string(r.height) + "}";
}

// True when a reader could still take a control word "object" from the page.
bool HasObjectWord(const std::string& page) {
  const std::string upper = UpperText(page);
  for (size_t at = upper.find("\\OBJECT"); at != std::string::npos;
       at = upper.find("\\OBJECT", at + 1)) {
    const size_t end = at + 7;
    if (end == upper.size() || !isalpha(static_cast<unsigned char>(upper[end]))) return true;
  }
  return false;
}

TEST(InformRules, OnlyWebAddressesAreOpened) {
  const struct {
    const char* link;
    bool open;
  } kCases[] = {
      {"http://127.0.0.1/new", true},
      {"HTTPS://Example.COM/download?v=2&x=%20", true},  // scheme in any case
      {"http://h", true},
      {"http://", false},             // no host
      {"http:///etc/passwd", false},  // no host, a path
      {"http://\\\\server\\share", false},
      {"http:/h/x", false},
      {"httpx://h/", false},
      {"ftp://127.0.0.1/file", false},
      {"file:///C:/windows/system32/calc.exe", false},
      {"\\\\127.0.0.1\\share\\page.rtf", false},  // a share would get the user's credentials
      {"C:\\Program Files\\app.exe", false},
      {"javascript:alert(1)", false},
      {"mailto:someone@example.com", false},
      {"http://h/a b", false},                   // a blank inside
      {"http://h/\" --new-window \"x", false},  // a quote would split the handler's command
      {"http://h/\tx", false},
      {"http://h/\x7f", false},
      {"", false},
  };
  for (const auto& c : kCases) EXPECT_EQ(IsWebAddress(c.link), c.open) << c.link;
}

TEST(InformRules, PlanTrimsTheLinkAndRefusesWhatIsNotAWebAddress) {
  const struct {
    const char* text;
    const char* link;
    InformAction action;
    const char* plannedLink;
    bool refused;
  } kCases[] = {
      {"", "", InformAction::kNothing, "", false},
      {"page", "", InformAction::kShowDialog, "", false},  // no button
      {"page", "http://h/new", InformAction::kShowDialog, "http://h/new", false},
      {"", "  http://h/new \r\n", InformAction::kOpenLink, "http://h/new", false},
      {"page", "\t\x01https://h/ \x1f", InformAction::kShowDialog, "https://h/", false},
      {"", " \t\r\n", InformAction::kNothing, "", false},  // only blanks: no link at all
      {"", "ftp://h/x", InformAction::kNothing, "", true},
      {"", "file:///C:/x.exe", InformAction::kNothing, "", true},
      {"page", "\\\\h\\share", InformAction::kShowDialog, "", true},  // the page without a button
      {" ", "", InformAction::kShowDialog, "", false},  // a blank page is still a page
  };
  for (const auto& c : kCases) {
    const InformPlan plan = PlanInform(c.text, c.link);
    EXPECT_EQ(plan.action, c.action) << "text '" << c.text << "' link '" << c.link << "'";
    EXPECT_EQ(plan.link, c.plannedLink) << c.link;
    EXPECT_EQ(plan.linkRefused, c.refused) << c.link;
  }
}

TEST(InformRules, TextFaceIsVerdanaForNoFaceAndForTahomaOnly) {
  const struct {
    const char* fontName;
    const char* face;
  } kCases[] = {
      {"", "Verdana"},
      {"Tahoma", "Verdana"},
      {"tahoma", "tahoma"},    // the comparison is exact
      {"Tahoma ", "Tahoma "},  // so is the blank
      {"Arial", "Arial"},
      {"MS PGothic", "MS PGothic"},
  };
  for (const auto& c : kCases) EXPECT_EQ(InformTextFace(c.fontName), c.face) << c.fontName;
}

TEST(InformRules, WindowIsClampedAndCentredInTheWorkArea) {
  const BoxRect screen{0, 0, 1024, 768};
  const struct {
    BoxRect work;
    int width;
    int height;
    const char* expected;
  } kCases[] = {
      {screen, 360, 360, "{332, 204, 360, 360}"},  // the agent's default size
      {screen, 1024, 768, "{0, 0, 1024, 768}"},
      {screen, 50, 199, "{412, 284, 200, 200}"},     // too small to hold the button
      {screen, 0, -5, "{412, 284, 200, 200}"},       // missing or negative values
      {screen, 5000, 99999, "{0, 0, 1024, 768}"},    // never beyond the work area
      {{0, 30, 800, 570}, 401, 301, "{199, 164, 401, 301}"},  // a task bar at the top; odd leftovers truncate
      {{0, 0, 150, 120}, 360, 360, "{0, 0, 150, 120}"},       // a work area below the minimum wins
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Describe(InformWindowPlace(c.work, c.width, c.height)), c.expected)
        << "work " << Describe(c.work) << " asked " << c.width << " x " << c.height;
  }
}

TEST(InformRules, LayoutKeepsTheTextBesideTheInsetAndCentresTheButtonInItsBand) {
  const struct {
    int width;
    int height;
    bool button;
    const char* text;
    const char* buttonPlace;
  } kCases[] = {
      {344, 326, true, "{3, 0, 341, 283}", "{92, 293, 160, 25}"},
      {344, 326, false, "{3, 0, 341, 326}", nullptr},  // no band: the text to the bottom
      {501, 300, true, "{3, 0, 498, 257}", "{170, 267, 160, 25}"},
      {100, 30, true, "{3, 0, 97, 0}", "{-30, -3, 160, 25}"},  // shrunk by the user: no negative sizes
      {1, 0, true, "{3, 0, 0, 0}", "{-79, -33, 160, 25}"},     // halves truncate toward zero
  };
  for (const auto& c : kCases) {
    const InformLayout layout = InformLayoutFor(c.width, c.height, c.button);
    const std::string client = std::to_string(c.width) + " x " + std::to_string(c.height);
    EXPECT_EQ(Describe(layout.text), c.text) << client;
    if (c.buttonPlace) {
      EXPECT_EQ(Describe(layout.button), c.buttonPlace) << client;
    }
  }
}

TEST(InformRules, PageHasItsObjectWordsRenamed) {
  const struct {
    const char* page;
    const char* shown;
  } kCases[] = {
      {"Plain text, no objects.", "Plain text, no objects."},
      {"{\\rtf1 A {\\b bold} word}", "{\\rtf1 A {\\b bold} word}"},
      {"{\\rtf1 x{\\object\\objemb{\\*\\objclass Package}{\\*\\objdata 0105}{\\result y}}z}",
       "{\\rtf1 x{\\*\\refusedobj\\objemb{\\*\\objclass Package}{\\*\\objdata 0105}{\\result y}}z}"},
      {"{\\OBJECT1 a}{\\Object b}", "{\\*\\refusedobj1 a}{\\*\\refusedobj b}"},  // any case, a parameter
      {"{\\*\\object x}", "{\\*\\*\\refusedobj x}"},
      {"{\\rtf1 \\object", "{\\rtf1 \\*\\refusedobj"},  // at the very end
      {"\\objattph \\objectx \\objdata", "\\objattph \\objectx \\objdata"},  // other words
      // An escaped backslash before the word is renamed too: the page shows
      // other characters there, but no reader can find an object.
      {"\\\\object", "\\\\*\\refusedobj"},
  };
  for (const auto& c : kCases) EXPECT_EQ(InformPageText(c.page), c.shown) << c.page;
}

TEST(InformRules, PageIsCutToItsLimitAndNoCutLeavesAnObjectWord) {
  const std::string large(kInformMaxPageBytes + 1000, 'a');
  EXPECT_EQ(InformPageText(large), large.substr(0, kInformMaxPageBytes));
  EXPECT_EQ(InformPageText(large.substr(0, kInformMaxPageBytes)).size(), kInformMaxPageBytes);

  // "\objectx" across the limit: the cut leaves "\object" at the end.
  const std::string straddling = std::string(kInformMaxPageBytes - 7, 'a') + "\\objectx more";
  const std::string cut = InformPageText(straddling);
  EXPECT_EQ(cut.size(), kInformMaxPageBytes);
  EXPECT_FALSE(HasObjectWord(cut));

  // Renaming lengthens a page made of object words; it still ends at the limit.
  std::string objects;
  while (objects.size() < kInformMaxPageBytes) objects += "{\\object}";
  const std::string renamed = InformPageText(objects);
  EXPECT_EQ(renamed.size(), kInformMaxPageBytes);
  EXPECT_FALSE(HasObjectWord(renamed));
}

}  // namespace
