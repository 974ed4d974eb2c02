// zlib's crc32 for the stub. zlib's inflate refers to crc32 for gzip
// streams, so the linker would take zlib's crc32 unit with its 8 KB of tables;
// the stub inflates only zlib streams, which are checked with Adler-32.
// Defined in the program itself, this crc32 is found before the library is
// searched. It gives the same values as zlib's, should it ever be called.
#include <zlib.h>

#include "package/ZInflate.h"

extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
  // zlib's contract: no buffer asks for the starting value.
  if (buf == Z_NULL) return 0;
  return BitwiseCrc32(static_cast<uint32_t>(crc), buf, len);
}
