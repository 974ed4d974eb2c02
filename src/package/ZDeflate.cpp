// Compression is needed only by the authoring tool; it lives apart from the
// inflation so that the stub never links zlib's compressor.
#include <zlib.h>

#include "package/ZInflate.h"

std::string CompressBytes(const std::string& data, int level) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
                static_cast<uLong>(data.size()), level) != Z_OK) {
    return "";
  }
  out.resize(size);
  return out;
}
