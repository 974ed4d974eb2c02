// The message box's mark-up and the inform dialog's page: what another
// process or a server hands to the windows. The converted text has line
// breaks the box measures and bold ranges inside it; the page is bounded
// and never keeps an embedded-object control word; only web addresses are
// opened.
#include <cctype>
#include <cstring>

#include "FuzzSupport.h"
#include "common/BoxRequest.h"
#include "common/TextRules.h"
#include "ui/BoxLayout.h"
#include "ui/InformRules.h"
#include "ui/Markup.h"

namespace {

void MessageText(FuzzedDataProvider& input) {
  const std::string text = input.ConsumeRemainingBytesAsString();
  const MarkupText converted = ConvertMarkup(text);
  size_t last = 0;
  for (const BoldRange& range : converted.bold) {
    FUZZ_CHECK(range.start < range.end && range.end <= converted.text.size(), "bold range outside the text");
    last = range.end;
  }
  (void)last;
  for (size_t i = 0; i < converted.text.size(); ++i) {
    const char c = converted.text[i];
    if (c == '\r') FUZZ_CHECK(i + 1 < converted.text.size() && converted.text[i + 1] == '\n', "a lone CR");
    if (c == '\n') FUZZ_CHECK(i > 0 && converted.text[i - 1] == '\r', "a lone LF");
  }
  const int lineHeight = MarkupLineHeight(13, 3, "MS PGothic");
  const TextSize size = MeasureText(converted.text, lineHeight, [](const std::string& line) {
    return static_cast<int>(line.size()) * 7;
  });
  FUZZ_CHECK(size.width > 0 && size.width <= 610 && size.height >= lineHeight, "measured size out of range");
  const BoxRect box = MsgBoxSize(size.width, size.height, BoxFrame{3, 3, 18});
  MsgBoxPosition(BoxRect{0, 0, 1024, 768}, box, false);
  MsgBoxTextPlace(box.width, box.height, size.width, size.height);
}

bool HasObjectWord(const std::string& page) {
  for (size_t at = FindText(page, "\\object", true); at != std::string::npos;
       at = FindText(page, "\\object", true, at + 1)) {
    const size_t next = at + 7;
    if (next >= page.size() || !std::isalpha(static_cast<unsigned char>(page[next]))) return true;
  }
  return false;
}

void InformPage(FuzzedDataProvider& input) {
  const std::string link = input.ConsumeRandomLengthString(128);
  const std::string text = input.ConsumeRemainingBytesAsString();
  const std::string page = InformPageText(text);
  FUZZ_CHECK(page.size() <= kInformMaxPageBytes, "page longer than the limit");
  FUZZ_CHECK(!HasObjectWord(page), "an object control word reached the control");
  const InformPlan plan = PlanInform(text, link);
  FUZZ_CHECK(plan.link.empty() || IsWebAddress(plan.link), "a refused address was kept");
  FUZZ_CHECK(plan.action != InformAction::kOpenLink || !plan.link.empty(), "opening no address");
  if (IsWebAddress(link)) {
    for (char c : link) {
      FUZZ_CHECK(static_cast<unsigned char>(c) > ' ' && c != '"', "a web address with a blank, control or quote");
    }
    FUZZ_CHECK(StartsWithText("http://", link, true) || StartsWithText("https://", link, true),
               "a web address of another scheme");
  }
}

// The sizes a server asks for are any numbers; those the system reports
// (work area, client area) are screen sizes.
int ScreenSize(FuzzedDataProvider& input) { return input.ConsumeIntegralInRange<int>(-100, 100000); }

void Layouts(FuzzedDataProvider& input) {
  const int available = ScreenSize(input);
  const int width = ClampInformSize(input.ConsumeIntegral<int>(), available);
  const int height = ClampInformSize(input.ConsumeIntegral<int>(), available);
  FUZZ_CHECK(width <= available && height <= available, "a clamped size beyond the work area");
  InformWindowPlace(BoxRect{ScreenSize(input), ScreenSize(input), available, available}, input.ConsumeIntegral<int>(),
                    input.ConsumeIntegral<int>());
  const InformLayout layout = InformLayoutFor(ScreenSize(input), ScreenSize(input), input.ConsumeBool());
  FUZZ_CHECK(layout.text.width >= 0 && layout.text.height >= 0, "negative text size");
  MsgBoxButtonPlace(ScreenSize(input), ScreenSize(input), input.ConsumeIntegralInRange<int>(0, 3));
  InformTextFace(input.ConsumeRandomLengthString(32));
  ComposeBoxRequest(input.ConsumeBool(), input.ConsumeBool(), input.ConsumeRandomLengthString(128),
                    input.ConsumeRandomLengthString(32), input.ConsumeIntegral<int>(),
                    input.ConsumeRandomLengthString(32), input.ConsumeIntegral<uint32_t>(),
                    static_cast<DefaultCaption>(input.ConsumeIntegralInRange<int>(0, 2)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  switch (input.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
      MessageText(input);
      break;
    case 1:
      InformPage(input);
      break;
    default:
      Layouts(input);
  }
  return 0;
}
