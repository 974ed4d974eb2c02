// The stub's main window: a small fixed frame with the product icon, one line
// of text and two progress bars. Created hidden; its one-second timer starts
// the setup run (or ticks the resident agent); its message loop is the
// program's only loop; it also carries the agent's messages to and from a
// host window of another process.
#pragma once

#include <windows.h>

#include <string>

// Creates the hidden main window, runs the message loop until the job or a
// quit request ends it, then cleans up (timer, download stop, host notice 43).
// False when the window could not be created (nothing ran).
bool RunMainWindow();

// The main window, or null when none exists.
HWND MainWindowHandle();

// Posts the host's message number to the host window, when a host registered.
void NotifyHost(WPARAM wParam, LPARAM lParam);

// The first close request only asks a running download or unpacking to
// stop; returns whether the window may close now.
bool CloseMainWindow();
// Stops downloads and ends the message loop.
void DestroyMainWindow();
