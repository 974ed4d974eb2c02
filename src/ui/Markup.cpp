#include "ui/Markup.h"

#include <algorithm>

#include "common/TextRules.h"

namespace {

constexpr int kMaxLineWidth = 600;
constexpr int kLinePadding = 10;

// Tags are ASCII, so a byte-wise comparison ignoring ASCII case finds them
// whatever the text's code page.
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

size_t FindTag(const std::string& text, const char* tag, size_t from) {
  const std::string upperTag(tag);
  for (size_t pos = from; pos + upperTag.size() <= text.size(); ++pos) {
    size_t i = 0;
    while (i < upperTag.size() && AsciiUpper(text[pos + i]) == upperTag[i]) ++i;
    if (i == upperTag.size()) return pos;
  }
  return std::string::npos;
}

// The box measures lines between CR LF pairs while the control breaks at a
// lone CR or LF too; one form keeps the measured height and the shown text
// in step.
std::string PairLineBreaks(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      result += "\r\n";
      ++i;
    } else if (c == '\r' || c == '\n') {
      result += "\r\n";
    } else {
      result += c;
    }
  }
  return result;
}

// Removes the bold tags and records what they enclosed. Every removal moves
// the ranges already recorded, so they always index the current text.
class BoldPass {
 public:
  explicit BoldPass(std::string text) : text_(std::move(text)) {}

  MarkupText Run() {
    for (size_t open; (open = FindTag(text_, "<B>", 0)) != std::string::npos;) {
      Erase(open, 3);
      // Searching from the opening tag on: a stray "</B>" further left must
      // not swallow this pair.
      const size_t close = FindTag(text_, "</B>", open);
      if (close == std::string::npos) continue;
      Erase(close, 4);
      ranges_.push_back({open, close});
    }
    for (size_t close; (close = FindTag(text_, "</B>", 0)) != std::string::npos;) Erase(close, 4);
    MarkupText result{std::move(text_), {}};
    for (const BoldRange& range : ranges_) {
      if (range.start < range.end) result.bold.push_back(range);
    }
    return result;
  }

 private:
  static size_t Shift(size_t boundary, size_t pos, size_t count) {
    if (boundary <= pos) return boundary;
    return boundary - std::min(boundary - pos, count);
  }

  void Erase(size_t pos, size_t count) {
    text_.erase(pos, count);
    for (BoldRange& range : ranges_) {
      range.start = Shift(range.start, pos, count);
      range.end = Shift(range.end, pos, count);
    }
  }

  std::string text_;
  std::vector<BoldRange> ranges_;
};

}  // namespace

MarkupText ConvertMarkup(const std::string& text) {
  std::string converted = PairLineBreaks(ExpandEscapes(text));
  // The heading the message-box shortcuts put in front ("<<b>" + caption)
  // keeps its "<" out of the bold tag's way until here.
  if (converted.compare(0, 4, "<<b>") == 0) converted.erase(0, 1);
  return BoldPass(std::move(converted)).Run();
}

int MarkupLineHeight(int charHeight, int externalLeading, const std::string& face) {
  return charHeight + externalLeading + (SameTrimmedText(face, "MS PGothic") ? 1 : 0);
}

TextSize MeasureText(const std::string& text, int lineHeight,
                     const std::function<int(const std::string& line)>& lineExtent) {
  const std::string measured = text.empty() ? " " : text;
  TextSize size{0, 0};
  for (size_t start = 0;;) {
    const size_t lineBreak = measured.find("\r\n", start);
    const bool last = lineBreak == std::string::npos;
    const std::string line = measured.substr(start, last ? std::string::npos : lineBreak - start);
    if (!line.empty() || !last) {
      const int extent = std::max(0, lineExtent(line));
      size.width = std::max(size.width, extent + kLinePadding);
      size.height += (extent / kMaxLineWidth + 1) * lineHeight;
    }
    if (last) break;
    start = lineBreak + 2;
  }
  size.width = std::min(kMaxLineWidth, size.width);
  return size;
}
