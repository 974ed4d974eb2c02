// The setup run the main window starts on its first timer tick: the web-stub
// download or, for an ordinary package, the extract-and-launch flow.
#pragma once

class SetupView;
class TGFileInfo;

// The run for the program whose own package `program` reads, shown on
// `view`; returns the process exit code. Called through RunSetupJob.
unsigned long RunSetup(const TGFileInfo& program, SetupView& view);

// The job's boundary: runs `job` with the run marked active, removes the
// working folder once the job has returned and posts the quit message. The
// job's exit code, or 1603 when it ended with an exception (logged), so a
// failure inside never leaves a hidden process waiting for nothing.
unsigned long RunSetupJob(unsigned long (*job)());

// True while a job runs: its working folder is in use and must stay.
bool SetupRunActive();
