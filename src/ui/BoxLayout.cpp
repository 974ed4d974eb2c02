#include "ui/BoxLayout.h"

#include <algorithm>

namespace {

constexpr int kMinBoxWidth = 360;
constexpr int kButtonStrip = 36;  // height kept free below the text for the buttons
constexpr int kDeveloperShift = 150;

}  // namespace

BoxRect MsgBoxSize(int textWidth, int textHeight, const BoxFrame& frame) {
  const int marginX = textWidth < 200 ? 64 : 32;
  const int marginY = textHeight < 39 ? 45 : 32;
  BoxRect box{0, 0, 0, 0};
  box.width =
      std::max(kMinBoxWidth, textWidth + kBoxBandWidth + 2 * marginX + 2 * frame.frameWidth);
  box.height =
      textHeight + kButtonStrip + 2 * marginY + 2 * frame.frameHeight + frame.captionHeight;
  return box;
}

BoxRect MsgBoxPosition(const BoxRect& work, const BoxRect& box, bool shifted) {
  BoxRect placed = box;
  placed.x = work.x + (work.width - box.width) / 2;
  placed.y = work.y + (work.height - box.height) / 2;
  if (shifted) {
    placed.x += kDeveloperShift;
    placed.y += kDeveloperShift;
  }
  return placed;
}

BoxRect MsgBoxTextPlace(int clientWidth, int clientHeight, int textWidth, int textHeight) {
  BoxRect place{0, 0, textWidth, 0};
  place.x = (clientWidth - kBoxBandWidth - textWidth) / 2 + kBoxBandWidth;
  place.y = (clientHeight - kButtonStrip - textHeight) / 2;
  place.height = clientHeight - place.y - 39;
  return place;
}

BoxRect MsgBoxButtonPlace(int clientWidth, int clientHeight, int fromRight) {
  return BoxRect{clientWidth - 80 - kBoxButtonWidth * fromRight, clientHeight - 29, kBoxButtonWidth,
                 kBoxButtonHeight};
}
