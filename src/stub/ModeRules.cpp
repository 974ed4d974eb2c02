#include "stub/ModeRules.h"

#include "common/CmdLine.h"
#include "common/TextRules.h"

std::string MainWindowClassNameFor(bool isUpdateAgent, const std::string& programPath) {
  if (!isUpdateAgent) return programPath;
  return ".AutoUpdate." + RemoveLastExtension(ExtractFileName(programPath));
}

bool IsPlainAgentFile(bool isUpdateAgent, const std::string& programFileName, const std::string& agentExeName) {
  return isUpdateAgent && SameTrimmedText(programFileName, agentExeName);
}

bool IsAgentCopyFile(bool isUpdateAgent, const std::string& programFileName, const std::string& agentExeName) {
  return isUpdateAgent && SameTrimmedText(programFileName, "X_" + agentExeName);
}

int SpanLevelOf(const std::string& params) {
  // Read in 64 bits: cut to 32, 4294967298 would pass for level 2. A value
  // outside the int range is no level at all (0).
  const int64_t level = SwitchIntIn(params, "/SpanCdLvl=", 1);
  return level < INT32_MIN || level > INT32_MAX ? 0 : static_cast<int>(level);
}

StubRole ChooseStubRole(bool plainAgent, bool agentCopy, bool spanCd, int spanLevel) {
  if (plainAgent) return StubRole::kPlainAgent;
  if (agentCopy) return StubRole::kAgentCopy;
  if (spanCd && spanLevel == 1) return StubRole::kSpanRestart;
  return StubRole::kSetupRun;
}
