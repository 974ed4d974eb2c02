#include "ui/InformRules.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

#include "common/TextRules.h"

namespace {

constexpr char kDefaultTextFace[] = "Verdana";
constexpr char kSmallFace[] = "Tahoma";
constexpr char kObjectWord[] = "\\object";
// "\*" makes the group an optional destination that a reader skips when it
// does not know the word; the word itself is not "object" to any reader.
constexpr char kRefusedObject[] = "\\*\\refusedobj";
constexpr int kButtonBottomGap = 33;  // from the button's top to the client's bottom

bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

bool HasUnsafeCharacter(const std::string& link) {
  return std::any_of(link.begin(), link.end(), [](char c) {
    const unsigned char code = static_cast<unsigned char>(c);
    return code <= ' ' || code == 127 || c == '"';
  });
}

// Length of "http://" or "https://" at the start, or 0.
size_t WebSchemeLength(const std::string& link) {
  for (const char* scheme : {"http://", "https://"}) {
    if (StartsWithText(scheme, link, true)) return std::char_traits<char>::length(scheme);
  }
  return 0;
}

// True when the control word "\object" (any case, not the start of a
// longer word) begins at `at`.
bool IsObjectWordAt(const std::string& text, size_t at) {
  const size_t length = sizeof kObjectWord - 1;
  if (text.size() - at < length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[at + i])) != kObjectWord[i]) return false;
  }
  // "\objattph" or "\objectx" are other words: a control word is all its letters.
  return at + length == text.size() || !IsLetter(text[at + length]);
}

// One pass: the page comes from a server and may be made of nothing else.
std::string RenameObjectWords(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    if (text[at] == '\\' && IsObjectWordAt(text, at)) {
      result += kRefusedObject;
      at += sizeof kObjectWord - 1;
    } else {
      result += text[at++];
    }
  }
  return result;
}

int AtLeastZero(int value) { return std::max(0, value); }

}  // namespace

bool IsWebAddress(const std::string& link) {
  const size_t scheme = WebSchemeLength(link);
  if (scheme == 0 || scheme >= link.size() || HasUnsafeCharacter(link)) return false;
  // "http:///x" or "http://\\share" names no host.
  return link[scheme] != '/' && link[scheme] != '\\';
}

std::string InformTextFace(const std::string& fontName) {
  return fontName.empty() || fontName == kSmallFace ? kDefaultTextFace : fontName;
}

InformPlan PlanInform(const std::string& text, const std::string& link) {
  InformPlan plan{InformAction::kNothing, TrimText(link), false};
  if (!plan.link.empty() && !IsWebAddress(plan.link)) {
    plan.link.clear();
    plan.linkRefused = true;
  }
  if (!text.empty()) {
    plan.action = InformAction::kShowDialog;
  } else if (!plan.link.empty()) {
    plan.action = InformAction::kOpenLink;
  }
  return plan;
}

std::string InformPageText(const std::string& text) {
  // Cut before renaming so the work is bounded, and again after: renaming
  // lengthens the page, and a cut can only shorten a renamed word.
  const std::string page = RenameObjectWords(text.substr(0, kInformMaxPageBytes));
  return page.substr(0, kInformMaxPageBytes);
}

int ClampInformSize(int requested, int available) {
  return std::min(std::max(requested, kInformMinSize), available);
}

BoxRect InformWindowPlace(const BoxRect& work, int width, int height) {
  BoxRect place{0, 0, ClampInformSize(width, work.width), ClampInformSize(height, work.height)};
  place.x = work.x + (work.width - place.width) / 2;
  place.y = work.y + (work.height - place.height) / 2;
  return place;
}

InformLayout InformLayoutFor(int clientWidth, int clientHeight, bool withButton) {
  InformLayout layout{};
  const int band = withButton ? kInformButtonBand : 0;
  layout.text = BoxRect{kInformTextInset, 0, AtLeastZero(clientWidth - kInformTextInset),
                        AtLeastZero(clientHeight - band)};
  layout.button = BoxRect{(clientWidth - kInformButtonWidth) / 2, clientHeight - kButtonBottomGap,
                          kInformButtonWidth, kInformButtonHeight};
  return layout;
}
