#include "FuzzSupport.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "autoupdate/SetupRecords.h"
#include "common/TextRules.h"

namespace {

namespace fs = std::filesystem;

constexpr char kPrefix[] = "varnix-fuzz-";

// A run that ended with a finding (abort) leaves its folder behind: the
// folders of processes that are gone are removed by the next run.
void RemoveFoldersOfEndedRuns(const fs::path& base) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(base, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kPrefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + sizeof kPrefix - 1, nullptr, 10);
    if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      std::error_code ignored;
      fs::remove_all(entry.path(), ignored);
    }
  }
}

struct ScratchFolder {
  std::string path;
  ScratchFolder() {
    std::error_code ignored;
    const fs::path base = fs::is_directory("/dev/shm", ignored) ? fs::path("/dev/shm") : fs::temp_directory_path();
    RemoveFoldersOfEndedRuns(base);
    path = (base / (kPrefix + std::to_string(getpid()))).string();
    fs::remove_all(path, ignored);
    fs::create_directories(path, ignored);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

}  // namespace

const std::string& FuzzScratchFolder() {
  static ScratchFolder folder;
  return folder.path;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

void StoreIniText(IniStore& store, const std::string& file, const std::string& text) {
  std::string section;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = TrimText(text.substr(start, end - start));
    start = end + 1;
    const size_t equals = line.find('=');
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      section = TrimText(line.substr(1, line.size() - 2));
    } else if (equals != std::string::npos && !section.empty()) {
      store.WriteText(file, section, TrimText(line.substr(0, equals)), TrimText(line.substr(equals + 1)));
    }
  }
}

size_t ViewSource::ReadSome(uint64_t offset, void* buffer, size_t count) {
  if (offset >= bytes_.size()) return 0;
  const size_t take = std::min<uint64_t>(count, bytes_.size() - offset);
  std::memcpy(buffer, bytes_.data() + offset, take);
  return take;
}
