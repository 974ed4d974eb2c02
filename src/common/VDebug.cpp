#include "common/VDebug.h"

#include <windows.h>

#include "common/LogFormat.h"
#include "common/NumberText.h"
#include "common/WinHandles.h"

namespace {

constexpr size_t kPieceCapacity = 128;  // keeps every piece within an atom's 255 characters

// Hands one piece to the viewer, if one runs. The viewer reads the atom while
// it handles the sent message, so the atom can go right after.
void DeliverToViewer(const std::string& piece) {
  static const UINT message = RegisterWindowMessageA(".V_DebugMsg.");
  HWND viewer = FindWindowA(".VDebug.", nullptr);
  if (!viewer || message == 0) return;
  UniqueGlobalAtom atom(GlobalAddAtomA(piece.c_str()));
  if (!atom) return;
  SendMessageA(viewer, message, 1, static_cast<LPARAM>(atom.get()));
}

// The 128-character text device, serialised by its lock.
class DebugDevice {
 public:
  DebugDevice() : buffer_(kPieceCapacity, DeliverToViewer) { InitializeCriticalSection(&lock_); }
  ~DebugDevice() { DeleteCriticalSection(&lock_); }

  void Write(const std::string& text) {
    EnterCriticalSection(&lock_);
    buffer_.Write(text);
    LeaveCriticalSection(&lock_);
  }
  void EndLine() {
    EnterCriticalSection(&lock_);
    buffer_.EndLine();
    LeaveCriticalSection(&lock_);
  }

 private:
  CRITICAL_SECTION lock_;
  PieceBuffer buffer_;
};

DebugDevice& Device() {
  static DebugDevice device;
  return device;
}

}  // namespace

DebugLine::~DebugLine() {
  if (active_) Device().EndLine();
}

DebugLine& DebugLine::operator<<(const std::string& text) {
  Device().Write(text);
  return *this;
}

DebugLine& DebugLine::operator<<(const char* text) {
  return *this << std::string(text ? text : "");
}

DebugLine& DebugLine::operator<<(char c) { return *this << std::string(1, c); }

DebugLine& DebugLine::operator<<(long long value) { return *this << DecimalText(value); }

DebugLine& DebugLine::operator<<(unsigned long long value) { return *this << UnsignedText(value); }

DebugLine DebugTrace() {
  DebugLine line;
  line << static_cast<unsigned long>(GetCurrentProcessId());
  return line;
}

void LogException(const char* method, const char* remark, const char* message) {
  DebugLine line;
  line << " --- ";
  const char* labels[] = {"Method = ", "Remark = ", "ErrMsg = "};
  const char* values[] = {method, remark, message};
  for (int i = 0; i < 3; ++i) {
    if (values[i] && *values[i]) line << " [ " << labels[i] << values[i] << " ] ";
  }
}
