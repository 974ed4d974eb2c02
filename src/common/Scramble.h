// The program's own reversible text scrambling and the random numbers it
// and the package tokens use. Portable.
#pragma once

#include <cstdint>
#include <string>

// Text that marks a scrambled text at its start.
extern const char kScrambleMarker[];  // "Scrambled=01"

// scramble=true turns plain text into the marker, a key character and the
// transformed text (written as hexadecimal when asHex); false reverses it
// (reading hexadecimal first when asHex). Text already in the wanted form,
// and the empty text, come back unchanged. Unscrambling the bare marker
// gives the empty text.
std::string ScrambleText(const std::string& text, bool scramble, bool asHex);
// ScrambleText(text, true, asHex) with a chosen key (33..122): for tests and
// reproducible output.
std::string ScrambleTextWithKey(const std::string& text, int key, bool asHex);

// A whole number from lo to hi (both included), the generator reseeded from
// the clock on every call.
int RandomInRange(int lo, int hi);
// RandomInRange as decimal text.
std::string RandomNumberText(int lo, int hi);

// A fast-changing clock reading (platform piece): the generator's seed.
uint64_t SeedClockTicks();
