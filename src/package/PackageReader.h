// Reading the package's fixed parts: the end pointer, the trailer, the
// checksum and the blocks. Every read is bounded by the source's size, so a
// damaged or hostile file yields "not found" rather than a wild read.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "package/ByteSource.h"
#include "package/PackageFormat.h"

// "MZ" at offset 0 and "PE" at 0x100 (the DOS header's e_lfanew is not read).
bool IsNarrowPeFile(ByteSource& source);

// The PackageEndPointer of a narrow PE file; 0 when unset or not a PE file.
uint64_t PackageEndPointerOf(ByteSource& source);

// The offset behind the package: the end pointer when set, else the size.
uint64_t PackageEndOf(ByteSource& source);

// Where the trailer was found and how long it says it is.
struct TrailerPlace {
  uint64_t offset = 0;  // start of the trailer
  uint32_t length = 0;  // TrailerLength as stored
};

// Locates the trailer through the end pointer or the file end and reads
// min(length, 74) - 4 bytes into `trailer` (zeroed first, rest left zero),
// then stores the length read and turns a HeaderBlockCount of 0 into 2.
// False (trailer zero) when the length field or the record lies outside the
// file or is shorter than 4 bytes.
bool ReadTrailer(ByteSource& source, PackageTrailer& trailer, TrailerPlace* place = nullptr);

// The package checksum of a file whose trailer is `trailerLength` bytes:
// 1234 for files over 51,200 bytes, else the word sum of the package range.
uint32_t PackageChecksum(ByteSource& source, uint32_t trailerLength);
// True when the computed value equals the stored one or either is 1234.
bool ChecksumPasses(uint32_t computed, uint32_t stored);

// A block: a signed 32-bit length N, then abs(N) bytes of data.
struct BlockRef {
  uint64_t offset = 0;      // of the length field
  int32_t storedLength = 0;
  uint64_t dataOffset = 0;
  uint32_t dataLength = 0;  // abs(N)
  bool compressed = false;  // N > 0 (meaningful for file entries)
  uint64_t End() const { return dataOffset + dataLength; }
};

// Reads the block header at `offset`. False when the length field cannot be
// read or the data would run past `limit` (including N = INT32_MIN).
bool ReadBlockRef(ByteSource& source, uint64_t offset, uint64_t limit, BlockRef& block);

// Reads a whole block's data; false when it cannot be read completely.
bool ReadBlockData(ByteSource& source, const BlockRef& block, std::string& data);

// Reverses the token scrambling of the authoring tool. A text that fails its
// check byte gives a random decimal number (0..99998), never the empty text
// or a predictable value. That number is no token: two failed texts may give
// the same number, so tokens are compared only through SameToken (or with
// the `ok` flag of the second form: false when the check failed).
std::string Descramble(const std::string& text);
std::string Descramble(const std::string& text, bool& ok);

// True only when both scrambled texts pass their checks and descramble to
// the same token (exact comparison). A failed check never matches anything,
// not even the same text.
bool SameToken(const std::string& scrambledA, const std::string& scrambledB);

// The inverse of Descramble, used by the authoring tool: Descramble of the
// result gives back `token` exactly. `totalBytes` is the byte length before
// the hexadecimal step (30 gives the 60 letters of current packages); it
// grows when the token needs more room. `randomByte` supplies the padding and
// key bytes (any values; the low 8 bits are used).
std::string ScrambleToken(const std::string& token, const std::function<unsigned()>& randomByte,
                          size_t totalBytes = 30);

// The token and the remainder of a token text received by the agent: the
// text is unscrambled, everything up to the first "|" dropped, three "|"
// pieces taken (the first, descrambled, is the token) and the rest returned.
// `tokenOk` (may be null) tells whether the token passed its check; when it
// did not, `token` is Descramble's random number and must match nothing.
void SplitTokenText(const std::string& text, std::string& token, std::string& remainder,
                    bool* tokenOk = nullptr);

