// Delimited lists: a text whose first character is the separator and which
// ends with the same character. Items are the texts between consecutive
// separators, numbered from 0. Portable: no operating system needed.
#pragma once

#include <string>

namespace SUB {

// Number of items; 0 for a list shorter than two characters or whose last
// character differs from its first.
int Count(const std::string& list);

// Item `index`, or `fallback` when the index is out of range or the item empty.
std::string Item(const std::string& list, int index, const std::string& fallback = "");

// The value of the item "key=value" (key compared ignoring case; blanks
// directly before an "=" do not count), up to the next separator. `fallback`
// when the key is missing or its value empty.
std::string Value(const std::string& list, const std::string& key, const std::string& fallback = "");

}  // namespace SUB
