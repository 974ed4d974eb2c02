// Restart of a multi-CD package from a "Y_" copy in the working folder, so
// the disks can be swapped while the copy runs.
#pragma once

// Copies the program to the working folder and starts the copy at span level
// 2 without waiting. Not built yet: it needs the working folder of the setup
// run; for now this traces the call and returns.
void SpanRestart();
