// Where a setup run unpacks: a working folder in the user's temporary
// folder or, when that drive lacks room, an alternative folder on the fixed
// drive with the most free space; the space test and the question asked
// before unpacking.
//
// Two stubs whose program files carry the same time of day get the same
// working folder name, and the first use of a name empties the folder. So
// that a second stub never empties a folder a running one unpacks into, each
// run holds the lock of its folder (LockFolder, Files.h) for as long as it
// lives: a name whose folder another running process holds is passed over,
// and the next one is tried ("_1" to "_8" appended, then up to eight times
// "_" and a random number). The lock file "~varnix.lock" sits in the folder
// and vanishes with the process. A claimed folder is a WorkFolder, which
// removes it when it goes: RemoveFolderTree keeps this process's own lock
// until the folder is empty and lets go of it just before removing the
// folder, so no other stub can claim the name while it is being emptied.
//
// The names are predictable and may lie in a folder other users can write
// to: a name that is a link (junction, symbolic link) is passed over like a
// held one, never emptied or used, and so is a name under which no folder
// can be made.
#pragma once

#include <string>
#include <utility>

class TGFileInfo;

// A folder claimed by this process, owned: removed with its contents (the
// lock last, links as links: RemoveFolderTree) when the object goes, so the
// folder outlives exactly the scope that uses it. Move-only.
class WorkFolder {
 public:
  WorkFolder() = default;
  explicit WorkFolder(std::string path) : path_(std::move(path)) {}
  ~WorkFolder() { Remove(); }
  WorkFolder(WorkFolder&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
  WorkFolder& operator=(WorkFolder&& other) noexcept;
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  // Without closing backslash; empty when nothing was claimed.
  const std::string& path() const { return path_; }
  // Leaves the folder in place: a program started from it goes on using it.
  void Keep() { path_.clear(); }

 private:
  void Remove();
  std::string path_;
};

// Claims the run's working folder: the temporary path, "SETUP_" and, in
// decimal, the time-of-day word of the program file's DOS time stamp (local
// time), e.g. "C:\Temp\SETUP_41235", or the next free name (see above and
// ClaimFolder), emptied, re-created and locked.
WorkFolder ClaimWorkingFolder();

// The first of `base` and its variants (see above) that no other process
// holds and that is no link: emptied, created with its parents and locked by
// this process. A folder that cannot be locked although nobody holds it (no
// room for the lock file) is used unlocked. When no variant can be made, a
// further random variant that is neither held nor a link is returned without
// a folder (unpacking into it then fails); empty when even that one is.
std::string ClaimFolder(const std::string& base);

// Probes the fixed drives C, D and E (each by writing a small file into a
// scratch folder under its TEMP folder, removed again) and picks the one with
// the most free space. When that is not the temporary path's drive, it keeps
// letter + ":\TEMP" (":\TEMP\TEMP" when that folder exists) as the run's
// chosen path and returns true; once chosen, later calls return true at once.
bool ChooseRoomiestDrive();

// Empty while no drive has been chosen. Otherwise the chosen path, "_" and a
// random number from 10000 to 100000, claimed like the working folder.
WorkFolder ClaimAlternativeFolder();

// True when the package's required space on the folder's drive is below the
// free space there and the folder exists. Reads the package file itself.
bool HasEnoughSpace(const std::string& folder, const std::string& packageFile);

// Before unpacking into `folder`: when the package asks for the drive notice,
// or the room is short, asks the user (the texts of TempSpaceQuestion from
// `reader`, caption "Confirm", the language's charset and buttons); true for
// Yes, and true without asking otherwise. The figures come from `reader`,
// which stays the caller's; `packageFile` is the file it was opened on.
bool ConfirmTempSpace(const std::string& folder, const std::string& packageFile,
                      const TGFileInfo& reader);
