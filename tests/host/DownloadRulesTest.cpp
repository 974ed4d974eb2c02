// The download's URL and transfer decisions: scheme, joining and taking URLs
// apart, the progress range, the partial file's name, the verdict on a
// finished transfer.
#include <gtest/gtest.h>

#include <string>

#include "inet/DownloadRules.h"

TEST(DownloadRules, CompleteUrlScheme) {
  struct {
    const char* url;
    const char* expected;
  } cases[] = {
      {"host/x", "http://host/x"},
      {"http://host/x", "http://host/x"},
      {"HTTP://host/x", "HTTP://host/x"},
      {"https://host/x", "https://host/x"},  // not "http://https://"
      {"HtTpS://host/x", "HtTpS://host/x"},
      {"host/x?from=http://other",
       "http://host/x?from=http://other"},  // "http://" inside is no scheme
      {"", "http://"},
  };
  for (const auto& c : cases) EXPECT_EQ(CompleteUrlScheme(c.url), c.expected) << c.url;
}

TEST(DownloadRules, JoinUrl) {
  struct {
    const char* folder;
    const char* fileName;
    const char* expected;
  } cases[] = {
      {"http://h/p", "Setup.exe", "http://h/p/Setup.exe"},
      {"http://h/p/", "Setup.exe",
       "http://h/p/Setup.exe"},  // the authoring tool's own example: no "//"
      {"http://h/p//", "Setup.exe", "http://h/p/Setup.exe"},
      {"http://h/my%20dir", "Setup.exe", "http://h/my%20dir/Setup.exe"},  // the folder as written
      {"http://h", "My Setup#2?.exe", "http://h/My%20Setup%232%3F.exe"},
      {"http://h", "100%.exe", "http://h/100%25.exe"},
      {"http://h", "a/b\\c.exe", "http://h/a%2Fb%5Cc.exe"},  // one component, never a path
      {"http://h", "\"<>^`{|}\x7F\x01.exe", "http://h/%22%3C%3E%5E%60%7B%7C%7D%7F%01.exe"},
      {"http://h", "Caf\xC3\xA9.exe", "http://h/Caf%C3%A9.exe"},  // UTF-8 byte by byte
      {"http://h", "\xE9t\xE9.exe", "http://h/%E9t%E9.exe"},      // ANSI likewise
      {"http://h", "Setup-1.0_(x86)~!$&'*+,;=@.exe", "http://h/Setup-1.0_(x86)~!$&'*+,;=@.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinUrl(c.folder, c.fileName), c.expected) << c.fileName;
}

TEST(DownloadRules, UrlFileName) {
  struct {
    const char* url;
    const char* expected;
  } cases[] = {
      {"http://h/p/Setup.exe", "Setup.exe"},
      {"http://h/p/Setup.exe?x=1#y", "Setup.exe"},
      {"http://h/p/Setup.exe?from=a/b.exe", "Setup.exe"},  // a "/" in the query is not a folder
      {"http://h/p/Setup.exe#part/2", "Setup.exe"},
      {"http://h/p\\a.info", "a.info"},
      {"http://h/p/", ""},
      {"Setup.exe", "Setup.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(UrlFileName(c.url), c.expected) << c.url;
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
      {"HTTPS://h:8443", true, true, "h", 8443, "/"},
      {"http://h:65535/", true, false, "h", 65535, "/"},
      {"host", true, false, "host", 80, "/"},  // no scheme: http
      {"my_host.example-1.net/x", true, false, "my_host.example-1.net", 80, "/x"},
      {"http://host?q", true, false, "host", 80, "/?q"},
      {"host/x?u=http://o/y", true, false, "host", 80,
       "/x?u=http://o/y"},  // "http://" in the query
      {"http://h/my dir/Caf\xC3\xA9.exe", true, false, "h", 80, "/my%20dir/Caf%C3%A9.exe"},
      {"http://h/a%20b.exe?q=%41", true, false, "h", 80,
       "/a%20b.exe?q=%41"},  // escapes kept, not doubled
      {"http://h/a\"<x>.exe", true, false, "h", 80, "/a%22%3Cx%3E.exe"},
      {"http://user:pw@host/", false, false, "", 0, ""},
      {"http://user@host/", false, false, "", 0, ""},
      {"http://host:0/", false, false, "", 0, ""},
      {"http://host:65536/", false, false, "", 0, ""},
      {"http://host:099999/", false, false, "", 0, ""},
      {"http://host:8x/", false, false, "", 0, ""},
      {"http://host:/", false, false, "", 0, ""},
      {"http:///path", false, false, "", 0, ""},
      {"", false, false, "", 0, ""},
      {"http://ho st/", false, false, "", 0, ""},
      {"http://ho\\st/", false, false, "", 0, ""},
      {"http://[::1]/", false, false, "", 0, ""},
      {"ftp://host/x", false, false, "", 0, ""},
      {"file:///C:/x", false, false, "", 0, ""},
      {"http://h/x\r\nHost: other", false, false, "", 0, ""},  // would add a header line
      {"http://h/x\tz", false, false, "", 0, ""},
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

TEST(DownloadRules, ProgressChunk) {
  struct {
    uint64_t size;
    uint32_t chunk;
  } cases[] = {
      {0, 1},
      {5, 1},
      {19, 1},
      {50, 5},  // a tenth, at least 1 byte
      {81920, 8192},
      {81929, 8192},
      {1048576, 8192},  // at most 8,192
      {kUnknownSize, 8192},
      {5368709120ull, 8192},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgressChunk(c.size), c.chunk) << c.size;
}

TEST(DownloadRules, ProgressRangeAndPosition) {
  struct {
    uint64_t size, received;
    uint64_t range, position;
  } cases[] = {
      {50, 0, 11, 1},  // the bar starts at 1
      {50, 1, 11, 2},  // the first read is a step
      {50, 25, 11, 6},
      {50, 50, 11, 11},  // full at the end
      {51, 50, 12, 11},
      {51, 51, 12, 12},   // a short last read is a step too
      {50, 500, 11, 11},  // never past the range
      {0, 0, 1, 1},
      {1048576, 8192 * 64, 129, 65},  // one large read moves the bar as 64 small ones
      {1048576, 1048576, 129, 129},
      {6000000000ull, 3000000000ull, 732423, 366212},  // beyond 4 GiB
      {6000000000ull, 6000000000ull, 732423, 732423},
  };
  for (const auto& c : cases) {
    const uint32_t chunk = ProgressChunk(c.size);
    EXPECT_EQ(ProgressRange(c.size, chunk), c.range) << c.size;
    EXPECT_EQ(ProgressPosition(c.received, c.size, chunk), c.position)
        << c.size << " " << c.received;
  }
  EXPECT_EQ(ProgressRange(10, 0), 11u);  // a chunk of 0 never divides by zero
  EXPECT_EQ(ProgressPosition(3, 10, 0), 4u);
}

TEST(DownloadRules, PartialNames) {
  EXPECT_EQ(PartialFileName("C:\\t\\Product", 100, 5), "C:\\t\\Product.105.vxpart");
  EXPECT_EQ(PartialFileName("P", 4294967296ull + 7, 0), "P.7.vxpart");  // modulo 2^32
  EXPECT_EQ(PartialFileName("P", kUnknownSize, 1), "P.0.vxpart");
}

TEST(DownloadRules, PartialNamesAreOnlyTheClientsOwn) {
  struct {
    const char* candidate;
    const char* destName;
    bool own;
  } cases[] = {
      {"Product.105.vxpart", "Product", true},
      {"PRODUCT.1.VXPART", "Product", true},  // letter case ignored
      {"Setup.exe.42.vxpart", "Setup.exe", true},
      {"Product.info", "Product", false},  // siblings of a name without extension
      {"Product.original", "Product", false},
      {"Product", "Product", false},
      {"Product.x.vxpart", "Product", false},
      {"Product..vxpart", "Product", false},
      {"Product.1.vxpart.tmp", "Product", false},
      {"Product.exe.1.vxpart", "Product", false},  // another file's partial
      {"Setup.42.vxpart", "Setup.exe", false},
      {"Other.1.vxpart", "Product", false},
      {"XProduct.1.vxpart", "Product", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPartialNameOf(c.candidate, c.destName), c.own)
        << c.candidate << " of " << c.destName;
  }
}

TEST(DownloadRules, TransferVerdict) {
  struct {
    uint64_t announced, received, expected;
    const char* verdict;
  } cases[] = {
      {100, 100, 0, ""},
      {100, 60, 0, "Incomplete download: 60 of 100 bytes"},
      {100, 0, 0, "Incomplete download: 0 of 100 bytes"},
      {100, 120, 0,
       "Incomplete download: 120 of 100 bytes"},  // more than announced is no success either
      {100, 100, 999, ""},                        // the server's length counts
      {100, 60, 60, "Incomplete download: 60 of 100 bytes"},
      {kUnknownSize, 60, 0, ""},  // closed by the server, nothing to compare
      {kUnknownSize, 60, 100, "Incomplete download: 60 of 100 bytes"},
      {kUnknownSize, 100, 100, ""},
      {5000000000ull, 5000000000ull, 0, ""},
      {3221225472ull, 2147483648ull, 0, "Incomplete download: 2147483648 of 3221225472 bytes"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TransferVerdict(c.announced, c.received, c.expected), c.verdict)
        << c.announced << " " << c.received << " " << c.expected;
  }
}

TEST(DownloadRules, HttpStatusError) {
  EXPECT_EQ(HttpStatusError("http://h/x", 500), "http://h/x --- HTTP 500");
  EXPECT_EQ(HttpStatusError("https://h/Setup.exe", 404), "https://h/Setup.exe --- HTTP 404");
}

TEST(DownloadRules, ResolveUrlOfARedirect) {
  struct {
    const char* base;
    const char* location;
    const char* expected;
  } cases[] = {
      {"http://h:81/a/b.exe", "https://o/x", "https://o/x"},
      {"https://h/a/b.exe", "//o/x", "https://o/x"},
      {"http://h:81/a/b.exe?q=1", "/x/y.exe", "http://h:81/x/y.exe"},
      {"http://h:81/a/b.exe?q=/z/", "c.exe", "http://h:81/a/c.exe"},
      {"http://h", "c.exe", "http://h/c.exe"},
      {"http://h?q", "c.exe", "http://h/c.exe"},
      {"h/a/b", "/x", "http://h/x"},
  };
  for (const auto& c : cases) EXPECT_EQ(ResolveUrl(c.base, c.location), c.expected) << c.base << " " << c.location;
}
