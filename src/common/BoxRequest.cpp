#include "common/BoxRequest.h"

#include "common/TextRules.h"
#include "common/VSUB.h"

namespace {
constexpr char kDefaultButtons[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
constexpr char kDefaultCaptions[] = "|Error|Attention|Confirm|";
}  // namespace

BoxRequest ComposeBoxRequest(bool heading, bool noClose, const std::string& text, const std::string& caption,
                             int charset, const std::string& buttons, uint32_t style, DefaultCaption fallback) {
  BoxRequest request{text, caption, buttons, style | kBoxShortcutStyle};
  if (charset == 177 || charset == 178) request.style |= kBoxRightToLeft;
  if (request.caption.empty()) request.caption = SUB::Item(kDefaultCaptions, static_cast<int>(fallback));
  if (request.buttons.empty()) request.buttons = kDefaultButtons;
  if (heading) {
    const bool standard = ContainsText(kDefaultCaptions, request.caption, false);
    const std::string title = standard ? UpperText(request.caption) : request.caption;
    request.text = "<<b>" + title + "</b><P><P>" + text + "<P>";
  }
  if (noClose) request.style |= kBoxNoClose;
  return request;
}
