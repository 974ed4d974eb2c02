#include "pack/PackageBuilder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <random>
#include <sstream>

#include "common/TextRules.h"
#include "pack/EntryPieces.h"
#include "pack/ProgramSigner.h"
#include "pack/TextBlocks.h"
#include "pack/VolumeWriter.h"
#include "package/ByteSource.h"
#include "package/EntryHeader.h"
#include "package/PackageReader.h"

namespace {

// A volume that already holds entries takes a split-off piece of a file only
// when at least this much of it fits; smaller crumbs are not worth an entry.
constexpr uint64_t kMinSplitPiece = 4096;

PackStatus ProjectFail(const std::string& message) {
  return PackStatus::Fail(ExitCode::kProject, message);
}

uint32_t SaturatingAdd(uint32_t total, uint64_t amount) {
  uint64_t sum = static_cast<uint64_t>(total) + amount;
  return sum > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(sum);
}

PackStatus ReadStub(const std::string& path, std::string& image) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return PackStatus::Fail(ExitCode::kStub, path + ": cannot open the stub");
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return PackStatus::Fail(ExitCode::kStub, path + ": cannot read the stub");
  image = bytes.str();
  if (image.size() >= UINT32_MAX)
    return PackStatus::Fail(ExitCode::kStub, path + ": the stub is too large");
  return CheckStub(image, path);
}

// Applies the command line's overrides and takes the sizes the project
// refers to.
PackStatus Resolve(const Project& project, const BuildOptions& options, Project& resolved) {
  resolved = project;
  if (!options.stubPath.empty()) resolved.stubPath = options.stubPath;
  if (!options.outputPath.empty()) resolved.outputPath = options.outputPath;
  if (resolved.stubPath.empty())
    return ProjectFail("no stub: set Stub in [Package] or pass --stub");
  if (resolved.outputPath.empty())
    return ProjectFail("no output: set Output in [Package] or pass --out");
  if (!resolved.web.sizeOfFile.empty()) {
    std::error_code error;
    resolved.web.size = std::filesystem::file_size(resolved.web.sizeOfFile, error);
    if (error)
      return ProjectFail(resolved.web.sizeOfFile + ": cannot read the size for [Web] SizeOfFile");
  }
  return PackStatus::Ok();
}

PackStatus FindLaunch(const std::vector<SourceFile>& files, const Project& p,
                      std::string& launchName) {
  std::string wanted = UpperText(ReplaceText(p.launchFile, "/", "\\", false));
  for (const SourceFile& file : files) {
    if (UpperText(file.name) == wanted) {
      launchName = file.name;
      return PackStatus::Ok();
    }
  }
  return ProjectFail("launch file \"" + p.launchFile + "\" not found in " + p.filesDir);
}

std::string Block(const std::string& data) {
  std::string block(4, '\0');
  uint32_t length = static_cast<uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) block[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  return block + data;
}

std::string TextBlocksOf(const Project& p, std::mt19937& random) {
  RandomByte randomByte = [&random]() { return static_cast<unsigned>(random()); };
  std::string blocks = Block(BuildLanguageBlock(p.languages));
  blocks += Block(BuildSettingsBlock(p, randomByte));
  if (p.hasWeb) blocks += Block(BuildWebBlock(p.web, randomByte));
  return blocks;
}

PackageTrailer TrailerTemplate(const Project& p, const std::vector<SourceFile>& files) {
  PackageTrailer t{};
  t.Version = 1;
  t.HeaderBlockCount = p.hasWeb ? 3 : 2;
  t.PackageMagic = kPackageMagic;
  uint32_t space[kSpaceEntries];
  ComputeClusterSpace(files, space);  // not in place: the packed trailer's array may be misaligned
  for (int k = 0; k < kSpaceEntries; ++k) t.SpaceByClusterSize[k] = space[k];
  t.PackageFlags = static_cast<uint8_t>(
      (p.showTempDriveNotice ? kShowTempDriveNotice : 0) | (p.spanCd ? kSpanCd : 0) |
      (p.showActivityBar ? kShowActivityBar : 0) | (p.writeRunLog ? kWriteRunLog : 0));
  t.IsWebStub = p.type == PackageType::kWebStub ? 1 : 0;
  t.AskBeforeDownload = p.askBeforeDownload ? 1 : 0;
  t.HasUpdateAgent = p.hasUpdateAgent ? 1 : 0;
  t.IsUpdateAgent = p.type == PackageType::kAgent ? 1 : 0;
  t.TrailerLength = kTrailerSize;
  return t;
}

