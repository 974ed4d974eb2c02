#include "common/LogFormat.h"

#include "common/NumberText.h"
#include "common/TextRules.h"

std::string FormatLogRecord(const LogTime& t, const std::string& dateSeparator,
                            const std::string& timeSeparator, unsigned long threadId,
                            const std::string& marker, const std::string& message) {
  const std::string date = DecimalText(t.day, 2) + dateSeparator + DecimalText(t.month, 2) +
                           dateSeparator + DecimalText(t.year % 100, 2);
  const std::string time = DecimalText(t.hour, 2) + timeSeparator + DecimalText(t.minute, 2) +
                           timeSeparator + DecimalText(t.second, 2);
  const std::string thread = PadLeft(UnsignedText(threadId), 5);
  return date + " " + time + " " + thread + marker + message + "\r\n";
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
