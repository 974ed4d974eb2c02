#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "DebugCapture.h"
#include "common/VDebug.h"


TEST(DebugChannel, LongLineArrivesIn128CharacterPieces) {
  DebugCapture viewer;
  const std::vector<std::string>& received = viewer.pieces();
  DebugChannel() << std::string(300, 'x');
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0], std::string(128, 'x'));
  EXPECT_EQ(received[1], std::string(128, 'x'));
  EXPECT_EQ(received[2], std::string(44, 'x') + "\r\n");
}

TEST(DebugChannel, TraceLinesStartWithTheProcessId) {
  DebugCapture viewer;
  const std::vector<std::string>& received = viewer.pieces();
  DebugTrace() << " ==== value=" << 42 << "<";
  DebugChannel();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0], std::to_string(GetCurrentProcessId()) + " ==== value=42<\r\n");
  EXPECT_EQ(received[1], "\r\n");
}

TEST(DebugChannel, LogExceptionLeavesOutEmptyParts) {
  DebugCapture viewer;
  const std::vector<std::string>& received = viewer.pieces();
  LogException("Utils.GetExeVersion()", "", "out of memory");
  LogException("YieldX", "a remark", nullptr);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0], " ---  [ Method = Utils.GetExeVersion() ]  [ ErrMsg = out of memory ] \r\n");
  EXPECT_EQ(received[1], " ---  [ Method = YieldX ]  [ Remark = a remark ] \r\n");
}

TEST(DebugChannel, NoViewerDropsTheText) {
  { DebugCapture viewer; }  // a viewer came and went
  DebugChannel() << "nobody listens";  // must not block or fail
  DebugCapture later;
  EXPECT_TRUE(later.pieces().empty());
}
