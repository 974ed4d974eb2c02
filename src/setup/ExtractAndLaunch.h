// The stub's main job: unpack a package into a working folder, start the
// setup engine it names, wait for the engine and its dialog, and tidy up.
#pragma once

#include <string>

#include "setup/SetupView.h"

class TGFileInfo;

struct LaunchRequest {
  std::string workingFolder;  // may be replaced by a roomier drive's folder
  std::string packageFile;    // first volume
  std::string agentFileName;  // empty unless the package brings an agent
  std::string commandTail;    // extra arguments for the engine
  bool foreground = true;     // questions and windows shown, engine visible
};

// Runs the flow and returns the process exit code: the engine's when it ran,
// 1602 when the user declined (space question, disk prompt, the main window
// closed before the engine started), 1603 when the run failed. `program` is
// the reader on the program's own file (the record and info file names, the
// agent flag); the package file gets a reader of its own for its texts.
// `view` shows the run (shown while unpacking in a visible run, hidden when
// the engine starts). A silent run shows no error box: its failures go to the
// debug channel.
unsigned long ExtractAndLaunch(const LaunchRequest& request, const TGFileInfo& program, SetupView& view);

