// The working folders on the real file system, with a second process where
// the behaviour is about other processes, and the space question shown for
// real and answered from a second thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "../host/CraftedPackage.h"
#include "WinTestFiles.h"
#include "WinTestProcesses.h"
#include "common/Files.h"
#include "common/Utils.h"
#include "common/WinHandles.h"
#include "package/Language.h"
#include "package/TGFileInfo.h"
#include "setup/TempDrive.h"

namespace {

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The names in a folder, "." and ".." left out.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &entry));
  for (bool more = static_cast<bool>(find); more; more = FindNextFileA(find.get(), &entry)) {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

const std::vector<std::string> kOnlyTheLock = {kFolderLockName};

// Holds a folder's lock file as another running stub would.
UniqueFile HoldAsAnotherStub(const std::string& folder) {
  return UniqueFile(CreateFileA((folder + "\\" + kFolderLockName).c_str(), GENERIC_WRITE, 0,
                                nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

// The name rule: temporary path, "SETUP_", the time of day of the program
// file's stamp.
std::string WorkingFolderBase() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  WORD date = 0, time = 0;
  GetFileAttributesExA(ProgramPath().c_str(), GetFileExInfoStandard, &data);
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToDosDateTime(&local, &date, &time);
  return SystemTempPath() + "SETUP_" + std::to_string(time);
}

}  // namespace

TEST(TempDrive, WorkingFolderIsHeldWhileOwnedAndRemovedAfter) {
  std::string path;
  {
    WorkFolder folder = ClaimWorkingFolder();
    path = folder.path();
    const std::string base = WorkingFolderBase();
    // Another test process of this build may hold the plain name.
    EXPECT_TRUE(path == base || path.rfind(base + "_", 0) == 0) << path << " / " << base;
    ASSERT_TRUE(FolderExists(path));
    const std::string lock = path + "\\" + kFolderLockName;
    EXPECT_TRUE(Exists(lock));
    EXPECT_FALSE(DeleteFileA(lock.c_str()));  // held for as long as it is owned
    EXPECT_FALSE(FolderLockedElsewhere(path));
    ASSERT_TRUE(CreateFolderWithParents(path + "\\sub"));
    ASSERT_TRUE(WriteTextToFile(path + "\\sub\\unpacked.txt", "unpacked", 0, false));

    WorkFolder moved = std::move(folder);
    EXPECT_EQ(moved.path(), path);
    EXPECT_EQ(folder.path(), "");  // NOLINT(bugprone-use-after-move): the old owner owns nothing
  }
  EXPECT_FALSE(FolderExists(path));  // contents, lock and folder, once

  WorkFolder kept = ClaimWorkingFolder();
  path = kept.path();
  kept.Keep();  // a program started from it goes on using it
  { WorkFolder gone = std::move(kept); }
  EXPECT_TRUE(FolderExists(path));
  EXPECT_TRUE(RemoveFolderTree(path, true));
}

TEST(TempDrive, SecondProcessPassesOverAHeldWorkingFolder) {
  const WorkFolder held = ClaimWorkingFolder();
  const std::string& folder = held.path();
  ASSERT_TRUE(WriteTextToFile(folder + "\\ours.txt", "ours", 0, false));
  ScratchFolder scratch;
  const std::string report = scratch.Path("child-folder.txt");
  ScopedEnvironment out("VARNIX_CHILD_REPORT", report);

  EXPECT_EQ(RunChildTest("TempDriveChild.DISABLED_ClaimsAndRemovesItsOwnFolder"), 0u);
  const std::string childFolder = ReadWholeFile(report);
  EXPECT_NE(childFolder, "");
  EXPECT_NE(childFolder, folder);
  EXPECT_EQ(childFolder.rfind(WorkingFolderBase() + "_", 0), 0u) << childFolder;
  EXPECT_EQ(ReadWholeFile(folder + "\\ours.txt"), "ours");  // the child left our folder alone
  EXPECT_TRUE(Exists(folder + "\\" + kFolderLockName));
  EXPECT_FALSE(FolderExists(childFolder));  // and removed its own, lock and all
}

// Runs only in the child process started above.
TEST(TempDriveChild, DISABLED_ClaimsAndRemovesItsOwnFolder) {
  const char* report = std::getenv("VARNIX_CHILD_REPORT");
  if (report == nullptr)
    GTEST_SKIP() << "runs as a child of SecondProcessPassesOverAHeldWorkingFolder";
  std::string folder;
  {
    const WorkFolder claimed = ClaimWorkingFolder();
    folder = claimed.path();
    ASSERT_TRUE(WriteTextToFile(report, folder, 0, false));
    EXPECT_EQ(Entries(folder), kOnlyTheLock);
    ASSERT_TRUE(WriteTextToFile(folder + "\\setup.exe", "engine", 0, false));
  }
  EXPECT_FALSE(FolderExists(folder));
}

TEST(TempDrive, ClaimEmptiesAFreeFolderAndPassesOverAHeldOne) {
  ScratchFolder scratch;
  const std::string base = scratch.path() + "\\SETUP_42";

  // Missing: made with its parents.
  EXPECT_EQ(ClaimFolder(base + "\\deeper"), base + "\\deeper");
  EXPECT_EQ(Entries(base + "\\deeper"), kOnlyTheLock);
  EXPECT_TRUE(RemoveFolderTree(base, true));  // our own lock is no obstacle

  // Left over from an earlier run, with a stale lock file: emptied.
  ASSERT_TRUE(CreateFolderWithParents(base + "\\sub"));
  ASSERT_TRUE(WriteTextToFile(base + "\\sub\\old.txt", "old", 0, false));
  ASSERT_TRUE(WriteTextToFile(base + "\\" + kFolderLockName, "", 0, false));
  ASSERT_TRUE(WriteTextToFile(base + "\\readonly.txt", "r", 0, false));
  SetFileAttributesA((base + "\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ClaimFolder(base), base);
  EXPECT_EQ(Entries(base), kOnlyTheLock);
  UnlockFolder(base);

  // Held by another stub: left whole, the next names are taken in turn.
  ASSERT_TRUE(WriteTextToFile(base + "\\theirs.txt", "theirs", 0, false));
  UniqueFile held = HoldAsAnotherStub(base);
  ASSERT_TRUE(held);
  ASSERT_TRUE(CreateFolderWithParents(base + "_1"));
  UniqueFile heldToo = HoldAsAnotherStub(base + "_1");
  ASSERT_TRUE(heldToo);
  EXPECT_EQ(ClaimFolder(base), base + "_2");
  EXPECT_EQ(ReadWholeFile(base + "\\theirs.txt"), "theirs");
  EXPECT_EQ(Entries(base + "_2"), kOnlyTheLock);

  EXPECT_TRUE(RemoveFolderTree(base + "_2", true));
  held.reset();
  heldToo.reset();
  EXPECT_TRUE(RemoveFolderTree(base, true));
  EXPECT_TRUE(RemoveFolderTree(base + "_1", true));
}

// A name another user planted as a link (see WineFolderLink for how Wine
// shows one) would lead the emptying to that user's choice of folder and the
// unpacking after it. Under Wine a link whose target is gone cannot be seen at
// all; it still blocks the name, which must be passed over as well.
TEST(TempDrive, ClaimPassesOverFolderLinks) {
  ScratchFolder scratch;
  const std::string base = scratch.path() + "\\SETUP_43";
  const std::string target = scratch.path() + "\\chosen", gone = scratch.path() + "\\gone";
  ASSERT_TRUE(CreateFolderWithParents(target));
  ASSERT_TRUE(CreateFolderWithParents(gone));
  ASSERT_TRUE(WriteTextToFile(target + "\\theirs.txt", "theirs", 0, false));
  WineFolderLink plain(base, target), first(base + "_1", target), dangling(base + "_2", gone);
  if (!plain.made() || !first.made() || !dangling.made()) GTEST_SKIP() << "no folder links here";
  ASSERT_TRUE(RemoveDirectoryA(gone.c_str()));

  EXPECT_EQ(ClaimFolder(base), base + "_3");
  EXPECT_EQ(Entries(target), std::vector<std::string>{"theirs.txt"});  // not emptied, not locked
  EXPECT_EQ(Entries(base + "_3"), kOnlyTheLock);
  EXPECT_FALSE(FolderExists(gone));  // nothing was made through the dangling link

  EXPECT_TRUE(RemoveFolderTree(base + "_3", true));
  EXPECT_TRUE(RemoveFolderTree(target, true));
}

TEST(TempDrive, RoomiestDriveWithTheTemporaryPathOnC) {
  // Under Wine C: is the only fixed drive of C, D and E, and the temporary
  // path lies on it: nothing better to choose.
  const bool hadTemp = FolderExists("C:\\TEMP");
  EXPECT_FALSE(ChooseRoomiestDrive());
  EXPECT_EQ(ClaimAlternativeFolder().path(), "");
  EXPECT_EQ(FolderExists("C:\\TEMP"), hadTemp);  // the probe cleaned up after itself
  if (hadTemp) {
    for (const std::string& name : Entries("C:\\TEMP"))
      EXPECT_NE(name.rfind("TEMP", 0), 0u) << name;
  }
}

TEST(TempDrive, RoomiestDriveWhenTheTemporaryPathIsElsewhere) {
  // The choice is kept for the process: look at it in a child.
  ScratchFolder scratch;
  const std::string reportFile = scratch.Path("alternative.txt");
  const char linuxTemp[] = "Z:\\tmp\\";
  ScopedEnvironment tmp("TMP", linuxTemp), temp("TEMP", linuxTemp);
  ScopedEnvironment report("VARNIX_CHILD_REPORT", reportFile);
  EXPECT_EQ(RunChildTest("TempDriveChild.DISABLED_ChoosesDriveC"), 0u);
  const std::string alternative = ReadWholeFile(reportFile);
  EXPECT_NE(alternative, "");
  EXPECT_FALSE(FolderExists(alternative));
}

TEST(TempDriveChild, DISABLED_ChoosesDriveC) {
  const char* report = std::getenv("VARNIX_CHILD_REPORT");
  if (report == nullptr)
    GTEST_SKIP() << "runs as a child of RoomiestDriveWhenTheTemporaryPathIsElsewhere";
  ASSERT_EQ(SystemTempPath(), "Z:\\tmp\\");
  const bool hadTemp = FolderExists("C:\\TEMP");
  EXPECT_TRUE(ChooseRoomiestDrive());
  WorkFolder alternative = ClaimAlternativeFolder();
  const std::string folder = alternative.path();
  ASSERT_TRUE(WriteTextToFile(report, folder, 0, false));
  const std::string chosen = hadTemp ? "C:\\TEMP\\TEMP_" : "C:\\TEMP_";
  ASSERT_EQ(folder.rfind(chosen, 0), 0u) << folder;
  const int number = std::atoi(folder.c_str() + chosen.size());
  EXPECT_GE(number, 10000);
  EXPECT_LE(number, 100000);
  EXPECT_EQ(Entries(folder), kOnlyTheLock);
  EXPECT_TRUE(ChooseRoomiestDrive());  // chosen once, kept
  EXPECT_EQ(FolderExists("C:\\TEMP"), hadTemp);
  alternative = WorkFolder();
  EXPECT_FALSE(FolderExists(folder));
}

TEST(TempDrive, HasEnoughSpace) {
  ScratchFolder scratch;
  CraftedPackage package;
  package.trailer.SpaceByClusterSize[0] = 1000;
  for (int k = 1; k < kSpaceEntries; ++k) package.trailer.SpaceByClusterSize[k] = 1000;
  const std::string small = scratch.Write("small.exe", package.Bytes());
  EXPECT_TRUE(HasEnoughSpace(scratch.path(), small));
  EXPECT_TRUE(HasEnoughSpace(scratch.path(),
                             scratch.path() + "\\missing.exe"));      // no package needs nothing
  EXPECT_FALSE(HasEnoughSpace(scratch.path() + "\\missing", small));  // the folder must exist
  EXPECT_FALSE(HasEnoughSpace("Q:\\", small));  // no free space on a missing drive
}

namespace {

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
  char name[32] = {};
  GetClassNameA(window, name, sizeof name);
  if (std::string(name) != "VMsgBox") return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM children) {
  reinterpret_cast<std::vector<HWND>*>(children)->push_back(window);
  return TRUE;
}

std::string ClassOf(HWND window) {
  char name[32] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  char text[4096] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// Waits on another thread for the box of `thread`, notes its texts and
// clicks the button with the given caption.
class BoxAnswer {
 public:
  BoxAnswer(DWORD thread, const std::string& button) {
    worker_ = std::thread([this, thread, button] {
      HWND box = nullptr;
      for (int i = 0; i < 2000 && box == nullptr; ++i) {
        EnumThreadWindows(thread, FindBox, reinterpret_cast<LPARAM>(&box));
        DWORD_PTR answer = 0;
        if (box && !SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer))
          box = nullptr;
        if (box == nullptr) Sleep(5);
      }
      if (box == nullptr) return;
      std::vector<HWND> children;
      EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&children));
      HWND clicked = nullptr;
      for (HWND child : children) {
        const std::string className = ClassOf(child);
        if (lstrcmpiA(className.c_str(), "RICHEDIT") == 0) text_ = TextOf(child);
        if (className == "Button" && TextOf(child) == button) clicked = child;
      }
      PostMessageA(clicked ? clicked : box, clicked ? BM_CLICK : WM_CLOSE, 0, 0);
    });
  }
  ~BoxAnswer() { Finish(); }
  // The text the box showed; empty when no box came.
  const std::string& Finish() {
    if (worker_.joinable()) worker_.join();
    return text_;
  }

 private:
  std::thread worker_;
  std::string text_;
};

}  // namespace

TEST(TempDrive, ConfirmTempSpaceAsksOnlyWhenThereIsSomethingToSay) {
  ScratchFolder scratch;
  ResetLanguageSectionForTesting();
  // No notice asked for and room enough: the flow goes on without a box.
  const TGFileInfo quiet(scratch.Write("quiet.exe", CraftedPackage().Bytes()));
  EXPECT_TRUE(ConfirmTempSpace(scratch.path(), "", quiet));

  CraftedPackage noticed;
  noticed.trailer.PackageFlags = kShowTempDriveNotice;
  noticed.language =
      "\x02\x01"
      "English\x01"
      "BtnText=|O|C|Ja|Nein|A|R|I|\x01"
      "Confirm=Sure?\x01\x02";
  const TGFileInfo reader(scratch.Write("noticed.exe", noticed.Bytes()));
  struct {
    const char* button;
    bool expected;
  } cases[] = {{"Ja", true}, {"Nein", false}};
  for (const auto& c : cases) {
    BoxAnswer answer(GetCurrentThreadId(), c.button);
    EXPECT_EQ(ConfirmTempSpace(scratch.path(), "", reader), c.expected) << c.button;
    const std::string text = answer.Finish();
    EXPECT_EQ(text.rfind("Sure?", 0), 0u) << text;  // the caption as heading
    EXPECT_NE(text.find("Varnix will extract files to your Temp Drive (" +
                        scratch.path().substr(0, 2) + ")"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Continue with Setup?"), std::string::npos) << text;
  }
  ResetLanguageSectionForTesting();
}
