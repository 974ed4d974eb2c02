// Recognising a web server's HTML page where a file was expected (a missing
// setup file answered with an error page), and the message that says so.
// Portable.
#pragma once

#include <string>

// True when the first 1,000 characters hold "<TITLE", then "404", then
// "</TITLE>", or "<HTML>", "<HEAD>", "<TITLE>", "</TITLE>" in this order,
// comparing the first occurrence of each (letter case ignored; so any
// ordinary HTML page counts). When `fileName` names a file that can be
// opened, its first 1,000 bytes are looked at instead of `text`.
bool IsHtmlErrorPage(const std::string& fileName, const std::string& text);

// The "404 File Not Found" message (mark-up) for `url`.
std::string NotFoundMessage(const std::string& url);

// `defaultMessage`, or NotFoundMessage when the page is an error page; with
// `iisHint`, and "IIS" in the caller's `text` (not the file's), a hint on
// the MIME types such a server needs follows.
std::string HtmlErrorMessage(const std::string& fileName, const std::string& text,
                             const std::string& url, const std::string& defaultMessage,
                             bool iisHint);
