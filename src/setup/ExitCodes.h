// Exit codes of the stub process. The numbers never change meaning.
#pragma once

enum StubExitCode : unsigned long {
  kExitSuccess = 0,          // no setup ran (agents), or a second start left the work to the first
  kExitUserDeclined = 1602,  // the user declined: space question refused, disk prompt cancelled
  kExitSetupFailed = 1603,   // the run failed: checksum, damaged package, no engine to start,
                             // engine could not be started, or an unexpected internal failure
  // When a setup engine ran, its own exit code passes on unchanged instead.
};
