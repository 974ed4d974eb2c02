// "scramble": turns a publisher's plain text (an inform page) into the
// scrambled form the agent unscrambles before reading it.
#pragma once

#include <string>

#include "pack/PackStatus.h"

// Writes the marker "Scrambled=01", the key character and the scrambled
// bytes of the file `in` to `out` (created or replaced; `out` may be `in`).
// `key` (33..122) is the scrambling key: the command picks it at random,
// tests fix it. Fails with kInput when `in` cannot be read, is empty,
// already begins with the marker (the agent would unscramble it) or would
// come out larger than the agent reads; with kOutput when `out` cannot be
// written, and then no partial file is left.
PackStatus ScrambleTextFile(const std::string& in, const std::string& out, int key);
