// Win32 versions of the platform pieces the portable core declares.
#include <windows.h>

#include "common/FilePosition.h"
#include "common/Scramble.h"
#include "common/TextRules.h"
#include "common/WinHandles.h"
#include "package/ByteSource.h"
#include "package/Language.h"

namespace {

class Win32FileSource : public ByteSource {
 public:
  explicit Win32FileSource(UniqueFile file) : file_(std::move(file)) {
    if (!OpenFileSize(file_.get(), size_)) size_ = 0;
  }

  uint64_t Size() const override { return size_; }
  size_t ReadSome(uint64_t offset, void* buffer, size_t count) override {
    if (offset >= size_) return 0;
    if (!SeekFile(file_.get(), offset)) return 0;
    size_t total = 0;
    while (total < count) {
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(count - total > 0x100000 ? 0x100000 : count - total);
      if (!ReadFile(file_.get(), static_cast<char*>(buffer) + total, want, &got, nullptr) ||
          got == 0)
        break;
      total += got;
    }
    return total;
  }

 private:
  UniqueFile file_;
  uint64_t size_ = 0;
};

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string& path) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return nullptr;
  return std::unique_ptr<ByteSource>(new Win32FileSource(std::move(file)));
}

uint32_t DriveClusterSize(const std::string& folder) {
  const std::string root = folder.substr(0, 3);
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters)) {
    return 0;
  }
  return sectorsPerCluster * bytesPerSector;
}

uint64_t SeedClockTicks() {
  LARGE_INTEGER counter;
  if (QueryPerformanceCounter(&counter)) return static_cast<uint64_t>(counter.QuadPart);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::string UpperText(const std::string& text) {
  std::string out = text;
  if (!out.empty()) CharUpperBuffA(&out[0], static_cast<DWORD>(out.size()));
  return out;
}

namespace {
// Captured while the program starts, before anything can change the thread's locale.
const LCID startupThreadLocale = GetThreadLocale();
}  // namespace

int StartupPrimaryLanguage() {
  const int primary = PRIMARYLANGID(LANGIDFROMLCID(startupThreadLocale));
  return primary != 0 ? primary : LANG_ENGLISH;
}
