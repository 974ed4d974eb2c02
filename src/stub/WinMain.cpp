#include <windows.h>

#include "common/Utils.h"
#include "stub/StubMain.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  PreloadSystemLibraries();
  return static_cast<int>(StubMain());
}
