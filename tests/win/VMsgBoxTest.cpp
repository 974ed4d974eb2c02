// The message box on a real display: the box runs its modal loop on the test
// thread while a watcher thread inspects it and presses its keys.
#include <gtest/gtest.h>
#include <richedit.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/UtilsUi.h"
#include "ui/VMsgBox.h"

namespace {

const char kButtons[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
constexpr int kSafetyTimeout = 15000;  // ends a box that a broken test leaves up

BOOL CALLBACK FindBoxOfThread(HWND window, LPARAM found) {
  char name[32] = {};
  GetClassNameA(window, name, sizeof name);
  if (std::string(name) != "VMsgBox") return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// The box of `thread`, once its modal loop runs (a sent message is answered
// only there, after the box has laid itself out); null after 10 s.
HWND WaitForBox(DWORD thread) {
  for (int i = 0; i < 2000; ++i) {
    HWND box = nullptr;
    EnumThreadWindows(thread, FindBoxOfThread, reinterpret_cast<LPARAM>(&box));
    DWORD_PTR answer = 0;
    if (box && SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer)) return box;
    Sleep(5);
  }
  return nullptr;
}

// Runs `action` on another thread with the box that the test thread shows.
class BoxWatcher {
 public:
  explicit BoxWatcher(std::function<void(HWND box)> action) {
    const DWORD thread = GetCurrentThreadId();
    thread_ = std::thread([this, thread, action] {
      HWND box = WaitForBox(thread);
      found_ = box != nullptr;
      if (box) action(box);
    });
  }
  ~BoxWatcher() { Finish(); }
  // Waits for the watcher; true when it met the box.
  bool Finish() {
    if (thread_.joinable()) thread_.join();
    return found_;
  }

 private:
  std::thread thread_;
  bool found_ = false;
};

struct Child {
  HWND window;
  std::string className;
  RECT rect;  // in screen coordinates
};

BOOL CALLBACK CollectChild(HWND window, LPARAM list) {
  char name[32] = {};
  GetClassNameA(window, name, sizeof name);
  Child child{window, name, {}};
  GetWindowRect(window, &child.rect);
  reinterpret_cast<std::vector<Child>*>(list)->push_back(child);
  return TRUE;
}

std::vector<Child> Children(HWND box, const std::string& className) {
  std::vector<Child> all, wanted;
  EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&all));
  for (const Child& child : all) {
    if (lstrcmpiA(child.className.c_str(), className.c_str()) == 0) wanted.push_back(child);
  }
  return wanted;
}

// Left to right.
std::vector<HWND> Buttons(HWND box) {
  std::vector<Child> buttons = Children(box, "Button");
  std::sort(buttons.begin(), buttons.end(),
            [](const Child& a, const Child& b) { return a.rect.left < b.rect.left; });
  std::vector<HWND> windows;
  for (const Child& button : buttons) windows.push_back(button.window);
  return windows;
}

HWND TextControl(HWND box) {
  const std::vector<Child> rich = Children(box, "RICHEDIT");
  return rich.empty() ? nullptr : rich[0].window;
}

std::string WindowText(HWND window) {
  char text[4096] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// The control's text with every bold character in brackets.
std::string MarkBoldCharacters(HWND rich) {
  const std::string text = WindowText(rich);
  std::string marked;
  bool inBold = false;
  for (size_t i = 0; i <= text.size(); ++i) {
    bool bold = false;
    if (i < text.size()) {
      CHARRANGE one{static_cast<LONG>(i), static_cast<LONG>(i + 1)};
      SendMessageA(rich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&one));
      CHARFORMATA format{};
      format.cbSize = sizeof format;
      SendMessageA(rich, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
      bold = (format.dwEffects & CFE_BOLD) != 0 && text[i] != '\r' && text[i] != '\n';
    }
    if (bold != inBold) marked += bold ? "[" : "]";
    inBold = bold;
    if (i < text.size()) {
      marked += text[i] == '\r' ? "\\r" : text[i] == '\n' ? "\\n" : std::string(1, text[i]);
    }
  }
  return marked;
}

std::string LongWords(int words, int letters) {
  std::string text;
  for (int i = 0; i < words; ++i) text += (i ? " " : "") + std::string(letters, 'm');
  return text;
}

void Post(HWND box, UINT message, WPARAM wParam) { PostMessageA(box, message, wParam, 0); }

}  // namespace

