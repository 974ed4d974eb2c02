#include <windows.h>

#include <exception>

#include "common/VDebug.h"
#include "stub/ExitCodes.h"
#include "stub/StubMain.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    return static_cast<int>(StubMain());
  } catch (const std::exception& e) {
    LogException(e, "WinMain");
    return static_cast<int>(kExitSetupFailed);
  }
}
