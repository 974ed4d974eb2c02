#include "common/DateText.h"

#include <cmath>
#include <ctime>

#include "common/NumberText.h"
#include "common/VSUB.h"

namespace {

constexpr char kMonths[] = "||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|";
constexpr double kMaxDays = 10000000.0;
// Day 0 of the date type, 30 December 1899, as days since 1 March of year 0
// in the proleptic Gregorian calendar used below.
constexpr long kEpochShift = 693899;

double Limited(double days) { return days < 0 ? 0 : (days > kMaxDays ? kMaxDays : days); }

// Days since 1 March 0000 to a civil date (Howard Hinnant's algorithm).
void DateFromSerial(long serial, int& year, int& month, int& day) {
  const long era = serial / 146097;
  const long dayOfEra = serial - era * 146097;
  const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long monthIndex = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

long SerialFromDate(int year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const long era = year / 400;
  const long yearOfEra = year - era * 400;
  const long dayOfYear = (153L * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra;
}

}  // namespace

CivilTime CivilFromDays(double days) {
  days = Limited(days);
  // Whole milliseconds first, so 23:59:59.9996 does not read as second 60.
  const double whole = std::floor(days);
  long long ms = std::llround((days - whole) * 86400000.0);
  long serial = static_cast<long>(whole) + kEpochShift;
  if (ms >= 86400000LL) {
    ms -= 86400000LL;
    ++serial;
  }
  CivilTime t{};
  DateFromSerial(serial, t.year, t.month, t.day);
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  return t;
}

double DaysFromCivil(const CivilTime& t) {
  return static_cast<double>(SerialFromDate(t.year, t.month, t.day) - kEpochShift) +
         (t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0;
}

double NowAsDays() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (!local) return 0;
  return DaysFromCivil({local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, local->tm_hour, local->tm_min,
                        local->tm_sec});
}

int64_t SecondsClock() { return std::llround(NowAsDays() * 86400.0); }

std::string FormatDayMonYear(double days) {
  if (days == kNow) days = NowAsDays();
  const CivilTime t = CivilFromDays(days);
  return DecimalText(t.day, 2) + "-" + SUB::Item(kMonths, t.month) + "-" + DecimalText(t.year, 4);
}

std::string FormatDayMonYearTime(const std::string& separator, double days) {
  if (days == kNow) days = NowAsDays();
  const CivilTime t = CivilFromDays(days);
  const std::string time =
      DecimalText(t.hour, 2) + ":" + DecimalText(t.minute, 2) + ":" + DecimalText(t.second, 2);
  return FormatDayMonYear(days) + separator + time;
}
