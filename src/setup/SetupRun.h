// The start of the job on the main window's first timer tick: the web-stub
// download or, for an ordinary package, the extract-and-launch flow.
#pragma once

// Kills the start timer, runs the job inside this timer message (pumping
// messages while it works), removes the working folder and posts the quit
// message. Runs once.
void StartSetupRun();
