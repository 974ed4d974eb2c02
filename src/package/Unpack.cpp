#include "package/Unpack.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "common/Files.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/VDebug.h"
#include "common/WinHandles.h"
#include "package/AgentProgram.h"
#include "package/ByteSource.h"
#include "package/EntryHeader.h"
#include "package/PackageReader.h"
#include "package/VolumeNames.h"
#include "package/ZInflate.h"

namespace {

// A header longer than this without its closing 0x00 is damage, not a name.
constexpr size_t kMaxHeaderLength = 32768;

int saveFailures = 0;  // only the first failed save of the run is shown

constexpr char kExtractFailed[] = "Unable to extract the setup files:<P>";

// Keeps the windows responsive while unpacking without paying for a full
// message pass per 64 KiB piece: under Wine each pass is a server round trip,
// which made pumping alone cost up to a third of the unpack time. Windows are
// served at least every 30 ms.
void PumpWhenDue() {
  static DWORD lastPump = 0;
  const DWORD now = GetTickCount();
  if (now - lastPump < 30) return;
  lastPump = now;
  YieldX(0);
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ErrorText(DWORD code) {
  const std::string text = SystemErrorText(code);
  return text.empty() ? "Error " + std::to_string(code) : text;
}

std::string WholeNumber(double value) {
  char text[32];
  snprintf(text, sizeof text, "%.0f", value);
  return text;
}

// Streams one file entry: the header up to its 0x00, then the content
// appended to the target file.
class EntryWriter {
 public:
  EntryWriter(const std::string& destination, std::string& createdFolder, UnpackResult& result,
              ProgressFn progress)
      : destination_(destination), createdFolder_(createdFolder), result_(result), progress_(progress) {}

  bool Write(const char* data, size_t size);
  // Called when the block's data ended: sets the time of a complete file.
  // Returns the save report of a file that could not be written whole
  // (empty when it was).
  std::string Finish();
  // Removes the half-written target after a damaged block.
  void Discard();
  const std::string& problem() const { return problem_; }

 private:
  bool TakeHeader(const char*& data, size_t& size);
  bool OpenTarget();
  void AppendContent(const char* data, size_t size);
  std::string SaveReport(DWORD error) const;

  const std::string& destination_;
  std::string& createdFolder_;  // the walk's last sub-folder made: most entries share it
  UnpackResult& result_;
  ProgressFn progress_;
  enum class Phase { kHeader, kContent, kSkip } phase_ = Phase::kHeader;
  std::string header_;
  std::string target_;
  EntryHeader entry_;
  UniqueFile file_;
  uint64_t contentBytes_ = 0;
  DWORD saveError_ = ERROR_SUCCESS;
  std::string problem_;  // why the walk must stop; empty when fine
};

bool EntryWriter::TakeHeader(const char*& data, size_t& size) {
  const char* end = static_cast<const char*>(memchr(data, '\0', size));
  const size_t take = end ? static_cast<size_t>(end - data) : size;
  header_.append(data, take);
  if (header_.size() > kMaxHeaderLength) {
    problem_ = "an entry header without its end";
    return false;
  }
  if (!end) {
    size = 0;
    return true;
  }
  data += take + 1;
  size -= take + 1;
  if (header_.empty()) {
    phase_ = Phase::kSkip;  // an entry without a header writes nothing
    return true;
  }
  entry_ = ParseEntryHeader(header_);
  if (!entry_.launchEntry.empty()) result_.launchEntry = entry_.launchEntry;
  if (!IsSafeEntryName(entry_.name)) {
    problem_ = "the entry name \"" + entry_.name + "\" is not a safe file name (it leaves the destination folder, "
               "names a device or is not the name it shows)";
    return false;
  }
  phase_ = Phase::kContent;
  return OpenTarget();
}

bool EntryWriter::OpenTarget() {
  target_ = destination_ + "\\" + ReplaceText(entry_.name, "/", "\\", false);
  const std::string folder = ExtractFileDir(target_);
  if (folder != createdFolder_ && CreateFolderWithParents(folder)) createdFolder_ = folder;
  if (!FileExists(target_) && progress_) progress_(1, 0, "", 0, 0);
  file_.reset(CreateFileA(target_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_ || !SeekToEnd(file_.get())) {
    saveError_ = GetLastError();
    file_.reset();
  }
  return true;
}

void EntryWriter::AppendContent(const char* data, size_t size) {
  contentBytes_ += size;
  if (!file_ || size == 0) return;
  DWORD written = 0;
  if (!WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, nullptr) || written != size) {
    saveError_ = GetLastError() ? GetLastError() : ERROR_DISK_FULL;
    file_.reset();
  }
}

bool EntryWriter::Write(const char* data, size_t size) {
  if (phase_ == Phase::kHeader && !TakeHeader(data, size)) return false;
  if (phase_ == Phase::kContent) AppendContent(data, size);
  return true;
}

std::string EntryWriter::SaveReport(DWORD error) const {
  return target_ + "<P><P>Unable to save Extracted File!<P><P>" + ErrorText(error) + "<P>  Data Size: <T>" +
         std::to_string(contentBytes_) + " Bytes<P>  File Size:  <T>" + std::to_string(GetFileSize64(target_)) +
         " Bytes<P>  Bytes Free: <T>" + WholeNumber(GetDiskFreeBytes(target_)) + " Bytes";
}

std::string EntryWriter::Finish() {
  if (phase_ != Phase::kContent) return "";
  std::string report;
  if (saveError_ != ERROR_SUCCESS) {
    report = SaveReport(saveError_);
  } else if (file_ && entry_.dosTime) {
    SetFileDosTime(file_.get(), entry_.dosTime);
  }
  file_.reset();
  return report;
}

void EntryWriter::Discard() {
  file_.reset();
  if (!target_.empty()) DeleteFileA(target_.c_str());
}

}  // namespace

namespace {

// The walk over all volumes, with the state that crosses volumes.
class PackageWalk {
 public:
  PackageWalk(const UnpackRequest& request, ProgressFn progress) : request_(request), progress_(progress) {}
  UnpackResult Run();

