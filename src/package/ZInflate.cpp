#include "package/ZInflate.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kPieceSize = 65536;

bool CopyStored(ByteSource& source, const BlockRef& block, const PieceSink& sink, std::string& error,
                const std::function<void()>& pump) {
  std::vector<char> buffer(kPieceSize);
  for (uint64_t done = 0; done < block.dataLength;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kPieceSize, block.dataLength - done));
    if (!source.ReadExact(block.dataOffset + done, buffer.data(), want)) {
      error = "read error";
      return false;
    }
    done += want;
    if (!sink(buffer.data(), want)) return false;
    if (pump) pump();
  }
  return true;
}

// Owns a zlib inflate stream for the life of one block.
class Inflater {
 public:
  Inflater() { ok_ = inflateInit(&stream_) == Z_OK; }
  ~Inflater() {
    if (ok_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  bool ok() const { return ok_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

std::string ZlibError(const z_stream& stream, int code) {
  if (stream.msg) return stream.msg;
  return code == Z_MEM_ERROR ? "insufficient memory" : "incorrect data";
}

bool Inflate(ByteSource& source, const BlockRef& block, const PieceSink& sink, std::string& error,
             const std::function<void()>& pump) {
  Inflater inflater;
  if (!inflater.ok()) {
    error = "zlib cannot start";
    return false;
  }
  z_stream& z = inflater.stream();
  std::vector<unsigned char> in(kPieceSize), out(kPieceSize);
  uint64_t consumed = 0;
  for (;;) {
    // Input is fed whenever zlib has used up the last piece, even when the
    // last call filled the output: a call that fills the output just as it
    // takes the last input byte leaves zlib needing input next.
    if (z.avail_in == 0 && consumed < block.dataLength) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kPieceSize, block.dataLength - consumed));
      if (!source.ReadExact(block.dataOffset + consumed, in.data(), want)) {
        error = "read error";
        return false;
      }
      consumed += want;
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(want);
    }
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int code = inflate(&z, Z_NO_FLUSH);
    if (code == Z_BUF_ERROR) {
      // No progress was possible with a whole empty output piece: zlib needs
      // input. With the block used up the stream is truncated; with input
      // still held something is wrong with the data.
      error = z.avail_in == 0 && consumed >= block.dataLength ? "unexpected end of compressed data"
                                                             : ZlibError(z, code);
      return false;
    }
    if (code != Z_OK && code != Z_STREAM_END) {
      error = ZlibError(z, code);
      return false;
    }
    const size_t produced = out.size() - z.avail_out;
    if (produced && !sink(reinterpret_cast<const char*>(out.data()), produced)) return false;
    if (pump) pump();
    if (code == Z_STREAM_END) return true;
  }
}

}  // namespace

uint32_t BitwiseCrc32(uint32_t crc, const unsigned char* data, size_t size) {
  constexpr uint32_t kReversedPolynomial = 0xEDB88320u;
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (kReversedPolynomial & (0u - (crc & 1u)));
  }
  return ~crc;
}

bool ReadBlockPieces(ByteSource& source, const BlockRef& block, const PieceSink& sink,
                     std::string& error, const std::function<void()>& pump) {
  error.clear();
  return block.compressed ? Inflate(source, block, sink, error, pump)
                          : CopyStored(source, block, sink, error, pump);
}
