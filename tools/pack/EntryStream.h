// Reads one file entry in bounded pieces: the header up to the first 0x00,
// then the content, without holding the whole entry in memory.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "package/ByteSource.h"
#include "package/PackageReader.h"

// Longest header accepted while looking for its 0x00; a longer one is corrupt.
constexpr size_t kMaxEntryHeader = 64 * 1024;

struct EntryCallbacks {
  // The header text (empty for an entry without one). Return false to stop
  // reading this entry.
  std::function<bool(const std::string& header)> onHeader;
  // A piece of the content. Return false to stop.
  std::function<bool(const char* data, size_t size)> onContent;
};

enum class EntryRead {
  kDone,     // header and all content delivered
  kStopped,  // a callback returned false
  kCorrupt,  // the data could not be read or inflated; `error` says why
};

// A block without any data is an entry without a header (onHeader gets the
// empty text); a block with data but no 0x00 is corrupt (the header has no
// end).
EntryRead ReadEntry(ByteSource& source, const BlockRef& block, const EntryCallbacks& callbacks,
                    std::string& error);
