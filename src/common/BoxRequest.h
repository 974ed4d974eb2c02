// What the message-box shortcuts hand to the box: the caption and buttons
// with their defaults, the heading form of the text and the style bits.
// Portable, so the composition is tested on the host.
#pragma once

#include <cstdint>
#include <string>

struct BoxRequest {
  std::string text;
  std::string caption;
  std::string buttons;
  uint32_t style;
};

enum class DefaultCaption { kError = 0, kAttention = 1, kConfirm = 2 };

// `heading`: the caller named no owner window, so the caption opens the text
// as a bold heading ("<<b>CAPTION</b><P><P>text<P>"; the standard captions
// upper-cased). `noClose`: the box's close command is greyed. Charsets 177
// and 178 add right alignment and right-to-left reading.
BoxRequest ComposeBoxRequest(bool heading, bool noClose, const std::string& text, const std::string& caption,
                             int charset, const std::string& buttons, uint32_t style, DefaultCaption fallback);

constexpr uint32_t kBoxRightToLeft = 0x180000;   // right-aligned, right-to-left reading
constexpr uint32_t kBoxShortcutStyle = 0x52000;  // task-modal, set foreground, topmost
constexpr uint32_t kBoxNoClose = 0x10000000;     // the box greys its close command
