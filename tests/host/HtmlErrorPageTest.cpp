// Recognising a server's HTML page where a setup or information file was
// expected, and the message that names the URL.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "inet/HtmlErrorPage.h"

namespace {

const char kUrl[] = "http://h/p/Setup.exe";
const char kNotFound[] =
    "<B>404 File Not Found...</B><P><P>URL:  http://h/p/Setup.exe."
    "<P><P>Please make sure the file is available and access is allowed to this file.";
const char kIisHint[] =
    "<P><P>If you are using an IIS webserver you must define appropriate MIME-Types.";

// A file in the test's temporary folder, removed at the end of the test.
class TempFile {
 public:
  TempFile(const std::string& name, const std::string& bytes) : path_(testing::TempDir() + name) {
    std::ofstream(path_, std::ios::binary) << bytes;
  }
  ~TempFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

TEST(HtmlErrorPage, Recognition) {
  struct {
    std::string text;
    bool page;
  } cases[] = {
      {"<html><head><title>404 Not Found</title></head></html>", true},
      {"<TITLE>Error 404</TITLE>", true},
      {"<TiTlE lang=en>404</tItLe>", true},  // "<TITLE" may carry attributes; case ignored
      {"<html>\n<head><title>Welcome</title>", true},  // any ordinary page counts
      {"<HTML><HEAD><TITLE></TITLE>", true},
      {"<html lang=en><head><title>Welcome</title>", false},  // "<HTML>" with the bracket
      {"<head><html><title>x</title>", false},
      {"404 <title>Moved</title>", false},  // the 404 is not inside the title
      // First occurrences count: the first "404" stands after the first "</TITLE>".
      {"<title>Moved</title> 404 <title>404</title>", false},
      {"<title>404", false},
      {"File not found", false},
      {"", false},
      {std::string("MZ\x90\0\0\0<title>404</title>", 24), true},  // bytes behind NULs are looked at
      {std::string(990, ' ') + "<title>404</title>", false},      // only the first 1,000 characters
      {std::string(975, ' ') + "<title>404</title>", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsHtmlErrorPage("", c.text), c.page) << c.text;
}

TEST(HtmlErrorPage, TheFileReplacesTheText) {
  const TempFile page("html-error-page.html", "<html><head><title>404</title></head></html>");
  EXPECT_TRUE(IsHtmlErrorPage(page.path(), "no page here"));
  const TempFile binary("html-error-binary.exe", "MZ binary");
  EXPECT_FALSE(IsHtmlErrorPage(binary.path(), "<title>404</title>"));
  const TempFile empty("html-error-empty.exe", "");
  EXPECT_FALSE(IsHtmlErrorPage(empty.path(), "<title>404</title>"));
  const TempFile late("html-error-late.html", std::string(1000, '\0') + "<title>404</title>");
  EXPECT_FALSE(IsHtmlErrorPage(late.path(), ""));  // only the file's first 1,000 bytes
  // A missing file leaves the text.
  EXPECT_TRUE(
      IsHtmlErrorPage(testing::TempDir() + "html-error-missing.html", "<title>404</title>"));
}

TEST(HtmlErrorPage, Message) {
  struct {
    const char* edge;
    std::string text;
    bool iisHint;
    std::string expected;
  } cases[] = {
      {"not a page: the default", "MZ", false, "Bad Secret Token!"},
      {"a 404 page", "<title>404</title>", false, kNotFound},
      {"no hint asked for", "<title>404 IIS</title>", false, kNotFound},
      {"the hint", "<title>404 IIS</title>", true, std::string(kNotFound) + kIisHint},
      {"IIS in any case", "<title>404</title> Microsoft-iis/10.0", true,
       std::string(kNotFound) + kIisHint},
      {"hint asked, no IIS", "<title>404</title>", true, kNotFound},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HtmlErrorMessage("", c.text, kUrl, "Bad Secret Token!", c.iisHint), c.expected)
        << c.edge;
  }
}

TEST(HtmlErrorPage, TheHintLooksAtTheCallersTextOnly) {
  const TempFile page("html-error-iis.html", "<html><head><title>404 IIS</title></head></html>");
  EXPECT_EQ(HtmlErrorMessage(page.path(), "", kUrl, "Bad Secret Token!", true), kNotFound);
  EXPECT_EQ(HtmlErrorMessage(page.path(), "IIS", kUrl, "Bad Secret Token!", true),
            std::string(kNotFound) + kIisHint);
}
