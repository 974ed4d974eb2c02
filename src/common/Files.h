// File utilities the stub needs beyond reading its package: free space,
// sizes and partial reads, chunked writing with progress, deleting files and
// folder trees, folder locks, ejecting a CD and deleting the running program
// after it has ended. ANSI paths; sizes and offsets are 64-bit. Nothing here
// shows a message or raises: failures come back as false, 0 or empty.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// Progress of a long file operation: `total` is the whole amount (0 when not
// known beforehand), `done` what is finished so far. Setting `cancel` stops
// the operation after the current piece.
using FileProgress = std::function<void(int64_t total, int64_t done, bool& cancel)>;

// Free bytes available to the caller on the disk that holds `path` ("/"
// counts as "\"). The first folder level of the path is asked first, then the
// drive root formed from its first character, so "C:\Data\Setup\x.exe" and
// "C:\" give the same figure while "\\server\share" gives 0. 0 on failure.
double GetDiskFreeBytes(const std::string& path);

// Size of the file from a directory search (any attributes); 0 when missing.
int64_t GetFileSize64(const std::string& path);

// Up to `count` bytes (0: to the end) from `offset`, trimmed when asked.
// Empty when the file is missing, `offset` is at or beyond its end, or fewer
// bytes than that could be read. Parts are texts read whole into memory:
// one larger than kFilePartMaxBytes is refused (empty) instead of taking the
// memory a failed allocation would end the program on.
constexpr uint64_t kFilePartMaxBytes = 64ull << 20;
std::string ReadFilePart(const std::string& path, uint64_t count, bool trim, uint64_t offset);

// Writes `text` to a new file (replacing one), or with `append` at the end of
// the file (created when missing). With a progress callback, or for texts over
// 1,048,576 bytes, it writes in chunks of a tenth of the text (at least
// 1,024 bytes, at most 1,048,576), calling back once before the first chunk
// and after each; a cancel stops the writing. A non-zero DOS time stamp (date
// in the high, time in the low word, local time) is set only after a complete
// write. True when every byte was written.
bool WriteTextToFile(const std::string& path, const std::string& text, uint32_t dosTime,
                     bool append, const FileProgress& progress = nullptr);

// Sets the last-write time of an open file (write access) from a DOS time
// stamp in local time; true when set.
bool SetFileDosTime(HANDLE file, uint32_t dosTime);

// Gives `target` the last-write time of `source`; true when set.
bool CopyFileTime(const std::string& source, const std::string& target);

// Moves the file pointer of an open file to its end, also past 4 GiB, so
// that the next write appends; false when the pointer could not be moved.
bool SeekToEnd(HANDLE file);

// Appends `text` (plus CR LF when asked) to the file, creating it when
// missing; others may read and write it meanwhile. A non-zero DOS time stamp
// is set before closing. True when every byte was written.
bool AppendToFile(const std::string& path, const std::string& text, bool addLineEnd,
                  uint32_t dosTime);

// Moves the complete file `from` over `target`, replacing what is there;
// false (with the system's error code set) when nothing was replaced, and
// the old target is then kept. Windows 9x has no replacing move
// (MoveFileEx fails there); ReplaceByRenaming does its work.
bool MoveOverFile(const std::string& from, const std::string& target);
// The replacing move from plain renames: the old target steps aside under
// a temporary name, the new file takes its place, and the old one is
// deleted, or put back when the new one could not be moved in.
bool ReplaceByRenaming(const std::string& from, const std::string& target);

// Deletes every file (not folder) that matches `mask`, a path with wildcards,
// first making it a normal file when `clearAttributes`. True when at least
// one file matched, whether or not it could be deleted.
bool DeleteFiles(const std::string& mask, bool clearAttributes);

// The system's temporary folder with a closing backslash; empty on failure.
std::string SystemTempPath();

