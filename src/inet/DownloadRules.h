// The download's decisions that need no system: URLs (scheme, joining,
// taking apart), the read size and progress range, the partial file's name,
// and whether a finished transfer is complete. Portable.
#pragma once

#include <cstdint>
#include <string>

// "http://" in front of a URL that starts with neither "http://" nor
// "https://" (letter case ignored); other URLs unchanged.
std::string CompleteUrlScheme(const std::string& url);

// The web folder and the file name joined by exactly one "/" (the folder may
// end in "/" or not), the file name percent-encoded (%XX, upper-case, byte by
// byte) where a URL cannot carry a character as it is: blanks, control and
// non-ASCII bytes, and " < > \ ^ ` { | } % # ? /. The folder stays as the
// publisher wrote it.
std::string JoinUrl(const std::string& folder, const std::string& fileName);

// The last component of the URL (after every "/" became "\"), without a
// query or fragment: the file name messages show.
std::string UrlFileName(const std::string& url);

// A URL taken apart for a request. A URL without scheme is taken as http;
// the port defaults to 80 or 443. False for another scheme ("ftp://"), a host
// that is not a plain name or IPv4 address (empty, blanks, IPv6 literals), a
// user part ("user@host"), a port outside 1..65535, and control bytes
// anywhere. The path keeps its query, loses its fragment, and has the bytes a
// request line cannot carry (blanks, non-ASCII...) percent-encoded; "%"
// stays, so escapes already there are kept.
struct UrlParts {
  bool secure = false;  // https
  std::string host;
  int port = 0;
  std::string path;  // with the query; "/" when the URL has none
};
bool SplitUrl(const std::string& url, UrlParts& parts);

// Where a redirect's Location leads from `base`: an absolute URL as it is,
// "//host/x" with base's scheme, "/x" on base's host, "x" beside base's
// last path component (query and fragment of base dropped).
std::string ResolveUrl(const std::string& base, const std::string& location);

// The size of a download whose server announces none (a file of exactly
// this many bytes reads as one without a length).
constexpr uint64_t kUnknownSize = 4294967295u;

// The progress unit: a tenth of the size, at least 1 byte and at most 8,192.
uint32_t ProgressChunk(uint64_t size);
// The bar's range: one step per unit and one more, ceil(size / chunk) + 1
// (a chunk of 0 counts as 1).
uint64_t ProgressRange(uint64_t size, uint32_t chunk);
// The bar's position after `received` bytes: 1 + ceil(received / chunk), the
// steps chunk-sized reads would have made, never beyond the range; all
// `size` bytes give the full range. However large the reads, the bar shows
// the same fraction.
uint64_t ProgressPosition(uint64_t received, uint64_t size, uint32_t chunk);

// The name a download is written under until it is complete:
// destFile + "." + (size + dosDate) modulo 2^32 in decimal + ".vxpart".
std::string PartialFileName(const std::string& destFile, uint64_t size, uint32_t dosDate);
// True when the bare file name `candidate` is such a partial name of the
// bare file name `destName` (letter case ignored). Only these are deleted
// before a new download: never a sibling such as "Product.info" of "Product".
bool IsPartialNameOf(const std::string& candidate, const std::string& destName);

// url + " --- HTTP " + status.
std::string HttpStatusError(const std::string& url, unsigned status);
// "Incomplete download: <received> of <expected> bytes".
std::string IncompleteDownloadText(uint64_t received, uint64_t expected);
// Empty when the transfer is complete: it reached the announced length, or,
// without one (kUnknownSize), the size the caller expects (0: none known).
std::string TransferVerdict(uint64_t announced, uint64_t received, uint64_t expected);
