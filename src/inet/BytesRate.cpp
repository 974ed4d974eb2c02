#include "inet/BytesRate.h"

#include "common/NumberText.h"
#include "common/TextRules.h"

namespace {

constexpr uint32_t kRefreshMs = 500;

// Kilobytes per second with two decimals. Formatted from whole hundredths
// so no locale can change the decimal point.
std::string SpeedText(uint64_t bytes, uint32_t elapsedMs) {
  const double perSecond = static_cast<double>(bytes) * 1000.0 / elapsedMs / 1024.0;
  const double scaled = perSecond * 100.0 + 0.5;
  // A bound far above any real speed keeps the conversion defined.
  const auto hundredths = static_cast<unsigned long long>(scaled < 1e15 ? scaled : 1e15);
  return UnsignedText(hundredths / 100) + "." + UnsignedText(hundredths % 100, 2);
}

}  // namespace

TBytesRate::TBytesRate(bool kilobyteMode, bool megabyteMode)
    : kilobyteMode_(kilobyteMode), megabyteMode_(megabyteMode) {
  Reset();
}

void TBytesRate::Reset() {
  for (int k = 0; k < kSamples; ++k) {
    ticks_[k] = 0;
    bytes_[k] = 0;
  }
  recorded_ = 0;
  rate_.clear();
  refreshed_ = false;
  lastRefresh_ = 0;
}

std::string TBytesRate::RateText(uint64_t bytesThisRead, uint32_t tick) {
  for (int k = 0; k + 1 < kSamples; ++k) {
    ticks_[k] = ticks_[k + 1];
    bytes_[k] = bytes_[k + 1];
  }
  ticks_[kSamples - 1] = tick;
  bytes_[kSamples - 1] = bytesThisRead;
  if (recorded_ < kSamples) ++recorded_;
  // Unsigned differences stay right across the tick count's wrap.
  const uint32_t elapsed = tick - ticks_[0];
  const bool due = !refreshed_ || tick - lastRefresh_ > kRefreshMs;
  if (recorded_ < kSamples || elapsed == 0 || !due) return rate_;
  // The oldest sample only marks the start of the interval: the four newer
  // reads are what arrived within it.
  uint64_t bytes = 0;
  for (int k = 1; k < kSamples; ++k) bytes += bytes_[k];
  rate_ = SpeedText(bytes, elapsed);
  refreshed_ = true;
  lastRefresh_ = tick;
  return rate_;
}

std::string TBytesRate::Update(uint64_t total, uint64_t received, uint64_t bytesThisRead,
                               uint32_t tick) {
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
