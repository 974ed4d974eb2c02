// The whole life of the process: banners, the package reader on the
// program's own file, the role dispatch and the exit code.
#pragma once

class TGFileInfo;

// Runs the program and returns the process exit code.
unsigned long StubMain();

// The package reader on the program's own file, kept for the whole run.
const TGFileInfo& StubPackage();

// The process exit code: 0 until a setup engine's exit code replaces it.
void SetProcessExitCode(unsigned long code);
unsigned long ProcessExitCode();
