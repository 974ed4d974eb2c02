// Date texts of the program: "06-DEC-2026" and "06-DEC-2026 14:03:05", from
// days since 30 December 1899 (the fraction is the time of day). Portable.
#pragma once

#include <cstdint>
#include <string>

// Stands for the current local time in the formatting functions.
constexpr double kNow = -1;

// Local date and time as days since 30 December 1899 (whole seconds).
double NowAsDays();
// Seconds since 30 December 1899.
int64_t SecondsClock();

// Two-digit day, "-", the month's three-letter abbreviation, "-", four-digit
// year. Dates are limited to 0 .. 10,000,000 days first.
std::string FormatDayMonYear(double days);
// FormatDayMonYear, the separator, then "HH:NN:SS".
std::string FormatDayMonYearTime(const std::string& separator, double days);

struct CivilTime {
  int year, month, day, hour, minute, second;
};
// Calendar fields of a day count (limited as above), and back.
CivilTime CivilFromDays(double days);
double DaysFromCivil(const CivilTime& time);
