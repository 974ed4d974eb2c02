// The inform dialog on a real display, where the rich-edit control answers
// format queries: the dialog runs its modal loop on the test thread while a
// watcher thread reads it and closes it.
#include <gtest/gtest.h>
#include <richedit.h>
#include <windows.h>

#include <string>
#include <thread>

#include "ui/InformDialog.h"

namespace {

constexpr char kClass[] = "VRichEditBox";

BOOL CALLBACK FindDialogOfThread(HWND window, LPARAM found) {
  char name[32] = {};
  GetClassNameA(window, name, sizeof name);
  if (std::string(name) != kClass) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// The dialog of `thread` once its modal loop answers; null after 10 s.
HWND WaitForDialog(DWORD thread) {
  for (int i = 0; i < 2000; ++i) {
    HWND dialog = nullptr;
    EnumThreadWindows(thread, FindDialogOfThread, reinterpret_cast<LPARAM>(&dialog));
    DWORD_PTR answer = 0;
    if (dialog && SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer)) {
      return dialog;
    }
    Sleep(5);
  }
  return nullptr;
}

HWND TextControl(HWND dialog) { return FindWindowExA(dialog, nullptr, "RICHEDIT", nullptr); }

std::string WindowText(HWND window) {
  char text[4096] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

bool IsBold(HWND rich, LONG position) {
  CHARRANGE one{position, position + 1};
  SendMessageA(rich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&one));
  CHARFORMATA format{};
  format.cbSize = sizeof format;
  SendMessageA(rich, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  return (format.dwMask & CFM_BOLD) != 0 && (format.dwEffects & CFE_BOLD) != 0;
}

// The control's text with every bold character in brackets.
std::string MarkBoldCharacters(HWND rich) {
  const std::string text = WindowText(rich);
  std::string marked;
  bool inBold = false;
  for (size_t i = 0; i <= text.size(); ++i) {
    const bool bold = i < text.size() && IsBold(rich, static_cast<LONG>(i));
    if (bold != inBold) marked += bold ? "[" : "]";
    inBold = bold;
    if (i < text.size()) marked += text[i] == '\r' ? "\\r" : text[i] == '\n' ? "\\n" : std::string(1, text[i]);
  }
  return marked;
}

// Shows the page; the watcher reads the text control and closes the dialog.
std::string ShownText(const std::string& page, bool* shown) {
  const DWORD thread = GetCurrentThreadId();
  std::string marked = "(no dialog)";
  std::thread watcher([&] {
    HWND dialog = WaitForDialog(thread);
    if (!dialog) return;
    HWND rich = TextControl(dialog);
    marked = rich ? MarkBoldCharacters(rich) : "(no text control)";
    PostMessageA(dialog, WM_CLOSE, 0, 0);
  });
  *shown = ShowInform(nullptr, "Page", "", page, "", 360, 360, false, "Tahoma", 8, 0);
  watcher.join();
  return marked;
}

TEST(InformDialog, RtfPagesRenderAndObjectsAreNotLoaded) {
  const struct {
    const char* page;
    const char* shown;  // bold characters in brackets
  } kCases[] = {
      {"{\\rtf1 A {\\b Bold} z}", "A [Bold] z"},
      {"Plain {\\b text}", "Plain {\\b text}"},  // only a page that begins as RTF is read as RTF
      // An embedded object's group is skipped whole: neither the object nor its data shows.
      {"{\\rtf1 a{\\object\\objemb{\\*\\objclass Package}{\\*\\objdata 0105000002000000}"
       "{\\result b}}c}",
       "ac"},
  };
  for (const auto& c : kCases) {
    bool shown = false;
    EXPECT_EQ(ShownText(c.page, &shown), c.shown) << c.page;
    EXPECT_TRUE(shown) << c.page;
  }
}

bool secondCallAnswer = true;

void CALLBACK CallAgainAndClose(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  secondCallAnswer = ShowInform(nullptr, "Second", "", "page", "", 360, 360, false, "", 8, 0);
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindDialogOfThread, reinterpret_cast<LPARAM>(&dialog));
  if (dialog) PostMessageA(dialog, WM_CLOSE, 0, 0);
}

TEST(InformDialog, ASecondCallWhileOneIsUpShowsNothingAndTheNextRunsAgain) {
  SetTimer(nullptr, 0, 200, CallAgainAndClose);
  EXPECT_TRUE(ShowInform(nullptr, "First", "", "page", "", 360, 360, false, "", 8, 0));
  EXPECT_FALSE(secondCallAnswer);

  bool shown = false;
  EXPECT_EQ(ShownText("again", &shown), "again");
  EXPECT_TRUE(shown);
}

}  // namespace
