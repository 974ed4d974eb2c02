// self-delete: a program that ends the way the product's transient copies
// do, by deleting its own file (and with "/folder" its folder) through the
// product's self-deleting batch file.
//
// Usage: self-delete.exe [/folder]
// Output: "BATCH=<path of the batch file>", so a test knows what to watch.
// Exit code 0.

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "common/Files.h"

int main(int argc, char** argv) {
  const bool removeFolder = argc > 1 && std::strcmp(argv[1], "/folder") == 0;
  std::printf("BATCH=%s_DEL_ME_.BAT\n", SystemTempPath().c_str());
  std::fflush(stdout);
  DeleteMySelf(removeFolder);
  return 0;
}
