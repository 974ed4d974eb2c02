// The mode tests of the running program and the role dispatch.
#pragma once

#include <string>

// A window of the running X_ agent copy exists.
bool X_ExeIsRunning();
// This program file is the agent under its plain name / its X_ copy.
bool ThisIs_Plain_AutoUpdate_Exe();
bool ThisIs_X_AutoUpdate_Exe();
// "/SpanCdLvl=" says 1 (the default) on a SpanCd package / says 2.
bool IsSpanLevel1();
bool IsSpanLevel2();

// The main window's class name, also the single-instance key.
std::string MainWindowClassName();

// Picks and runs the program's role, once, unless another instance of the
// same program already owns the window class.
void DoRunStubWin();
