// Text forms of the run log and of the debug channel's pieces. The Win32 unit
// VDebug writes them; kept portable so the rules are tested on the host.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

struct LogTime {
  int year, month, day, hour, minute, second;
};

// One run-log record: "dd/mm/yy HH:NN:SS", a blank, the thread id right-aligned
// to 5 columns (longer ids in full), the marker, the message and CR LF. The
// system's separators stand for "/" and ":".
std::string FormatLogRecord(const LogTime& time, const std::string& dateSeparator,
                            const std::string& timeSeparator, unsigned long threadId,
                            const std::string& marker, const std::string& message);

// Run-log path for a program file: its folder, "X_" in front of the file name
// unless it starts with "X_" (case-sensitive), extension replaced by ".log".
std::string LogFileNameFor(const std::string& programPath);

// Text device with a fixed buffer: hands the buffered characters to `deliver`
// whenever the buffer fills and when a line ends (CR LF is written into the
// buffer first). A long line therefore arrives in pieces of `capacity`.
class PieceBuffer {
 public:
  using Deliver = std::function<void(const std::string& piece)>;
  PieceBuffer(size_t capacity, Deliver deliver);

  void Write(const std::string& text);
  void EndLine();
  void Flush();

 private:
  size_t capacity_;
  Deliver deliver_;
  std::string buffer_;
};
