// varnix-baseline: the least a program must do to unpack a package, for the
// benchmark to compare the stub against. It walks the package's blocks the
// way the stub does (trailer, text blocks skipped, then one file entry per
// block, inflated in bounded pieces by the same core code) and writes each
// entry straight to its file. No window, no message pumping, no progress, no
// checks beyond what a correct write needs.
//
//   varnix-baseline.exe [/pump] PACKAGE DESTINATION
//
// "/pump" adds what a window program does to stay responsive: between
// pieces and blocks it takes every waiting message (PeekMessage, dispatch)
// and gives up the rest of its time slice (Sleep(0)). The benchmark runs it
// once more with this, to show what the pumping costs under Wine.
//
// Prints "BASELINE files=<entries> bytes=<content bytes> ms=<elapsed>" and
// exits 0; on a failure prints "BASELINE error: <why>" and exits 1. The time
// runs from before the package is opened until the last file is closed, like
// the stub's "UnCompressTime". A single-volume package only.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "package/ByteSource.h"
#include "package/EntryHeader.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "package/ZInflate.h"

namespace {

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  Sleep(0);
}

int Fail(const std::string& why) {
  std::printf("BASELINE error: %s\n", why.c_str());
  return 1;
}

// Creates `folder` and its parents; remembers the last one made, since
// entries of one folder come one after another.
class FolderMaker {
 public:
  bool Make(const std::string& folder) {
    if (folder.empty() || folder == last_) return true;
    if (!MakeTree(folder)) return false;
    last_ = folder;
    return true;
  }

 private:
  static bool MakeTree(const std::string& folder) {
    if (CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return true;
    if (GetLastError() != ERROR_PATH_NOT_FOUND) return false;
    const size_t cut = folder.find_last_of('\\');
    if (cut == std::string::npos || cut == 0 || !MakeTree(folder.substr(0, cut))) return false;
    return CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
  }

  std::string last_;
};

// One entry: the header up to its 0x00, then the content appended to the
// target (entries of the same name continue one file).
class EntrySink {
 public:
  EntrySink(const std::string& destination, FolderMaker& folders)
      : destination_(destination), folders_(folders) {}
  ~EntrySink() { Close(); }

  bool Take(const char* data, size_t size) {
    if (!inContent_) {
      const char* end = static_cast<const char*>(std::memchr(data, '\0', size));
      const size_t take = end ? static_cast<size_t>(end - data) : size;
      header_.append(data, take);
      if (!end) {
        if (header_.size() < 32768) return true;
        error_ = "an entry header without its end";
        return false;
      }
      data += take + 1;
      size -= take + 1;
      if (!Open()) return false;
      inContent_ = true;
    }
    bytes_ += size;
    DWORD written = 0;
    if (size && (!WriteFile(file_, data, static_cast<DWORD>(size), &written, nullptr) || written != size)) {
      error_ = "cannot write " + target_;
      return false;
    }
    return true;
  }

  bool Finish() {
    if (!inContent_) {
      error_ = "an entry without its header end";
      return false;
    }
    if (dosTime_) {
      FILETIME local, utc;
      if (DosDateTimeToFileTime(HIWORD(dosTime_), LOWORD(dosTime_), &local) && LocalFileTimeToFileTime(&local, &utc)) {
        SetFileTime(file_, nullptr, nullptr, &utc);
      }
    }
    Close();
    return true;
  }

  uint64_t bytes() const { return bytes_; }
  const std::string& error() const { return error_; }

 private:
  bool Open() {
    const EntryHeader entry = ParseEntryHeader(header_);
    if (!IsSafeEntryName(entry.name)) {
      error_ = "unsafe entry name " + entry.name;
      return false;
    }
    std::string relative = entry.name;
    for (char& c : relative) {
      if (c == '/') c = '\\';
    }
    target_ = destination_ + "\\" + relative;
    const size_t cut = target_.find_last_of('\\');
    if (!folders_.Make(target_.substr(0, cut))) {
      error_ = "cannot create the folder of " + target_;
      return false;
    }
    file_ = CreateFileA(target_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
      error_ = "cannot create " + target_;
      return false;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) SetFilePointer(file_, 0, nullptr, FILE_END);
    dosTime_ = entry.dosTime;
    return true;
  }

  void Close() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }

  const std::string& destination_;
  FolderMaker& folders_;
  std::string header_;
  std::string target_;
  std::string error_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  uint32_t dosTime_ = 0;
  uint64_t bytes_ = 0;
  bool inContent_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  const bool pump = argc == 4 && std::strcmp(argv[1], "/pump") == 0;
  if (argc != 3 && !pump) {
    std::fprintf(stderr, "usage: varnix-baseline.exe [/pump] PACKAGE DESTINATION\n");
    return 2;
  }
  const char* package = argv[argc - 2];
  const double started = NowMs();
  std::string destination = argv[argc - 1];
  while (destination.size() > 3 && (destination.back() == '\\' || destination.back() == '/')) destination.pop_back();

  std::unique_ptr<ByteSource> source = OpenFileSource(package);
  if (!source) return Fail(std::string("cannot open ") + package);
  PackageTrailer trailer{};
  TrailerPlace place;
  if (!ReadTrailer(*source, trailer, &place) || trailer.PackageMagic != kPackageMagic) {
    return Fail("not a package");
  }
  if (trailer.PackageFlags & kMoreVolumes) return Fail("a package of several volumes");

  FolderMaker folders;
  if (!folders.Make(destination)) return Fail("cannot create " + destination);
  unsigned long files = 0;
  uint64_t bytes = 0;
  int blocks = 0;
  for (uint64_t offset = trailer.DataOffset; offset < place.offset;) {
    if (pump) Pump();
    BlockRef block;
    if (!ReadBlockRef(*source, offset, place.offset, block)) return Fail("a block runs past the package end");
    offset = block.End();
    if (++blocks <= trailer.HeaderBlockCount) continue;  // language, settings (and web) texts
    EntrySink sink(destination, folders);
    std::string error;
    const std::function<void()> between = pump ? std::function<void()>(Pump) : std::function<void()>();
    if (!ReadBlockPieces(*source, block, [&](const char* data, size_t size) { return sink.Take(data, size); },
                         error, between)) {
      return Fail(!sink.error().empty() ? sink.error() : error);
    }
    if (!sink.Finish()) return Fail(sink.error());
    ++files;
    bytes += sink.bytes();
  }
  const double elapsed = NowMs() - started;
  std::printf("BASELINE files=%lu bytes=%llu ms=%.0f\n", files, static_cast<unsigned long long>(bytes), elapsed);
  return 0;
}
