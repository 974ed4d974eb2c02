#include "setup/SpanRestart.h"

#include "common/VDebug.h"

void SpanRestart() { DebugTrace() << " SpanRestart: the multi-CD restart is not built yet"; }
