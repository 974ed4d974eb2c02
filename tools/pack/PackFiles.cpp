#include "pack/PackFiles.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <utime.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>

#include "common/TextRules.h"
#include "package/EntryHeader.h"

namespace {

namespace fs = std::filesystem;

// A name element that the package and the stub's file system can both hold.
bool IsStorableElement(const std::string& element) {
  if (element.find_first_of("\\*|") != std::string::npos) return false;
  for (unsigned char c : element) {
    if (c < 0x20) return false;
  }
  return true;
}

PackStatus ProjectFail(const std::string& message) {
  return PackStatus::Fail(ExitCode::kProject, message);
}

// The "\"-separated name of `path` below `root`; empty when an element
// cannot be stored.
std::string EntryNameOf(const fs::path& root, const fs::path& path) {
  std::string name;
  for (const fs::path& element : path.lexically_relative(root)) {
    std::string text = element.string();
    if (!IsStorableElement(text)) return "";
    if (!name.empty()) name += '\\';
    name += text;
  }
  return name;
}

PackStatus AddFile(const fs::path& root, const fs::path& path, std::vector<SourceFile>& files) {
  SourceFile file;
  file.name = EntryNameOf(root, path);
  file.path = path.string();
  if (file.name.empty() || !IsSafeEntryName(file.name)) {
    return ProjectFail(file.path + ": this file name cannot be stored in a package");
  }
  std::error_code error;
  file.size = fs::file_size(path, error);
  if (error) return ProjectFail(file.path + ": cannot read the file size: " + error.message());
  file.dosTime = DosTimeOfFile(file.path);
  files.push_back(file);
  return PackStatus::Ok();
}

PackStatus CheckCaseClashes(const std::vector<SourceFile>& files) {
  std::map<std::string, const SourceFile*> byUpperName;
  for (const SourceFile& file : files) {
    auto inserted = byUpperName.emplace(UpperText(file.name), &file);
    if (!inserted.second) {
      return ProjectFail("\"" + inserted.first->second->name + "\" and \"" + file.name +
                         "\" differ only in letter case; the stub would write them into one file");
    }
  }
  return PackStatus::Ok();
}

}  // namespace

PackStatus CollectFiles(const std::string& folder, std::vector<SourceFile>& files) {
  files.clear();
  std::error_code error;
  fs::path root(folder);
  if (!fs::is_directory(root, error)) return ProjectFail(folder + ": files folder not found");
  fs::recursive_directory_iterator walk(root, fs::directory_options::follow_directory_symlink,
                                        error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    const fs::directory_entry& entry = *walk;
    std::error_code typeError;
    if (entry.is_directory(typeError)) continue;
    if (!entry.is_regular_file(typeError)) {
      return ProjectFail(entry.path().string() + ": not a regular file");
    }
    PackStatus status = AddFile(root, entry.path(), files);
    if (!status.ok()) return status;
  }
  if (error) return ProjectFail(folder + ": cannot list the files folder: " + error.message());
  std::sort(files.begin(), files.end(),
            [](const SourceFile& a, const SourceFile& b) { return a.name < b.name; });
  return CheckCaseClashes(files);
}

uint32_t DosTimeOfLocal(int64_t unixTime) {
  std::time_t time = static_cast<std::time_t>(unixTime);
  const std::tm* local = std::localtime(&time);
  if (local == nullptr) return 0;
  int year = local->tm_year + 1900;
  if (year < 1980) return DosDateTime(1980, 1, 1, 0, 0, 0);
  if (year > 2107) return DosDateTime(2107, 12, 31, 23, 59, 58);
  return DosDateTime(year, local->tm_mon + 1, local->tm_mday, local->tm_hour, local->tm_min,
                     local->tm_sec);
}

uint32_t DosTimeOfFile(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return 0;
  return DosTimeOfLocal(static_cast<int64_t>(info.st_mtime));
}

namespace {

struct DosFields {
  int year, month, day, hour, minute, second;
};

DosFields SplitDosTime(uint32_t dosTime) {
  uint32_t date = dosTime >> 16;
  uint32_t time = dosTime & 0xFFFF;
  return {static_cast<int>(1980 + (date >> 9)), static_cast<int>((date >> 5) & 0x0F),
          static_cast<int>(date & 0x1F),        static_cast<int>(time >> 11),
          static_cast<int>((time >> 5) & 0x3F), static_cast<int>((time & 0x1F) * 2)};
}

bool IsValidDosTime(const DosFields& f) {
  return f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= 31 && f.hour < 24 &&
         f.minute < 60 && f.second < 60;
}

}  // namespace

bool SetFileDosTime(const std::string& path, uint32_t dosTime) {
  DosFields f = SplitDosTime(dosTime);
  if (dosTime == 0 || !IsValidDosTime(f)) return false;
  std::tm local{};
  local.tm_year = f.year - 1900;
  local.tm_mon = f.month - 1;
  local.tm_mday = f.day;
  local.tm_hour = f.hour;
  local.tm_min = f.minute;
  local.tm_sec = f.second;
  local.tm_isdst = -1;  // let the C library decide, as the stub's local-to-UTC conversion does
  std::time_t time = std::mktime(&local);
  if (time == static_cast<std::time_t>(-1)) return false;
  struct utimbuf times;
  times.actime = time;
  times.modtime = time;
  return utime(path.c_str(), &times) == 0;
}

std::string FormatDosTime(uint32_t dosTime) {
  if (dosTime == 0) return "not set";
  DosFields f = SplitDosTime(dosTime);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour,
                f.minute, f.second);
  return text;
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(fs::path(path), error);
}
