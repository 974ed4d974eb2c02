// Outcome of the authoring tool's operations: an exit code and a one-line
// message. Operations return it instead of throwing.
#pragma once

#include <string>
#include <utility>

// Process exit codes of varnix-pack. The numbers are part of the tool's
// interface (scripts test them): never change or reuse one.
enum class ExitCode : int {
  kOk = 0,
  kUsage = 1,       // bad command line
  kProject = 2,     // project file or the files it names: unreadable, unknown
                    // section or key, bad value, missing folder or launch file
  kStub = 3,        // stub unreadable, not a narrow PE image, 0xF8..0xFF in use
  kPackage = 4,     // package unreadable, truncated or corrupt; volume missing
  kChecksum = 5,    // a volume fails its package checksum
  kUnsafeName = 6,  // an entry name the stub refuses: outside the destination
                    // folder, a part ending in a dot or blank, a device name
  kOutput = 7,      // an output file or folder cannot be written
  kInternal = 8,    // unexpected failure such as running out of memory
  kSign = 9,        // the Sign command failed, timed out, wrote no output or
                    // changed the package instead of only appending to it
  kInput = 10,      // the file to scramble: unreadable, empty, already
                    // scrambled or too large for the agent
};

struct PackStatus {
  ExitCode code = ExitCode::kOk;
  std::string message;  // one line; empty on success

  bool ok() const { return code == ExitCode::kOk; }
  static PackStatus Ok() { return {}; }
  static PackStatus Fail(ExitCode code, std::string message) { return {code, std::move(message)}; }
};
