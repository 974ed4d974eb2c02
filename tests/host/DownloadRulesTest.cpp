// The download's portable rules: the rate line, URLs, the progress range,
// partial names, the verdict on a finished transfer, the error page and the
// web stub's question.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "inet/BytesRate.h"
#include "inet/DownloadRules.h"
#include "inet/HtmlErrorPage.h"
#include "setup/WebStubRules.h"

TEST(BytesRate, SizePartByMode) {
  struct {
    uint64_t total, received;
    const char* expected;
  } cases[] = {
      {2048000, 1536, "1.5/2,000.0 KB"},
      {102400, 50, "50/102400 BytesArr"},  // up to 100 KB: raw bytes
      {102401, 1024, "1.0/100.0 KB"},
      {10485761, 5242880, "5.0/10.0 MB"},
      {5368709120ull, 3221225472ull, "3,072.0/5,120.0 MB"},  // beyond 4 GiB
  };
  for (const auto& c : cases) {
    TBytesRate meter = MeterForSize(c.total);
    EXPECT_EQ(meter.Update(c.total, c.received, 10, 1000), c.expected) << c.total;
  }
  // Raw bytes of a size the 32-bit counters would wrap.
  EXPECT_EQ(TBytesRate(false, false).Update(5000000000ull, 4294967296ull, 1, 1), "4294967296/5000000000 BytesArr");
}

TEST(BytesRate, SpeedFromTheFifthUpdateAndAtMostTwiceASecond) {
  TBytesRate meter(true, false);
  uint64_t received = 0;
  std::string line;
  // Reads of 1,024 bytes every 100 ms: 4 reads in 400 ms = 10 KB/s.
  for (uint32_t tick = 1000; tick <= 1300; tick += 100) {
    received += 1024;
    line = meter.Update(1048576, received, 1024, tick);
    EXPECT_EQ(line.find("KB/Sec"), std::string::npos) << "no speed before five updates: " << line;
  }
  received += 1024;
  EXPECT_EQ(meter.Update(1048576, received, 1024, 1400), "5.0/1,024.0 KB   -   10.00 KB/Sec");
  // Faster reads within 500 ms of the last refresh keep the shown speed.
  received += 8192;
  EXPECT_EQ(meter.RateText(8192, 1500), "10.00");
  EXPECT_NE(meter.RateText(8192, 1901), "10.00");
  meter.Reset();
  EXPECT_EQ(meter.RateText(1, 5000), "");
}

TEST(DownloadRules, CompleteUrlScheme) {
  struct {
    const char* url;
    const char* expected;
  } cases[] = {
      {"host/x", "http://host/x"},
      {"http://host/x", "http://host/x"},
      {"HTTP://host/x", "HTTP://host/x"},
      {"https://host/x", "https://host/x"},  // not "http://https://"
      {"host/x?from=http://other", "http://host/x?from=http://other"},
  };
  for (const auto& c : cases) EXPECT_EQ(CompleteUrlScheme(c.url), c.expected);
}

TEST(DownloadRules, JoinUrlAndFileName) {
  EXPECT_EQ(JoinUrl("http://h/p", "Setup.exe"), "http://h/p/Setup.exe");
  EXPECT_EQ(JoinUrl("http://h/p/", "Setup.exe"), "http://h/p/Setup.exe");  // no "//"
  EXPECT_EQ(JoinUrl("http://h/p//", "My Setup#2?.exe"), "http://h/p/My%20Setup%232%3F.exe");
  EXPECT_EQ(JoinUrl("http://h", "100%\xE9.exe"), "http://h/100%25%E9.exe");
  EXPECT_EQ(UrlFileName("http://h/p/Setup.exe?x=1#y"), "Setup.exe");
  EXPECT_EQ(UrlFileName("http://h/p\\a.info"), "a.info");
}

TEST(DownloadRules, SplitUrl) {
  struct {
    const char* url;
    bool ok, secure;
    const char* host;
    int port;
    const char* path;
  } cases[] = {
      {"http://127.0.0.1:8080/a/b.exe?x=1", true, false, "127.0.0.1", 8080, "/a/b.exe?x=1"},
      {"https://Host/a#frag", true, true, "Host", 443, "/a"},
      {"host", true, false, "host", 80, "/"},
      {"http://host?q", true, false, "host", 80, "/?q"},
      {"http://user:pw@host/", false, false, "", 0, ""},
      {"http://host:0/", false, false, "", 0, ""},
      {"http://host:65536/", false, false, "", 0, ""},
      {"http://host:8x/", false, false, "", 0, ""},
      {"http:///path", false, false, "", 0, ""},
      {"http://ho st/", false, false, "", 0, ""},
      {"http://[::1]/", false, false, "", 0, ""},
  };
  for (const auto& c : cases) {
    UrlParts parts;
    ASSERT_EQ(SplitUrl(c.url, parts), c.ok) << c.url;
    if (!c.ok) continue;
    EXPECT_EQ(parts.secure, c.secure) << c.url;
    EXPECT_EQ(parts.host, c.host) << c.url;
    EXPECT_EQ(parts.port, c.port) << c.url;
    EXPECT_EQ(parts.path, c.path) << c.url;
  }
}

