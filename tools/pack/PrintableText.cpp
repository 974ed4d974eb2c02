#include "pack/PrintableText.h"

#include <cstdio>

std::string PrintableText(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (unsigned char c : text) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      shown += escape;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}