TEST(VMsgBox, TimeOutAnswersTheFirstButton) {
  struct {
    UINT set;
    int expected;
  } cases[] = {
      {0, IDOK},  {1, IDOK},    {2, IDABORT}, {3, IDYES},
      {4, IDYES}, {5, IDRETRY}, {6, 0},  // no buttons: nothing to answer
  };
  for (const auto& c : cases) {
    EXPECT_EQ(
        ShowMsgBox(nullptr, "Nobody answers.", "Time-out", kButtons, c.set | MB_ICONQUESTION, 100),
        c.expected)
        << "button set " << c.set;
  }
}

TEST(VMsgBox, ButtonSetsCaptionsAndCodes) {
  struct {
    UINT style;
    const char* buttons;
    std::vector<std::string> captions;  // left to right
    std::vector<LONG_PTR> codes;
    int defaultButton;
  } cases[] = {
      {0, kButtons, {"&OK"}, {IDOK}, 0},
      {1, kButtons, {"&OK", "&Cancel"}, {IDOK, IDCANCEL}, 0},
      {2 | 0x100, kButtons, {"&Abort", "&Retry", "&Ignore"}, {IDABORT, IDRETRY, IDIGNORE}, 1},
      {3 | 0x200, kButtons, {"&Yes", "&No", "&Cancel"}, {IDYES, IDNO, IDCANCEL}, 2},
      {4 | 0x200, kButtons, {"&Yes", "&No"}, {IDYES, IDNO}, 0},  // default index modulo the count
      {5, kButtons, {"&Retry", "&Cancel"}, {IDRETRY, IDCANCEL}, 0},
      {1, "|&Okay|", {"&Okay", ""}, {IDOK, IDCANCEL}, 0},  // a short list: empty caption
      {1, "", {"", ""}, {IDOK, IDCANCEL}, 0},
  };
  for (const auto& c : cases) {
    std::vector<std::string> captions;
    std::vector<LONG_PTR> codes;
    int defaults = 0, defaultAt = -1;
    BoxWatcher watcher([&](HWND box) {
      const std::vector<HWND> buttons = Buttons(box);
      for (size_t i = 0; i < buttons.size(); ++i) {
        captions.push_back(WindowText(buttons[i]));
        codes.push_back(GetWindowLongPtrA(buttons[i], GWLP_USERDATA));
        if ((GetWindowLongA(buttons[i], GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON) {
          ++defaults;
          defaultAt = static_cast<int>(i);
        }
      }
      Post(box, WM_CLOSE, 0);
    });
    const int result =
        ShowMsgBox(nullptr, "Which button?", "Buttons", c.buttons, c.style, kSafetyTimeout);
    ASSERT_TRUE(watcher.Finish());
    EXPECT_EQ(result, 0) << "the close command answers 0, style " << c.style;
    EXPECT_EQ(captions, c.captions) << "style " << c.style;
    EXPECT_EQ(codes, c.codes) << "style " << c.style;
    EXPECT_EQ(defaults, 1) << "style " << c.style;
    EXPECT_EQ(defaultAt, c.defaultButton) << "style " << c.style;
  }
}

TEST(VMsgBox, Keys) {
  struct Key {
    UINT message;
    WPARAM code;
  };
  struct {
    UINT style;
    const char* buttons;
    std::vector<Key> keys;
    int expected;
    const char* note;
  } cases[] = {
      {4, kButtons, {{WM_KEYDOWN, VK_ESCAPE}}, 0, "Escape"},
      {4, kButtons, {{WM_KEYDOWN, 'N'}}, IDNO, "hot key"},
      {2, kButtons, {{WM_KEYDOWN, 'I'}}, IDIGNORE, "hot key of the third button"},
      {3, kButtons, {{WM_CHAR, 'n'}}, IDNO, "typed letter, either case"},
      {3 | 0x100, kButtons, {{WM_KEYDOWN, VK_RETURN}}, IDNO, "Enter on the default button"},
      {1, kButtons, {{WM_KEYDOWN, VK_RIGHT}, {WM_KEYDOWN, VK_RETURN}}, IDCANCEL, "Right moves on"},
      {3,
       kButtons,
       {{WM_KEYDOWN, VK_LEFT}, {WM_KEYDOWN, VK_RETURN}},
       IDCANCEL,
       "Left from the first cycles to the last"},
      {2,
       kButtons,
       {{WM_KEYDOWN, VK_TAB}, {WM_KEYDOWN, VK_DOWN}, {WM_KEYDOWN, VK_RETURN}},
       IDIGNORE,
       "Tab and Down"},
      {2 | 0x200,
       kButtons,
       {{WM_KEYDOWN, VK_DOWN}, {WM_KEYDOWN, VK_UP}, {WM_KEYDOWN, VK_RETURN}},
       IDIGNORE,
       "Down from the last cycles to the first, Up back"},
      {1, "|&Go|&Get|", {{WM_KEYDOWN, 'G'}}, IDCANCEL, "key-down: the last matching button wins"},
      {1, "|&Go|&Get|", {{WM_CHAR, 'G'}}, IDOK, "character: the first matching button wins"},
      {1,
       "|Okay|Cancel|",
       {{WM_KEYDOWN, 'C'}},
       IDCANCEL,
       "no '&': the first character is the hot key"},
      {1,
       kButtons,
       {{WM_KEYDOWN, 'Z'}, {WM_CHAR, 'z'}, {WM_KEYDOWN, VK_ESCAPE}},
       0,
       "other letters do nothing"},
      {4, kButtons, {{WM_KEYDOWN, 'N'}, {WM_KEYDOWN, 'Y'}}, IDNO, "the first choice stands"},
      {6,
       kButtons,
       {{WM_KEYDOWN, VK_RIGHT}, {WM_KEYDOWN, VK_ESCAPE}},
       0,
       "no buttons: Escape still closes"},
  };
  for (const auto& c : cases) {
    BoxWatcher watcher([&](HWND box) {
      for (const Key& key : c.keys) Post(box, key.message, key.code);
    });
    EXPECT_EQ(ShowMsgBox(nullptr, "Press a key.", "Keys", c.buttons, c.style, kSafetyTimeout),
              c.expected)
        << c.note;
    EXPECT_TRUE(watcher.Finish()) << c.note;
  }
}

TEST(VMsgBox, ClickedButtonWinsOverALaterTimeOut) {
  // The click is handled first; the time-out that follows before the box has
  // closed must not replace the answer with the first button's.
  BoxWatcher watcher([](HWND box) {
    const std::vector<HWND> buttons = Buttons(box);
    if (buttons.size() != 2) return;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(102, BN_CLICKED),
                 reinterpret_cast<LPARAM>(buttons[1]));
    PostMessageA(box, WM_TIMER, 1, 0);
  });
  EXPECT_EQ(ShowMsgBox(nullptr, "Yes or no?", "Race", kButtons, MB_YESNO, kSafetyTimeout), IDNO);
  EXPECT_TRUE(watcher.Finish());
}

TEST(VMsgBox, BoldLandsOnTheRightCharacters) {
  struct {
    const char* text;
    const char* shown;  // the control's text, bold characters in brackets
  } cases[] = {
      {"<b>Warning</b><P>the rest", "[Warning]\\r\\nthe rest"},
      {"one<P>two<P>three <B>four</B> five", "one\\r\\ntwo\\r\\nthree [four] five"},
      {"<<b>ERROR</b><P><P>Disk full.<P>", "[ERROR]\\r\\n\\r\\nDisk full.\\r\\n"},
      {"stray</b> and <b>open", "stray and open"},
      {"{\\rtf1 not rtf} <b>x</b>", "{\\rtf1 not rtf} [x]"},  // shown as typed, not read as RTF
  };
  for (const auto& c : cases) {
    std::string shown;
    BoxWatcher watcher([&](HWND box) {
      if (HWND rich = TextControl(box)) shown = MarkBoldCharacters(rich);
      Post(box, WM_CLOSE, 0);
    });
    ShowMsgBox(nullptr, c.text, "Bold", kButtons, MB_OK, kSafetyTimeout);
    ASSERT_TRUE(watcher.Finish()) << c.text;
    EXPECT_EQ(shown, c.shown) << c.text;
  }
}

TEST(VMsgBox, Geometry) {
  struct {
    std::string text;
    int textWidth;  // outer width of the text control; 0: not checked
    const char* note;
  } cases[] = {
      {"Short.", 0, "a short text still gives a box 360 wide"},
      {std::string(300, 'W'), 610, "a long line is capped at 600 plus 10"},
      {"<b>" + std::string(60, 'm') + " " + std::string(60, 'm') + " " + std::string(60, 'm') +
           "</b>",
       0, "a long bold paragraph"},
      {LongWords(12, 40), 0,
       "words wider than half a line: wrapped, they need more lines than measured"},
  };
  for (const auto& c : cases) {
    RECT boxRect{}, client{}, textRect{};
    LRESULT lastCharBottom = 0;
    BoxWatcher watcher([&](HWND box) {
      GetWindowRect(box, &boxRect);
      GetClientRect(box, &client);
      if (HWND rich = TextControl(box)) {
        GetWindowRect(rich, &textRect);
        // The last character's line must lie inside the control.
        const LRESULT length = SendMessageA(rich, WM_GETTEXTLENGTH, 0, 0);
        POINTL at{0, 0};
        SendMessageA(rich, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), length - 1);
        lastCharBottom = at.y + 13;
      }
      Post(box, WM_CLOSE, 0);
    });
    ShowMsgBox(nullptr, c.text, "Geometry", kButtons, MB_OKCANCEL, kSafetyTimeout);
    ASSERT_TRUE(watcher.Finish()) << c.note;
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int width = boxRect.right - boxRect.left, height = boxRect.bottom - boxRect.top;
    EXPECT_GE(width, 360) << c.note;
    EXPECT_EQ(boxRect.left, work.left + (work.right - work.left - width) / 2) << c.note;
    EXPECT_EQ(boxRect.top, work.top + (work.bottom - work.top - height) / 2) << c.note;
    const int textWidth = textRect.right - textRect.left;
    if (c.textWidth) {
      EXPECT_EQ(textWidth, c.textWidth) << c.note;
    }
    EXPECT_EQ(textRect.left - boxRect.left - GetSystemMetrics(SM_CXDLGFRAME),
              (client.right - 54 - textWidth) / 2 + 54)
        << c.note;
    EXPECT_LE(lastCharBottom, textRect.bottom - textRect.top) << c.note;
  }
}

