#include "package/EntryHeader.h"

#include <cstdio>

#include "common/TextRules.h"
#include "common/VSUB.h"

EntryHeader ParseEntryHeader(const std::string& header) {
  EntryHeader entry;
  if (header.find('*') != std::string::npos) entry.launchEntry = header;
  entry.name = SUB::Item(header, 0);
  const size_t star = entry.name.find('*');
  if (star != std::string::npos) {
    entry.launchEntry = entry.name;
    entry.name.erase(star);
  }
  int64_t time = 0;
  if (ParseInt64(SUB::Item(header, 1), time) && time > 0 && time <= 0xFFFFFFFFLL) {
    entry.dosTime = static_cast<uint32_t>(time);
  }
  return entry;
}

std::string BuildEntryHeader(const std::string& name, const std::string* launchArguments,
                             uint32_t dosTime) {
  char time[16];
  std::snprintf(time, sizeof time, "%lu", static_cast<unsigned long>(dosTime));
  std::string item0 = name;
  if (launchArguments) item0 += "*" + *launchArguments;
  return "|" + item0 + "|" + time + "|";
}

bool IsSafeEntryName(const std::string& name) {
  if (name.empty() || name[0] == '\\' || name[0] == '/') return false;
  if (name.find(':') != std::string::npos) return false;  // drive letters and streams
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 32) return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    const std::string part = TrimText(name.substr(start, end - start));
    // Windows ignores trailing dots and blanks, so ". ." and "..." climb too.
    if (!part.empty() && part.find_first_not_of(". ") == std::string::npos && part.size() >= 2) return false;
    if (part.empty() && end == name.size()) return false;  // a folder, not a file
    start = end + 1;
  }
  return true;
}

uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1980) return 0;
  const uint32_t date = ((year - 1980) << 9) | (month << 5) | day;
  const uint32_t time = (hour << 11) | (minute << 5) | (second / 2);
  return (date << 16) | time;
}
