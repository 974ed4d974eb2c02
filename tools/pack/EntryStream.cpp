#include "pack/EntryStream.h"

#include <cstring>

#include "package/ZInflate.h"

EntryRead ReadEntry(ByteSource& source, const BlockRef& block, const EntryCallbacks& callbacks,
                    std::string& error) {
  error.clear();
  std::string header;
  bool headerDone = false;
  bool stopped = false;
  bool tooLong = false;
  auto sink = [&](const char* data, size_t size) {
    if (!headerDone) {
      const void* zero = std::memchr(data, 0, size);
      size_t headerPart =
          zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - data) : size;
      if (header.size() + headerPart > kMaxEntryHeader) {
        tooLong = true;
        return false;
      }
      header.append(data, headerPart);
      if (zero == nullptr) return true;
      headerDone = true;
      if (!callbacks.onHeader(header)) {
        stopped = true;
        return false;
      }
      data += headerPart + 1;
      size -= headerPart + 1;
    }
    if (size > 0 && !callbacks.onContent(data, size)) {
      stopped = true;
      return false;
    }
    return true;
  };
  bool read = ReadBlockPieces(source, block, sink, error);
  if (tooLong) {
    error = "header longer than " + std::to_string(kMaxEntryHeader) + " bytes";
    return EntryRead::kCorrupt;
  }
  if (stopped) return EntryRead::kStopped;
  if (!read) {
    if (error.empty()) error = "cannot read the entry";
    return EntryRead::kCorrupt;
  }
  if (!headerDone) {
    // No data at all: an entry without a header, skipped as the stub does.
    // Data without its 0x00: the header never ends, the entry is damaged.
    if (!header.empty()) {
      error = "the entry header has no 0x00 end";
      return EntryRead::kCorrupt;
    }
    if (!callbacks.onHeader(header)) return EntryRead::kStopped;
  }
  return EntryRead::kDone;
}
