// The line of text a download shows beside its progress bar: received and
// total size in a unit chosen by the file's size, and the current speed
// averaged over the last four reads. Portable: the caller passes the tick
// count.
#pragma once

#include <cstdint>
#include <string>

class TBytesRate {
 public:
  // Megabyte mode wins over kilobyte mode; neither shows raw bytes.
  TBytesRate(bool kilobyteMode, bool megabyteMode);
  void Reset();
  // After a read: "1.5/2,000.0 KB", then "   -   <speed> KB/Sec" once the
  // speed is known (from the fifth update on). `tick` is the system's
  // millisecond tick count.
  std::string Update(uint64_t total, uint64_t received, uint64_t bytesThisRead, uint32_t tick);
  // The speed in KB/s with two decimals over the last four reads,
  // recomputed at most every 500 ms; empty until five updates were made.
  std::string RateText(uint64_t bytesThisRead, uint32_t tick);

 private:
  static constexpr int kSamples = 5;
  bool kilobyteMode_;
  bool megabyteMode_;
  uint32_t ticks_[kSamples];
  uint64_t bytes_[kSamples];
  std::string rate_;
  uint32_t lastRefresh_ = 0;
};

// The meter for a download of `size` bytes: kilobytes above 102,400 bytes,
// megabytes above 10,485,760.
TBytesRate MeterForSize(uint64_t size);
