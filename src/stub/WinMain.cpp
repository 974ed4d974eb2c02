#include <windows.h>

#include <cstdlib>
#include <exception>

#include "common/Utils.h"
#include "common/VDebug.h"
#include "setup/ExitCodes.h"
#include "stub/StubMain.h"

// The runtime's default terminate handler prints the demangled exception
// type, which links a demangler into every installer for a message nobody
// sees in a GUI program. Ending quietly keeps the stub about 75 KB smaller.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    PreloadSystemLibraries();
    return static_cast<int>(StubMain());
  } catch (const std::exception& e) {
    LogException(e, "WinMain");
    return static_cast<int>(kExitSetupFailed);
  }
}
