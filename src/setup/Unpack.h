// The stub's side of the package walk (PackageWalk.h): writes every file
// entry of a package into a destination folder, asks for the next disk when
// a volume is not at hand, tells the user about damage and reports progress. Entries are read
// and inflated in bounded pieces straight into their files, so memory use
// does not grow with the size of an entry.
#pragma once

#include <string>

#include "setup/SetupView.h"

struct UnpackRequest {
  std::string packageFile;    // the first volume
  std::string destination;    // created when missing
  std::string agentFileName;  // empty: no agent program is written
  bool forcePrompt = false;   // ask for every further disk even when its volume is there
  int charset = 0;            // texts of the disk prompt
  std::string buttons;
  std::string promptCaption;
  std::string promptText;     // "<DISK_NUM>" stands for the disk number
  // A silent run shows no error box (nobody would click it): the reasons go
  // to the debug channel only. The disk prompt still asks.
  bool silent = false;
  // Asked between pieces of data; true stops the walk as cancelled, the file
  // being written is removed. Null: never cancelled.
  bool (*cancelled)() = nullptr;
  // Reset to the package's file count, stepped once per file begun and once
  // per further volume. Null: no progress shown.
  Progress* progress = nullptr;
};

enum class UnpackOutcome {
  kDone,            // every volume walked (a missing volume that none announced ends the walk too)
  kChecksumFailed,  // a volume failed its checksum; the walk stopped there
  kCancelled,       // the user cancelled a disk prompt or asked the run to stop
  kCorrupt,         // a damaged block or an unsafe entry name; the walk stopped, the user was told
                    // (in a silent run only the debug channel was)
};

struct UnpackResult {
  UnpackOutcome outcome = UnpackOutcome::kDone;
  bool checksumOk = false;
  std::string launchEntry;  // header item of the entry to start; empty when none or not kDone
};

UnpackResult UnpackPackage(const UnpackRequest& request);
