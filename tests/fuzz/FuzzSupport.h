// What every fuzz target shares: a check that turns a broken property into
// a finding, and a private scratch folder for targets that need files.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

// A property the target asserts: when it does not hold, the input is a
// finding. abort() makes libFuzzer save the input and stop, as a crash does.
#define FUZZ_CHECK(condition, what)                                                   \
  do {                                                                                \
    if (!(condition)) {                                                               \
      std::fprintf(stderr, "FUZZ FINDING at %s:%d: %s\n  (%s)\n", __FILE__, __LINE__, \
                   std::string(what).c_str(), #condition);                           \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)

// A folder of the fuzz process's own under the fastest temporary file system
// at hand (/dev/shm when it exists), made on first use and removed at exit.
const std::string& FuzzScratchFolder();

// Writes `bytes` to `path`, replacing the file; false when it cannot.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// Reads a whole file; false when it cannot.
bool ReadWholeFile(const std::string& path, std::string& bytes);

#include "package/ByteSource.h"

class IniStore;

// A ByteSource over bytes the caller keeps, without the copy MemorySource
// makes: the package targets read multi-megabyte volumes many times a run.
class ViewSource : public ByteSource {
 public:
  explicit ViewSource(const std::string& bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  size_t ReadSome(uint64_t offset, void* buffer, size_t count) override;

 private:
  const std::string& bytes_;
};

// Stores the keys of settings-file text the way the system's settings-file
// reader finds them: "[section]" lines open a section, "key=value" lines
// (first "=", both sides trimmed) give a key; every other line is passed
// over.
void StoreIniText(IniStore& store, const std::string& file, const std::string& text);
