#include "inet/Download.h"

#include "inet/WinInet.h"

namespace {
bool downloadAbort = false;
}  // namespace

bool DownloadAbort() { return downloadAbort; }
void SetDownloadAbort(bool abort) { downloadAbort = abort; }

void ReleaseWinInetLibrary() { WinInetLibrary::Release(); }
