#include <gtest/gtest.h>

#include "common/LogFormat.h"

TEST(LogFormat, Record) {
  const LogTime t{2027, 1, 2, 3, 4, 5};
  struct {
    unsigned long thread;
    const char* marker;
    const char* message;
    const char* expected;
  } cases[] = {
      {4711, "   ", "hello", "02/01/27 03:04:05  4711   hello\r\n"},
      {4711, " X ", "", "02/01/27 03:04:05  4711 X \r\n"},      // empty message still a record
      {123456, "   ", "m", "02/01/27 03:04:05 123456   m\r\n"},  // long ids in full
      {7, "   ", "m", "02/01/27 03:04:05     7   m\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLogRecord(t, "/", ":", c.thread, c.marker, c.message), c.expected);
  EXPECT_EQ(FormatLogRecord(t, ".", "-", 1, "", ""), "02.01.27 03-04-05     1\r\n");
}

TEST(LogFormat, LogFileName) {
  struct {
    const char* program;
    const char* log;
  } cases[] = {
      {"C:\\Temp\\setup.exe", "C:\\Temp\\X_setup.log"},
      {"C:\\Temp\\X_setup.exe", "C:\\Temp\\X_setup.log"},  // the agent copy shares the log
      {"C:\\Temp\\x_setup.exe", "C:\\Temp\\X_x_setup.log"},  // the rule is case-sensitive
      {"C:\\Temp\\noext", "C:\\Temp\\X_noext.log"},
      {"C:\\a.b\\prog.v2.exe", "C:\\a.b\\X_prog.v2.log"},
  };
  for (const auto& c : cases) EXPECT_EQ(LogFileNameFor(c.program), c.log) << c.program;
}

TEST(LogFormat, PiecesOf128) {
  std::vector<std::string> pieces;
  PieceBuffer buffer(128, [&](const std::string& p) { pieces.push_back(p); });
  buffer.Write(std::string(300, 'a'));
  buffer.EndLine();
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].size(), 128u);
  EXPECT_EQ(pieces[1].size(), 128u);
  EXPECT_EQ(pieces[2], std::string(44, 'a') + "\r\n");

  pieces.clear();
  buffer.Write(std::string(127, 'b'));  // the line end splits across pieces
  buffer.EndLine();
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], std::string(127, 'b') + "\r");
  EXPECT_EQ(pieces[1], "\n");

  pieces.clear();
  buffer.EndLine();  // an empty line is a line end
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0], "\r\n");
}
