#include "common/RunTimeDir.h"

namespace {

// "*" stands for a folder not yet looked up: an empty folder is a valid result.
const char kNotLookedUp[] = "*";

struct RunTimeFolder {
  std::string definition;
  std::string cached = kNotLookedUp;
};

RunTimeFolder& Entry(int number) {
  static RunTimeFolder table[kRunTimeDirCount];
  return table[number - 1];
}

}  // namespace

std::string GetRunTimeDir(int number) {
  if (number < 1 || number > kRunTimeDirCount) return "";
  RunTimeFolder& folder = Entry(number);
  // No definition format is settled yet: nothing supplies one, and an
  // undefined folder is empty.
  if (folder.cached == kNotLookedUp) folder.cached = folder.definition;
  return folder.cached;
}
