#include "pack/EntryPieces.h"

#include <algorithm>

#include "package/ZInflate.h"

namespace {

// Compressing shrinks a piece by an unknown amount: a too large result is
// retried with the content scaled down, a few times, before falling back to
// a stored piece, whose size is exact.
constexpr int kCompressAttempts = 4;

bool ReadRange(std::istream& in, uint64_t offset, uint64_t length, std::string& raw) {
  size_t start = raw.size();
  raw.resize(start + static_cast<size_t>(length));
  if (length == 0) return true;
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(&raw[start], static_cast<std::streamsize>(length));
  return static_cast<uint64_t>(in.gcount()) == length;
}

void Encode(std::string raw, int level, EntryPiece& piece) {
  if (level > 0) {
    std::string packed = CompressBytes(raw, level);
    if (!packed.empty() && packed.size() < raw.size()) {
      piece.storedLength = static_cast<int32_t>(packed.size());
      piece.data = std::move(packed);
      return;
    }
  }
  piece.storedLength = -static_cast<int32_t>(raw.size());
  piece.data = std::move(raw);
}

}  // namespace

PackStatus MakePiece(std::istream& in, const std::string& name, const PieceRequest& request,
                     EntryPiece& piece, bool& fits) {
  fits = false;
  const uint64_t headerBytes = request.header.size() + 1;
  if (request.room < headerBytes + request.minContent) return PackStatus::Ok();
  auto readFail = [&name]() {
    return PackStatus::Fail(ExitCode::kProject, name + ": cannot read the file (did it change?)");
  };
  uint64_t length = request.maxContent;
  for (int attempt = 0; attempt < kCompressAttempts && request.level > 0; ++attempt) {
    std::string raw = request.header + '\0';
    if (!ReadRange(in, request.offset, length, raw)) return readFail();
    Encode(std::move(raw), request.level, piece);
    if (piece.data.size() <= request.room) {
      piece.contentLength = length;
      fits = true;
      return PackStatus::Ok();
    }
    // Data that deflate cannot shrink is stored; a stored piece is cut to
    // the room exactly below.
    if (piece.storedLength <= 0) break;
    // Scale to the room with a margin: deflate output is close to linear in
    // its input for one file's data.
    uint64_t scaled = static_cast<uint64_t>(static_cast<long double>(length) * request.room /
                                            piece.data.size() * 0.97L);
    length = std::min(scaled, length > 0 ? length - 1 : 0);
    if (length < request.minContent) break;
  }
  length = std::min(request.maxContent, request.room - headerBytes);
  std::string raw = request.header + '\0';
  if (!ReadRange(in, request.offset, length, raw)) return readFail();
  Encode(std::move(raw), 0, piece);
  piece.contentLength = length;
  fits = true;
  return PackStatus::Ok();
}
