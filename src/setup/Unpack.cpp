#include "setup/Unpack.h"

#include <windows.h>

#include "common/Files.h"
#include "common/NumberText.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/VDebug.h"
#include "common/WinHandles.h"
#include "package/PackageWalk.h"
#include "package/VolumeNames.h"

namespace {

int saveFailures = 0;  // only the first failed save of the run is shown

constexpr char kExtractFailed[] = "Unable to extract the setup files:<P>";

std::string WholeNumber(double value) { return FixedText(value, 0); }

// Appends one file entry's content to its target file.
class EntryFile {
 public:
  // Opens (creating it when missing) the target of `name` under `destination`.
  void Open(const std::string& destination, const std::string& name, std::string& createdFolder);
  void Append(const char* data, size_t size);
  // Sets the time of a complete file; returns the save report of a file that
  // could not be written whole (empty when it was).
  std::string Finish(uint32_t dosTime);
  // Removes the half-written target after damage or a cancel.
  void Discard();
  bool open() const { return !target_.empty(); }

 private:
  std::string SaveReport(DWORD error) const;

  std::string target_;
  UniqueFile file_;
  uint64_t contentBytes_ = 0;
  DWORD saveError_ = ERROR_SUCCESS;
};

void EntryFile::Open(const std::string& destination, const std::string& name, std::string& createdFolder) {
  target_ = destination + "\\" + ReplaceText(name, "/", "\\", false);
  contentBytes_ = 0;
  saveError_ = ERROR_SUCCESS;
  const std::string folder = ExtractFileDir(target_);
  if (folder != createdFolder && CreateFolderWithParents(folder)) createdFolder = folder;
  file_.reset(CreateFileA(target_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_ || !SeekToEnd(file_.get())) {
    saveError_ = GetLastError();
    file_.reset();
  }
}

void EntryFile::Append(const char* data, size_t size) {
  contentBytes_ += size;
  if (!file_ || size == 0) return;
  DWORD written = 0;
  if (!WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, nullptr) || written != size) {
    saveError_ = GetLastError() ? GetLastError() : ERROR_DISK_FULL;
    file_.reset();
  }
}

std::string EntryFile::SaveReport(DWORD error) const {
  return target_ + "<P><P>Unable to save Extracted File!<P><P>" + ErrorCodeText(error) + "<P>  Data Size: <T>" +
         std::to_string(contentBytes_) + " Bytes<P>  File Size:  <T>" + std::to_string(GetFileSize64(target_)) +
         " Bytes<P>  Bytes Free: <T>" + WholeNumber(GetDiskFreeBytes(target_)) + " Bytes";
}

std::string EntryFile::Finish(uint32_t dosTime) {
  std::string report;
  if (saveError_ != ERROR_SUCCESS) {
    report = SaveReport(saveError_);
  } else if (file_ && dosTime) {
    SetFileDosTime(file_.get(), dosTime);
  }
  file_.reset();
  target_.clear();
  return report;
}

void EntryFile::Discard() {
  file_.reset();
  if (!target_.empty()) DeleteFileA(target_.c_str());
  target_.clear();
}

// The walk's sink: files into the destination, prompts for disks, error
// boxes (none in a silent run) and progress.
class Unpacker : public PackageWalkSink {
 public:
  explicit Unpacker(const UnpackRequest& request) : request_(request) {}
  UnpackResult Run();

  VolumeAnswer NeedVolume(const std::string& path, int number) override;
  bool OnVolume(const VolumeInfo& volume) override;
  bool OnTextBlocks(const VolumeInfo&, const TextBlocks&) override { return true; }
  bool BeginEntry(const EntryStart& entry) override;
  bool EntryBytes(const char* data, size_t size) override;
  bool EndEntry(bool complete) override;
  void OnAgentProgram(const VolumeInfo& volume, const std::string& bytes) override;
  bool OnProblem(const VolumeInfo& volume, const WalkDamage& damage) override;
  bool Cancelled() override;
  void BetweenPieces() override { PumpWhenDue(); }

 private:
  void Stop(UnpackOutcome outcome, const std::string& why);
  // Shows an error to the user; a silent run, where nobody would click the
  // box, stops as damaged instead and leaves the text to the debug channel.
  void ReportError(const std::string& text);
  void ReportSaveFailure(const std::string& report);
  void ReportDamage(uint64_t offset, const std::string& why);
  void PrepareDestination();
  bool AskForVolume(const std::string& volume, int number);
  void Step() {
    if (request_.progress) request_.progress->Step();
  }

