// remove-tree: removes one folder tree with the product's RemoveFolderTree
// (attributes cleared), so a test can set up what the folder holds from the
// Linux side, links included.
//
// Usage: remove-tree.exe FOLDER
// Output: "REMOVED=1" when the folder existed and is gone, else "REMOVED=0";
// the exit code is that digit.

#include <cstdio>

#include "common/Files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: remove-tree.exe FOLDER\n");
    return 2;
  }
  const bool removed = RemoveFolderTree(argv[1], true);
  std::printf("REMOVED=%d\n", removed ? 1 : 0);
  return removed ? 1 : 0;
}
