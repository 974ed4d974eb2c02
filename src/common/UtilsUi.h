// Timing that keeps the single-threaded program responsive, the message-box
// shortcuts every unit shows its errors and questions with, and the small
// shell and screen services around them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Milliseconds from the high-resolution counter.
int64_t MillisecondClock();

// Removes and dispatches every waiting message of the thread (translate,
// then dispatch), then sleeps `milliseconds`. An exception from a message
// handler is logged and swallowed. A quit request met here is posted again,
// so the program's own loop still ends.
void YieldX(DWORD milliseconds);
// For loops that work in small pieces (unpacking, downloading): YieldX(0)
// when the last pass of this kind was 30 ms or more ago, else nothing. Under
// Wine each pass is a server round trip, which made a pass per piece cost up
// to a third of the work's time; 30 ms still keeps the windows responsive.
void PumpWhenDue();

// Waits `milliseconds` while pumping messages in steps of `step` ms (0: a
// tenth of the wait, limited to 1..25). Pumps at least once.
void WaitPumping(DWORD step, DWORD milliseconds);
// The step WaitPumping uses for a request.
DWORD WaitPumpingStep(DWORD step, DWORD milliseconds);

// Owner values of the shortcuts: 0, 1 and 2 mean "the active window", with
// 0 also moving the caption into the text as a bold heading and 2 greying
// the box's close command; anything above 2 is a window handle.
using BoxOwner = uintptr_t;
constexpr BoxOwner kOwnerHeading = 0;
constexpr BoxOwner kOwnerActive = 1;
constexpr BoxOwner kOwnerNoClose = 2;
inline BoxOwner OwnerWindow(HWND window) { return reinterpret_cast<BoxOwner>(window); }

// The four shortcuts over the mark-up message box. Empty caption or buttons
// take the defaults ("Error", "Attention", "Confirm"; the English button
// list). Charsets 177 and 178 lay the text out right to left. Each pumps
// messages for 100 ms after the box closed.
void ShowErrorBox(BoxOwner owner, const std::string& text, const std::string& caption = "",
                  int charset = 0, const std::string& buttons = "");
void ShowAttentionBox(BoxOwner owner, const std::string& text, const std::string& caption = "",
                      int charset = 0, const std::string& buttons = "", int timeoutMs = 0);
// True when the answer is Yes (a time-out answers Yes).
bool AskYesNo(BoxOwner owner, const std::string& text, const std::string& caption = "", int charset = 0,
              const std::string& buttons = "", int timeoutMs = 0);
// True when the answer is OK.
bool AskOkCancel(BoxOwner owner, const std::string& text, const std::string& caption = "", int charset = 0,
                 const std::string& buttons = "");

// On: registers "QueryCancelAutoPlay" and keeps its number, so the main
// window and the message box refuse AutoPlay; off: forgets it.
void SetAutoPlaySuppression(bool on);
// The registered number, or 0 while suppression is off.
UINT AutoPlayMessage();

// Asks the shell to open a file or address; true when it accepted.
bool OpenDocument(const std::string& target, const std::string& parameters = "", int showMode = SW_SHOWNORMAL);

// Point size to pixels at the screen's vertical resolution.
int PointsToPixels(int points);

// The environment variable DVX holds exactly "853" (read once).
bool IsDeveloperMachine();

