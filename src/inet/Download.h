// Program-wide state of the Internet downloads that the rest of the program
// touches: the stop request and the library's release. The HTTP client
// itself comes with the web stub.
#pragma once

// The first Close of the main window asks a running download to stop.
bool DownloadAbort();
void SetDownloadAbort(bool abort);

// Releases the Internet library when it was loaded; nothing yet.
void ReleaseWinInetLibrary();
