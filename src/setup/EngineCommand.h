// The command lines the stub starts: the setup engine's, and its own copy's
// for the multi-CD restart. Portable, so the rules are tested on the host.
#pragma once

#include <string>

// Deletes every occurrence of a switch in each form the switch reader
// (SwitchValueIn) reads as that switch: any letter case, blanks before "=",
// double quotes anywhere (the reader drops them), at the start or after a
// blank. Each goes from its switch character (with quotes directly before
// it) up to where the reader's next switch starts (a blank and the switch
// character) or the end; the blank before it stays. `switchText` is the
// switch as "/Name=" ("-Name=" for "-" switches; "/" and "=" optional).
// Unchanged when the switch is absent.
std::string RemoveSwitch(const std::string& commandLine, const std::string& switchText);

struct EngineLaunch {
  std::string workingFolder;  // where the package was unpacked
  std::string launchEntry;    // "file" or "file*extra arguments"
  std::string commandTail;    // the stub's own parameters
  std::string threadToken;    // "_" + the stub's main thread id
  std::string programPath;    // the stub's own full path
  bool isUpdateAgent = false;
};

// The engine file named by a launch entry (the text before "*", trimmed).
std::string EngineFileName(const std::string& launchEntry);

// The engine's path in double quotes (working folder, "\", engine file; the
// folder and the file may contain blanks), then the stub's parameters and
// the entry's extra arguments, " /TH_ID=" + token, " /OriginExe=" + quoted
// stub path unless present, " /AutoUpdateProg" for an agent; the multi-CD
// switches removed in every form (RemoveSwitch).
std::string BuildEngineCommandLine(const EngineLaunch& launch);

// The restart of a multi-CD package from its copy: the quoted copy, the
// stub's parameters without any span switches of their own, " /SpanCdLvl=2
// /SpanDiskFName1=" + quoted program path + ".001", " /OriginExe=" + quoted
// program path.
std::string SpanRestartCommandLine(const std::string& copyPath, const std::string& params,
                                   const std::string& programPath);
