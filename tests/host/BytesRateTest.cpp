// The download's progress line: sizes in the unit the file's size picks, and
// the speed over the last four reads.
#include <gtest/gtest.h>

#include <string>

#include "inet/BytesRate.h"

TEST(BytesRate, SizePartByMode) {
  struct {
    uint64_t total, received;
    const char* expected;
  } cases[] = {
      {2048000, 1536, "1.5/2,000.0 KB"},
      {102400, 50, "50/102400 BytesArr"},            // up to 100 KB: raw bytes
      {102401, 1024, "1.0/100.0 KB"},                // just above: kilobytes
      {4677427, 467763, "456.8/4,567.8 KB"},         // grouping only from four digits on
      {10485760, 10485760, "10,240.0/10,240.0 KB"},  // 10 MB itself is still KB
      {10485761, 5242880, "5.0/10.0 MB"},
      {5368709120ull, 3221225472ull, "3,072.0/5,120.0 MB"},  // beyond 4 GiB
  };
  for (const auto& c : cases) {
    TBytesRate meter = MeterForSize(c.total);
    EXPECT_EQ(meter.Update(c.total, c.received, 10, 1000), c.expected) << c.total;
  }
}

TEST(BytesRate, MegabytesWinOverKilobytesAndRawCountsAre64Bit) {
  EXPECT_EQ(TBytesRate(true, true).Update(2097152, 1048576, 1, 1), "1.0/2.0 MB");
  EXPECT_EQ(TBytesRate(false, false).Update(5000000000ull, 4294967296ull, 1, 1),
            "4294967296/5000000000 BytesArr");
}

// Four reads of 1,024 bytes after the first, 100 ms apart: 4 KB in 0.4 s.
TEST(BytesRate, SpeedFromTheFifthUpdate) {
  TBytesRate meter(true, false);
  uint64_t received = 0;
  for (uint32_t tick = 1000; tick <= 1300; tick += 100) {
    received += 1024;
    const std::string line = meter.Update(1048576, received, 1024, tick);
    EXPECT_EQ(line.find("KB/Sec"), std::string::npos) << "no speed before five updates: " << line;
  }
  received += 1024;
  EXPECT_EQ(meter.Update(1048576, received, 1024, 1400), "5.0/1,024.0 KB   -   10.00 KB/Sec");
}

TEST(BytesRate, SpeedIsOverTheFourNewestReads) {
  struct {
    const char* edge;
    uint64_t bytes[5];
    uint32_t ticks[5];
    const char* expected;
  } cases[] = {
      // Also: a tick count of 0 is a tick like any other, and the first speed
      // needs no 500 ms since a refresh that never was.
      {"the oldest read only opens the interval",
       {1000000, 1024, 1024, 1024, 1024},
       {0, 100, 200, 300, 400},
       "10.00"},
      {"rounded to two decimals", {0, 250, 250, 250, 250}, {0, 250, 500, 750, 1000}, "0.98"},
      {"ticks across the wrap of the counter",
       {0, 1024, 1024, 1024, 1024},
       {4294967040u, 4294967140u, 4294967240u, 44, 144},
       "10.00"},
      {"reads of 2 GiB count whole",
       {0, 2147483648ull, 2147483648ull, 0, 0},
       {0, 250, 500, 750, 1000},
       "4194304.00"},
      {"all reads within one tick: no speed yet",
       {0, 1024, 1024, 1024, 1024},
       {5000, 5000, 5000, 5000, 5000},
       ""},
  };
  for (const auto& c : cases) {
    TBytesRate meter(true, false);
    std::string rate;
    for (int k = 0; k < 5; ++k) rate = meter.RateText(c.bytes[k], c.ticks[k]);
    EXPECT_EQ(rate, c.expected) << c.edge;
  }
}

TEST(BytesRate, SpeedRefreshedAtMostEvery500Ms) {
  TBytesRate meter(true, false);
  for (uint32_t tick = 1000; tick <= 1400; tick += 100) meter.RateText(1024, tick);
  ASSERT_EQ(meter.RateText(0, 1400), "10.00");  // a sixth sample within the same tick
  // Much faster reads within 500 ms of the last refresh keep the shown speed.
  EXPECT_EQ(meter.RateText(1048576, 1700), "10.00");
  EXPECT_EQ(meter.RateText(1048576, 1900), "10.00");  // exactly 500 ms: not yet
  const std::string refreshed = meter.RateText(1048576, 1901);
  EXPECT_NE(refreshed, "10.00");
  EXPECT_FALSE(refreshed.empty());
  EXPECT_EQ(meter.RateText(1048576, 2000), refreshed);
}

TEST(BytesRate, ResetForgetsSamplesAndSpeed) {
  TBytesRate meter(false, false);
  for (uint32_t tick = 100; tick <= 500; tick += 100) meter.RateText(1024, tick);
  ASSERT_EQ(meter.RateText(1024, 600), "10.00");
  meter.Reset();
  for (uint32_t tick = 610; tick <= 640; tick += 10) {
    EXPECT_EQ(meter.RateText(1024, tick), "") << "four updates after the reset, tick " << tick;
  }
  // The fifth shows the new speed at once, although the old one was computed
  // only 50 ms before.
  EXPECT_EQ(meter.RateText(1024, 650), "100.00");
}
