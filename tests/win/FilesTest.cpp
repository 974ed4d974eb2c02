// File utilities against the real file system (under Wine, C: lies in the
// prefix and Z: is the Linux root).
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <cmath>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "WinTestFiles.h"
#include "common/Files.h"
#include "common/WinHandles.h"

namespace {

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFile(const std::string& path, const std::string& bytes,
              DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  ASSERT_TRUE(WriteTextToFile(path, bytes, 0, false)) << path;
  if (attributes != FILE_ATTRIBUTE_NORMAL) SetFileAttributesA(path.c_str(), attributes);
}

// A folder of the test's own, removed with everything in it at the end.
class TreeFolder {
 public:
  TreeFolder() : path_(scratch_.path() + "\\tree") { CreateDirectoryA(path_.c_str(), nullptr); }
  ~TreeFolder() {
    RemoveFolderTree(path_, true);
    RemoveDirectoryA(scratch_.path().c_str());
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  ScratchFolder scratch_;
  std::string path_;
};

// The DOS stamp of a file's last write, in local time.
uint32_t LastWriteDosTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  WORD date = 0, time = 0;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToDosDateTime(&local, &date, &time)) {
    return 0;
  }
  return (static_cast<uint32_t>(date) << 16) | time;
}

// 15 June 2020, 12:34:56.
constexpr uint32_t kStamp =
    (((2020u - 1980u) << 9 | 6u << 5 | 15u) << 16) | (12u << 11 | 34u << 5 | 28u);

// The chunk sizes a write reports, from the "done" figures of its callbacks.
struct ChunkLog {
  std::vector<int64_t> totals;
  std::vector<int64_t> chunks;
  int64_t last = 0;
  int calls = 0;
  int cancelAfter = -1;  // calls after which the callback cancels

  FileProgress Callback() {
    return [this](int64_t total, int64_t done, bool& cancel) {
      totals.push_back(total);
      if (calls++ > 0) chunks.push_back(done - last);
      last = done;
      if (calls == cancelAfter) cancel = true;
    };
  }
};

}  // namespace

TEST(Files, FreeBytesComeFromTheDiskThatHoldsThePath) {
  const double root = GetDiskFreeBytes("C:\\");
  ASSERT_GT(root, 0);
  // Other programs write to the same disk meanwhile: allow some drift.
  const double drift = 512.0 * 1048576;
  const char* sameDisk[] = {
      "C:\\Data\\Setup\\x.exe",  // first level missing: asked again at the root
      "c:/windows/system32",     // slashes and lower case; first level exists
      "C:\\windows",             // exactly one level
      "C:",                      // shorter than a root
  };
  for (const char* path : sameDisk) EXPECT_NEAR(GetDiskFreeBytes(path), root, drift) << path;
  const char* noDisk[] = {
      "\\\\server\\share\\dir",  // asked as \\server, then as "\:\"
      "",
      "Q:\\no\\such\\drive",
      "1:\\",
  };
  for (const char* path : noDisk) EXPECT_EQ(GetDiskFreeBytes(path), 0) << path;
}

