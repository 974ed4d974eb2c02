// Path texts in the ANSI code page: backslash runs, trailing backslashes and
// relative steps. In a double-byte code page the second byte of a character
// may be 0x5C, the backslash, so every rule here walks the text from its
// start with the code page's lead-byte test. Portable: the test is passed in.
#pragma once

#include <string>

// True when the byte begins a double-byte character in the current ANSI code
// page. Single-byte code pages have none.
using LeadByteTest = bool (*)(unsigned char byte);
bool NoLeadBytes(unsigned char byte);

// Reduces every run of backslashes to one, except: the first character never
// changes (so "\\server" keeps its two), a run right after the character that
// encloses the whole text (a quote or list separator) keeps two (a quoted
// network path), and a backslash that is the second byte of a double-byte
// character is not a backslash. Texts shorter than 3 characters are returned
// as they are.
std::string CollapseBackslashes(const std::string& text, LeadByteTest isLeadByte);

// Without one trailing backslash that is not the second byte of a double-byte
// character; texts of 2 characters or fewer ("C:", "\") stay as they are.
std::string WithoutTrailingBackslash(const std::string& text, LeadByteTest isLeadByte);
// With a trailing backslash added when it has none; an empty text stays empty.
std::string WithTrailingBackslash(const std::string& text, LeadByteTest isLeadByte);

// The folder part of a path, without a trailing backslash: "C:\Users" for
// "C:\Users\Ann\", "C:" for "C:\ProgramData"; empty when the path has no
// separator.
std::string ParentFolder(const std::string& path, LeadByteTest isLeadByte);

// True when the text holds "\.." or "..\", a step a full path must resolve.
bool HasRelativeStep(const std::string& text);

// The full path of `path` with its "." and ".." steps removed: a path that is
// not absolute is taken relative to `baseFolder` (a full path), one that
// begins with a single backslash relative to the root of `baseFolder`. A ".."
// never climbs above the root ("C:\" or "\\server\share"). A path enclosed
// in double quotes is resolved inside them. Empty when the path is empty.
std::string ResolveFullPath(const std::string& path, const std::string& baseFolder,
                            LeadByteTest isLeadByte);
