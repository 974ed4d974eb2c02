// The stub's main job: unpack a package into a working folder, start the
// setup engine it names, wait for the engine and its dialog, and tidy up.
#pragma once

#include <windows.h>

#include <string>

struct LaunchRequest {
  std::string workingFolder;  // may be replaced by a roomier drive's folder
  std::string packageFile;    // first volume
  std::string agentFileName;  // empty unless the package brings an agent
  std::string commandTail;    // extra arguments for the engine
  bool foreground = true;     // questions and windows shown, engine visible
};

struct LaunchResult {
  bool engineRan = false;      // the engine process was started
  bool tokenConsumed = false;  // the engine deleted the token atom: success
  unsigned long exitCode = 0;  // the process exit code this run decides
};

// Runs the flow; the exit code is the engine's when it ran, 1602 when the
// user declined (space question, disk prompt, the main window closed before
// the engine started), 1603 when the run failed. A silent run shows no error
// box: its failures go to the debug channel.
LaunchResult ExtractAndLaunch(const LaunchRequest& request);
