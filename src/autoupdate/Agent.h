// The auto-update agent's two processes: the plain agent that starts its X_
// copy and hands on its switches, and the resident copy driven by the main
// window's timer and messages. `program` is the reader on the agent's own
// file; `view` its main window.
#pragma once

#include <windows.h>

#include "autoupdate/AgentRules.h"

class AgentView;
class TGFileInfo;

// Window messages of the resident copy, which other processes post or send.
constexpr UINT wm_ShutDown = WM_USER + 99;  // wParam: ticks left before the copy quits
constexpr UINT wm_LocalMsg = WM_USER + 100;  // wParam: host window, lParam: its message
constexpr UINT wm_AgentMsg = WM_USER + 101;  // wParam: code, lParam: value (AgentMessageCode)

// Plain agent: copy this program to "X_" + its name and start the copy,
// unless a copy runs (or, with "/_ZZ=99", after the running copy ended).
// One plain agent at a time does this for a folder.
void CreateAndRun_X_Exe(const TGFileInfo& program);

// Plain agent: post the control switches to the running X_ copy (waiting a
// while for its window). True when some message was posted.
bool HandleParamOK(const TGFileInfo& program, bool agentCopyWasRunning);

// X_ copy: claims the one resident place of this copy's path for the
// process's life, and takes the overrides handed on with "/TRANSIENTx=".
// False when another copy of the same path holds it.
bool ClaimAgentCopy();

// X_ copy: whether test mode is on, re-read from the registry when forced or
// when the last re-read is more than 30 s ago (AgentRecords.h).
bool TestMode(bool force);

// X_ copy: the process's agent state (AgentRules.h).
AgentState& ProcessAgentState();

// X_ copy: the main window's one-second tick.
void OnAgentTimer(const TGFileInfo& program, AgentView& view);
// X_ copy: a probe: fetch the info file, decide, offer the update or show
// the inform page.
void PerformShot(const TGFileInfo& program, AgentView& view);
// X_ copy: only refresh the info file.
void DownloadInfoFileOnly(const TGFileInfo& program, AgentView& view);
// X_ copy: after a successful update: start the plain agent so that it
// replaces this copy with the new version, and end this copy.
void ReStartAutoUpdateExe(const TGFileInfo& program, AgentView& view);
// X_ copy: the value protocol of the agent message; returns the answer.
LRESULT AgentMessage(const TGFileInfo& program, WPARAM code, LPARAM value);
// X_ copy: ticks left before the agent quits (-1: never).
void SetQuitCountdown(int ticks);
// X_ copy: the timer count the probing starts from ("/SleepX=").
void SetAgentTimerCount(int count);
