#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "ui/BoxLayout.h"
#include "common/TextRules.h"
#include "ui/Markup.h"

namespace {

std::string Show(const std::string& text) {
  std::string shown;
  for (char c : text) {
    if (c == '\r') {
      shown += "\\r";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else {
      shown += c;
    }
  }
  return shown;
}

// What the control shows, for a readable comparison: every run of bold
// characters (the union of the ranges) in brackets.
std::string MarkBold(const MarkupText& markup) {
  std::vector<bool> bold(markup.text.size() + 1, false);
  for (const BoldRange& range : markup.bold) {
    for (size_t i = range.start; i < range.end && i < markup.text.size(); ++i) bold[i] = true;
  }
  std::string marked;
  for (size_t i = 0; i <= markup.text.size(); ++i) {
    if (bold[i] != (i > 0 && bold[i - 1])) marked += bold[i] ? "[" : "]";
    if (i < markup.text.size()) marked += markup.text[i];
  }
  return Show(marked);
}

}  // namespace

TEST(Markup, Conversion) {
  struct {
    const char* input;
    const char* text;  // converted text, CR LF and tabs shown escaped
    const char* bold;  // the same with every bold range in brackets
  } cases[] = {
      // bold word, paragraph, plain rest: the range stops before the break
      {"<b>Note</b><P>rest", "Note\\r\\nrest", "[Note]\\r\\nrest"},
      // offsets after line breaks count CR LF as two characters
      {"one<p>two<P><B>three</b>", "one\\r\\ntwo\\r\\nthree", "one\\r\\ntwo\\r\\n[three]"},
      {"a\\\\nb<B>c</B>", "a\\r\\nbc", "a\\r\\nb[c]"},
      // a closing tag without an opening one vanishes
      {"plain</B> text", "plain text", "plain text"},
      // an opening tag without a closing one vanishes, nothing turns bold
      {"<b>never closed", "never closed", "never closed"},
      // the shortcuts' heading: "<<b>" loses its first "<"
      {"<<b>ERROR</b><P><P>Disk full<P>", "ERROR\\r\\n\\r\\nDisk full\\r\\n",
       "[ERROR]\\r\\n\\r\\nDisk full\\r\\n"},
      // "<<b>" elsewhere, or in another case, is not the heading
      {"x<<b>y</b>", "x<y", "x<[y]"},
      {"<<B>y</B>", "<y", "<[y]"},
      // escapes: two backslashes, case-sensitive; tags in any case
      {"a\\\\tb<t>c<T>d", "a\\tb\\tc\\td", "a\\tb\\tc\\td"},
      {"a\\\\Nb\\nc", "a\\\\Nb\\nc", "a\\\\Nb\\nc"},
      // lone CR and LF become CR LF, so offsets after them still fit
      {"a\nb\rc<b>d</b>", "a\\r\\nb\\r\\ncd", "a\\r\\nb\\r\\nc[d]"},
      // a stray closing tag before a pair does not swallow the pair
      {"x</b>y<b>z</b>", "xyz", "xy[z]"},
      // nested: each opening tag pairs with the first closing tag after it,
      // and the ranges index the final text
      {"<b>a<b>b</b>c</b>d", "abcd", "[abc]d"},
      // two pairs, the second after the first
      {"<B>1</B>-<b>2</b>", "1-2", "[1]-[2]"},
      // an empty pair makes no range
      {"a<b></b>b", "ab", "ab"},
      // other tags stay as they are
      {"<SIZE> <i>x</i> <", "<SIZE> <i>x</i> <", "<SIZE> <i>x</i> <"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    const MarkupText markup = ConvertMarkup(c.input);
    EXPECT_EQ(Show(markup.text), c.text) << c.input;
    EXPECT_EQ(MarkBold(markup), c.bold) << c.input;
    for (const BoldRange& range : markup.bold) {
      EXPECT_LT(range.start, range.end) << c.input;
      EXPECT_LE(range.end, markup.text.size()) << c.input;
    }
  }
}

namespace {

// The former conversion's bold pass (search from the start and erase, over
// and over), kept as the reference for texts whose tags cannot be formed by
// removing other tags.
MarkupText QuadraticBoldPass(std::string text) {
  auto find = [&text](const std::string& tag, size_t from) {
    for (size_t pos = from; pos + tag.size() <= text.size(); ++pos) {
      size_t i = 0;
      while (i < tag.size() && std::toupper(static_cast<unsigned char>(text[pos + i])) == tag[i]) ++i;
      if (i == tag.size()) return pos;
    }
    return std::string::npos;
  };
  std::vector<BoldRange> ranges;
  auto erase = [&](size_t pos, size_t count) {
    text.erase(pos, count);
    for (BoldRange& r : ranges) {
      for (size_t* b : {&r.start, &r.end}) {
        if (*b > pos) *b -= std::min(*b - pos, count);
      }
    }
  };
  for (size_t open; (open = find("<B>", 0)) != std::string::npos;) {
    erase(open, 3);
    const size_t close = find("</B>", open);
    if (close == std::string::npos) continue;
    erase(close, 4);
    ranges.push_back({open, close});
  }
  for (size_t close; (close = find("</B>", 0)) != std::string::npos;) erase(close, 4);
  MarkupText result{text, {}};
  for (const BoldRange& r : ranges) {
    if (r.start < r.end) result.bold.push_back(r);
  }
  return result;
}

}  // namespace

TEST(Markup, SamePairsAsTheFormerConversion) {
  // Random mixes of tags in both cases and plain letters: every opening tag
  // pairs with the first closing tag after it that no earlier one took.
  const char* const pieces[] = {"<B>", "<b>", "</B>", "</b>", "x", "y", "z<P>"};
  uint32_t state = 12345;
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int count = static_cast<int>(state % 12);
    for (int i = 0; i < count; ++i) {
      state = state * 1103515245u + 12345u;
      text += pieces[(state >> 16) % 7];
    }
    state = state * 1103515245u + 12345u;
    const MarkupText got = ConvertMarkup(text);
    const MarkupText expected = QuadraticBoldPass(ExpandEscapes(text));
    ASSERT_EQ(got.text, expected.text) << text;
    ASSERT_EQ(got.bold.size(), expected.bold.size()) << text;
    for (size_t i = 0; i < got.bold.size(); ++i) {
      EXPECT_EQ(got.bold[i].start, expected.bold[i].start) << text << " range " << i;
      EXPECT_EQ(got.bold[i].end, expected.bold[i].end) << text << " range " << i;
    }
  }
}

TEST(Markup, LongHostileTexts) {
  // 160 KB of opening tags: nothing is left, nothing turns bold.
  std::string opens;
  for (int i = 0; i < 160 * 1024 / 3; ++i) opens += i % 2 ? "<b>" : "<B>";
  MarkupText markup = ConvertMarkup(opens);
  EXPECT_EQ(markup.text, "");
  EXPECT_TRUE(markup.bold.empty());

  // Stray closing tags, then pairs: every pair survives at its offset.
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "</B>";
  const int pairs = 10000;
  for (int i = 0; i < pairs; ++i) text += "<B>w</B>.";
  markup = ConvertMarkup(text);
  ASSERT_EQ(markup.text.size(), 2u * pairs);
  ASSERT_EQ(markup.bold.size(), static_cast<size_t>(pairs));
  for (int i = 0; i < pairs; ++i) {
    ASSERT_EQ(markup.bold[i].start, 2u * i) << i;
    ASSERT_EQ(markup.bold[i].end, 2u * i + 1) << i;
  }
  EXPECT_EQ(markup.text.substr(0, 6), "w.w.w.");

  // Every opening tag first, every closing tag after them: nested ranges,
  // each from its tag to the end of the letters.
  std::string nested;
  for (int i = 0; i < 20000; ++i) nested += "<B>a";
  for (int i = 0; i < 20000; ++i) nested += "</B>";
  markup = ConvertMarkup(nested);
  EXPECT_EQ(markup.text, std::string(20000, 'a'));
  ASSERT_EQ(markup.bold.size(), 20000u);
  EXPECT_EQ(markup.bold.front().start, 0u);
  EXPECT_EQ(markup.bold.back().start, 19999u);
  EXPECT_EQ(markup.bold.back().end, 20000u);
}

TEST(Markup, BoldRangesAreOffsetsOfTheConvertedText) {
  const MarkupText markup = ConvertMarkup("<<b>Attention</b><P><P>Insert disk <b>2</b> now<P>");
  ASSERT_EQ(markup.bold.size(), 2u);
  EXPECT_EQ(markup.bold[0].start, 0u);
  EXPECT_EQ(markup.bold[0].end, 9u);
  // "Attention" + two CR LF (4 characters) + "Insert disk " = 25
  EXPECT_EQ(markup.bold[1].start, 25u);
  EXPECT_EQ(markup.bold[1].end, 26u);
  EXPECT_EQ(markup.text.substr(25, 1), "2");
}

TEST(Markup, LineHeight) {
  EXPECT_EQ(MarkupLineHeight(13, 0, "Tahoma"), 13);
  EXPECT_EQ(MarkupLineHeight(13, 2, "Tahoma"), 15);
  EXPECT_EQ(MarkupLineHeight(12, 0, " ms pgothic "), 13);
  EXPECT_EQ(MarkupLineHeight(12, 0, "MS Gothic"), 12);
}

TEST(Markup, MeasureText) {
  // A fake font: every character is 7 pixels wide; "W" marks a wide line.
  std::vector<std::string> measured;
  auto extent = [&measured](const std::string& line) {
    measured.push_back(line);
    return line == "W" ? 1300 : static_cast<int>(line.size()) * 7;
  };
  struct {
    const char* text;
    int width;
    int height;  // in lines of 13 pixels
    const char* note;
  } cases[] = {
      {"abc", 31, 1, "one line: extent + 10"},
      {"", 17, 1, "empty text measured as one blank"},
      {"ab\r\nabcdef", 52, 2, "the longest line decides the width"},
      {"ab\r\n", 24, 1, "a final CR LF adds no line"},
      {"ab\r\n\r\n", 24, 2, "an empty line followed by more text counts"},
      {"\r\n", 10, 1, "a lone line break is one empty line"},
      {"W", 600, 3, "width capped at 600, one line more per full 600"},
      {"ab\rc", 38, 1, "only CR LF splits lines"},
  };
  for (const auto& c : cases) {
    const TextSize size = MeasureText(c.text, 13, extent);
    EXPECT_EQ(size.width, c.width) << c.note;
    EXPECT_EQ(size.height, c.height * 13) << c.note;
  }
  measured.clear();
  MeasureText("", 13, extent);
  EXPECT_EQ(measured, std::vector<std::string>{" "});
  measured.clear();
  MeasureText("a\r\nb\r\n", 13, extent);
  EXPECT_EQ(measured, (std::vector<std::string>{"a", "b"}));
}

TEST(Markup, ExtentOfExactly600StartsASecondLine) {
  const TextSize size = MeasureText("x", 10, [](const std::string&) { return 600; });
  EXPECT_EQ(size.width, 600);
  EXPECT_EQ(size.height, 20);
  const TextSize below = MeasureText("x", 10, [](const std::string&) { return 599; });
  EXPECT_EQ(below.height, 10);
}

TEST(BoxLayout, BoxSize) {
  const BoxFrame frame{3, 3, 19};
  struct {
    int textWidth, textHeight;
    int width, height;
    const char* note;
  } cases[] = {
      {100, 13, 360, 13 + 36 + 90 + 6 + 19, "narrow and low: 360 wide, vertical margins 45"},
      {199, 39, 199 + 54 + 128 + 6, 39 + 36 + 64 + 6 + 19,
       "below 200 wide: margins 64; 39 high: margins 32"},
      {200, 38, 360, 38 + 36 + 90 + 6 + 19, "200 wide: margins 32, still the minimum width"},
      {250, 50, 250 + 54 + 64 + 6, 50 + 36 + 64 + 6 + 19, "margins 32 both ways"},
      {610, 130, 610 + 54 + 64 + 6, 130 + 36 + 64 + 6 + 19, "widest text control"},
  };
  for (const auto& c : cases) {
    const BoxRect box = MsgBoxSize(c.textWidth, c.textHeight, frame);
    EXPECT_EQ(box.width, c.width) << c.note;
    EXPECT_EQ(box.height, c.height) << c.note;
  }
}

TEST(BoxLayout, PositionAndParts) {
  const BoxRect work{0, 0, 1024, 738};
  const BoxRect box{0, 0, 361, 200};
  const BoxRect centred = MsgBoxPosition(work, box, false);
  EXPECT_EQ(centred.x, 331);  // (1024 - 361) / 2 truncates
  EXPECT_EQ(centred.y, 269);
  const BoxRect shifted = MsgBoxPosition(BoxRect{10, 20, 1024, 738}, box, true);
  EXPECT_EQ(shifted.x, 10 + 331 + 150);
  EXPECT_EQ(shifted.y, 20 + 269 + 150);
  // A work area smaller than the box: the box starts left of and above it.
  EXPECT_EQ(MsgBoxPosition(BoxRect{0, 0, 300, 100}, box, false).x, -30);

  const BoxRect text = MsgBoxTextPlace(354, 162, 101, 13);
  EXPECT_EQ(text.x, (354 - 54 - 101) / 2 + 54);
  EXPECT_EQ(text.y, (162 - 36 - 13) / 2);
  EXPECT_EQ(text.width, 101);
  EXPECT_EQ(text.height, 162 - text.y - 39);

  for (int fromRight = 0; fromRight < 3; ++fromRight) {
    const BoxRect button = MsgBoxButtonPlace(354, 162, fromRight);
    EXPECT_EQ(button.x, 354 - 80 - 70 * fromRight) << fromRight;
    EXPECT_EQ(button.y, 162 - 29);
    EXPECT_EQ(button.width, 70);
    EXPECT_EQ(button.height, 23);
  }
}
