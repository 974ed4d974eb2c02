// Numbers as text, the way the C library's printf writes them, without the
// C library's printf: on Windows that printf brings about 25 KB of formatting
// and floating-point conversion code into every program. Portable: no
// operating system needed, no locale (the decimal point is always ".").
#pragma once

#include <cstdint>
#include <string>

// printf "%0<width>lld": the sign first, then zeros up to `width` characters
// in all; width 0 or 1 gives the plain number.
std::string DecimalText(int64_t value, int width = 0);
// printf "%0<width>llu".
std::string UnsignedText(uint64_t value, int width = 0);
// printf "%.<minDigits>llx": lower-case hexadecimal digits, zeros in front up
// to `minDigits` digits (fewer than 1 count as 1: zero is always "0").
std::string HexText(uint64_t value, int minDigits = 1);
// `text` with `fill` in front up to `width` characters; a longer text is
// returned whole. UnsignedText(v) padded with blanks is printf "%<width>llu".
std::string PadLeft(const std::string& text, size_t width, char fill = ' ');

// printf "%.<decimals>f" for every double: the exact binary value rounded to
// `decimals` places (negative counts as 0, more than 40 as 40), a tie going
// to the even digit; "-" in front of a negative value and of minus zero,
// "inf" and "nan" (with that sign) for values that are not finite.
std::string FixedText(double value, int decimals);
