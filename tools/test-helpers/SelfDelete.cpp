// self-delete: a program that ends the way the product's transient copies
// do, by deleting its own file (and with "/folder" its folder) through the
// product's self-deleting batch file.
//
// Usage: self-delete.exe [/folder] [/ready=PATH /go=PATH]
//   /folder     the folder goes too, when empty
//   /ready=PATH created once the program runs
//   /go=PATH    waits (at most 30 s) until PATH exists before arranging the
//               deletion, so a test can make several copies do it at once
// Output: "BATCH=<path of the batch file>", so a test knows what to watch.
// Exit code 0, or 1 when /go timed out.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/Files.h"

namespace {

bool WaitForFile(const std::string& path) {
  for (int tries = 0; tries < 3000; ++tries) {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    Sleep(10);
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  bool removeFolder = false;
  std::string ready, go;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "/folder") == 0) removeFolder = true;
    if (std::strncmp(argv[i], "/ready=", 7) == 0) ready = argv[i] + 7;
    if (std::strncmp(argv[i], "/go=", 4) == 0) go = argv[i] + 4;
  }
  std::printf("BATCH=%s\n", SelfDeleteBatchPath().c_str());
  std::fflush(stdout);
  if (!ready.empty()) {
    CloseHandle(CreateFileA(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!go.empty() && !WaitForFile(go)) return 1;
  DeleteMySelf(removeFolder);
  return 0;
}
