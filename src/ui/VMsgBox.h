// The program's own modal message box: mark-up text on a read-only rich-edit
// control, a coloured band with an icon, one to three localised buttons and
// an optional time-out. One box at a time, on the calling thread.
#pragma once

#include <windows.h>

#include <string>

#include "common/BoxRequest.h"

// Style bit beyond the Win32 message-box values that the box reads: grey the
// window menu's Close.
constexpr UINT kMsgBoxNoClose = kBoxNoClose;

// Stores the face and charset of the box font; the size only when non-zero.
void SetMsgBoxFont(const std::string& face, int size, int charset);

// Shows the box modally and returns the result code of the chosen button
// (IDOK 1 ... IDNO 7), 0 for Escape or the close button; on time-out the
// first button's code. `buttons` is the "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|
// &Ignore|" list or its translation; `style` the Win32 message-box bits
// (button set, icon, default button, right alignment, right-to-left) plus
// kMsgBoxNoClose. A quit request that arrives meanwhile is posted again when
// the box has closed. While a box is up a further call shows nothing and
// returns 0 at once. Without the rich-edit library the text shows, without
// bold, in a plain read-only edit control.
int ShowMsgBox(HWND owner, const std::string& text, const std::string& caption,
               const std::string& buttons, UINT style, int timeoutMs);

// What the program's dialogs share. A new reference to the rich-edit library
// ("RICHED32.DLL" from the system folder), or null when it cannot be loaded;
// the caller frees it after its controls are gone.
HMODULE LoadRichEditLibrary();
// A normal-weight swiss font of cell height `height` (negative: character
// height, as for a point size); null when the system refuses it.
HFONT CreateDialogFont(int height, int charset, const std::string& face);

// Registers a dialog's window class (redrawn on resizing, double clicks, the
// arrow cursor, the button-face background). A class of that name left
// behind by a dialog that ended abnormally may carry another procedure: it
// is replaced.
bool RegisterDialogClass(const char* className, WNDPROC procedure);

// Tests only: the rich-edit library the next boxes load (a missing name makes
// them fall back to the plain edit control); empty restores "RICHED32.DLL".
void SetRichEditLibraryForTesting(const std::string& name);
