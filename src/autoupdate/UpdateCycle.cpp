#include "autoupdate/UpdateCycle.h"

#include "autoupdate/Agent.h"
#include "autoupdate/AgentRecords.h"
#include "autoupdate/AgentView.h"
#include "autoupdate/PathMacros.h"
#include "autoupdate/SecretToken.h"
#include "autoupdate/SystemMacroValues.h"
#include "autoupdate/UpdateCycleParts.h"
#include "autoupdate/UpdateRules.h"
#include "common/ChildProcess.h"
#include "common/Files.h"
#include "common/ProcessTools.h"
#include "common/RunLog.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/VDebug.h"
#include "inet/Download.h"
#include "inet/DownloadRules.h"
#include "inet/HtmlErrorPage.h"
#include "inet/HttpClient.h"
#include "inet/ProgBar.h"
#include "package/TGFileInfo.h"
#include "setup/ExitCodes.h"
#include "setup/ExtractAndLaunch.h"
#include "setup/TempDrive.h"

namespace {

// How long the product gets to close before the update is given up: a
// program asked to close may first save its work.
constexpr DWORD kProductCloseMs = 30000;

const char* const kDownloadTexts[] = {"s31", "s32", "s33"};

bool SamePath(const std::string& a, const std::string& b) { return UpperText(a) == UpperText(b); }

// Where a download of `name` comes from in test mode, or empty.
std::string TestSource(const std::string& name) {
  return TestMode(false) ? ProcessTestMode().Url() + "\\" + name : "";
}

// The user takes part: asked before the download, or asked for this check.
bool UserInvolved(const SetupRecords& records) {
  return records.RequestConfirmationBeforeDownload() || ProcessAgentState().probe.manualCheckState == 1;
}

// Copies a local or shared file in: the file system does the copying, so a
// large file never lands in memory. The copy goes to `temporary`, and
// PutInPlace moves it to the target once complete.
std::string CopyIn(const std::string& source, const std::string& target, const std::string& temporary) {
  if (SamePath(source, target)) return "";
  if (!CopyFileA(source.c_str(), temporary.c_str(), FALSE)) return SystemErrorText(GetLastError());
  return "";
}

// Runs the bar through ten steps so a quick copy is still seen.
void ShowCopyProgress(AgentView& view) {
  view.Reset(10);
  for (int i = 0; i < 10; ++i) {
    view.Step();
    WaitPumping(0, 300);
  }
  view.Reset(10);
}

std::string HttpFetch(AgentView& view, const std::string& url, const std::string& target) {
  WaitPumping(0, 500);
  SetDownloadAbort(false);
  TProgBar progress(view);
  std::string content, error;
  HTTP_DownloadFile(url, target, content, &progress, error);
  WaitPumping(0, 500);
  return error;
}

// Puts a complete copy in the target's place. The info file only when it
// is not empty and no error page: an error answer never replaces the info
// file the agent has.
std::string PutInPlace(int kind, const std::string& temporary, const std::string& target, const std::string& source) {
  if (temporary == target || SamePath(source, target)) return "";
  if (kind == kInfoDownload) {
    if (GetFileSize64(temporary) <= 0) return "The info file is empty: " + source;
    const std::string page = HtmlErrorMessage(temporary, "", source, "", false);
    if (!page.empty()) return page;
  }
  if (!MoveOverFile(temporary, target)) return SystemErrorText(GetLastError());
  return "";
}

void ReportDownloadFailure(const SetupRecords& records, const std::string& source) {
  const std::string message =
      DownloadAbort()                 ? records.AutoUpdateText("s3")
      : !IsFolderLocation(source) ? records.AutoUpdateText("s5") + "<P><P>" + source
                                      : records.AutoUpdateText("s4") + "<P><P>" + source;
  WriteLog("ATTENTION: " + message);
  if (UserInvolved(records)) AgentBox(records, kBoxAttention, kOwnerHeading, message);
}

std::string CheckToken(const TGFileInfo& program, const SetupRecords& records, const std::string& target,
                       const std::string& source, int kind) {
  AgentLogSinks log;
  if (CheckSecretToken(program, target, kind, log)) return "";
  const std::string error = HtmlErrorMessage(target, "", source, "Bad Secret Token!", false);
  DeleteAgentDownload(target);
  WriteLog("ERROR: " + error);
  if (UserInvolved(records)) AgentBox(records, kBoxError, kOwnerHeading, error);
  return error;
}

// Fetches into `temporary` (local copy or web download) and returns the
// error text.
std::string Fetch(AgentView& view, const std::string& base, const std::string& name, const std::string& target,
                  const std::string& temporary, bool testMode, bool show, std::string& source) {
  source = base + "\\" + name;
  if (IsFolderLocation(base) || testMode) {
    if (!FileExists(source)) return "File not found: " + source;
    const std::string error = CopyIn(source, target, temporary);
    if (error.empty() && show) ShowCopyProgress(view);
    return error;
  }
  source = JoinUrl(base, name);
  // Test mode exists for folders: a web location then reaches nobody.
  if (!IsAllowedUpdateLocation(base, false)) return "Not an http or https location: " + base;
  return HttpFetch(view, source, temporary);
}

}  // namespace

