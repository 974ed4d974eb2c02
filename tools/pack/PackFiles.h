// File-system helpers of the authoring tool: the files folder, time stamps
// and volume names. Portable (C++17 file system library and POSIX-style
// stat/utime, which both the host and mingw provide).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pack/PackStatus.h"
#include "package/VolumeNames.h"

// A file to pack.
struct SourceFile {
  std::string name;  // relative to the files folder, "\" separated
  std::string path;  // where it is read from
  uint64_t size = 0;
  uint32_t dosTime = 0;  // local last-write time, DOS packed
};

// Every regular file below `folder`, sub-folders included, sorted by name.
// Fails (ExitCode::kProject) when the folder is missing, a name cannot be
// stored in a package ("*", "|", a backslash inside a name, control
// characters) or two names differ only in letter case, which the stub's file
// system would merge.
PackStatus CollectFiles(const std::string& folder, std::vector<SourceFile>& files);

// A local time packed as DOS date and time, clamped to the DOS range
// (1980..2107); 0 when the time cannot be converted.
uint32_t DosTimeOfLocal(int64_t unixTime);
// The DOS time of a file's last write; 0 when it cannot be read.
uint32_t DosTimeOfFile(const std::string& path);
// Sets a file's last-write (and access) time from a DOS date and time taken
// as local time. False when the stamp is not a valid date or the call fails.
bool SetFileDosTime(const std::string& path, uint32_t dosTime);
// "YYYY-MM-DD HH:MM:SS" of a DOS stamp; "not set" for 0.
std::string FormatDosTime(uint32_t dosTime);


bool FileExists(const std::string& path);