// Writes the file's next entry, or starts the next volume when it does not
// fit; `written` tells which.
PackStatus WriteNextPiece(std::istream& in, const SourceFile& file, const std::string& header,
                          const Project& p, VolumeWriter& volumes, uint64_t& offset, bool& written) {
  written = false;
  PieceRequest request;
  request.header = header;
  request.offset = offset;
  request.maxContent = std::min(file.size - offset, p.maxEntrySize);
  request.minContent =
      std::min(request.maxContent, volumes.CurrentHasEntries() ? kMinSplitPiece : 1);
  request.room = volumes.Room();
  request.level = p.compression;
  EntryPiece piece;
  bool fits = false;
  PackStatus status = MakePiece(in, file.path, request, piece, fits);
  if (!status.ok()) return status;
  if (!fits) {
    if (!volumes.CurrentHasEntries() && !volumes.CurrentIsFirst()) {
      return ProjectFail("VolumeSize " + std::to_string(p.volumeSize) +
                         " is too small to hold any part of " + file.path);
    }
    return volumes.StartNextVolume();
  }
  offset += piece.contentLength;
  written = true;
  return volumes.WriteEntry(piece.storedLength, piece.data);
}

PackStatus WriteFileEntries(const std::vector<SourceFile>& files, const Project& p,
                            const std::string& launchName, VolumeWriter& volumes) {
  for (const SourceFile& file : files) {
    std::ifstream in(file.path, std::ios::binary);
    if (!in) return ProjectFail(file.path + ": cannot open the file");
    const std::string* arguments = file.name == launchName ? &p.launchArguments : nullptr;
    std::string header = BuildEntryHeader(file.name, arguments, file.dosTime);
    // Until every byte is in an entry, and at least one entry is written:
    // an empty file that meets a full volume must not count as done.
    uint64_t offset = 0;
    bool anyWritten = false;
    do {
      bool written = false;
      PackStatus status = WriteNextPiece(in, file, header, p, volumes, offset, written);
      if (!status.ok()) return status;
      anyWritten = anyWritten || written;
    } while (offset < file.size || !anyWritten);
  }
  return PackStatus::Ok();
}

// Everything needed to lay the package out on disk.
struct BuildInput {
  Project project;
  std::string stub;
  std::string textBlocks;
  std::vector<SourceFile> files;
  std::string launchName;
  PackageTrailer trailer{};
};

VolumeLayout ProgramLayout(const BuildInput& in, const std::string& path) {
  VolumeLayout layout;
  layout.firstPath = path;
  layout.base = in.project.outputPath;
  layout.prefix = in.stub + in.textBlocks;
  layout.dataOffset = static_cast<uint32_t>(in.stub.size());
  layout.writeEndPointer = in.project.writeEndPointer;
  layout.computeChecksum = in.project.computeChecksum;
  layout.volumeSize = in.project.volumeSize;
  layout.trailer = in.trailer;
  return layout;
}

// The stub restarts a span package on OUTPUT.001, so that volume starts the
// walk: text blocks at offset 0, then entries.
VolumeLayout SpanDataLayout(const BuildInput& in) {
  VolumeLayout layout = ProgramLayout(in, VolumeName(in.project.outputPath, 1));
  layout.prefix = in.textBlocks;
  layout.dataOffset = 0;
  layout.writeEndPointer = false;
  return layout;
}

PackStatus WriteEntryVolumes(VolumeWriter& writer, const BuildInput& in) {
  PackStatus status = writer.Open();
  if (status.ok()) status = WriteFileEntries(in.files, in.project, in.launchName, writer);
  if (status.ok()) status = writer.Finish(writer.TotalEntries());
  return status;
}

// Signs the finished program file: its end pointer is set, so the signature
// goes behind the package. Later volumes are data, not programs.
PackStatus SignProgramFile(const BuildInput& in, const std::string& path, BuildReport& report) {
  SignRequest request;
  request.command = in.project.signCommand;
  request.folder = in.project.signFolder;
  request.timeoutSeconds = in.project.signTimeout;
  request.imageSize = in.stub.size();
  PackStatus status = SignProgram(path, request);
  if (!status.ok()) return status;
  report.signedFile = path;
  std::error_code error;
  uint64_t size = std::filesystem::file_size(path, error);
  if (!error && in.project.volumeSize != 0 && size > in.project.volumeSize) {
    report.warnings.push_back(path + " is " + std::to_string(size) +
                              " bytes with its signature, more than VolumeSize " +
                              std::to_string(in.project.volumeSize) +
                              "; leave room for the signature");
  }
  return status;
}

