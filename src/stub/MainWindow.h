// The stub's main window and its message loop, the program's only loop.
#pragma once

// Creates the hidden main window, runs the message loop until the job or a
// quit ends it, then cleans up. Not built yet: the window, its timer and the
// setup run come with the extraction work; for now this traces the call and
// returns at once.
void RunMainWindow();
