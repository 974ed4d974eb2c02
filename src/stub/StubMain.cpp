#include "stub/StubMain.h"

#include <windows.h>

#include <memory>

#include "common/ProcessTools.h"
#include "common/RunLog.h"
#include "common/Utils.h"
#include "common/VDebug.h"
#include "package/TGFileInfo.h"
#include "setup/ExitCodes.h"
#include "stub/StubModes.h"

namespace {

std::unique_ptr<TGFileInfo> package;
unsigned long exitCode = kExitSuccess;

void WriteStartRecords(const std::string& path, const std::string& commandLine) {
  WriteLog("");
  WriteLog("");
  WriteLog("=== START === " + path);
  WriteLog("CommandLine=" + commandLine);
  WriteLog("Agent Version=" + GetExeVersion(path));
}

}  // namespace

const TGFileInfo& StubPackage() {
  // Only reached before StubMain opened the reader in tests of single units;
  // an empty reader then stands in, as for a file without a package.
  static const TGFileInfo empty("");
  return package ? *package : empty;
}

void SetProcessExitCode(unsigned long code) { exitCode = code; }
unsigned long ProcessExitCode() { return exitCode; }

namespace {

// What the run depends on in the system: its name and version, whether it
// is 64-bit (folders and registry views) and how programs are looked up.
void TraceWindows() {
  const WindowsName windows = GetWindowsName();
  DebugTrace() << " ==== Windows " << windows.name << " (" << windows.versionText << "." << windows.build
               << (windows.servicePack.empty() ? "" : " ") << windows.servicePack << ", "
               << (IsWindowsNT() ? "NT" : "9x") << ") 64-bit=" << BoolText(Is64BitWindows())
               << " programs by " << ProgramLookupRoute();
}

}  // namespace

unsigned long StubMain() {
  const std::string commandLine = GetCommandLineA();
  const std::string path = ProgramPath();
  DebugTrace() << " ==== STUB START ====> " << commandLine << "<";
  TraceWindows();

  package.reset(new TGFileInfo(path));
  const bool isUpdateAgent = package->IsUpdateAgent();
  SetRunLogEnabled(isUpdateAgent && package->WriteRunLog());
  if (ThisIs_X_AutoUpdate_Exe()) SetLogMarker(" X ");
  WriteStartRecords(path, commandLine);
  DebugTrace() << " ==== ThisIs_AutoUpdateProg=" << BoolText(isUpdateAgent);

  DoRunStubWin();

  package.reset();
  DebugTrace() << " ==== STUB END ====> " << commandLine << "<";
  DebugChannel();
  WriteLog("=== EXIT === " + path);
  WriteLog("");
  return ProcessExitCode();
}
