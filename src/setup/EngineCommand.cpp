#include "setup/EngineCommand.h"

#include "common/TextRules.h"

std::string RemoveSwitch(const std::string& commandLine, const std::string& switchText) {
  const size_t start = switchText.empty() ? std::string::npos : commandLine.find(switchText);
  if (start == std::string::npos) return commandLine;
  const size_t next = commandLine.find('/', start + 1);
  return commandLine.substr(0, start) + (next == std::string::npos ? "" : commandLine.substr(next));
}

std::string EngineFileName(const std::string& launchEntry) {
  return TrimText(launchEntry.substr(0, launchEntry.find('*')));
}

std::string BuildEngineCommandLine(const EngineLaunch& launch) {
  std::string tail = launch.commandTail;
  const size_t star = launch.launchEntry.find('*');
  if (star != std::string::npos) tail = TrimText(TrimText(tail) + " " + TrimText(launch.launchEntry.substr(star + 1)));

  std::string folder = launch.workingFolder;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  std::string line = folder + EngineFileName(launch.launchEntry);
  if (!tail.empty()) line += " " + tail;
  line += " /TH_ID=" + launch.threadToken;
  if (line.find("/OriginExe=") == std::string::npos) line += " /OriginExe=\"" + launch.programPath + "\"";
  if (launch.isUpdateAgent) line += " /AutoUpdateProg";
  line = RemoveSwitch(line, "/SpanCdLvl=");
  return RemoveSwitch(line, "/SpanDiskFName1=");
}

std::string SpanRestartCommandLine(const std::string& copyPath, const std::string& params,
                                   const std::string& programPath) {
  // A level or first volume the user gave would come first and win over
  // ours: a copy started at level 1 again would restart itself without end.
  const std::string own = RemoveSwitch(RemoveSwitch(params, "/SpanCdLvl="), "/SpanDiskFName1=");
  // The copy's path is quoted: temporary folders may contain blanks.
  return "\"" + copyPath + "\" " +
         TrimText(TrimText(own) + " /SpanCdLvl=2 /SpanDiskFName1=\"" + programPath + ".001\" /OriginExe=\"" +
                  programPath + "\"");
}
