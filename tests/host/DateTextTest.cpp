#include <gtest/gtest.h>

#include "common/DateText.h"

TEST(DateText, Formats) {
  struct {
    double days;
    const char* date;
    const char* dateTime;
  } cases[] = {
      {46388.0, "01-JAN-2027", "01-JAN-2027 00:00:00"},
      {46362.5, "06-DEC-2026", "06-DEC-2026 12:00:00"},
      {0.0, "30-DEC-1899", "30-DEC-1899 00:00:00"},
      {-5.0, "30-DEC-1899", "30-DEC-1899 00:00:00"},  // limited to day 0
      {60.0, "28-FEB-1900", "28-FEB-1900 00:00:00"},
      {61.0, "01-MAR-1900", "01-MAR-1900 00:00:00"},  // 1900 was no leap year
      {46388.0 - 0.4 / 86400, "31-DEC-2026", "31-DEC-2026 23:59:59"},
      {46388.0 - 0.2 / 86400000, "01-JAN-2027", "01-JAN-2027 00:00:00"},  // rounds into the next day
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDayMonYear(c.days), c.date) << c.days;
    EXPECT_EQ(FormatDayMonYearTime(" ", c.days), c.dateTime) << c.days;
  }
  EXPECT_EQ(FormatDayMonYear(10000000.0 + 5), FormatDayMonYear(10000000.0));
}

TEST(DateText, RoundTripAndNow) {
  const CivilTime t{2027, 3, 4, 5, 6, 7};
  const CivilTime back = CivilFromDays(DaysFromCivil(t));
  EXPECT_EQ(back.year, 2027);
  EXPECT_EQ(back.month, 3);
  EXPECT_EQ(back.day, 4);
  EXPECT_EQ(back.hour, 5);
  EXPECT_EQ(back.minute, 6);
  EXPECT_EQ(back.second, 7);
  EXPECT_GT(NowAsDays(), 46000.0);
  EXPECT_EQ(FormatDayMonYear(kNow).size(), 11u);
  EXPECT_NEAR(static_cast<double>(SecondsClock()), NowAsDays() * 86400.0, 2.0);
}
