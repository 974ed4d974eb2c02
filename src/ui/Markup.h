// The message box's mark-up: escapes, "<P>" and "<T>", a "<<b>" heading and
// bold ranges. Portable, so the rules are tested on the host.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct BoldRange {
  size_t start;  // character offsets into the converted text, a CR LF
  size_t end;    // counting as two characters (end exclusive)
};

struct MarkupText {
  std::string text;
  std::vector<BoldRange> bold;  // non-empty ranges, in the order their tags stood
};

// Converts a message text: the escapes "\\n" and "\\t" (two backslashes,
// case-sensitive), "<P>" and "<T>" (any case); a lone CR or LF becomes CR LF,
// so every line break is one the box measures; a leading "<<b>" loses its
// first character; then every "<B>" with the first "</B>" after it that no
// earlier "<B>" took becomes a bold range, and bold tags without a partner
// vanish. The ranges index the final text (with every tag removed). One pass
// over the text: the time grows linearly with its length. Never fails.
MarkupText ConvertMarkup(const std::string& text);

// Height of one line of the box text: the font's character height plus its
// external leading, one more for "MS PGothic" (its lines need it).
int MarkupLineHeight(int charHeight, int externalLeading, const std::string& face);

// Width and height for a text control showing `text` (lines split at CR LF,
// an empty text measured as " ", a final CR LF adds no line): width = longest
// line extent + 10, capped at 600; each line counts (extent / 600 + 1) line
// heights. `lineExtent` returns a line's width in pixels.
struct TextSize {
  int width;
  int height;
};
TextSize MeasureText(const std::string& text, int lineHeight,
                     const std::function<int(const std::string& line)>& lineExtent);
