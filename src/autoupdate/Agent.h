// The auto-update agent's two processes: the plain agent that starts its X_
// copy and hands on its switches, and the resident copy driven by the main
// window's timer and messages. Apart from TestMode not built yet: each entry
// point traces its call (where it has one) and returns a neutral value.
#pragma once

#include <windows.h>

#include "autoupdate/AgentRules.h"

// Plain agent: copy this program to "X_" + its name and start the copy.
void CreateAndRun_X_Exe();

// Plain agent: post the control switches to the running X_ copy. True when
// some message was posted.
bool HandleParamOK(bool agentCopyWasRunning);

// X_ copy: whether test mode is on, re-read from the registry when forced or
// when the last re-read is more than 30 s ago (AgentRecords.h).
bool TestMode(bool force);

// X_ copy: the process's agent state (AgentRules.h).
AgentState& ProcessAgentState();

// X_ copy: the main window's one-second tick.
void OnAgentTimer();
// X_ copy: the value protocol of the agent message; returns the answer.
LRESULT AgentMessage(WPARAM code, LPARAM value);
// X_ copy: ticks left before the agent quits (-1: never).
void SetQuitCountdown(int ticks);
// X_ copy: the timer count the probing starts from ("/SleepX=").
void SetAgentTimerCount(int count);