bool FolderExists(const std::string& folder);
// True when `path` names a file (not a folder).
bool FileExists(const std::string& path);
// True when `path` itself is a reparse point: a junction, a symbolic link, a
// mounted volume. Under Wine a Unix symbolic link counts, and one whose
// target is missing cannot be seen at all (false, like any missing name).
bool IsReparsePoint(const std::string& path);
// Creates the folder with every missing parent; true when it exists afterwards.
bool CreateFolderWithParents(const std::string& folder);

// Folder locks. A process that works in a folder can mark it as taken by
// holding the file "~varnix.lock" inside it open without sharing; the system
// deletes that file when the handle closes, also when the process dies, so a
// lock never outlives its holder. RemoveFolderTree leaves a folder (and any
// subfolder) alone while another process holds its lock; this process's own
// lock it keeps until everything else inside is gone, so nobody can claim the
// folder while it is still being emptied, and lets go of it just before
// removing the empty folder.
//
// True when this process holds the lock of the existing `folder` afterwards
// (also when it held it already); false when another process holds it or the
// lock file cannot be made. The lock lasts until UnlockFolder, the removal of
// the folder by RemoveFolderTree, or the end of the process.
bool LockFolder(const std::string& folder);
void UnlockFolder(const std::string& folder);
// True when some other process holds the lock of `folder`. A lock file that
// exists but cannot be opened for a reason other than its absence counts as
// held: a folder is only emptied when it is certainly free.
bool FolderLockedElsewhere(const std::string& folder);
// The lock file's name inside a locked folder.
extern const char kFolderLockName[];  // "~varnix.lock"

// Deletes `folder` with all its files and subfolders, pumping window messages
// for 10 ms after each entry so a window stays responsive. Entries that cannot
// be deleted stay. Read-only, hidden and system files are deleted only with
// `clearAttributes`. Folder links (junctions, symbolic links), whether found
// inside or given as `folder` itself, are removed as links without touching
// what they point to, and a drive root ("C:\", "\") is refused. `progress` is
// called after each subfolder with total 0 and the number of subfolders
// handled so far in that folder; a cancel stops the removal (this process's
// lock of the folder is let go all the same). True when the folder (or the
// link) existed and is gone.
bool RemoveFolderTree(const std::string& folder, bool clearAttributes = true,
                      const FileProgress& progress = nullptr);

// Opens the tray of the CD-ROM drive whose letter begins `path` and traces
// "EjectCD-2: " / "EjectCD-3: " with the device and handle. False without
// touching any device when the path does not begin with the letter of a
// CD-ROM drive; otherwise true when the drive accepted the request.
bool EjectCD(const std::string& path);

// The batch file DeleteMySelf writes for this process: the temporary folder
// and "_DEL_ME_" with the process id, e.g. "C:\Temp\_DEL_ME_1234.BAT", so
// that two processes deleting themselves at once do not share one.
std::string SelfDeleteBatchPath();

// The self-deleting batch file for `program` (full path), named `batch`, as
// the bytes to write: it retries "DEL" about once a second until the program
// file is gone, for at most about a minute; then with `removeFolder` removes
// the program's folder when empty, and finally deletes itself. The text is in
// the OEM code page, which cmd reads batch files in, with every path in double
// quotes and "%" doubled. Empty when a path cannot be written so that cmd
// finds that very file: a character the OEM code page lacks, or a wildcard
// ("?", "*") left where the ANSI path lost a character.
std::string SelfDeleteBatchText(const std::string& program, const std::string& batch,
                                bool removeFolder);

// Arranges for the program file (and its folder, when empty, with
// `removeFolder`) to be deleted after the program has ended: writes the
// batch file named by SelfDeleteBatchPath, makes the temporary folder current
// and starts the batch hidden, then returns at once. A read-only program file
// is made writable first, or every DEL of the batch would fail. Failure
// cannot be reported: the program file then simply stays.
void DeleteMySelf(bool removeFolder);
