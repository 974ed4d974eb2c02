// The debug channel: trace text forwarded, in pieces of at most 128
// characters, to an external viewer window of class ".VDebug." (global atom
// plus the registered message ".V_DebugMsg."). Without a viewer the text is
// dropped. Nothing here ever fails its caller.
#pragma once

#include <string>

// One line of the debug channel; the line ends (CR LF, then delivery) when the
// object goes away, so `DebugChannel() << "a=" << 1;` writes one line.
class DebugLine {
 public:
  DebugLine() = default;
  ~DebugLine();
  DebugLine(DebugLine&& other) noexcept : active_(other.active_) { other.active_ = false; }
  DebugLine(const DebugLine&) = delete;
  DebugLine& operator=(const DebugLine&) = delete;

  DebugLine& operator<<(const std::string& text);
  DebugLine& operator<<(const char* text);
  DebugLine& operator<<(char c);
  DebugLine& operator<<(long long value);
  DebugLine& operator<<(unsigned long long value);
  DebugLine& operator<<(int value) { return *this << static_cast<long long>(value); }
  DebugLine& operator<<(unsigned value) { return *this << static_cast<unsigned long long>(value); }
  DebugLine& operator<<(long value) { return *this << static_cast<long long>(value); }
  DebugLine& operator<<(unsigned long value) {
    return *this << static_cast<unsigned long long>(value);
  }

 private:
  bool active_ = true;  // false once moved from: only one object ends the line
};

// A line of the debug channel.
inline DebugLine DebugChannel() { return DebugLine(); }
// A trace line: starts with the process id in decimal.
DebugLine DebugTrace();

// One line " --- [ Method = m ]  [ Remark = r ]  [ ErrMsg = e ] " with the
// empty parts left out: how the stub reports a runtime error it cannot
// recover from (see stub/RuntimeErrors.cpp).
void LogException(const char* method, const char* remark, const char* message);