 private:
  bool WalkVolume(const std::string& volume, int number, PackageTrailer& trailer);
  bool WalkBlocks(ByteSource& source, uint64_t offset, uint64_t end, int headerBlocks, uint64_t& textEnd);
  bool WriteEntry(ByteSource& source, const BlockRef& block);
  void PrepareDestination();
  void WriteAgentProgram(ByteSource& source, const std::string& volume, const PackageTrailer& trailer,
                         uint64_t textEnd);
  bool AskForVolume(const std::string& volume, int number);
  void Stop(UnpackOutcome outcome, const std::string& why);
  bool Cancelled();
  // Shows an error to the user; a silent run, where nobody would click the
  // box, stops as damaged instead and leaves the text to the debug channel.
  void ReportError(const std::string& text);
  void ReportSaveFailure(const std::string& report);

  const UnpackRequest& request_;
  ProgressFn progress_;
  UnpackResult result_;
  int blockCounter_ = 0;  // not restarted for later volumes: their blocks are all entries
  std::string createdFolder_;
  bool stopped_ = false;
};

void PackageWalk::Stop(UnpackOutcome outcome, const std::string& why) {
  result_.outcome = outcome;
  stopped_ = true;
  if (!why.empty()) DebugTrace() << " UnpackPackage stopped: " << why;
}

bool PackageWalk::Cancelled() {
  if (!request_.cancelled || !request_.cancelled()) return false;
  Stop(UnpackOutcome::kCancelled, "the run was asked to stop");
  return true;
}

void PackageWalk::ReportError(const std::string& text) {
  if (!request_.silent) {
    ShowErrorBox(kOwnerActive, text);
    return;
  }
  DebugTrace() << " " << ReplaceText(text, "<P>", " ", true);
  Stop(UnpackOutcome::kCorrupt, "an error in a silent run");
}

// A visible run reports the first failed save and goes on, so the user sees
// what is missing and the engine can still say its piece.
void PackageWalk::ReportSaveFailure(const std::string& report) {
  if (request_.silent) {
    ReportError(report);
  } else if (++saveFailures == 1) {
    ShowErrorBox(kOwnerActive, report);
  }
}

void PackageWalk::PrepareDestination() {
  if (CreateFolderWithParents(request_.destination)) return;
  const DWORD error = GetLastError();
  ReportError(request_.destination + "<P><P>Unable to create Directory!<P><P>" + ErrorText(error));
}

bool PackageWalk::WriteEntry(ByteSource& source, const BlockRef& block) {
  EntryWriter writer(request_.destination, createdFolder_, result_, progress_);
  std::string error;
  const bool read = ReadBlockPieces(
      source, block,
      [&](const char* data, size_t size) { return !Cancelled() && writer.Write(data, size); }, error,
      PumpWhenDue);
  if (read) {
    const std::string saveReport = writer.Finish();
    if (!saveReport.empty()) ReportSaveFailure(saveReport);
    return !stopped_;
  }
  writer.Discard();
  if (stopped_) return false;  // cancelled between two pieces
  const std::string why = !writer.problem().empty() ? writer.problem() : error;
  DebugTrace() << " Damaged entry at offset " << static_cast<unsigned long long>(block.offset) << ": " << why;
  ReportError(kExtractFailed + why);
  Stop(UnpackOutcome::kCorrupt, "");
  return false;
}

bool PackageWalk::WalkBlocks(ByteSource& source, uint64_t offset, uint64_t end, int headerBlocks,
                             uint64_t& textEnd) {
  while (offset < end) {
    PumpWhenDue();
    if (Cancelled()) return false;
    BlockRef block;
    if (!ReadBlockRef(source, offset, end, block)) {
      ReportError(std::string(kExtractFailed) + "the package is damaged (a block runs past its end).");
      Stop(UnpackOutcome::kCorrupt, "a block at offset " + std::to_string(offset) + " runs past the package end");
      return false;
    }
    offset = block.End();
    ++blockCounter_;
    if (blockCounter_ == headerBlocks) textEnd = offset;
    if (blockCounter_ > headerBlocks && !WriteEntry(source, block)) return false;
  }
  return true;
}

void PackageWalk::WriteAgentProgram(ByteSource& source, const std::string& volume, const PackageTrailer& trailer,
                                    uint64_t textEnd) {
  std::string head(static_cast<size_t>(textEnd), '\0');
  if (textEnd == 0 || !source.ReadExact(0, &head[0], head.size())) return;
  const std::string path = request_.destination + "\\" + ExtractFileName(request_.agentFileName);
  const std::string bytes = MakeAgentProgram(head, trailer);
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) return;
  UniqueFile original(CreateFileA(volume.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  FILETIME time;
  if (original && GetFileTime(original.get(), nullptr, nullptr, &time)) SetFileTime(file.get(), nullptr, nullptr, &time);
  DebugTrace() << " New AU-Agent: " << path;
}

bool PackageWalk::WalkVolume(const std::string& volume, int number, PackageTrailer& trailer) {
  std::unique_ptr<ByteSource> source = OpenFileSource(volume);
  if (!source) {
    Stop(UnpackOutcome::kCorrupt, "cannot open " + volume);
    return false;
  }
  TrailerPlace place;
  ReadTrailer(*source, trailer, &place);
  if (number == 1) DebugChannel() << "FileInfo.FilesCount=" << static_cast<unsigned long>(trailer.FileCount);
  result_.checksumOk = ChecksumPasses(PackageChecksum(*source, trailer.TrailerLength), trailer.PackageChecksum);
  if (!result_.checksumOk) {
    Stop(UnpackOutcome::kChecksumFailed, "checksum of " + volume);
    return false;
  }
  DebugChannel() << "FileLen=" << static_cast<unsigned long long>(PackageEndOf(*source));
  if (trailer.PackageMagic != kPackageMagic) return true;  // its MoreVolumes flag still counts

  if (number == 1) {
    if (progress_) progress_(0, static_cast<int>(trailer.FileCount), "", 1, 0);
    PrepareDestination();
    if (stopped_) return false;
  }
  uint64_t textEnd = 0;
  if (!WalkBlocks(*source, trailer.DataOffset, place.offset, trailer.HeaderBlockCount, textEnd)) return false;
  if (number == 1 && !request_.agentFileName.empty() && VolumeCarriesAgentImage(volume)) {
    WriteAgentProgram(*source, volume, trailer, textEnd);
  }
  return true;
}

bool PackageWalk::AskForVolume(const std::string& volume, int number) {
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

UnpackResult PackageWalk::Run() {
  const int64_t started = MillisecondClock();
  const std::string base = VolumeBaseName(request_.packageFile);
  if (progress_) progress_(0, 0, "", 1, 0);
  std::string volume = request_.packageFile;
  for (int number = 1; !stopped_; ++number) {
    PackageTrailer trailer{};
    if (FileExists(volume) && !WalkVolume(volume, number, trailer)) break;
    if (!(trailer.PackageFlags & kMoreVolumes)) break;
    SetAutoPlaySuppression(true);
    volume = VolumeName(base, number + 1);
    const bool answer = AskForVolume(volume, number + 1);
    if (progress_) progress_(1, 0, "", 0, 0);
    if (!answer) {
      Stop(UnpackOutcome::kCancelled, "");
    } else {
      Cancelled();
    }
  }
  if (result_.outcome != UnpackOutcome::kDone) result_.launchEntry.clear();
  DebugChannel() << "UnCompressTime: " << static_cast<long long>(MillisecondClock() - started) << " MS";
  DebugChannel();
  WaitPumping(0, 500);
  return result_;
}

}  // namespace

UnpackResult UnpackPackage(const UnpackRequest& request, ProgressFn progress) {
  return PackageWalk(request, progress).Run();
}