TEST(Files, SizeAndPartsOfAFile) {
  TreeFolder folder;
  const std::string path = folder / "part.txt";
  MakeFile(path, "  hello world  ");
  EXPECT_EQ(GetFileSize64(path), 15);
  EXPECT_EQ(GetFileSize64(folder / "missing.txt"), 0);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(GetFileSize64(path), 15);  // any attributes

  struct {
    uint64_t count;
    bool trim;
    uint64_t offset;
    const char* expected;
  } cases[] = {
      {0, false, 0, "  hello world  "},  // 0: to the end
      {5, false, 2, "hello"},
      {0, true, 0, "hello world"},
      {100, false, 10, "rld  "},  // more than is left: what is left
      {0, false, 14, " "},        // the last byte
      {0, false, 15, ""},         // offset == size
      {3, false, 16, ""},         // beyond the end
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadFilePart(path, c.count, c.trim, c.offset), c.expected)
        << c.count << " at " << c.offset;
  }
  EXPECT_EQ(ReadFilePart(folder / "missing.txt", 0, false, 0), "");
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Files, WritingInChunksReportsEachChunk) {
  struct {
    size_t length;
    int64_t chunk;  // every chunk but the last
    size_t count;
  } cases[] = {
      {20 * 1048576, 1048576, 20},  // a tenth would be 2 MB: capped at 1 MB
      {5000, 1024, 5},              // a tenth is below 1,024: chunks of 1,024
      {50000, 5000, 10},            // a tenth
      {500, 500, 1},                // shorter than 1,024: one chunk
      {10240, 1024, 10},            // a tenth of exactly 1,024
  };
  TreeFolder folder;
  const std::string path = folder / "chunks.bin";
  for (const auto& c : cases) {
    std::string text(c.length, 'x');
    for (size_t i = 0; i < text.size(); i += 997) text[i] = static_cast<char>('a' + i % 26);
    ChunkLog log;
    EXPECT_TRUE(WriteTextToFile(path, text, 0, false, log.Callback())) << c.length;
    ASSERT_EQ(log.chunks.size(), c.count) << c.length;
    for (size_t i = 0; i + 1 < log.chunks.size(); ++i)
      EXPECT_EQ(log.chunks[i], c.chunk) << c.length;
    EXPECT_EQ(log.last, static_cast<int64_t>(c.length));
    EXPECT_EQ(log.totals, std::vector<int64_t>(c.count + 1, static_cast<int64_t>(c.length)));
    EXPECT_TRUE(ReadWholeFile(path) == text) << c.length;
  }
  ChunkLog empty;
  EXPECT_TRUE(WriteTextToFile(path, "", 0, false, empty.Callback()));
  EXPECT_EQ(empty.calls, 1);  // told the total, nothing to write
  EXPECT_EQ(GetFileSize64(path), 0);
}

TEST(Files, TimeStampOnlyAfterACompleteWrite) {
  TreeFolder folder;
  const std::string whole = folder / "whole.txt", cut = folder / "cut.txt";
  EXPECT_TRUE(WriteTextToFile(whole, "complete", kStamp, false));
  EXPECT_EQ(LastWriteDosTime(whole), kStamp);

  ChunkLog log;
  log.cancelAfter = 2;  // after the first chunk
  EXPECT_FALSE(WriteTextToFile(cut, std::string(5000, 'c'), kStamp, false, log.Callback()));
  EXPECT_EQ(GetFileSize64(cut), 1024);
  EXPECT_NE(LastWriteDosTime(cut), kStamp);

  ChunkLog before;
  before.cancelAfter = 1;  // cancelled before anything was written
  EXPECT_FALSE(WriteTextToFile(cut, "abc", kStamp, false, before.Callback()));
  EXPECT_EQ(GetFileSize64(cut), 0);
  EXPECT_NE(LastWriteDosTime(cut), kStamp);
}

TEST(Files, AppendOrReplace) {
  TreeFolder folder;
  const std::string path = folder / "text.txt";
  EXPECT_TRUE(WriteTextToFile(path, "ab", 0, true));  // append creates a missing file
  EXPECT_TRUE(WriteTextToFile(path, "cd", kStamp, true));
  EXPECT_EQ(ReadWholeFile(path), "abcd");
  EXPECT_EQ(LastWriteDosTime(path), kStamp);
  EXPECT_TRUE(WriteTextToFile(path, "x", 0, false));
  EXPECT_EQ(ReadWholeFile(path), "x");
  EXPECT_TRUE(WriteTextToFile(path, "", 0, false));  // nothing to write is a complete write
  EXPECT_EQ(GetFileSize64(path), 0);

  EXPECT_FALSE(WriteTextToFile(folder / "no\\such\\folder.txt", "x", 0, false));
  EXPECT_FALSE(WriteTextToFile(folder.path(), "x", 0, true));  // a folder is no file
}