TEST(VMsgBox, QuitRequestIsKeptForTheProgramLoop) {
  PostQuitMessage(7);
  // The box stays up until its time-out although the quit request reached its loop.
  EXPECT_EQ(ShowMsgBox(nullptr, "Still here.", "Quit", kButtons, MB_YESNO, 150), IDYES);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

namespace {

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

// A visible top-level window of the test thread, made active.
class ActiveWindow {
 public:
  ActiveWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = PlainWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VMsgBoxTestOwner";
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(0, "VMsgBoxTestOwner", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                              10, 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetActiveWindow(window_);
  }
  ~ActiveWindow() {
    DestroyWindow(window_);
    UnregisterClassA("VMsgBoxTestOwner", GetModuleHandleA(nullptr));
  }
  HWND get() const { return window_; }

 private:
  HWND window_;
};

}  // namespace

TEST(VMsgBox, ActiveWindowIsDisabledWhileTheBoxIsUp) {
  for (bool disabledBefore : {false, true}) {
    ActiveWindow owner;
    ASSERT_EQ(GetActiveWindow(), owner.get());
    if (disabledBefore) EnableWindow(owner.get(), FALSE);
    bool enabledDuring = true;
    HWND boxOwner = nullptr;
    BoxWatcher watcher([&](HWND box) {
      enabledDuring = IsWindowEnabled(owner.get()) != FALSE;
      boxOwner = GetWindow(box, GW_OWNER);
      Post(box, WM_KEYDOWN, VK_ESCAPE);
    });
    EXPECT_EQ(ShowMsgBox(owner.get(), "Owned.", "Owner", kButtons, MB_OK, kSafetyTimeout), 0);
    ASSERT_TRUE(watcher.Finish());
    EXPECT_FALSE(enabledDuring);
    EXPECT_EQ(boxOwner, owner.get());
    // A window someone else had disabled stays so.
    EXPECT_EQ(IsWindowEnabled(owner.get()) != FALSE, !disabledBefore);
    if (!disabledBefore) {
      EXPECT_EQ(GetActiveWindow(), owner.get());
    }
  }
}

namespace {

int nestedResult = -1;
void CALLBACK ShowNestedBox(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  nestedResult = ShowMsgBox(nullptr, "Second box.", "Nested", kButtons, MB_OK, 100);
}

}  // namespace

TEST(VMsgBox, SecondBoxWhileOneIsUpReturnsZero) {
  nestedResult = -1;
  SetTimer(nullptr, 0, 20, ShowNestedBox);
  EXPECT_EQ(ShowMsgBox(nullptr, "First box.", "Outer", kButtons, MB_OK, 500), IDOK);
  EXPECT_EQ(nestedResult, 0);
  // And the unit is usable again afterwards.
  EXPECT_EQ(ShowMsgBox(nullptr, "Third box.", "After", kButtons, MB_OKCANCEL, 50), IDOK);
}

TEST(VMsgBox, CloseCommandGreyedAndResourcesReleased) {
  UINT closeState = 0;
  HGDIOBJ font = nullptr;
  BoxWatcher watcher([&](HWND box) {
    closeState = GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND);
    const std::vector<HWND> buttons = Buttons(box);
    if (!buttons.empty()) {
      font = reinterpret_cast<HGDIOBJ>(SendMessageA(buttons[0], WM_GETFONT, 0, 0));
    }
    Post(box, WM_KEYDOWN, VK_ESCAPE);
  });
  EXPECT_EQ(ShowMsgBox(nullptr, "No close button.", "Greyed", kButtons, MB_OK | kMsgBoxNoClose,
                       kSafetyTimeout),
            0);
  ASSERT_TRUE(watcher.Finish());
  EXPECT_NE(closeState & MF_GRAYED, 0u);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(GetObjectType(font), 0u) << "the box font is deleted with the box";
  WNDCLASSA info;
  EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), "VMsgBox", &info))
      << "the class goes with the box";
}

