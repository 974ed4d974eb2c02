// Host (Linux) versions of the platform pieces the portable core declares.
#include <sys/statvfs.h>

#include <chrono>
#include <cstdio>

#include "common/Scramble.h"
#include "common/TextRules.h"
#include "package/ByteSource.h"
#include "package/Language.h"

namespace {

class StdioSource : public ByteSource {
 public:
  explicit StdioSource(std::FILE* file) : file_(file) {
    if (std::fseek(file_, 0, SEEK_END) == 0) {
      const long long size = ftello(file_);
      size_ = size > 0 ? static_cast<uint64_t>(size) : 0;
    }
  }
  ~StdioSource() override { std::fclose(file_); }
  StdioSource(const StdioSource&) = delete;
  StdioSource& operator=(const StdioSource&) = delete;

  uint64_t Size() const override { return size_; }
  size_t ReadSome(uint64_t offset, void* buffer, size_t count) override {
    if (offset >= size_ || fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
    return std::fread(buffer, 1, count, file_);
  }

 private:
  std::FILE* file_;
  uint64_t size_ = 0;
};

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return nullptr;
  return std::make_unique<StdioSource>(file);
}

uint32_t DriveClusterSize(const std::string& folder) {
  struct statvfs info;
  if (statvfs(folder.c_str(), &info) != 0) return 0;
  return static_cast<uint32_t>(info.f_frsize ? info.f_frsize : info.f_bsize);
}

uint64_t SeedClockTicks() {
  return static_cast<uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
}

// Windows-1252 upper-casing, as the system does it for the Western code page.
std::string UpperText(const std::string& text) {
  std::string out = text;
  for (char& ch : out) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
      ch = static_cast<char>(c - 0x20);
    } else if (c == 0x9A || c == 0x9C || c == 0x9E) {
      ch = static_cast<char>(c - 0x10);
    } else if (c == 0xFF) {
      ch = static_cast<char>(0x9F);
    }
  }
  return out;
}

// The host tool has no thread locale: English.
int StartupPrimaryLanguage() { return 9; }
