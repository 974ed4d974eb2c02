#include "stub/MainWindow.h"

#include "common/VDebug.h"

void RunMainWindow() { DebugTrace() << " RunMainWindow: the main window is not built yet"; }