// Both routes of the replacing move: the system's (MoveFileEx) and the one
// built from renames for Windows 9x, which has none. Either replaces the
// target with the whole new file and leaves no temporary name behind; when
// the new file cannot be moved in, the old target survives.
TEST(Files, MovingOverAFileReplacesItOrKeepsTheOld) {
  using Move = bool (*)(const std::string&, const std::string&);
  for (const Move move : {Move{&MoveOverFile}, Move{&ReplaceByRenaming}}) {
    TreeFolder folder;
    const std::string target = folder / "info.txt";
    MakeFile(folder / "new.part", "new");
    EXPECT_TRUE(move(folder / "new.part", target));  // no target yet
    EXPECT_EQ(ReadWholeFile(target), "new");

    MakeFile(folder / "newer.part", "newer");
    EXPECT_TRUE(move(folder / "newer.part", target));
    EXPECT_EQ(ReadWholeFile(target), "newer");
    EXPECT_FALSE(Exists(folder / "newer.part"));
    EXPECT_FALSE(Exists(target + ".old~"));

    EXPECT_FALSE(move(folder / "missing.part", target));
    EXPECT_EQ(ReadWholeFile(target), "newer");
    EXPECT_FALSE(Exists(target + ".old~"));
  }
}

namespace {

constexpr int64_t kFourGiB = int64_t{1} << 32;

// A file whose end lies `size` bytes in without storing them: marked sparse
// where the file system knows the flag (under Wine the Linux file simply has
// a hole), so the test never writes gigabytes.
bool MakeHollowFile(const std::string& path, int64_t size) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD returned = 0;
  DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  LONG high = static_cast<LONG>(size >> 32);
  SetFilePointer(file.get(), static_cast<LONG>(size & 0xFFFFFFFF), &high, FILE_BEGIN);
  return SetEndOfFile(file.get()) != FALSE;
}

}  // namespace

TEST(Files, AppendingPastFourGiB) {
  TreeFolder folder;
  const std::string path = folder / "big.bin";
  const int64_t start = kFourGiB + 16;  // the low 32 bits alone would point at byte 16
  ASSERT_TRUE(MakeHollowFile(path, start));
  ASSERT_EQ(GetFileSize64(path), start);

  EXPECT_TRUE(WriteTextToFile(path, "tail", 0, true));
  EXPECT_TRUE(AppendToFile(path, "more", true, 0));
  EXPECT_EQ(GetFileSize64(path), start + 10);
  EXPECT_EQ(ReadFilePart(path, 0, false, static_cast<uint64_t>(start)), "tailmore\r\n");
  EXPECT_EQ(ReadFilePart(path, 32, false, 0), std::string(32, '\0'));  // nothing landed in front

  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
  EXPECT_TRUE(SeekToEnd(file.get()));
  LONG high = 0;
  const DWORD low = SetFilePointer(file.get(), 0, &high, FILE_CURRENT);
  EXPECT_EQ((static_cast<int64_t>(high) << 32) | low, start + 10);
  EXPECT_FALSE(SeekToEnd(INVALID_HANDLE_VALUE));
}