TEST(VMsgBox, AnswersQueryCancelAutoPlay) {
  SetAutoPlaySuppression(true);
  const UINT message = RegisterWindowMessageA("QueryCancelAutoPlay");
  LRESULT answer = 0;
  BoxWatcher watcher([&](HWND box) {
    answer = SendMessageA(box, message, 0, 0);
    Post(box, WM_CLOSE, 0);
  });
  ShowMsgBox(nullptr, "Insert disk 2.", "AutoPlay", kButtons, MB_OKCANCEL, kSafetyTimeout);
  SetAutoPlaySuppression(false);
  ASSERT_TRUE(watcher.Finish());
  EXPECT_EQ(answer, 1);
}

TEST(VMsgBox, PlainTextWithoutTheRichEditLibrary) {
  SetRichEditLibraryForTesting("no-such-riched.dll");
  std::string text, richCount;
  BoxWatcher watcher([&](HWND box) {
    const std::vector<Child> edits = Children(box, "Edit");
    if (edits.size() == 1) text = WindowText(edits[0].window);
    richCount = std::to_string(Children(box, "RICHEDIT").size());
    Post(box, WM_KEYDOWN, 'Y');
  });
  const int result =
      ShowMsgBox(nullptr, "<b>Plain</b><P>text", "Fallback", kButtons, MB_YESNO, kSafetyTimeout);
  SetRichEditLibraryForTesting("");
  ASSERT_TRUE(watcher.Finish());
  EXPECT_EQ(result, IDYES);
  EXPECT_EQ(text, "Plain\r\ntext");
  EXPECT_EQ(richCount, "0");
}

