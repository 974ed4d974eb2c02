#include "common/LogFormat.h"

#include <cstdio>

#include "common/TextRules.h"

std::string FormatLogRecord(const LogTime& t, const std::string& dateSeparator,
                            const std::string& timeSeparator, unsigned long threadId,
                            const std::string& marker, const std::string& message) {
  char date[16], time[16], thread[24];
  std::snprintf(date, sizeof date, "%02d%s%02d%s%02d", t.day, "\x01", t.month, "\x01", t.year % 100);
  std::snprintf(time, sizeof time, "%02d%s%02d%s%02d", t.hour, "\x01", t.minute, "\x01", t.second);
  std::snprintf(thread, sizeof thread, "%5lu", threadId);
  return ReplaceText(date, "\x01", dateSeparator, false) + " " +
         ReplaceText(time, "\x01", timeSeparator, false) + " " + thread + marker + message + "\r\n";
}

std::string LogFileNameFor(const std::string& programPath) {
  const std::string folder = programPath.substr(0, programPath.size() - ExtractFileName(programPath).size());
  std::string name = ExtractFileName(programPath);
  if (name.compare(0, 2, "X_") != 0) name = "X_" + name;
  return folder + RemoveLastExtension(name) + ".log";
}

PieceBuffer::PieceBuffer(size_t capacity, Deliver deliver)
    : capacity_(capacity), deliver_(std::move(deliver)) {}

void PieceBuffer::Write(const std::string& text) {
  for (char c : text) {
    buffer_ += c;
    if (buffer_.size() >= capacity_) Flush();
  }
}

void PieceBuffer::EndLine() {
  Write("\r\n");
  Flush();
}

void PieceBuffer::Flush() {
  if (buffer_.empty()) return;
  std::string piece;
  piece.swap(buffer_);
  if (deliver_) deliver_(piece);
}