std::string AgentFolder() { return FolderOf(ProgramPath()); }

AgentOwnFiles OwnFilesOf(const TGFileInfo& program) {
  return {ExtractFileName(program.AgentExeName()), program.InfoFileName(), program.RecordFileName()};
}

bool DownloadFileAU(const TGFileInfo& program, AgentView& view, const std::string& base, const std::string& file, int kind,
                    std::string& errorText) {
  SetupRecords records = RecordsOf(program);
  AgentOwnFiles own = OwnFilesOf(program);
  if (kind == kInfoDownload) own.infoName.clear();
  const std::string name = SafeDownloadName(file, own);
  const bool testMode = TestMode(false);
  const std::string from = testMode ? ProcessTestMode().Url() : base;
  const std::string shown = from + "\\" + (name.empty() ? file : name);
  DebugTrace() << " DownloadFileAU: " << shown;
  WriteLog(std::string("TestMode=") + BoolText(testMode));
  WriteLog("Download START: " + shown);
  if (name.empty() || kind < kInfoDownload || kind > kInformDownload) {
    errorText = "Refused file name: " + file;
    WriteLog("ERROR: " + errorText);
    return false;
  }
  const std::string target = AgentFolder() + name;
  // Web downloads already arrive under a partial name; a copy or an info
  // file is checked under this one before it replaces the target.
  const std::string temporary = kind == kInfoDownload || testMode || IsFolderLocation(from) ? target + ".new" : target;
  const bool show = kind == kUpdateDownload && records.RequestConfirmationBeforeDownload() &&
                    ProcessAgentState().probe.manualCheckState != 1;
  const bool visible = show || ProcessAgentState().probe.manualCheckState == 1;
  view.SetText(records.AutoUpdateText(kDownloadTexts[kind - 1]), records.FontName(), records.CharSet(),
               records.FontSize());
  if (visible) view.Show(true);
  std::string source;
  errorText = Fetch(view, from, name, target, temporary, testMode, show, source);
  if (visible) view.Show(false);
  WriteLog("Download END:   " + source);

  if (errorText.empty()) errorText = PutInPlace(kind, temporary, target, source);
  if (temporary != target) DeleteFileA(temporary.c_str());
  if (!errorText.empty()) {
    WriteLog("ERROR: " + errorText);
    // The info file's failure is the decision's to report.
    if (kind != kInfoDownload) {
      DeleteAgentDownload(target);
      ReportDownloadFailure(records, source);
    }
    return false;
  }
  if (kind == kInfoDownload) return true;
  errorText = CheckToken(program, records, target, source, kind);
  return errorText.empty();
}

void AgentBox(const SetupRecords& records, int kind, BoxOwner owner, const std::string& text) {
  if (kind == kBoxError) {
    ShowErrorBox(owner, text, records.ErrorCaption(), records.CharSet(), records.BtnText());
  } else {
    ShowAttentionBox(owner, text, records.AttentionCaption(), records.CharSet(), records.BtnText());
  }
}

bool AgentQuestion(const SetupRecords& records, BoxOwner owner, const std::string& text) {
  return AskYesNo(owner, text, records.ConfirmCaption(), records.CharSet(), records.BtnText());
}

void CycleMarker(const char* cycle, int step) {
  DebugTrace() << " ==== " << cycle << "-" << step << " ====";
}

