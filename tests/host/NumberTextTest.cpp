// The stub's own number formatting must write exactly what the C library's
// printf writes for the same format: the host's printf is the reference here
// (it rounds like the Windows one: exact binary value, ties to even).
#include <gtest/gtest.h>

#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/NumberText.h"

namespace {

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char text[2048];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}

}  // namespace

TEST(NumberText, DecimalLikePrintfZeroPadded) {
  const int64_t values[] = {0,  7,   -7,     42,        -42,  999, 1000, -1000, 2026, 123456789,
                            -1, 100, 99999, INT64_MAX, INT64_MIN, INT32_MIN, 4294967296LL};
  for (int64_t value : values) {
    for (int width = 0; width <= 6; ++width) {
      EXPECT_EQ(DecimalText(value, width), Printf("%0*" PRId64, width, value))
          << value << " width " << width;
    }
  }
}

TEST(NumberText, UnsignedAndHexLikePrintf) {
  const uint64_t values[] = {0, 1, 9, 10, 0x409, 0xFFFF, 4294967295u, 4294967296u, UINT64_MAX};
  for (uint64_t value : values) {
    for (int width = 0; width <= 6; ++width) {
      EXPECT_EQ(UnsignedText(value, width), Printf("%0*" PRIu64, width, value)) << value;
      // printf writes no digit for zero at precision 0; HexText always writes one.
      EXPECT_EQ(HexText(value, width), Printf("%.*" PRIx64, width > 0 ? width : 1, value)) << value;
      EXPECT_EQ(PadLeft(UnsignedText(value), static_cast<size_t>(width)),
                Printf("%*" PRIu64, width, value))
          << value;
    }
  }
}

TEST(NumberText, FixedKnownCases) {
  struct {
    double value;
    int decimals;
    const char* expected;
  } cases[] = {
      {0.125, 2, "0.12"},      // exact tie: to the even digit
      {0.375, 2, "0.38"},      // exact tie, odd digit before it: up
      {2.5, 0, "2"},           // tie with no decimals: the whole part is even
      {3.5, 0, "4"},           // ... odd: up
      {0.15, 1, "0.1"},        // 0.15 is stored a little below: no tie, down
      {9.995, 2, "9.99"},      // stored below as well
      {9.9951, 2, "10.00"},    // the carry runs into a new whole digit
      {-0.0, 1, "-0.0"},       // minus zero keeps its sign
      {-0.01, 1, "-0.0"},      // so does a negative value rounding to zero
      {38.14697265625, 1, "38.1"},
      {1234595.0, 0, "1234595"},
      {5e-324, 4, "0.0000"},   // the smallest subnormal
      {1e22, 1, "10000000000000000000000.0"},  // beyond 64 bits, still exact
      {0.1, 20, "0.10000000000000000555"},    // the exact binary value shows
      {1.5, -3, "2"},          // negative decimals count as none
      {INFINITY, 2, "inf"},
      {-INFINITY, 0, "-inf"},
      {NAN, 1, "nan"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FixedText(c.value, c.decimals), c.expected) << c.value << " decimals " << c.decimals;
  }
}

// Every decimal count the product uses, across byte counts and their KB/MB
// quotients, ties, and doubles of every magnitude from a fixed seed.
TEST(NumberText, FixedLikePrintf) {
  std::vector<double> values = {0.0,        0.5,         1.5,          0.0005,     0.00049999,
                                1023.95,    10590617.6,  5e12,         DBL_MAX,    DBL_MIN,
                                DBL_TRUE_MIN, 4294967295.5, 9007199254740993.0, 1e-5, 123.45};
  std::mt19937_64 random(20261211);
  for (int i = 0; i < 500; ++i) {
    const uint64_t bytes = random() >> (random() % 64);
    values.push_back(static_cast<double>(bytes) / 1024.0);
    values.push_back(static_cast<double>(bytes) / 1048576.0);
    const uint64_t bits = random();
    double any;
    std::memcpy(&any, &bits, sizeof any);
    if (std::isfinite(any)) values.push_back(any);
  }
  for (int halves = 0; halves < 200; ++halves) values.push_back(halves / 8.0);
  for (double value : values) {
    for (int decimals = 0; decimals <= 9; ++decimals) {
      ASSERT_EQ(FixedText(value, decimals), Printf("%.*f", decimals, value))
          << Printf("%a", value) << " decimals " << decimals;
    }
  }
}
