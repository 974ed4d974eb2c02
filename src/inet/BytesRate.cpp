#include "inet/BytesRate.h"

#include <cstdio>

#include "common/TextRules.h"

TBytesRate::TBytesRate(bool kilobyteMode, bool megabyteMode)
    : kilobyteMode_(kilobyteMode), megabyteMode_(megabyteMode) {
  Reset();
}

void TBytesRate::Reset() {
  for (int k = 0; k < kSamples; ++k) {
    ticks_[k] = 0;
    bytes_[k] = 0;
  }
  rate_.clear();
  lastRefresh_ = 0;
}

std::string TBytesRate::RateText(uint64_t bytesThisRead, uint32_t tick) {
  for (int k = 0; k + 1 < kSamples; ++k) {
    ticks_[k] = ticks_[k + 1];
    bytes_[k] = bytes_[k + 1];
  }
  ticks_[kSamples - 1] = tick;
  bytes_[kSamples - 1] = bytesThisRead;
  const uint32_t elapsed = tick - ticks_[0];
  uint64_t bytes = 0;
  for (int k = 1; k < kSamples; ++k) bytes += bytes_[k];
  if (ticks_[0] != 0 && elapsed != 0 && tick - lastRefresh_ > 500) {
    lastRefresh_ = tick;
    const double speed = static_cast<double>(bytes) / (elapsed / 1000.0) / 1024.0;
    char text[48];
    snprintf(text, sizeof text, "%.2f", speed);
    rate_ = text;
  }
  return rate_;
}

std::string TBytesRate::Update(uint64_t total, uint64_t received, uint64_t bytesThisRead, uint32_t tick) {
  std::string text;
  if (megabyteMode_) {
    text = FormatSizeMB(static_cast<double>(received), 1, true) + "/" +
           FormatSizeMB(static_cast<double>(total), 1, true) + " MB";
  } else if (kilobyteMode_) {
    text = FormatSizeKB(static_cast<double>(received), 1, true) + "/" +
           FormatSizeKB(static_cast<double>(total), 1, true) + " KB";
  } else {
    text = std::to_string(received) + "/" + std::to_string(total) + " BytesArr";
  }
  const std::string rate = RateText(bytesThisRead, tick);
  return rate.empty() ? text : text + "   -   " + rate + " KB/Sec";
}

TBytesRate MeterForSize(uint64_t size) { return TBytesRate(size > 102400, size > 10485760); }
