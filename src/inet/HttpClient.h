// Fetching one file per call from a web server with an HTTP GET through the
// system's Internet library (WinInet.h), into a file or into memory, on the
// calling (window) thread: the windows are served between reads, and a
// Close of the main window (DownloadAbort) stops the transfer after the
// read under way.
//
// Every request: http and https URLs (a URL without scheme gets "http://"),
// redirects followed, always fetched from the server (never from a cache),
// connect, send and receive time-outs of 30 s on every handle. A status
// other than 200 after the redirects is an error, and so is a transfer that
// ends short of its announced length: neither is ever saved as the target.
#pragma once

#include <cstdint>
#include <string>

class TProgBar;

// Whether the system reports an Internet connection. `message` is empty on
// true, else the system's text for the failure.
bool InternetConnected(std::string& message);
bool InternetConnected();

// The content length the server announces for `url`; -1 when it announces
// none, or the request fails or does not end in status 200.
int64_t HTTP_GetFileSize(const std::string& url);

// Downloads `url`. With a `destFile` the data goes to that file (the file
// appears only when the transfer is complete and checked; until then it is
// written under a partial name beside it, removed on failure) and `content`
// stays empty; without one it collects in `content` (at most 16 MB).
// `progress` (may be null) gets the range and steps, and the sizes and rate
// as its text. `expectedSize`, when not 0, is the size the caller knows the
// file has: a transfer without announced length must end there. Returns
// true on success; else `errorText` says why (the texts the user sees) and
// the same line goes to the debug channel.
// True when a download's error text says the request could not be sent at
// all (no library, no connection to the server), as opposed to a transfer
// that failed or a server that refused the file.
bool IsConnectionError(const std::string& errorText);

bool HTTP_DownloadFile(const std::string& url, const std::string& destFile, std::string& content,
                       TProgBar* progress, std::string& errorText, uint64_t expectedSize = 0);
