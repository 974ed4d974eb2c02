// Inflates a file entry's zlib stream in bounded pieces, so memory use does
// not grow with the size of an entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "package/ByteSource.h"
#include "package/PackageReader.h"

// Receives each piece of a block's (inflated) data; return false to stop.
using PieceSink = std::function<bool(const char* data, size_t size)>;

// Hands the data of `block` to `sink` in pieces of at most 64 KiB, inflating
// first when the block is compressed; `pump` (may be empty) runs between
// pieces. False with `error` set (zlib's message, or a read error) on a
// corrupt stream, a short read or a stream that ends early; also false when
// the sink stopped (error then empty).
bool ReadBlockPieces(ByteSource& source, const BlockRef& block, const PieceSink& sink,
                     std::string& error, const std::function<void()>& pump = {});

// zlib's CRC-32 (crc32(crc, data, size)) worked out bit by bit: no tables,
// slow but small. The stub puts it in place of zlib's own, whose tables cost
// 8 KB and which inflating a zlib stream never calls (only gzip streams do).
uint32_t BitwiseCrc32(uint32_t crc, const unsigned char* data, size_t size);

// Compresses `data` into a zlib stream at `level` (1..9). Used by the
// authoring tool.
std::string CompressBytes(const std::string& data, int level);
