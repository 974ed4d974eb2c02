// The web stub's and the setup run's small text rules. Portable.
#pragma once

#include <cstdint>
#include <string>

// The setup file's size in bytes from the package's size item; 0 when the
// item is not a whole non-negative decimal number.
uint64_t WebFileBytes(const std::string& webFileSize);

// The download question: every "<SIZE>" (case-sensitive) of `question`
// replaced by the setup file's size in megabytes (FormatMegabytes) of
// WebFileBytes.
std::string DownloadQuestion(const std::string& question, const std::string& webFileSize);

// The shortcut removal after a successful update deletes only what is a
// shortcut: an absolute path ("C:\...") ending in ".lnk" (letter case
// ignored), with no ".." component, stream or device name.
bool IsRemovableShortcut(const std::string& path);
