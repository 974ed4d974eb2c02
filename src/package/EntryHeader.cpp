#include "package/EntryHeader.h"

#include "common/NumberText.h"
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
  const std::string time = UnsignedText(dosTime);
  std::string item0 = name;
  if (launchArguments) item0 += "*" + *launchArguments;
  return "|" + item0 + "|" + time + "|";
}

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// A name part that Windows opens as a device whatever folder it stands in:
// CON, PRN, AUX, NUL, COM0-9, LPT0-9 (and COM/LPT with a superscript 1, 2
// or 3, as the ANSI code page writes them), CONIN$ and CONOUT$, with or
// without an extension (the text from the first "."; blanks before it do
// not count), in any case.
bool IsDeviceName(const std::string& part) {
  std::string base = part.substr(0, part.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = AsciiUpper(c);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  if (base.size() != 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) return false;
  const unsigned char n = static_cast<unsigned char>(base[3]);
  return (n >= '0' && n <= '9') || n == 0xB9 || n == 0xB2 || n == 0xB3;
}

}  // namespace

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
    const std::string part = name.substr(start, end - start);
    if (part.empty()) {
      if (end == name.size()) return false;  // a folder, not a file
    } else if (part != ".") {
      // Windows drops dots and blanks at the end of a part: "a.txt." would
      // land in "a.txt", and "..", ". ." or "..." climb out.
      if (part.back() == '.' || part.back() == ' ') return false;
      if (IsDeviceName(part)) return false;
    }
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
