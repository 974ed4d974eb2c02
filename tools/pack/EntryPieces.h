// Cuts a file into file-entry blocks that fit the room left in a volume.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "pack/PackStatus.h"

// One block of a file entry.
struct EntryPiece {
  uint64_t contentLength = 0;  // file bytes it holds
  int32_t storedLength = 0;    // the block's N: > 0 zlib stream, <= 0 stored
  std::string data;            // abs(N) bytes: header, 0x00, content (compressed when N > 0)
};

struct PieceRequest {
  std::string header;       // entry header text (BuildEntryHeader)
  uint64_t offset = 0;      // first file byte of the piece
  uint64_t maxContent = 0;  // most file bytes to take
  uint64_t minContent = 0;  // fewest file bytes worth a piece (0 for an empty rest)
  uint64_t room = 0;        // most block bytes that fit
  int level = 9;            // zlib level 1..9; 0 stores
};

// Makes the largest piece it can find of at most `maxContent` bytes whose
// block fits `room`: compressed when that is smaller than stored, stored
// otherwise. `fits` is false when no piece of `minContent` bytes fits. Fails
// (kProject) when `in` cannot deliver the bytes; `name` is for the message.
PackStatus MakePiece(std::istream& in, const std::string& name, const PieceRequest& request,
                     EntryPiece& piece, bool& fits);
