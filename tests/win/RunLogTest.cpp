#include <gtest/gtest.h>

#include <windows.h>

#include "WinTestFiles.h"
#include "common/Files.h"
#include "common/RunLog.h"
#include "common/Utils.h"

namespace {

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteFileA(GetLogFileName().c_str()); }
  void TearDown() override {
    SetRunLogEnabled(false);
    SetLogMarker("   ");
    DeleteFileA(GetLogFileName().c_str());
  }
};

}  // namespace

TEST_F(RunLogTest, LogLivesBesideTheProgram) {
  const std::string program = ProgramPath();
  const std::string folder = program.substr(0, program.rfind('\\') + 1);
  EXPECT_EQ(GetLogFileName(), folder + "X_varnix_win_tests.log");
}

TEST_F(RunLogTest, SilentUntilEnabled) {
  WriteLog("not written");
  EXPECT_FALSE(FileExists(GetLogFileName()));
}

TEST_F(RunLogTest, RecordsAppendWithThreadAndMarker) {
  SetRunLogEnabled(true);
  WriteLog("first");
  SetLogMarker(" X ");
  WriteLog("");
  const std::string log = ReadWholeFile(GetLogFileName());

  char thread[16];
  snprintf(thread, sizeof thread, "%5lu", GetCurrentThreadId());
  const size_t lineEnd = log.find("\r\n");
  ASSERT_NE(lineEnd, std::string::npos) << log;
  const std::string first = log.substr(0, lineEnd);
  // "dd/mm/yy HH:NN:SS" with the system's separators, then the thread id.
  ASSERT_GE(first.size(), 18u);
  EXPECT_EQ(first.substr(17), std::string(" ") + thread + "   first");
  EXPECT_EQ(log.substr(lineEnd + 2 + 17), std::string(" ") + thread + " X \r\n");
}

TEST_F(RunLogTest, AppendToFileKeepsOthersAbleToRead) {
  ScratchFolder folder;
  const std::string path = folder.Path("shared.log");
  ASSERT_TRUE(AppendToFile(path, "a", true, 0));
  HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(AppendToFile(path, "b", false, 0));
  CloseHandle(reader);
  EXPECT_EQ(ReadWholeFile(path), "a\r\nb");
  EXPECT_FALSE(AppendToFile(folder.path() + "\\no\\such\\folder\\x.log", "c", false, 0));
}
