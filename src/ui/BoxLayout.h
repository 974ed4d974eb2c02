// Where the message box puts itself and its parts, in pixels. Portable
// arithmetic, so the margins and minimum sizes are tested on the host.
#pragma once

struct BoxRect {
  int x;
  int y;
  int width;
  int height;
};

// Width of the coloured band at the box's left, which holds the icon.
constexpr int kBoxBandWidth = 54;
constexpr int kBoxButtonWidth = 70;
constexpr int kBoxButtonHeight = 23;

// The window's frame and caption, as the system reports them.
struct BoxFrame {
  int frameWidth;
  int frameHeight;
  int captionHeight;
};

// Outer size of the box around a text control of outer size `textWidth` x
// `textHeight`: margins 32 (64 across a control narrower than 200, 45 above
// and below one lower than 39), at least 360 wide. Only width and height are set.
BoxRect MsgBoxSize(int textWidth, int textHeight, const BoxFrame& frame);

// The box of size `box` centred in the work area `work`; `shifted` moves it
// 150 right and 150 down.
BoxRect MsgBoxPosition(const BoxRect& work, const BoxRect& box, bool shifted);

// The text control in a client area `clientWidth` x `clientHeight`: centred
// right of the band and above the button strip; its height runs down to 39
// above the client's bottom.
BoxRect MsgBoxTextPlace(int clientWidth, int clientHeight, int textWidth, int textHeight);

// Button `fromRight` (0 = rightmost) in the client area.
BoxRect MsgBoxButtonPlace(int clientWidth, int clientHeight, int fromRight);
