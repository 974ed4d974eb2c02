#include "common/Scramble.h"

#include "common/NumberText.h"
#include "common/TextRules.h"

const char kScrambleMarker[] = "Scrambled=01";

namespace {

constexpr size_t kMarkerLength = sizeof(kScrambleMarker) - 1;

bool IsScrambled(const std::string& text) {
  return text.compare(0, kMarkerLength, kScrambleMarker) == 0;
}

// The same step scrambles and unscrambles: position i (from 1) is combined
// with the low 8 bits of i + key, the key's sign flipping at every position.
std::string Transform(const std::string& text, int key) {
  std::string out = text;
  int k = key;
  for (size_t i = 0; i < out.size(); ++i) {
    const unsigned mask = static_cast<unsigned>(static_cast<int>(i + 1) + k) & 0xFF;
    out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) ^ mask);
    k = -k;
  }
  return out;
}

}  // namespace

std::string ScrambleTextWithKey(const std::string& text, int key, bool asHex) {
  if (text.empty() || IsScrambled(text)) return text;
  const std::string result =
      kScrambleMarker + std::string(1, static_cast<char>(key)) + Transform(text, key);
  return asHex ? BytesToHex(result) : result;
}

std::string ScrambleText(const std::string& text, bool scramble, bool asHex) {
  if (scramble) return ScrambleTextWithKey(text, RandomInRange(33, 122), asHex);
  std::string plain = text;
  if (asHex && !HexToBytes(text, plain)) return text;
  if (plain.empty() || !IsScrambled(plain)) return plain;
  if (plain.size() <= kMarkerLength) return "";
  const int key = static_cast<unsigned char>(plain[kMarkerLength]);
  return Transform(plain.substr(kMarkerLength + 1), key);
}

int RandomInRange(int lo, int hi) {
  if (hi <= lo) return lo;
  // A fresh seed from the clock on every call; splitmix64 spreads it.
  uint64_t x = SeedClockTicks();
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  x ^= x >> 31;
  return lo + static_cast<int>(x % static_cast<uint64_t>(hi - lo + 1));
}

std::string RandomNumberText(int lo, int hi) { return DecimalText(RandomInRange(lo, hi)); }
