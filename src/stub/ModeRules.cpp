#include "stub/ModeRules.h"

#include "common/CmdLine.h"
#include "common/TextRules.h"

std::string MainWindowClassNameFor(bool isUpdateAgent, const std::string& programPath) {
  if (!isUpdateAgent) return programPath;
  return ".AutoUpdate." + RemoveLastExtension(ExtractFileName(programPath));
}

std::string AgentCopyClassName(const std::string& agentExeName) {
  return ".AutoUpdate.X_" + RemoveLastExtension(agentExeName);
}

bool IsPlainAgentFile(bool isUpdateAgent, const std::string& programFileName, const std::string& agentExeName) {
  return isUpdateAgent && SameTrimmedText(programFileName, agentExeName);
}

bool IsAgentCopyFile(bool isUpdateAgent, const std::string& programFileName, const std::string& agentExeName) {
  return isUpdateAgent && SameTrimmedText(programFileName, "X_" + agentExeName);
}

int SpanLevelOf(const std::string& params) {
  return static_cast<int>(SwitchIntIn(params, "/SpanCdLvl=", 1));
}

StubRole ChooseStubRole(bool plainAgent, bool agentCopy, bool spanCd, int spanLevel) {
  if (plainAgent) return StubRole::kPlainAgent;
  if (agentCopy) return StubRole::kAgentCopy;
  if (spanCd && spanLevel == 1) return StubRole::kSpanRestart;
  return StubRole::kSetupRun;
}
