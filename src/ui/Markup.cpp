#include "ui/Markup.h"

#include <algorithm>

#include "common/TextRules.h"

namespace {

constexpr int kMaxLineWidth = 600;
constexpr int kLinePadding = 10;

// Tags are ASCII, so a byte-wise comparison ignoring ASCII case finds them
// whatever the text's code page.
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// True when `tag` (upper case) stands at `pos`.
bool TagAt(const std::string& text, size_t pos, const char* tag) {
  for (size_t i = 0; tag[i]; ++i) {
    if (pos + i >= text.size() || AsciiUpper(text[pos + i]) != tag[i]) return false;
  }
  return true;
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

// One pass: copies the text without its bold tags and pairs every "<B>"
// with the first "</B>" after it that no earlier "<B>" took (the opening
// tags wait in order; a closing tag takes the oldest waiting one), so nested
// tags give overlapping ranges; a "</B>" with no "<B>" waiting, and a "<B>"
// never closed, vanish. Offsets are those of the final text. Tags that only
// come about by removing other tags ("<<B>B>") are not tags.
MarkupText BoldPass(const std::string& text) {
  MarkupText result;
  result.text.reserve(text.size());
  std::vector<size_t> waiting;  // output offsets of unpaired "<B>", oldest first from `oldest`
  size_t oldest = 0;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '<' && TagAt(text, i, "<B>")) {
      waiting.push_back(result.text.size());
      i += 3;
    } else if (text[i] == '<' && TagAt(text, i, "</B>")) {
      if (oldest < waiting.size()) {
        const size_t start = waiting[oldest++];
        if (start < result.text.size()) result.bold.push_back({start, result.text.size()});
      }
      i += 4;
    } else {
      result.text += text[i++];
    }
  }
  return result;
}

}  // namespace

MarkupText ConvertMarkup(const std::string& text) {
  std::string converted = PairLineBreaks(ExpandEscapes(text));
  // The heading the message-box shortcuts put in front ("<<b>" + caption)
  // keeps its "<" out of the bold tag's way until here.
  if (converted.compare(0, 4, "<<b>") == 0) converted.erase(0, 1);
  return BoldPass(converted);
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
