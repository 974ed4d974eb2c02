#include <gtest/gtest.h>

#include "common/BoxRequest.h"

TEST(BoxRequest, HeadingDefaultsAndStyles) {
  struct {
    bool heading, noClose;
    const char* caption;
    int charset;
    DefaultCaption fallback;
    const char* text;
    const char* shownCaption;
    uint32_t style;
  } cases[] = {
      // No owner window: the standard caption becomes an upper-case heading.
      {true, false, "Error", 0, DefaultCaption::kError, "<<b>ERROR</b><P><P>msg<P>", "Error", 0x52010},
      {true, false, "", 0, DefaultCaption::kConfirm, "<<b>CONFIRM</b><P><P>msg<P>", "Confirm", 0x52010},
      {true, false, "Fehler", 0, DefaultCaption::kError, "<<b>Fehler</b><P><P>msg<P>", "Fehler", 0x52010},
      {false, false, "", 0, DefaultCaption::kAttention, "msg", "Attention", 0x52010},
      {false, false, "Note", 177, DefaultCaption::kError, "msg", "Note", 0x1D2010},  // Hebrew: right to left
      {false, false, "Note", 178, DefaultCaption::kError, "msg", "Note", 0x1D2010},  // Arabic
      {false, true, "Note", 0, DefaultCaption::kError, "msg", "Note", 0x10052010},   // close greyed
  };
  for (const auto& c : cases) {
    const BoxRequest r = ComposeBoxRequest(c.heading, c.noClose, "msg", c.caption, c.charset, "", 0x10, c.fallback);
    EXPECT_EQ(r.text, c.text) << c.caption;
    EXPECT_EQ(r.caption, c.shownCaption) << c.caption;
    EXPECT_EQ(r.style, c.style) << c.caption;
    EXPECT_EQ(r.buttons, "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  }
  EXPECT_EQ(ComposeBoxRequest(false, false, "m", "c", 0, "|&Ja|", 0, DefaultCaption::kError).buttons, "|&Ja|");
}
