// Tokens and the program's text scrambling: Descramble and SplitTokenText of
// any text, and round trips where the answer is known: a token scrambled
// by the authoring tool's routine descrambles to itself, a text scrambled by
// ScrambleText unscrambles to itself, and a token text built around a
// scrambled token splits into that token and the rest.
#include <functional>

#include "FuzzSupport.h"
#include "common/Scramble.h"
#include "package/PackageReader.h"

namespace {

// Random bytes for the scrambling, taken from the input so a finding
// reproduces.
std::function<unsigned()> BytesFrom(FuzzedDataProvider& input) {
  return [&input] { return static_cast<unsigned>(input.ConsumeIntegral<uint8_t>()); };
}

void AnyText(const std::string& text) {
  bool ok = false;
  const std::string token = Descramble(text, ok);
  if (!ok) {
    FUZZ_CHECK(!SameToken(text, text), "a token failing its check matched itself");
    return;
  }
  FUZZ_CHECK(SameToken(text, text), "a sound token did not match itself");
  if (text.find('|') != std::string::npos) return;
  std::string remainder, split;
  bool splitOk = false;
  SplitTokenText("x|" + text + "|a|b|rest", split, remainder, &splitOk);
  FUZZ_CHECK(splitOk && split == token && remainder == "rest", "split of a sound token text");
}

void TokenRoundTrip(FuzzedDataProvider& input) {
  const std::string token = input.ConsumeRandomLengthString(64);
  const size_t totalBytes = input.ConsumeIntegralInRange<size_t>(0, 64);
  const std::string scrambled = ScrambleToken(token, BytesFrom(input), totalBytes);
  bool ok = false;
  FUZZ_CHECK(Descramble(scrambled, ok) == token && ok, "a scrambled token did not descramble to itself");
  const std::string again = ScrambleToken(token, BytesFrom(input), totalBytes);
  FUZZ_CHECK(SameToken(scrambled, again), "two scramblings of one token did not match");
  const std::string other = input.ConsumeRandomLengthString(64);
  FUZZ_CHECK(SameToken(scrambled, ScrambleToken(other, BytesFrom(input))) == (other == token),
             "tokens matched though different, or differed though equal");

  // The same token in a token text, plain and scrambled as a whole.
  // Whatever stands before the first "|" is dropped, unless it makes the
  // whole text a scrambled one.
  std::string before = input.ConsumeRandomLengthString(16);
  if (before.find('|') != std::string::npos || before.compare(0, 12, kScrambleMarker) == 0) before.clear();
  const std::string rest = input.ConsumeRandomLengthString(64);
  std::string text = before + "|" + scrambled + "|1|2|" + rest;
  if (input.ConsumeBool()) text = ScrambleTextWithKey(text, input.ConsumeIntegralInRange<int>(33, 122), false);
  std::string split, remainder;
  bool splitOk = false;
  SplitTokenText(text, split, remainder, &splitOk);
  FUZZ_CHECK(splitOk && split == token && remainder == rest, "a token text did not split into its parts");
}

void TextScrambling(FuzzedDataProvider& input) {
  const bool asHex = input.ConsumeBool();
  const int key = input.ConsumeIntegralInRange<int>(33, 122);
  const std::string text = input.ConsumeRemainingBytesAsString();
  const std::string scrambled = ScrambleTextWithKey(text, key, asHex);
  if (text.compare(0, 12, kScrambleMarker) == 0) {
    FUZZ_CHECK(scrambled == text, "a text beginning with the marker was scrambled again");
    return;
  }
  FUZZ_CHECK(ScrambleText(scrambled, false, asHex) == text, "scrambling did not round-trip");
  ScrambleText(text, false, asHex);  // any text unscrambled
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      AnyText(input.ConsumeRemainingBytesAsString());
      break;
    case 1: {
      std::string token, remainder;
      bool ok = false;
      SplitTokenText(input.ConsumeRemainingBytesAsString(), token, remainder, &ok);
      break;
    }
    case 2:
      TokenRoundTrip(input);
      break;
    default:
      TextScrambling(input);
  }
  return 0;
}
