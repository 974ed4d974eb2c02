// The decisions of the start-up: which role the program plays, from its
// package flags, its own file name and its switches. Portable.
#pragma once

#include <string>

#include "autoupdate/AgentRules.h"  // AgentCopyClassName

// Window class of the main window, also the single-instance key: agents use
// ".AutoUpdate." + their file name without its last extension, stubs their
// full path (so differently named copies may run at once).
std::string MainWindowClassNameFor(bool isUpdateAgent, const std::string& programPath);

// The program file is the agent under its plain name, or its "X_" copy.
// Names compare trimmed and ignoring case.
bool IsPlainAgentFile(bool isUpdateAgent, const std::string& programFileName, const std::string& agentExeName);
bool IsAgentCopyFile(bool isUpdateAgent, const std::string& programFileName, const std::string& agentExeName);

// "/SpanCdLvl=" from the parameters, read as a 64-bit number; 1 when absent
// or not a number, 0 when outside the int range (neither level 1 nor 2).
int SpanLevelOf(const std::string& params);

enum class StubRole {
  kPlainAgent,   // copy to X_ and start it, hand on the switches
  kAgentCopy,    // the resident X_ agent: main window in agent mode
  kSpanRestart,  // first level of a multi-CD package: restart from a copy
  kSetupRun,     // the ordinary run: main window, then the setup
};

// The first rule that applies, in this order.
StubRole ChooseStubRole(bool plainAgent, bool agentCopy, bool spanCd, int spanLevel);