TEST(VMsgBox, DeveloperQuestionOpensFurtherRightAndDown) {
  SetEnvironmentVariableA("DVX", "853");
  const bool developer = IsDeveloperMachine();
  SetEnvironmentVariableA("DVX", nullptr);
  if (!developer) GTEST_SKIP() << "another test of this process read DVX before";
  struct {
    const char* text;
    int shift;
  } cases[] = {
      {"Do you want to store the new Entry in the list?", 150},
      {"Do you want to keep the new Entry in the list?", 0},
  };
  for (const auto& c : cases) {
    RECT boxRect{};
    BoxWatcher watcher([&](HWND box) {
      GetWindowRect(box, &boxRect);
      Post(box, WM_CLOSE, 0);
    });
    ShowMsgBox(nullptr, c.text, "Developer", kButtons, MB_YESNO, kSafetyTimeout);
    ASSERT_TRUE(watcher.Finish()) << c.text;
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int width = boxRect.right - boxRect.left, height = boxRect.bottom - boxRect.top;
    EXPECT_EQ(boxRect.left, work.left + (work.right - work.left - width) / 2 + c.shift) << c.text;
    EXPECT_EQ(boxRect.top, work.top + (work.bottom - work.top - height) / 2 + c.shift) << c.text;
  }
}
