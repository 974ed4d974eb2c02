// The start of the job on the main window's first timer tick: the web-stub
// download or, for an ordinary package, the extract-and-launch flow.
#pragma once

// Kills the start timer and runs the job (RunSetupJob) inside this timer
// message, pumping messages while it works; its result becomes the process
// exit code. Runs once.
void StartSetupRun();

// The job's boundary: runs `job` with the run marked active, removes the
// working folder once the job has returned and posts the quit message. The
// job's exit code, or 1603 when it ended with an exception (logged), so a
// failure inside never leaves a hidden process waiting for nothing.
unsigned long RunSetupJob(unsigned long (*job)());

// True while a job runs: its working folder is in use and must stay.
bool SetupRunActive();
