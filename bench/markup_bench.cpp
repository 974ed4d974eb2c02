// Times ConvertMarkup on hostile texts of 10, 40 and 160 KB, so the growth
// with the text's length can be seen: linear when each size takes about four
// times the previous one. Prints; asserts nothing (timing is no test).
//
//   cmake --build build/host --target markup_bench && build/host/bench/markup_bench
#include <chrono>
#include <cstdio>
#include <string>

#include "ui/Markup.h"

namespace {

std::string Repeat(const std::string& piece, size_t bytes) {
  std::string text;
  text.reserve(bytes + piece.size());
  while (text.size() < bytes) text += piece;
  return text;
}

double Milliseconds(const std::string& text, size_t& boldRanges) {
  int runs = 0;
  double total = 0;
  // Repeat short runs for a steadier figure; one run when it is slow.
  do {
    const auto start = std::chrono::steady_clock::now();
    const MarkupText markup = ConvertMarkup(text);
    total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    boldRanges = markup.bold.size();
    ++runs;
  } while (total < 200 && runs < 50);
  return total / runs;
}

}  // namespace

int main() {
  const struct {
    const char* name;
    std::string piece;
  } kinds[] = {
      {"\"<B>\" only", "<B>"},
      {"bold pairs", "<b>word</b> "},
      {"stray \"</B>\"", "</B>"},
      {"text and <P>", "plain text<P>"},
  };
  std::printf("%-16s %8s %12s %12s %10s\n", "text", "KB", "ms", "ms per KB", "ranges");
  for (const auto& kind : kinds) {
    for (size_t kb : {10, 40, 160}) {
      size_t ranges = 0;
      const double ms = Milliseconds(Repeat(kind.piece, kb * 1024), ranges);
      std::printf("%-16s %8zu %12.3f %12.5f %10zu\n", kind.name, kb, ms, ms / kb, ranges);
    }
  }
  return 0;
}
