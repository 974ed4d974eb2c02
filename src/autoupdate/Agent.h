// The auto-update agent's two processes: the plain agent that starts its X_
// copy and hands on its switches, and the copy's test-mode refresh. Not built
// yet: each entry point traces its call and returns.
#pragma once

// Plain agent: copy this program to "X_" + its name and start the copy.
void CreateAndRun_X_Exe();

// Plain agent: post the control switches to the running X_ copy. True when
// some message was posted.
bool HandleParamOK(bool agentCopyWasRunning);

// X_ copy: refresh the test-mode state from the registry (forced: ignore the
// cached value).
void TestMode(bool force);