  const UnpackRequest& request_;
  UnpackResult result_;
  std::string createdFolder_;  // the last sub-folder made: most entries share it
  EntryFile file_;
  uint32_t dosTime_ = 0;
  bool stopped_ = false;
};

void Unpacker::Stop(UnpackOutcome outcome, const std::string& why) {
  result_.outcome = outcome;
  stopped_ = true;
  if (!why.empty()) DebugTrace() << " UnpackPackage stopped: " << why;
}

bool Unpacker::Cancelled() {
  if (!request_.cancelled || !request_.cancelled()) return false;
  Stop(UnpackOutcome::kCancelled, "the run was asked to stop");
  return true;
}

void Unpacker::ReportError(const std::string& text) {
  if (!request_.silent) {
    ShowErrorBox(kOwnerActive, text);
    return;
  }
  DebugTrace() << " " << ReplaceText(text, "<P>", " ", true);
  Stop(UnpackOutcome::kCorrupt, "an error in a silent run");
}

// A visible run reports the first failed save and goes on, so the user sees
// what is missing and the engine can still say its piece.
void Unpacker::ReportSaveFailure(const std::string& report) {
  if (request_.silent) {
    ReportError(report);
  } else if (++saveFailures == 1) {
    ShowErrorBox(kOwnerActive, report);
  }
}

void Unpacker::ReportDamage(uint64_t offset, const std::string& why) {
  DebugTrace() << " Damaged entry at offset " << static_cast<unsigned long long>(offset) << ": " << why;
  ReportError(kExtractFailed + why);
  Stop(UnpackOutcome::kCorrupt, "");
}

void Unpacker::PrepareDestination() {
  if (CreateFolderWithParents(request_.destination)) return;
  const DWORD error = GetLastError();
  ReportError(request_.destination + "<P><P>Unable to create Directory!<P><P>" + ErrorCodeText(error));
}

bool Unpacker::OnProblem(const VolumeInfo& volume, const WalkDamage& damage) {
  switch (damage.problem) {
    case WalkProblem::kNoTrailer:
    case WalkProblem::kForeignVolume:
    case WalkProblem::kTrailerDamaged:
      return true;  // no blocks to walk here; the volume's flags still count
    case WalkProblem::kCannotOpen:
      // A first volume that is not there ends the walk with nothing to start.
      if (FileExists(volume.path)) Stop(UnpackOutcome::kCorrupt, "cannot open " + volume.path);
      return false;
    case WalkProblem::kChecksum:
      if (volume.number == 1) DebugChannel() << "FileInfo.FilesCount=" << static_cast<unsigned long>(volume.trailer.FileCount);
      Stop(UnpackOutcome::kChecksumFailed, "checksum of " + volume.path);
      return false;
    case WalkProblem::kTextBlockDamaged:
    case WalkProblem::kBlockDamaged:
      ReportError(std::string(kExtractFailed) + "the package is damaged (a block runs past its end).");
      Stop(UnpackOutcome::kCorrupt,
           "a block at offset " + std::to_string(damage.offset) + " runs past the package end");
      return false;
    case WalkProblem::kEntryDamaged:
      ReportDamage(damage.offset, damage.detail);
      return false;
    case WalkProblem::kUnsafeName:
      ReportDamage(damage.offset, "the entry name \"" + damage.name +
                                      "\" is not a safe file name (it leaves the destination folder, "
                                      "names a device or is not the name it shows)");
      return false;
  }
  return false;
}

bool Unpacker::OnVolume(const VolumeInfo& volume) {
  if (volume.number == 1) DebugChannel() << "FileInfo.FilesCount=" << static_cast<unsigned long>(volume.trailer.FileCount);
  result_.checksumOk = true;
  DebugChannel() << "FileLen=" << static_cast<unsigned long long>(volume.packageEnd);
  if (volume.number != 1 || !volume.holdsBlocks) return true;
  if (request_.progress) request_.progress->Reset(static_cast<int>(volume.trailer.FileCount));
  PrepareDestination();
  return !stopped_;
}

bool Unpacker::BeginEntry(const EntryStart& entry) {
  if (entry.header.empty()) return true;  // an entry without a header writes nothing
  if (!entry.parsed.launchEntry.empty()) result_.launchEntry = entry.parsed.launchEntry;
  if (!entry.continues) Step();
  dosTime_ = entry.parsed.dosTime;
  file_.Open(request_.destination, entry.parsed.name, createdFolder_);
  return true;
}

bool Unpacker::EntryBytes(const char* data, size_t size) {
  if (file_.open()) file_.Append(data, size);
  return true;
}

bool Unpacker::EndEntry(bool complete) {
  if (!file_.open()) return true;
  if (!complete) {
    file_.Discard();
    return false;
  }
  const std::string saveReport = file_.Finish(dosTime_);
  if (!saveReport.empty()) ReportSaveFailure(saveReport);
  return !stopped_;
}

void Unpacker::OnAgentProgram(const VolumeInfo& volume, const std::string& bytes) {
  const std::string path = request_.destination + "\\" + ExtractFileName(request_.agentFileName);
  if (!WriteTextToFile(path, bytes, 0, false)) return;
  CopyFileTime(volume.path, path);
  DebugTrace() << " New AU-Agent: " << path;
}

bool Unpacker::AskForVolume(const std::string& volume, int number) {
  bool answer = true;
  if (!request_.forcePrompt && FileExists(volume)) return true;
  EjectCD(volume);
  const std::string prompt = ReplaceText(request_.promptText, "<DISK_NUM>", std::to_string(number), true);
  do {
    answer = AskOkCancel(kOwnerActive, prompt, request_.promptCaption, request_.charset, request_.buttons);
    WaitPumping(0, 500);
  } while (answer && !FileExists(volume));
  return answer;
}

VolumeAnswer Unpacker::NeedVolume(const std::string& path, int number) {
  SetAutoPlaySuppression(true);
  const bool answer = AskForVolume(path, number);
  Step();
  if (answer) return VolumeAnswer::kReady;
  Stop(UnpackOutcome::kCancelled, "");
  return VolumeAnswer::kStop;
}

UnpackResult Unpacker::Run() {
  const int64_t started = MillisecondClock();
  if (request_.progress) request_.progress->Reset(0);
  WalkOptions options;
  options.agentProgram = !request_.agentFileName.empty();
  WalkPackage(request_.packageFile, *this, options);
  if (result_.outcome != UnpackOutcome::kDone) result_.launchEntry.clear();
  DebugChannel() << "UnCompressTime: " << static_cast<long long>(MillisecondClock() - started) << " MS";
  DebugChannel();
  WaitPumping(0, 500);
  return result_;
}

}  // namespace

UnpackResult UnpackPackage(const UnpackRequest& request) { return Unpacker(request).Run(); }