TEST(DownloadRules, ProgressChunkRangeAndPosition) {
  EXPECT_EQ(ProgressChunk(50), 5u);
  EXPECT_EQ(ProgressChunk(5), 1u);
  EXPECT_EQ(ProgressChunk(1048576), 8192u);
  EXPECT_EQ(ProgressChunk(kUnknownSize), 8192u);
  EXPECT_EQ(ProgressRange(50, 5), 11u);
  EXPECT_EQ(ProgressRange(1048576, 8192), 129u);
  // One read of the whole file moves the bar as ten small reads would.
  EXPECT_EQ(ProgressPosition(0, 50, 5), 1u);
  EXPECT_EQ(ProgressPosition(50, 50, 5), 11u);
  EXPECT_EQ(ProgressPosition(500, 50, 5), 11u);  // never past the range
  EXPECT_EQ(ProgressRange(3000000000ull * 2, 8192), 732422u + 1);
}

TEST(DownloadRules, PartialNamesAreOnlyTheClientsOwn) {
  EXPECT_EQ(PartialFileName("C:\\t\\Product", 100, 5), "C:\\t\\Product.105.vxpart");
  EXPECT_EQ(PartialFileName("P", 4294967296ull + 7, 0), "P.7.vxpart");  // modulo 2^32
  EXPECT_TRUE(IsPartialNameOf("Product.105.vxpart", "Product"));
  EXPECT_TRUE(IsPartialNameOf("PRODUCT.1.VXPART", "Product"));
  for (const char* sibling : {"Product.info", "Product.original", "Product.x.vxpart", "Product..vxpart",
                              "Product.exe.1.vxpart", "Other.1.vxpart", "Product"}) {
    EXPECT_FALSE(IsPartialNameOf(sibling, "Product")) << sibling;
  }
}

TEST(DownloadRules, TransferVerdict) {
  EXPECT_EQ(TransferVerdict(100, 100, 0), "");
  EXPECT_EQ(TransferVerdict(100, 60, 0), "Incomplete download: 60 of 100 bytes");
  EXPECT_EQ(TransferVerdict(100, 100, 999), "");  // the server's length counts
  EXPECT_EQ(TransferVerdict(kUnknownSize, 60, 0), "");  // closed by the server, nothing to compare
  EXPECT_EQ(TransferVerdict(kUnknownSize, 60, 100), "Incomplete download: 60 of 100 bytes");
  EXPECT_EQ(TransferVerdict(kUnknownSize, 100, 100), "");
  EXPECT_EQ(TransferVerdict(5000000000ull, 5000000000ull, 0), "");
  EXPECT_EQ(HttpStatusError("http://h/x", 500), "http://h/x --- HTTP 500");
}

TEST(HtmlErrorPage, Recognition) {
  struct {
    const char* text;
    bool page;
  } cases[] = {
      {"<html><head><title>404 Not Found</title></head></html>", true},
      {"<TITLE>Error 404</TITLE>", true},
      {"<html>\n<head><title>Welcome</title>", true},  // any ordinary page counts
      {"404 <title>Moved</title>", false},  // the 404 is not inside the title
      {"File not found", false},
      {"MZ\x90\x00 binary", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsHtmlErrorPage("", c.text), c.page) << c.text;
  // Only the first 1,000 characters are looked at.
  EXPECT_FALSE(IsHtmlErrorPage("", std::string(1000, ' ') + "<title>404</title>"));

  const std::string url = "http://h/p/Setup.exe";
  const std::string notFound = "<B>404 File Not Found...</B><P><P>URL:  http://h/p/Setup.exe."
                               "<P><P>Please make sure the file is available and access is allowed to this file.";
  EXPECT_EQ(HtmlErrorMessage("", "<title>404</title>", url, "Bad Secret Token!", false), notFound);
  EXPECT_EQ(HtmlErrorMessage("", "MZ", url, "Bad Secret Token!", false), "Bad Secret Token!");
  EXPECT_EQ(HtmlErrorMessage("", "<title>404 IIS</title>", url, "", true),
            notFound + "<P><P>If you are using an IIS webserver you must define appropriate MIME-Types.");
}

TEST(HtmlErrorPage, ReadsTheFileWhenThereIsOne) {
  const std::string path = testing::TempDir() + "download-rules-page.html";
  std::ofstream(path, std::ios::binary) << "<html><head><title>404</title></head></html>";
  EXPECT_TRUE(IsHtmlErrorPage(path, "no page here"));
  std::remove(path.c_str());
  EXPECT_FALSE(IsHtmlErrorPage(path, "no page here"));  // gone: the text counts
}

TEST(WebStubRules, DownloadQuestionSize) {
  struct {
    const char* size;
    const char* expected;
  } cases[] = {{"15728640", "Size: 15.0 MB"}, {"", "Size: 0.000 MB"}, {"15 MB", "Size: 0.000 MB"},
               {"5368709120", "Size: 5120.0 MB"}};
  for (const auto& c : cases) EXPECT_EQ(DownloadQuestion("Size: <SIZE> MB", c.size), c.expected) << c.size;
  EXPECT_EQ(DownloadQuestion("<size> <SIZE>", "0"), "<size> 0.000");  // the marker's case counts
}

TEST(WebStubRules, OnlyShortcutsAreRemovable) {
  EXPECT_TRUE(IsRemovableShortcut("C:\\Users\\Public\\Desktop\\Product.lnk"));
  EXPECT_TRUE(IsRemovableShortcut("d:\\Start Menu\\Check.LNK"));
  for (const char* path : {"C:\\Windows\\system32\\kernel32.dll", "Product.lnk", "\\\\server\\share\\a.lnk",
                           "C:\\a\\..\\..\\b.lnk", "C:\\a\\x.lnk:stream", "C:\\a\\con.lnk", ""}) {
    EXPECT_FALSE(IsRemovableShortcut(path)) << path;
  }
}
