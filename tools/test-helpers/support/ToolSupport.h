// Small Win32 helpers shared by the debug viewer and the test helper programs:
// command-line options, files that other processes poll, and handle ownership.
#pragma once

#include <windows.h>

#include <string>

namespace tools {

// Owns a kernel HANDLE; both NULL and INVALID_HANDLE_VALUE count as "none".
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() { reset(); }
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() {
    HANDLE h = handle_;
    handle_ = nullptr;
    return h;
  }
  void reset(HANDLE handle = nullptr) {
    if (valid()) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Looks for an argument "NAME=value" (NAME compared without regard to case,
// e.g. "/log") among argv[first..argc). Returns true and stores the value when
// found; a later occurrence wins.
bool FindOption(int argc, char** argv, int first, const char* name, std::string* value);

// True when the argument has the form "NAME=..." for one of the given names
// (a null-terminated list). Lets a program reject options it does not know.
bool IsKnownOption(const char* arg, const char* const* names);

// Appends the bytes to the file, creating it if needed. The file is opened and
// closed for every call and shared for reading and writing, so another process
// can read it while this one runs. Returns false when any byte was not written.
bool AppendToFile(const std::string& path, const void* data, DWORD size);

// Replaces the file's content as one step: the text is written to PATH.tmp,
// which is then renamed over PATH, so a reader never sees a half-written file.
bool WriteFileAtomically(const std::string& path, const std::string& text);

// True when a file or folder of that name exists.
bool PathExists(const std::string& path);

}  // namespace tools
