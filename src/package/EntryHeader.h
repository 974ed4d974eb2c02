// The header of a file entry: a "|"-list of the file name (with "*" and the
// engine's extra arguments for the launch entry) and the DOS time stamp,
// ended by one 0x00 byte before the file's content.
#pragma once

#include <cstdint>
#include <string>

struct EntryHeader {
  std::string name;         // file name relative to the destination, "*" part cut
  std::string launchEntry;  // non-empty for the launch entry (see ParseEntryHeader)
  uint32_t dosTime = 0;     // 0: the time is not set
};

// Interprets a header text. A header holding "*" makes it the launch entry
// (the whole header); when item 0 holds the "*", item 0 alone is the launch
// entry and the name is cut before the "*".
EntryHeader ParseEntryHeader(const std::string& header);

// Builds the header text for a file; `launchArguments` non-null makes it the
// launch entry "name*arguments".
std::string BuildEntryHeader(const std::string& name, const std::string* launchArguments,
                             uint32_t dosTime);

// True when a relative entry name stays inside the destination folder and
// names an ordinary file there: not empty, no drive letter, root or stream
// (":"), no control characters, no part that ends in a dot or a blank (so no
// ".." and nothing Windows would merge with another name: "a.txt." is
// "a.txt"), no device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$,
// CONOUT$, with or without an extension, in any folder and any case). A
// part "." is allowed; a name ending in a separator is a folder, not a file.
bool IsSafeEntryName(const std::string& name);

// Packs a local time into the 32-bit DOS date (high word) and time (low word).
uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);
