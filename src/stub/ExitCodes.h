// Exit codes of the stub process. The numbers never change meaning.
#pragma once

enum StubExitCode : unsigned long {
  kExitSuccess = 0,        // nothing failed, or a second start left the work to the first
  kExitSetupFailed = 1603,  // the run failed before any setup engine ran
  // When a setup engine ran, its own exit code passes on unchanged instead.
};
