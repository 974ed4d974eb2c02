// Program-wide state of the Internet downloads that the rest of the program
// touches: the stop request and the library's release. The client itself is
// HttpClient.h.
#pragma once

// Set by whoever wants a running download to stop (the main window's Close
// and destruction); cleared by the callers before they download. The read
// loop tests it after every read.
bool DownloadAbort();
void SetDownloadAbort(bool abort);

// Unloads the Internet library when it was loaded; at the program's end.
void ReleaseWinInetLibrary();
