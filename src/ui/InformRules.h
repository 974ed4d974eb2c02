// The inform dialog's decisions, as portable rules: which address it may
// open, what page it hands to the rich-edit control, which face the text
// takes, and where the window, the text and the button go.
#pragma once

#include <cstddef>
#include <string>

#include "ui/BoxLayout.h"

constexpr int kInformButtonWidth = 160;
constexpr int kInformButtonHeight = 25;
// Height of the band at the bottom of the client area that holds the button.
constexpr int kInformButtonBand = 43;
// Strip left free at the text's left edge.
constexpr int kInformTextInset = 3;
// The smallest width and height the dialog takes, whatever it is asked for:
// room for the 160-pixel button and a few lines of text.
constexpr int kInformMinSize = 200;
// The most of a page the dialog shows, in bytes. The page comes from a web
// server: 64 KB is several screens of text or a formatted page of a few
// thousand words, and keeps the control's work bounded.
constexpr size_t kInformMaxPageBytes = 64 * 1024;

// True for an address the dialog hands to the shell: "http://" or
// "https://" (any case) and a host, with no blank, control character or
// double quote anywhere (a quote would end the address inside the handler's
// command line). Anything else (ftp:, file:, a share, a program) is refused.
bool IsWebAddress(const std::string& link);

// The text's face: "Verdana" unless `fontName` is non-empty and not exactly
// "Tahoma" (the message box's default face, too small for a page).
std::string InformTextFace(const std::string& fontName);

enum class InformAction {
  kNothing,     // no page and no address that may be opened
  kOpenLink,    // no page: the address is opened at once, no window
  kShowDialog,  // the page, with a button when `link` is not empty
};

struct InformPlan {
  InformAction action;
  std::string link;  // trimmed; empty when there was none or it was refused
  bool linkRefused;  // an address was given but is not a web address
};

// What ShowInform does with a page and an address: the address is trimmed
// of blanks and control characters at both ends, and kept only when it is
// a web address.
InformPlan PlanInform(const std::string& text, const std::string& link);

// The page as the control gets it: at most kInformMaxPageBytes, and every
// RTF "\object" control word (any case) renamed to an ignorable destination,
// so the control never creates an embedded object from it. Renamed wherever
// it stands, escapes and binary data included: a reader that lexes the page
// differently from the control can then still not miss one.
std::string InformPageText(const std::string& text);

// A width or height from the info file within [kInformMinSize, available];
// `available` (the work area's) wins when it is smaller.
int ClampInformSize(int requested, int available);

// The window of the clamped size centred in the work area `work`.
BoxRect InformWindowPlace(const BoxRect& work, int width, int height);

struct InformLayout {
  BoxRect text;
  BoxRect button;  // only meaningful with a button
};

// The text control and the button in a client area of the given size. The
// text fills it except the left inset and, with a button, the band; the
// button is centred in the band. Sizes never go below 0.
InformLayout InformLayoutFor(int clientWidth, int clientHeight, bool withButton);