bool DownloadAnnounced(const TGFileInfo& program, AgentView& view, const std::string& base, const std::string& name,
                       int kind) {
  ProcessAgentState().activity = 2;
  view.NotifyHost(41, 1);
  std::string error;
  const bool fetched = DownloadFileAU(program, view, base, name, kind, error);
  view.NotifyHost(41, 2);
  return fetched;
}

// The publisher's test folder may be the agent's own: its file is the
// download, and it stays when the agent cleans up.
void DeleteAgentDownload(const std::string& path) {
  if (!SamePath(path, TestSource(ExtractFileName(path)))) DeleteFileA(path.c_str());
}

namespace {

const char kCycle[] = "PerformAutoUpdate";

bool ProductRunning(const std::string& path) { return !path.empty() && ProcessIdOfPath(path) != 0; }

// Waits, pumping, for the product to end; true when it has.
bool WaitProductEnd(const std::string& path) {
  const DWORD start = GetTickCount();
  while (ProductRunning(path)) {
    if (GetTickCount() - start > kProductCloseMs) return false;
    WaitPumping(0, 200);
  }
  return true;
}

void PostToProduct(const std::string& path, UINT message) {
  const HWND window = MainWindowOfProcess(ProcessIdOfPath(path));
  if (window) PostMessageA(window, message, 15, 255);
}

// The question before the download or the install, unless the user asked
// for this check; a forced one only informs. False when the user said No.
bool Confirmed(const SetupRecords& records, bool ask, bool force, const std::string& text, DWORD pauseMs) {
  if (!ask || ProcessAgentState().probe.manualCheckState == 1) return true;
  bool go = true;
  if (force) {
    AgentBox(records, kBoxAttention, kOwnerNoClose, text);
  } else {
    go = AgentQuestion(records, kOwnerHeading, text);
  }
  WaitPumping(0, pauseMs);
  return go;
}

// Asks the user to close the product until it has gone; false on Cancel.
bool AskUserToClose(const SetupRecords& records, const std::string& path) {
  const std::string text = ShutDownText(records, path);
  DebugTrace() << " s1=" << text << "<";
  while (ProductRunning(path)) {
    if (!AskOkCancel(kOwnerHeading, text, records.AttentionCaption(), records.CharSet(), records.BtnText()))
      return false;
    WaitProductEnd(path);
  }
  return true;
}

// Shuts the product's program down by the info file's method; false when
// the setup must not run over it (still running, or the user cancelled).
bool ShutDownProduct(const SetupRecords& records, const std::string& path) {
  const std::string method = records.ShutDownMethod();
  WriteLog("Shut Down Process() - START  (" + path + ")  Method: " + method);
  bool closed = true;
  if (method == "Issue a Message Box") closed = AskUserToClose(records, path);
  CycleMarker(kCycle, 8);
  if (method == "Using WM_CLOSE") PostToProduct(path, WM_CLOSE);
  if (method == "Using WM_QUIT") PostToProduct(path, WM_QUIT);
  if (method == "Using Terminate Process") TerminateProcessId(ProcessIdOfPath(path));
  if (closed && method != "Don't Shut Down") closed = WaitProductEnd(path);
  CycleMarker(kCycle, 9);
  WriteLog("Shut Down Process() - END");
  if (!closed) {
    const std::string text = "The update was not installed: " + ExtractFileName(path) + " is still running.";
    WriteLog("ATTENTION: " + text);
    if (UserInvolved(records)) AgentBox(records, kBoxAttention, kOwnerHeading, text);
  }
  return closed;
}

// The product's program when the info file names one inside the product's
// folders; a program elsewhere is neither shut down nor started.
std::string ProductPath(const SetupRecords& records) {
  const std::string folders[3] = {records.TargetDir(), records.SharedDir(), records.AuxiliaryDir()};
  SetInstallDirs(folders[0], folders[1], folders[2]);
  const std::string running = records.RunningProcess();
  if (running.empty()) return "";
  // Every stage: the program is usually named by a folder macro
  // ("<InstallDir>\prog.exe").
  ExpandOptions options;
  options.resolveRelative = true;
  options.customPass = true;
  options.folderStage = true;
  const std::string path =
      ProductProgramPath(ExpandMacros(running, options), folders, SystemMacroValues().LeadBytes());
  if (path.empty()) WriteLog("ERROR: the program to shut down lies outside the product's folders: " + running);
  return path;
}

bool RunUpdateSetup(const TGFileInfo& program, const SetupRecords& records, AgentView& view,
                    const std::string& updatePath) {
  ProcessAgentState().activity = 3;
  view.NotifyHost(42, 1);
  CycleMarker(kCycle, 10);
  unsigned long code;
  {
    // Removed once ExtractAndLaunch is back, that is after the engine's wait.
    const WorkFolder work = ClaimWorkingFolder();
    LaunchRequest request;
    request.workingFolder = work.path();
    request.packageFile = updatePath;
    request.agentFileName = program.AgentExeName();
    request.commandTail = "/OriginalInfoFile=\"" + records.InfoFilePath() + "\"";
    request.foreground = !records.BackgroundUpdate();
    code = ExtractAndLaunch(request, program, view);
  }
  CycleMarker(kCycle, 11);
  view.NotifyHost(42, 2);
  WriteLog("Setup exit code: " + std::to_string(code));
  return code == kExitSuccess;
}

// After the setup: the finish message, and the product started again when
// it was shut down for the update (after a success only when the user
// agrees, if asked).
void FinishUpdate(const SetupRecords& records, const std::string& path, bool restart, bool result) {
  bool answer = true;
  if (result && (records.InformFinish() || ProcessAgentState().probe.manualCheckState == 1)) {
    const std::string text = FinishText(records);
    if (restart) {
      answer = AgentQuestion(records, kOwnerActive, text + records.AutoUpdateText("s17"));
    } else {
      AgentBox(records, kBoxAttention, kOwnerActive, text);
    }
  }
  CycleMarker(kCycle, 12);
  DebugTrace() << " " << BoolText(restart) << " " << BoolText(answer) << " >" << path << "<";
  if (restart && answer) {
    ChildOptions options;
    options.showState = SW_SHOWNORMAL;
    options.workingFolder = ExtractFileDir(path);
    if (!ChildProcess::Start("\"" + path + "\"", options).started()) WriteLog("ERROR: cannot start " + path);
  }
}

bool InstallUpdate(const TGFileInfo& program, const SetupRecords& records, AgentView& view, const std::string& name) {
  CycleMarker(kCycle, 7);
  const std::string path = ProductPath(records);
  const bool wasRunning = ProductRunning(path);
  WriteLog("RunningProcessPath=" + path + "  Running=" + BoolText(wasRunning));
  const std::string updatePath = AgentFolder() + name;
  if (wasRunning && !ShutDownProduct(records, path)) {
    DeleteAgentDownload(updatePath);
    return false;
  }
  const bool restart = records.RestartProcess() && wasRunning && !ProductRunning(path);
  const bool result = RunUpdateSetup(program, records, view, updatePath);
  if (result) RecordsOf(program).SetVersionOriginal(records.VersionNew());
  DeleteAgentDownload(updatePath);
  FinishUpdate(records, path, restart, result);
  return result;
}

bool OfferAndInstall(const TGFileInfo& program, AgentView& view) {
  const SetupRecords records = RecordsOf(program);
  if (records.DownloadUrlUpdate().empty() || records.NameOfUpdateFile().empty()) return false;
  const std::string name = SafeDownloadName(records.NameOfUpdateFile(), OwnFilesOf(program));
  if (name.empty()) {
    WriteLog("ERROR: refused update file name: " + records.NameOfUpdateFile());
    return false;
  }
  CycleMarker(kCycle, 5);
  if (!Confirmed(records, records.RequestConfirmationBeforeDownload(), records.RequestConfirmationBeforeDownloadForce(),
                 OfferText(records), 500))
    return false;
  CycleMarker(kCycle, 6);
  return DownloadAnnounced(program, view, records.DownloadUrlUpdate(), name, kUpdateDownload) &&
         Confirmed(records, records.RequestConfirmationBeforeInstall(), records.RequestConfirmationBeforeInstallForce(),
                   InstallText(records), 100) &&
         InstallUpdate(program, records, view, name);
}

}  // namespace

bool PerformAutoUpdate(const TGFileInfo& program, AgentView& view) {
  WriteLog("PerformAutoUpdate() - START");
  CycleMarker(kCycle, 4);
  const bool result = OfferAndInstall(program, view);
  CycleMarker(kCycle, 13);
  WriteLog(std::string("PerformAutoUpdate() - END    Result=") + BoolText(result));
  return result;
}
