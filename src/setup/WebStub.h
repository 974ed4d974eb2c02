// The web stub's run: the setup file its package names is downloaded from
// the web folder (or taken from beside the program), checked for the
// package's setup token and handed to the ordinary extract-and-launch flow.
#pragma once

#include <string>

class SetupView;
class TGFileInfo;

// The run for the web stub whose own package `program` reads, shown on
// `view`. The download goes into a folder of its own beside the working
// folder, removed (with the download) before this returns; a copy found
// beside the program is used in place and kept. Returns the exit code: the
// engine's when it ran, 1602 when the user declined the download or closed
// the window during it, 1603 for no connection, a failed, incomplete or
// refused transfer, and a file of another token. A run with "/hide" or the
// silent setting asks nothing, shows nothing and reports its errors to the
// debug channel only.
unsigned long WebStubDownload(const TGFileInfo& program, const std::string& workingFolder, SetupView& view);

// Writes the update agent the web stub carries into `workingFolder` under
// the package's agent name, with the program file's time; false when it
// could not.
bool WriteWebStubAgent(const TGFileInfo& program, const std::string& workingFolder);