PackStatus WriteVolumes(const BuildInput& in, BuildReport& report) {
  const Project& p = in.project;
  std::vector<std::unique_ptr<VolumeWriter>> writers;  // in the walk order of their files
  uint32_t entries = 0;
  PackStatus status;
  if (p.type == PackageType::kSetup) {
    std::string first = p.numberFirstVolume ? VolumeName(p.outputPath, 1) : p.outputPath;
    writers.push_back(
        std::make_unique<VolumeWriter>(p.spanCd ? SpanDataLayout(in) : ProgramLayout(in, first)));
    status = WriteEntryVolumes(*writers.back(), in);
    entries = writers.back()->TotalEntries();
  }
  if (status.ok() && (p.type != PackageType::kSetup || p.spanCd)) {
    // A program file without entries: web stub, agent, or a span package's
    // first disk, which counts the entries of its data volumes.
    writers.insert(writers.begin(),
                   std::make_unique<VolumeWriter>(ProgramLayout(in, p.outputPath)));
    status = writers.front()->Open();
    if (status.ok()) status = writers.front()->Finish(entries);
  }
  if (status.ok() && !p.signCommand.empty())
    status = SignProgramFile(in, writers.front()->Paths().front(), report);
  if (!status.ok()) return status;  // the writers remove their files
  for (auto& writer : writers) {
    writer->Keep();
    for (const std::string& path : writer->Paths()) report.files.push_back(path);
  }
  report.entryCount = entries;
  return status;
}

PackStatus PrepareInput(const Project& project, const BuildOptions& options, BuildInput& in,
                        BuildReport& report) {
  PackStatus status = Resolve(project, options, in.project);
  if (status.ok()) status = ReadStub(in.project.stubPath, in.stub);
  if (status.ok() && in.project.type == PackageType::kSetup) {
    status = CollectFiles(in.project.filesDir, in.files);
    if (status.ok()) status = FindLaunch(in.files, in.project, in.launchName);
  }
  if (!status.ok()) return status;
  std::mt19937 random(options.hasSeed ? options.seed : std::random_device()());
  in.textBlocks = TextBlocksOf(in.project, random);
  in.trailer = TrailerTemplate(in.project, in.files);
  report.sourceFileCount = static_cast<uint32_t>(in.files.size());
  if (!in.launchName.empty()) {
    report.launchEntry =
        ParseEntryHeader(BuildEntryHeader(in.launchName, &in.project.launchArguments, 0))
            .launchEntry;
  }
  return PackStatus::Ok();
}

}  // namespace

PackStatus CheckStub(const std::string& image, const std::string& stubPath) {
  MemorySource source(image);
  if (!IsNarrowPeFile(source)) {
    return PackStatus::Fail(
        ExitCode::kStub, stubPath + ": not a stub program (needs \"MZ\" at 0 and \"PE\" at 0x100)");
  }
  for (uint32_t at = kEndPointerHighOffset; at < kEndPointerLowOffset + 4; ++at) {
    if (image[at] != '\0') {
      return PackStatus::Fail(ExitCode::kStub,
                              stubPath +
                                  ": bytes 0xF8..0xFF are in use; the stub must keep "
                                  "them zero for the package end pointer");
    }
  }
  PackageTrailer trailer{};
  if (ReadTrailer(source, trailer) && trailer.PackageMagic == kPackageMagic) {
    return PackStatus::Fail(ExitCode::kStub,
                            stubPath + ": already carries a package; use the bare stub");
  }
  return PackStatus::Ok();
}

void ComputeClusterSpace(const std::vector<SourceFile>& files, uint32_t space[kSpaceEntries]) {
  std::fill(space, space + kSpaceEntries, 0u);
  for (const SourceFile& file : files) {
    space[0] = SaturatingAdd(space[0], file.size);
    for (int k = 1; k < kSpaceEntries; ++k) {
      uint64_t cluster = 256ull << k;
      space[k] = SaturatingAdd(space[k], (file.size + cluster - 1) / cluster * cluster);
    }
  }
}

PackStatus BuildPackage(const Project& project, const BuildOptions& options, BuildReport& report) {
  report = BuildReport();
  try {
    BuildInput in;
    PackStatus status = PrepareInput(project, options, in, report);
    if (!status.ok()) return status;
    if (in.project.spanCd && in.project.hasUpdateAgent) {
      report.warnings.push_back("HasUpdateAgent with SpanCd: the stub copies the agent from " +
                                VolumeName(in.project.outputPath, 1) +
                                ", which holds no program image");
    }
    return WriteVolumes(in, report);
  } catch (const std::bad_alloc&) {
    return PackStatus::Fail(ExitCode::kInternal, "out of memory");
  } catch (const std::exception& error) {
    return PackStatus::Fail(ExitCode::kInternal,
                            std::string("unexpected failure: ") + error.what());
  }
}
