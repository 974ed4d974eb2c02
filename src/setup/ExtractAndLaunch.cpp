#include "setup/ExtractAndLaunch.h"

#include "common/ChildProcess.h"
#include "common/Files.h"
#include "common/ProcessTools.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/VDebug.h"
#include "common/WinHandles.h"
#include "inet/Download.h"
#include "package/Language.h"
#include "package/TGFileInfo.h"
#include "setup/EngineCommand.h"
#include "setup/EngineContract.h"
#include "setup/ExitCodes.h"
#include "setup/TempDrive.h"
#include "setup/Unpack.h"
#include "setup/WebStubRules.h"

namespace {

constexpr char kSpanDiskKey[] = "HKEY_CURRENT_USER\\Software\\Wexmoral\\Varnix\\SpanDisk";

std::string ThreadToken() { return "_" + std::to_string(GetCurrentThreadId()); }

bool ForcePromptFromRegistry() { return ReadRegValue(kSpanDiskKey, "ForcePrompt", "0") == "1"; }

// The shortcuts the engine may ask us to remove once it succeeded; their
// paths are read before it runs, because it rewrites the record.
struct ShortcutLinks {
  std::string startUp;
  std::string checkForUpdate;
};

// What one run needs besides its request: the program's own package, the
// package file's reader and the view.
struct RunContext {
  const LaunchRequest& request;
  const TGFileInfo& program;
  const TGFileInfo& reader;
  SetupView& view;
};

// The engine's result as this run reads it.
struct LaunchResult {
  bool engineRan = false;      // the engine process was started
  bool tokenConsumed = false;  // the engine deleted the token atom: success
  unsigned long exitCode = 0;  // the process exit code this run decides
};

std::string ProgramFolder() { return ExtractFileDir(ProgramPath()); }

ShortcutLinks ReadShortcutLinks(const TGFileInfo& program) {
  const std::string record = ProgramFolder() + "\\" + program.RecordFileName();
  return {ReadIniString(record, "UnInstall", "StartUpLink", ""),
          ReadIniString(record, "UnInstall", "CheckforNewUpdateLink", "")};
}

void RemoveShortcutsIfAsked(const TGFileInfo& program, const ShortcutLinks& links) {
  const std::string info = ProgramFolder() + "\\" + program.InfoFileName();
  const std::pair<const char*, const std::string*> requests[] = {
      {"RemoveStartUpShortcut", &links.startUp},
      {"RemoveCheckForNewUpdateShortcut", &links.checkForUpdate},
  };
  // Only the installed agent's run has record files of its own beside it;
  // a stub run from a downloads folder must not delete what files planted
  // there name. And only shortcuts are deleted.
  if (!program.IsUpdateAgent()) return;
  for (const auto& request : requests) {
    if (ReadIniString(info, "NewSetup", request.first, "") == "1" && IsRemovableShortcut(*request.second) &&
        GetFileAttributesA(request.second->c_str()) != INVALID_FILE_ATTRIBUTES) {
      DeleteFileA(request.second->c_str());
    }
  }
}

// Starts the engine, waits for it and its dialog, and reports whether it
// took the token atom.
LaunchResult Launch(const RunContext& run, const std::string& workingFolder, const std::string& launchEntry) {
  const LaunchRequest& request = run.request;
  const std::string token = ThreadToken();
  EngineLaunch launch{workingFolder, launchEntry, request.commandTail, token, ProgramPath(),
                      run.program.IsUpdateAgent()};
  const std::string commandLine = BuildEngineCommandLine(launch);
  const ShortcutLinks links = ReadShortcutLinks(run.program);
  DebugTrace() << " ==== WinExec(Engine.exe) >>" << commandLine << "<<";

  const std::string atomName = kTokenAtomPrefix + token;
  GlobalAddAtomA(atomName.c_str());
  ChildOptions shown;
  shown.showState = request.foreground ? SW_SHOW : SW_HIDE;
  const ChildProcess engine = ChildProcess::Start(commandLine, shown);
  run.view.Show(false);
  WaitPumping(0, 1000);
  LaunchResult result;
  result.engineRan = static_cast<bool>(engine);
  if (engine) {
    engine.WaitPumpingUntilEnded();
    result.exitCode = engine.ExitCode(0);
  } else {
    DebugTrace() << " The setup engine could not be started (error " << static_cast<unsigned long>(engine.startError())
                 << ")";
    result.exitCode = kExitSetupFailed;
  }
  WaitWindowGone(kEngineDialogClassPrefix + token, "");
  WaitPumping(0, 1000);

  const ATOM atom = GlobalFindAtomA(atomName.c_str());
  result.tokenConsumed = atom == 0;
  if (atom) GlobalDeleteAtom(atom);
  if (result.tokenConsumed) RemoveShortcutsIfAsked(run.program, links);
  return result;
}

// A silent run has nobody to click the box away: the debug channel only.
void ReportBadChecksum(const TGFileInfo& reader, bool foreground) {
  const std::string text = reader.LangText("s7", LangDefault::s7);
  if (!foreground) {
    DebugTrace() << " " << ReplaceText(text, "<P>", " ", true);
    return;
  }
  ShowErrorBox(kOwnerActive, text, reader.LangText("Error", LangDefault::Error), reader.Charset(),
               reader.LangText("BtnText", LangDefault::BtnText));
}

UnpackRequest MakeUnpackRequest(const RunContext& run, const std::string& folder) {
  const LaunchRequest& request = run.request;
  const TGFileInfo& reader = run.reader;
  UnpackRequest unpack;
  unpack.packageFile = request.packageFile;
  unpack.destination = folder;
  unpack.agentFileName = request.agentFileName;
  unpack.forcePrompt = ForcePromptFromRegistry();
  unpack.charset = reader.Charset();
  unpack.buttons = reader.LangText("BtnText", LangDefault::BtnText);
  unpack.promptCaption = reader.LangText("Attention", LangDefault::Attention);
  unpack.promptText = reader.LangText("s8", LangDefault::s8);
  unpack.silent = !request.foreground;
  // The main window's Close sets the stop request: the walk ends at its
  // next piece instead of unpacking for an engine nobody wants.
  unpack.cancelled = DownloadAbort;
  unpack.progress = &run.view;
  return unpack;
}

// The unpacking and what follows from its outcome.
LaunchResult UnpackAndLaunch(const RunContext& run, const std::string& folder) {
  const LaunchRequest& request = run.request;
  const UnpackRequest unpack = MakeUnpackRequest(run, folder);
  if (request.foreground) run.view.Show(true);
  WaitPumping(0, 1000);
  const UnpackResult unpacked = UnpackPackage(unpack);
  WaitPumping(0, 1000);

  LaunchResult result;
  switch (unpacked.outcome) {
    case UnpackOutcome::kDone:
      if (DownloadAbort()) {
        DebugTrace() << " The run was asked to stop before the setup engine started";
        result.exitCode = kExitUserDeclined;
        break;
      }
      if (!unpacked.launchEntry.empty()) return Launch(run, folder, unpacked.launchEntry);
      DebugTrace() << " The package names no setup engine to start";
      result.exitCode = kExitSetupFailed;
      break;
    case UnpackOutcome::kChecksumFailed:
      ReportBadChecksum(run.reader, request.foreground);
      result.exitCode = kExitSetupFailed;
      break;
    case UnpackOutcome::kCancelled: result.exitCode = kExitUserDeclined; break;
    case UnpackOutcome::kCorrupt: result.exitCode = kExitSetupFailed; break;
  }
  run.view.Show(false);
  return result;
}

}  // namespace

