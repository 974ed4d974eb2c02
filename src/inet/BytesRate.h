// The line of text a download shows beside its progress bar: received and
// total size in a unit chosen by the file's size, and the current speed
// averaged over the last four reads. Portable: the caller passes the tick
// count, so the meter never reads a clock of its own.
#pragma once

#include <cstdint>
#include <string>

class TBytesRate {
 public:
  // Megabyte mode wins over kilobyte mode; neither shows raw bytes.
  TBytesRate(bool kilobyteMode, bool megabyteMode);
  // Forgets every sample and the last speed.
  void Reset();
  // After a read: "1.5/2,000.0 KB" (or "n/m MB", or "n/m BytesArr" in raw
  // bytes), then "   -   <speed> KB/Sec" once a speed is known. `tick` is
  // the system's millisecond tick count; it may wrap around.
  std::string Update(uint64_t total, uint64_t received, uint64_t bytesThisRead, uint32_t tick);
  // Records one read and returns the speed in KB/s with two decimals,
  // averaged over the last four reads: empty until five reads were
  // recorded, then recomputed at most every 500 ms (the last speed
  // in between, also while the reads come within one tick).
  std::string RateText(uint64_t bytesThisRead, uint32_t tick);

 private:
  static constexpr int kSamples = 5;
  bool kilobyteMode_;
  bool megabyteMode_;
  uint32_t ticks_[kSamples];
  uint64_t bytes_[kSamples];
  int recorded_ = 0;  // reads recorded, counted up to kSamples
  std::string rate_;
  bool refreshed_ = false;
  uint32_t lastRefresh_ = 0;
};

// The meter for a download of `size` bytes: kilobytes above 102,400 bytes,
// megabytes above 10,485,760, raw bytes up to 102,400.
TBytesRate MeterForSize(uint64_t size);