TEST(Files, DeleteFilesByMask) {
  TreeFolder folder;
  MakeFile(folder / "a.txt", "a");
  MakeFile(folder / "b.txt", "b", FILE_ATTRIBUTE_READONLY);
  MakeFile(folder / "c.txt", "c", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  MakeFile(folder / "d.log", "d");
  CreateDirectoryA((folder / "e.txt").c_str(), nullptr);  // a folder that matches the mask

  EXPECT_TRUE(DeleteFiles(folder / "*.txt", false));
  EXPECT_FALSE(Exists(folder / "a.txt"));
  EXPECT_TRUE(Exists(folder / "b.txt"));  // read-only stays without clearing
  EXPECT_TRUE(Exists(folder / "d.log"));
  EXPECT_TRUE(Exists(folder / "e.txt"));

  EXPECT_TRUE(DeleteFiles(folder / "*.txt", true));
  EXPECT_FALSE(Exists(folder / "b.txt"));
  EXPECT_FALSE(Exists(folder / "c.txt"));
  EXPECT_TRUE(Exists(folder / "e.txt"));
  EXPECT_FALSE(DeleteFiles(folder / "*.txt", true));  // only a folder matches now
  EXPECT_FALSE(DeleteFiles(folder / "missing\\*.*", true));
}

TEST(Files, RemoveFolderTree) {
  TreeFolder folder;
  const std::string top = folder / "top";
  ASSERT_TRUE(CreateFolderWithParents(top + "\\one\\two\\three"));
  MakeFile(top + "\\root.txt", "r");
  MakeFile(top + "\\one\\two\\deep.txt", "d", FILE_ATTRIBUTE_HIDDEN);
  CreateDirectoryA((top + "\\empty").c_str(), nullptr);
  EXPECT_TRUE(RemoveFolderTree(top + "\\", true));  // a closing backslash is fine
  EXPECT_FALSE(Exists(top));
  EXPECT_FALSE(RemoveFolderTree(top, true));  // no longer there
  EXPECT_FALSE(RemoveFolderTree("", true));

  // A read-only file stays unless attributes are cleared.
  ASSERT_TRUE(CreateFolderWithParents(top + "\\sub"));
  MakeFile(top + "\\sub\\locked.txt", "l", FILE_ATTRIBUTE_READONLY);
  MakeFile(top + "\\plain.txt", "p");
  EXPECT_FALSE(RemoveFolderTree(top, false));
  EXPECT_TRUE(Exists(top + "\\sub\\locked.txt"));
  EXPECT_FALSE(Exists(top + "\\plain.txt"));
  EXPECT_TRUE(RemoveFolderTree(top, true));
  EXPECT_FALSE(Exists(top));
}

// Measured under Wine 8: RemoveDirectoryA on a Unix link follows it; it fails
// with ERROR_DIR_NOT_EMPTY while the target holds anything (and would remove
// an empty target instead of the link). On Windows it removes the link. So
// the test asserts what holds on both: the target keeps everything, and the
// result says whether the link went.
TEST(Files, RemovalLeavesTheTargetOfAFolderLinkAlone) {
  TreeFolder folder;
  const std::string target = folder / "target";
  ASSERT_TRUE(CreateFolderWithParents(target + "\\inner"));
  MakeFile(target + "\\precious.txt", "keep");
  MakeFile(target + "\\inner\\deep.txt", "keep too");
  const std::string tree = folder / "tree";
  ASSERT_TRUE(CreateFolderWithParents(tree + "\\sub"));
  MakeFile(tree + "\\sub\\file.txt", "goes");
  WineFolderLink asTheFolder(folder / "link", target), insideTheTree(tree + "\\link", target);
  if (!asTheFolder.made() || !insideTheTree.made()) GTEST_SKIP() << "no folder links here";
  EXPECT_TRUE(IsReparsePoint(folder / "link"));
  EXPECT_TRUE(IsReparsePoint(tree + "\\link\\"));
  EXPECT_FALSE(IsReparsePoint(target));
  EXPECT_FALSE(IsReparsePoint(folder / "missing"));

  struct {
    std::string path;
    const char* what;
  } cases[] = {
      {folder / "link", "a link given as the folder itself"},
      {tree, "a link inside the folder"},
  };
  for (const auto& c : cases) {
    const bool removed = RemoveFolderTree(c.path, true);
    EXPECT_EQ(ReadWholeFile(target + "\\precious.txt"), "keep") << c.what;
    EXPECT_EQ(ReadWholeFile(target + "\\inner\\deep.txt"), "keep too") << c.what;
    EXPECT_EQ(removed, !Exists(c.path)) << c.what;
  }
  EXPECT_FALSE(Exists(tree + "\\sub"));
}

TEST(Files, RemovalHoldsTheFolderLockUntilTheFolderIsEmpty) {
  TreeFolder folder;
  const std::string top = folder / "top";
  ASSERT_TRUE(CreateFolderWithParents(top + "\\a\\deeper"));
  ASSERT_TRUE(CreateFolderWithParents(top + "\\b"));
  MakeFile(top + "\\a\\file.txt", "a");
  MakeFile(top + "\\root.txt", "r");
  ASSERT_TRUE(LockFolder(top));
  const std::string lock = top + "\\" + kFolderLockName;

  // After each subfolder: would another process find the lock held? It opens
  // the lock file the way FolderLockedElsewhere does.
  std::vector<bool> heldMeanwhile;
  const bool removed = RemoveFolderTree(top, true, [&](int64_t, int64_t, bool&) {
    UniqueFile probe(CreateFileA(lock.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    heldMeanwhile.push_back(!probe && GetLastError() == ERROR_SHARING_VIOLATION);
  });
  EXPECT_TRUE(removed);
  EXPECT_EQ(heldMeanwhile, std::vector<bool>(3, true));  // deeper, a, b
  EXPECT_FALSE(Exists(top));
  // The lock went with the folder: the name can be made and locked anew.
  ASSERT_TRUE(CreateFolderWithParents(top));
  EXPECT_TRUE(LockFolder(top));
  EXPECT_TRUE(RemoveFolderTree(top, true));
}

namespace {

int timerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++timerTicks; }

}  // namespace

TEST(Files, RemovalKeepsMessagesFlowingAndCanBeCancelled) {
  TreeFolder folder;
  const std::string top = folder / "top";
  for (const char* sub : {"\\a", "\\b", "\\c", "\\d", "\\e"})
    ASSERT_TRUE(CreateFolderWithParents(top + sub));

  timerTicks = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 5, CountTick);
  std::vector<int64_t> done;
  const bool removed =
      RemoveFolderTree(top, true, [&done](int64_t total, int64_t count, bool& cancel) {
        EXPECT_EQ(total, 0);
        done.push_back(count);
        cancel = count == 2;
      });
  KillTimer(nullptr, timer);
  EXPECT_FALSE(removed);
  EXPECT_EQ(done, (std::vector<int64_t>{1, 2}));
  EXPECT_GT(timerTicks, 0);  // the timer ran during the removal
  int left = 0;
  for (const char* sub : {"\\a", "\\b", "\\c", "\\d", "\\e"})
    left += FolderExists(top + sub) ? 1 : 0;
  EXPECT_EQ(left, 3);
}

TEST(Files, FolderLocks) {
  TreeFolder folder;
  const std::string mine = folder / "mine", theirs = folder / "theirs";
  ASSERT_TRUE(CreateFolderWithParents(mine));
  ASSERT_TRUE(CreateFolderWithParents(theirs + "\\sub"));
  MakeFile(theirs + "\\work.txt", "w");
  EXPECT_FALSE(LockFolder(folder / "missing"));

  // Our lock: nobody else can open or delete the file, and we do not count
  // as "elsewhere".
  ASSERT_TRUE(LockFolder(mine));
  EXPECT_TRUE(LockFolder(mine + "\\"));  // already held
  const std::string mineLock = mine + "\\" + kFolderLockName;
  EXPECT_TRUE(Exists(mineLock));
  EXPECT_FALSE(DeleteFileA(mineLock.c_str()));
  EXPECT_FALSE(FolderLockedElsewhere(mine));
  UnlockFolder(mine);
  EXPECT_FALSE(Exists(mineLock));  // gone with the handle

  // A lock file left behind by a holder that has gone is no lock.
  MakeFile(mineLock, "");
  EXPECT_FALSE(FolderLockedElsewhere(mine));
  EXPECT_TRUE(LockFolder(mine));

  // Another holder, in the way another process would hold it.
  UniqueFile other(CreateFileA((theirs + "\\" + kFolderLockName).c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                               nullptr));
  ASSERT_TRUE(other);
  EXPECT_TRUE(FolderLockedElsewhere(theirs));
  EXPECT_FALSE(LockFolder(theirs));
  EXPECT_FALSE(FolderLockedElsewhere(folder / "missing"));

  // Removing the parent: our own locked folder goes, theirs stays whole.
  EXPECT_FALSE(RemoveFolderTree(folder.path(), true));
  EXPECT_FALSE(Exists(mine));
  EXPECT_TRUE(Exists(theirs + "\\work.txt"));
  EXPECT_TRUE(FolderExists(theirs + "\\sub"));
  EXPECT_FALSE(RemoveFolderTree(theirs, true));
  other.reset();
  EXPECT_FALSE(FolderLockedElsewhere(theirs));
  EXPECT_TRUE(RemoveFolderTree(theirs, true));
}

TEST(Files, EjectCDLeavesOtherDrivesAlone) {
  DebugCapture capture;
  const char* paths[] = {"C:\\setup.exe.002", "c:",  "Z:\\tmp", "", "1:\\x",
                         "\\\\server\\share", "Q:\\"};
  for (const char* path : paths) EXPECT_FALSE(EjectCD(path)) << path;
  EXPECT_EQ(capture.text(), "");  // no device was opened
}

TEST(Files, SelfDeleteBatch) {
  // Retries about once a second for about a minute, then gives up; removes
  // the folder only when asked; deletes itself in any case.
  struct {
    bool removeFolder;
    const char* expected;
  } cases[] = {
      {false,
       "SET TRIES=0\r\n"
       ":START\r\n"
       "DEL \"C:\\Program Files\\P\\X_agent.exe\"\r\n"
       "IF NOT exist \"C:\\Program Files\\P\\X_agent.exe\" GOTO DONE\r\n"
       "SET /A TRIES+=1\r\n"
       "IF %TRIES% GEQ 60 GOTO DONE\r\n"
       "PING -n 2 127.0.0.1 >NUL\r\n"
       "GOTO START\r\n"
       ":DONE\r\n"
       "DEL \"C:\\T\\_DEL_ME_12.BAT\"\r\n"},
      {true,
       "SET TRIES=0\r\n"
       ":START\r\n"
       "DEL \"C:\\Program Files\\P\\X_agent.exe\"\r\n"
       "IF NOT exist \"C:\\Program Files\\P\\X_agent.exe\" GOTO DONE\r\n"
       "SET /A TRIES+=1\r\n"
       "IF %TRIES% GEQ 60 GOTO DONE\r\n"
       "PING -n 2 127.0.0.1 >NUL\r\n"
       "GOTO START\r\n"
       ":DONE\r\n"
       "RD \"C:\\Program Files\\P\"\r\n"
       "DEL \"C:\\T\\_DEL_ME_12.BAT\"\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SelfDeleteBatchText("C:\\Program Files\\P\\X_agent.exe", "C:\\T\\_DEL_ME_12.BAT",
                                  c.removeFolder),
              c.expected)
        << c.removeFolder;
  }
}

