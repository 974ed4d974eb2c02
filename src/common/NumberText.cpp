#include "common/NumberText.h"

#include <cstring>
#include <vector>

namespace {

constexpr int kMaxDecimals = 40;

// Digits of `value`, most significant first, without padding.
std::string Digits(uint64_t value, unsigned base) {
  static const char kDigits[] = "0123456789abcdef";
  char text[24];
  char* at = text + sizeof text;
  do {
    *--at = kDigits[value % base];
    value /= base;
  } while (value != 0);
  return std::string(at, text + sizeof text);
}

// A whole number of any size, exact, in limbs of nine decimal digits (least
// significant first): every double is a 53-bit whole number times a power of
// two, and its decimal digits come from such a number times 2^e or 5^e.
class BigDecimal {
 public:
  explicit BigDecimal(uint64_t value) {
    do {
      limbs_.push_back(static_cast<uint32_t>(value % kBase));
      value /= kBase;
    } while (value != 0);
  }

  // Multiplies by factor^count; factor 2 or 5.
  void MultiplyByPower(uint32_t factor, int count) {
    // The largest power of the factor below 2^32 keeps every step within 64 bits.
    const int perStep = factor == 2 ? 31 : 13;
    while (count > 0) {
      const int steps = count < perStep ? count : perStep;
      uint32_t multiplier = 1;
      for (int i = 0; i < steps; ++i) multiplier *= factor;
      Multiply(multiplier);
      count -= steps;
    }
  }

  std::string Text() const {
    std::string text = Digits(limbs_.back(), 10);
    for (size_t i = limbs_.size() - 1; i-- > 0;) {
      const std::string limb = Digits(limbs_[i], 10);
      text.append(9 - limb.size(), '0');
      text += limb;
    }
    return text;
  }

 private:
  static constexpr uint32_t kBase = 1000000000;

  void Multiply(uint32_t multiplier) {
    uint64_t carry = 0;
    for (uint32_t& limb : limbs_) {
      const uint64_t product = static_cast<uint64_t>(limb) * multiplier + carry;
      limb = static_cast<uint32_t>(product % kBase);
      carry = product / kBase;
    }
    for (; carry != 0; carry /= kBase) limbs_.push_back(static_cast<uint32_t>(carry % kBase));
  }

  std::vector<uint32_t> limbs_;
};

// Adds one to the last digit of a text of decimal digits and "." (carrying
// over the point); a carry out of the first digit puts a "1" in front.
void IncrementLastDigit(std::string& number) {
  for (size_t i = number.size(); i-- > 0;) {
    if (number[i] == '.') continue;
    if (number[i] != '9') {
      ++number[i];
      return;
    }
    number[i] = '0';
  }
  number.insert(number.begin(), '1');
}

// Keeps `decimals` of the fraction digits, rounding by the dropped ones: up
// when they are more than half, to the even digit when exactly half.
std::string RoundedNumber(const std::string& whole, const std::string& fraction, int decimals) {
  std::string number = whole;
  if (decimals > 0) number += "." + fraction.substr(0, decimals);
  const size_t kept = static_cast<size_t>(decimals);
  if (fraction.size() < kept) return number.append(kept - fraction.size(), '0');
  if (fraction.size() == kept) return number;
  const char first = fraction[kept];
  const bool moreAfterFirst = fraction.find_first_not_of('0', kept + 1) != std::string::npos;
  const bool lastIsOdd = (number.back() - '0') % 2 == 1;
  if (first > '5' || (first == '5' && (moreAfterFirst || lastIsOdd))) IncrementLastDigit(number);
  return number;
}

// The digits of a finite, non-negative double's exact value, split at the point.
void ExactDigits(uint64_t bits, std::string& whole, std::string& fraction) {
  const int exponentField = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  // value = mantissa * 2^exponent exactly; subnormals have no hidden bit.
  int exponent = exponentField == 0 ? -1074 : exponentField - 1075;
  if (exponentField != 0) mantissa |= uint64_t{1} << 52;
  BigDecimal number(mantissa);
  if (exponent >= 0) {
    number.MultiplyByPower(2, exponent);
    whole = number.Text();
    fraction.clear();
    return;
  }
  // mantissa / 2^s = mantissa * 5^s / 10^s: the digits of mantissa * 5^s with
  // the point s places from the right.
  const size_t places = static_cast<size_t>(-exponent);
  number.MultiplyByPower(5, -exponent);
  std::string digits = number.Text();
  if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
  whole = digits.substr(0, digits.size() - places);
  fraction = digits.substr(digits.size() - places);
}

}  // namespace

std::string UnsignedText(uint64_t value, int width) {
  return PadLeft(Digits(value, 10), width > 0 ? static_cast<size_t>(width) : 0, '0');
}

std::string DecimalText(int64_t value, int width) {
  if (value >= 0) return UnsignedText(static_cast<uint64_t>(value), width);
  // Negating in unsigned arithmetic keeps the smallest int64 defined.
  const uint64_t magnitude = 0 - static_cast<uint64_t>(value);
  return "-" + UnsignedText(magnitude, width - 1);
}

std::string HexText(uint64_t value, int minDigits) {
  return PadLeft(Digits(value, 16), minDigits > 1 ? static_cast<size_t>(minDigits) : 1, '0');
}

std::string PadLeft(const std::string& text, size_t width, char fill) {
  return text.size() >= width ? text : std::string(width - text.size(), fill) + text;
}

std::string FixedText(double value, int decimals) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const std::string sign = (bits >> 63) != 0 ? "-" : "";
  bits &= ~(uint64_t{1} << 63);
  const uint64_t infinityBits = uint64_t{0x7FF} << 52;
  if (bits == infinityBits) return sign + "inf";
  if (bits > infinityBits) return sign + "nan";
  std::string whole, fraction;
  ExactDigits(bits, whole, fraction);
  const int kept = decimals < 0 ? 0 : (decimals > kMaxDecimals ? kMaxDecimals : decimals);
  return sign + RoundedNumber(whole, fraction, kept);
}