unsigned long ExtractAndLaunch(const LaunchRequest& request, const TGFileInfo& program, SetupView& view) {
  const TGFileInfo reader(request.packageFile);
  const RunContext run{request, program, reader, view};
  if (reader.ShowActivityBar()) view.ShowActivity();
  view.SetText(reader.LangText("s1", LangDefault::s1), reader.FontName(), reader.Charset(), reader.FontSize());

  // Removed when this run is over, like the working folder.
  WorkFolder alternative;
  if (!HasEnoughSpace(request.workingFolder, request.packageFile) && ChooseRoomiestDrive()) {
    alternative = ClaimAlternativeFolder();
  }
  const std::string folder = alternative.path().empty() ? request.workingFolder : alternative.path();
  DebugChannel() << "========= ForegroundOp=" << BoolText(request.foreground) << " ==========";

  LaunchResult result;
  if (folder.empty()) {
    // Joined to entry names, an empty folder would unpack into the current drive's root.
    DebugTrace() << " No working folder could be claimed";
    result.exitCode = kExitSetupFailed;
  } else if (request.foreground && !ConfirmTempSpace(folder, request.packageFile, reader)) {
    result.exitCode = kExitUserDeclined;
  } else {
    result = UnpackAndLaunch(run, folder);
  }
  return result.exitCode;
}