TEST(Files, SelfDeleteBatchWritesPathsAsCmdReadsThem) {
  // cmd expands "%" inside quotes too: "%2" is the batch's (empty) second
  // argument, so "setup%20(1).exe" would delete "setup0(1).exe".
  const std::string percent = SelfDeleteBatchText("C:\\Temp\\S_1\\setup%20(1).exe",
                                                  "C:\\Users\\50%\\Temp\\_DEL_ME_7.BAT", true);
  for (const char* line : {"DEL \"C:\\Temp\\S_1\\setup%%20(1).exe\"\r\n",
                           "IF NOT exist \"C:\\Temp\\S_1\\setup%%20(1).exe\" GOTO DONE\r\n",
                           "RD \"C:\\Temp\\S_1\"\r\n", "IF %TRIES% GEQ 60 GOTO DONE\r\n",
                           "DEL \"C:\\Users\\50%%\\Temp\\_DEL_ME_7.BAT\"\r\n"}) {
    EXPECT_NE(percent.find(line), std::string::npos) << line << " in\n" << percent;
  }

  // No batch rather than one that names another file: "?" and "*" are left
  // by an ANSI name that lost characters, and DEL takes them as wildcards.
  for (const char* program : {"C:\\Temp\\a?b.exe", "C:\\Temp\\*.exe"}) {
    EXPECT_EQ(SelfDeleteBatchText(program, "C:\\T\\_DEL_ME_1.BAT", false), "") << program;
  }
  EXPECT_EQ(SelfDeleteBatchText("C:\\Temp\\a.exe", "C:\\T?\\_DEL_ME_1.BAT", false), "");

  // cmd reads a batch file in the OEM code page. The rows below hold for a
  // Western system (ANSI 1252, OEM 437), which is what Wine sets up for C or
  // English locales.
  if (GetACP() != 1252 || GetOEMCP() != 437)
    GTEST_SKIP() << "code pages " << GetACP() << "/" << GetOEMCP();
  const std::string accented = SelfDeleteBatchText("C:\\Users\\Jos\xE9\\X_agent.exe",
                                                   "C:\\Users\\Jos\xE9\\_DEL_ME_3.BAT", true);
  EXPECT_NE(accented.find("DEL \"C:\\Users\\Jos\x82\\X_agent.exe\"\r\n"), std::string::npos)
      << accented;
  EXPECT_NE(accented.find("RD \"C:\\Users\\Jos\x82\"\r\n"), std::string::npos) << accented;
  EXPECT_EQ(accented.find('\xE9'), std::string::npos) << accented;
  // The euro sign (0x80 in 1252) has no place in 437: no name for cmd.
  EXPECT_EQ(SelfDeleteBatchText("C:\\Users\\\x80\\X_agent.exe", "C:\\T\\_DEL_ME_1.BAT", false), "");
}
