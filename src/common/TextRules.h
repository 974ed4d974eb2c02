// Text rules shared by every unit: searching, replacing, trimming, comparing,
// hexadecimal text and number parsing. Portable: no operating system needed.
#pragma once

#include <cstdint>
#include <string>

// Upper-cases with the platform's ANSI rules (the system's on Windows, ASCII
// and Latin-1 letters on the host). Defined once per platform.
std::string UpperText(const std::string& text);

// Removes characters up to and including the blank (codes 0..32) at both ends.
std::string TrimText(const std::string& text);

// Position of `find` in `text` from `start`, or std::string::npos.
size_t FindText(const std::string& text, const std::string& find, bool ignoreCase, size_t start = 0);
bool ContainsText(const std::string& text, const std::string& find, bool ignoreCase);

// Replaces every occurrence from left to right; the search resumes after the
// inserted replacement, so a replacement holding `find` never loops. An empty
// text or empty `find` returns the text unchanged.
std::string ReplaceText(const std::string& text, const std::string& find,
                        const std::string& replacement, bool ignoreCase);
// ReplaceText with the result trimmed.
std::string ReplaceTextTrimmed(const std::string& text, const std::string& find,
                               const std::string& replacement, bool ignoreCase);

bool StartsWithText(const std::string& prefix, const std::string& text, bool ignoreCase);
bool EndsWithText(const std::string& suffix, const std::string& text, bool ignoreCase);

// Removes every blank that stands directly before an "=", so "key  =v" and
// "key=v" read alike in key lookups.
std::string RemoveBlanksBeforeEquals(const std::string& text);

// Both texts trimmed and upper-cased, then compared.
bool SameTrimmedText(const std::string& a, const std::string& b);

// Two backslashes and "n" become CR LF, two backslashes and "t" a tab
// (case-sensitive); then "<P>" becomes CR LF and "<T>" a tab, in any case.
std::string ExpandEscapes(const std::string& text);

// A byte count in KB (1,024) or MB (1,048,576) with "." as decimal point and
// 1..4 decimals (other counts give 1); decimals <= 0 round the quotient up
// to a whole number. With separators a "," stands between every three
// digits of the whole part. Independent of the system's locale.
std::string FormatSizeKB(double bytes, int decimals, bool separators);
std::string FormatSizeMB(double bytes, int decimals, bool separators);

// Every byte as two upper-case hexadecimal digits, optionally each preceded by
// "0x", optionally each followed by a blank with one more blank after every
// eighth byte.
std::string BytesToHex(const std::string& bytes, bool withPrefix = false, bool withBlanks = false);
// Reads two hexadecimal digits at a time (either case). Blanks and "0x"
// prefixes as written by BytesToHex are skipped. False on any other
// character or an odd digit count; `bytes` then holds what was read so far.
bool HexToBytes(const std::string& hex, std::string& bytes);

// Whole decimal number with an optional sign and surrounding blanks. False
// (value untouched) when the text is not such a number or overflows 64 bits.
bool ParseInt64(const std::string& text, int64_t& value);
int64_t TextToInt64(const std::string& text, int64_t fallback);

// The part after the last "\", "/" or ":" of a path.
std::string ExtractFileName(const std::string& path);
// The part before the last "\", "/" or ":" (the folder, without a closing
// separator unless it is a drive root such as "C:\").
std::string ExtractFileDir(const std::string& path);
// The name with its last extension (from the last "." of the file-name
// part on) removed.
std::string RemoveLastExtension(const std::string& name);
