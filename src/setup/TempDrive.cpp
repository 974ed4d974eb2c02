#include "setup/TempDrive.h"

#include <windows.h>

#include "common/Files.h"
#include "common/Scramble.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/WinHandles.h"
#include "package/Language.h"
#include "package/TGFileInfo.h"
#include "setup/SpaceText.h"

namespace {

constexpr int kNumberedNames = 9;  // the base, "_1" to "_8"
constexpr int kRandomNames = 8;    // then "_" and a random number, as often

// Empty until ChooseRoomiestDrive finds a better drive.
std::string chosenTempPath;

// The time-of-day word of the program file's DOS time stamp.
unsigned ProgramTimeWord() {
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA(ProgramPath().c_str(), &entry));
  FILETIME local;
  WORD date = 0, time = 0;
  if (!find || !FileTimeToLocalFileTime(&entry.ftLastWriteTime, &local)) return 0;
  FileTimeToDosDateTime(&local, &date, &time);
  return time;
}

std::string FolderName(const std::string& base, int index) {
  if (index == 0) return base;
  if (index < kNumberedNames) return base + "_" + std::to_string(index);
  return base + "_" + RandomNumberText(10000, 100000);
}

// Empties, makes and locks `folder` unless another stub holds it or it is a
// link: another user who planted a link under a name we would use would have
// us empty and unpack into a folder of their choosing. True when the folder
// is ours afterwards.
bool TryToClaim(const std::string& folder) {
  if (IsReparsePoint(folder) || FolderLockedElsewhere(folder)) return false;
  RemoveFolderTree(folder, true);
  CreateFolderWithParents(folder);
  const bool locked = LockFolder(folder);
  // Looked at again once our open lock file pins the folder (it can no longer
  // be renamed or removed): a link swapped in meanwhile took the lock file to
  // its target. A name that cannot be made (under Wine: a link whose target
  // is gone) is passed over as well.
  if (!FolderExists(folder) || IsReparsePoint(folder)) {
    if (locked) UnlockFolder(folder);
    return false;
  }
  // Failing to lock while someone holds the lock means another stub claimed
  // the same name in the meantime: it keeps the folder.
  return locked || !FolderLockedElsewhere(folder);
}

std::string TempFolderOn(char letter) {
  const std::string temp = std::string(1, letter) + ":\\TEMP";
  return FolderExists(temp) ? temp + "\\TEMP" : temp;
}

// Free bytes of a fixed drive on which a file could be written; 0 otherwise.
double ProbeDrive(char letter) {
  if (GetDriveTypeA((std::string(1, letter) + ":\\").c_str()) != DRIVE_FIXED) return 0;
  std::string probe = std::string(1, letter) + ":\\TEMP";
  if (FolderExists(probe)) probe += "\\TEMP" + RandomNumberText(10000, 100000);
  if (IsReparsePoint(probe)) return 0;  // not ours to write into
  CreateFolderWithParents(probe);
  const std::string file = probe + "\\~aa.tmp";
  WriteTextToFile(file, "aa", 0, false);
  const double freeBytes = FileExists(file) ? GetDiskFreeBytes(probe) : 0;
  RemoveFolderTree(probe, true);
  return freeBytes;
}

}  // namespace

std::string ClaimFolder(const std::string& base) {
  for (int index = 0; index < kNumberedNames + kRandomNames; ++index) {
    const std::string folder = FolderName(base, index);
    if (TryToClaim(folder)) return folder;
  }
  // No folder could be made here: a fresh name that nobody holds and that
  // leads nowhere else, so that unpacking into it fails.
  const std::string fresh = FolderName(base, kNumberedNames);
  return IsReparsePoint(fresh) || FolderLockedElsewhere(fresh) ? "" : fresh;
}

WorkFolder& WorkFolder::operator=(WorkFolder&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::move(other.path_);
    other.path_.clear();
  }
  return *this;
}

void WorkFolder::Remove() {
  if (!path_.empty()) RemoveFolderTree(path_, true);
  path_.clear();
}

WorkFolder ClaimWorkingFolder() {
  return WorkFolder(ClaimFolder(SystemTempPath() + "SETUP_" + std::to_string(ProgramTimeWord())));
}

bool ChooseRoomiestDrive() {
  if (!chosenTempPath.empty()) return true;
  double freeBytes[3] = {ProbeDrive('C'), ProbeDrive('D'), ProbeDrive('E')};
  const char tempLetter = UpperText(SystemTempPath().substr(0, 1)).c_str()[0];
  char best = tempLetter;
  double most = 0;
  for (int drive = 0; drive < 3; ++drive) {
    if (freeBytes[drive] > most) {
      best = static_cast<char>('C' + drive);
      most = freeBytes[drive];
    }
  }
  if (best != tempLetter) chosenTempPath = TempFolderOn(best);
  return !chosenTempPath.empty();
}

WorkFolder ClaimAlternativeFolder() {
  if (chosenTempPath.empty()) return WorkFolder();
  return WorkFolder(ClaimFolder(chosenTempPath + "_" + RandomNumberText(10000, 100000)));
}

bool HasEnoughSpace(const std::string& folder, const std::string& packageFile) {
  const double required = TGFileInfo(packageFile).RequiredSpace(folder);
  return required < GetDiskFreeBytes(folder) && FolderExists(folder);
}

bool ConfirmTempSpace(const std::string& folder, const std::string& /*packageFile*/,
                      const TGFileInfo& reader) {
  const std::string question = TempSpaceQuestion(
      folder, reader.RequiredSpace(folder), GetDiskFreeBytes(folder), reader.ShowTempDriveNotice(),
      [&reader](const std::string& key, const std::string& fallback) {
        return reader.LangText(key, fallback);
      });
  if (question.empty()) return true;
  return AskYesNo(kOwnerHeading, question, reader.LangText("Confirm", LangDefault::Confirm),
                  reader.Charset(), reader.LangText("BtnText", LangDefault::BtnText));
}
