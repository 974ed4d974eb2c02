// The setup run the main window starts on its first timer tick: the web-stub
// download or, for an ordinary package, the extract-and-launch flow.
#pragma once

class SetupView;
class TGFileInfo;

// The run for the program whose own package `program` reads, shown on
// `view`; returns the process exit code. It claims the working folder and
// removes it before it returns. Called through RunSetupJob.
unsigned long RunSetup(const TGFileInfo& program, SetupView& view);

// The job's boundary: runs `job` and posts the quit message. The job's exit
// code, or 1603 when it ended with an exception (logged; its folders were
// removed as the exception left their scopes), so a failure inside never
// leaves a hidden process waiting for nothing.
unsigned long RunSetupJob(unsigned long (*job)());
