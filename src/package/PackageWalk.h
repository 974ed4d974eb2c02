// The one walk over a package, shared by the stub's setup run and the
// authoring tool's "list" and "extract": volume after volume while
// MoreVolumes is set, each volume's trailer and checksum, the text blocks of
// the first volume, then every file entry, read and inflated in pieces of at
// most 64 KiB. Every read is bounded by the start of the volume's trailer.
// The walk decides what is damaged and when to stop; what is done with the
// bytes (files, listings, windows, prompts) is up to its sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "package/EntryHeader.h"
#include "package/PackageReader.h"

// Longest entry header accepted while looking for its closing 0x00.
constexpr size_t kMaxEntryHeader = 32768;

struct VolumeInfo {
  int number = 1;  // 1-based within the walk
  std::string path;
  uint64_t fileSize = 0;
  bool isPeFile = false;
  uint64_t endPointer = 0;  // PackageEndPointer; 0 when unset
  uint64_t packageEnd = 0;  // the end pointer, or the file size
  bool trailerFound = false;
  TrailerPlace place;
  PackageTrailer trailer{};  // as stored (HeaderBlockCount 0 reads as 2); zero when not found
  uint32_t computedChecksum = 0;
  bool checksumPasses = false;
  // A trailer with the package magic whose data starts before it: the
  // volume's blocks are walked. Otherwise only its flags count.
  bool holdsBlocks = false;
};

struct TextBlocks {
  int count = 0;     // HeaderBlockCount
  uint64_t end = 0;  // offset behind the last text block
  // The blocks' data, read only when WalkOptions::readTextBlocks asks.
  std::string language;
  std::string settings;
  std::string web;  // empty unless count > 2
};

struct EntryStart {
  int index = 0;  // counts entries over all volumes from 1
  int volume = 1;
  BlockRef block;
  std::string header;  // as stored; empty for an entry without a header, which names no file
  EntryHeader parsed;
  bool safeName = true;   // IsSafeEntryName of the parsed name (true without a header)
  bool continues = false; // an earlier entry began a file of this name: append to it
};

enum class WalkProblem {
  kCannotOpen,         // a volume that should be there cannot be opened
  kNoTrailer,          // no trailer found: a foreign or truncated file *
  kForeignVolume,      // a trailer without the package magic *
  kTrailerDamaged,     // the trailer's DataOffset lies behind the trailer *
  kChecksum,           // the volume fails its checksum *
  kTextBlockDamaged,   // a text block runs past the trailer
  kBlockDamaged,       // an entry block runs past the trailer
  kEntryDamaged,       // a short read, a broken zlib stream, a header without its 0x00 or too long
  kUnsafeName,         // an entry name that leaves the destination or names a device *
};
// The problems marked * may be passed over when the sink says so; the walk
// then goes on as described at PackageWalkSink::OnProblem.

struct WalkDamage {
  WalkProblem problem = WalkProblem::kEntryDamaged;
  uint64_t offset = 0;  // of the block concerned
  int entry = 0;        // index of the entry concerned (of the text block for kTextBlockDamaged); 0 else
  std::string name;     // the entry's name, when its header was read
  std::string detail;   // the reader's or zlib's words (kEntryDamaged); "cannot read" for a
                        // text block inside the trailer that could not be read
};

enum class VolumeAnswer {
  kReady,  // the volume is at hand now
  kEnd,    // end the walk here, as complete
  kStop,   // stop the walk (the sink keeps the reason)
};

// What the walk reports to. Returning false from a bool call stops the walk.
class PackageWalkSink {
 public:
  virtual ~PackageWalkSink() = default;
  // Volume `number` (>= 2) is due at `path`; may ask for the disk.
  virtual VolumeAnswer NeedVolume(const std::string& path, int number) = 0;
  // A volume whose trailer and checksum passed, or whose problems were passed over.
  virtual bool OnVolume(const VolumeInfo& volume) = 0;
  virtual bool OnTextBlocks(const VolumeInfo& volume, const TextBlocks& blocks) = 0;
  virtual bool BeginEntry(const EntryStart& entry) = 0;
  // A piece of the current entry's content (after its header).
  virtual bool EntryBytes(const char* data, size_t size) = 0;
  // The current entry ended: `complete` false when it was damaged or the
  // walk stopped inside it (the sink drops what it wrote of it, and the
  // answer is ignored).
  virtual bool EndEntry(bool complete) = 0;
  // The first volume's image and text blocks as an update agent, when
  // WalkOptions::agentProgram asks and the volume qualifies.
  virtual void OnAgentProgram(const VolumeInfo& volume, const std::string& bytes) = 0;
  // A problem. For the passable ones true goes on: a volume without
  // trailer, magic or sound DataOffset is passed over (its flags, zero
  // when no trailer, still count); a failed checksum is ignored; an unsafe
  // entry is begun with safeName false. Otherwise the answer is ignored and
  // the walk stops.
  virtual bool OnProblem(const VolumeInfo& volume, const WalkDamage& damage) = 0;
  // Asked before every block and every piece: true ends the walk as cancelled.
  virtual bool Cancelled() { return false; }
  // Runs between pieces and blocks (a window keeps its messages flowing).
  virtual void BetweenPieces() {}
  // Something the walk did on its own (following a span package).
  virtual void OnNote(const std::string& note) { (void)note; }
};

struct WalkOptions {
  bool readTextBlocks = false;  // hand the text blocks' data to OnTextBlocks
  bool agentProgram = false;    // build the update agent from the first volume
  // A span package's program file without entries leads on to its data
  // volume PATH.001 (the stub reaches it by restarting with that name).
  bool followSpanData = false;
};

enum class WalkEnd {
  kDone,       // every volume walked, or the sink ended it with VolumeAnswer::kEnd
  kStopped,    // a problem or the sink stopped it
  kCancelled,  // Cancelled() said so
};

// Walks the package whose first volume is `firstVolume`.
WalkEnd WalkPackage(const std::string& firstVolume, PackageWalkSink& sink, const WalkOptions& options = {});
