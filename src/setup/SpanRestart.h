// Restart of a multi-CD package from a "Y_" copy in the working folder, so
// the disks can be swapped while the copy runs.
#pragma once

// Copies the program to the working folder and starts the copy, hidden, at
// span level 2 on the first volume beside the program; returns without
// waiting. False (with a debug line) when the copy could not be made or
// started: then no installation runs at all.
bool SpanRestart();
