#include "autoupdate/Agent.h"

#include "autoupdate/AgentRecords.h"
#include "autoupdate/AgentView.h"
#include "autoupdate/SetupRecords.h"
#include "autoupdate/SecretToken.h"
#include "autoupdate/UpdateCycle.h"
#include "autoupdate/UpdateCycleParts.h"
#include "common/ChildProcess.h"
#include "common/DateText.h"
#include "common/Files.h"
#include "common/ProcessTools.h"
#include "common/RunLog.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/VDebug.h"
#include "common/WinHandles.h"
#include "inet/HttpClient.h"
#include "package/TGFileInfo.h"
#include "ui/VMsgBox.h"

namespace {

// How long the plain agent waits for the copy's window before it gives up
// handing on its switches. Starting a program can take seconds on a busy
// machine; the switches must not be lost then.
constexpr DWORD kCopyWindowWaitMs = 20000;
// How long a restart waits for the old copy to end and its self-deletion
// to remove the old file (the deleting batch tries for about a minute).
constexpr DWORD kOldCopyGoneWaitMs = 30000;
// How long a plain agent waits while another one starts the copy.
constexpr DWORD kStartLockWaitMs = 60000;
constexpr DWORD kPollMs = 100;

std::string AgentCopyPath() { return AgentFolder() + "X_" + ExtractFileName(ProgramPath()); }

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// Locks are named after the copy's path: agents of other products, or of the
// same product in another folder, never wait for each other.
std::string AgentLockName(const char* purpose, const std::string& copyPath) {
  uint32_t hash = 2166136261u;
  for (char c : UpperText(copyPath)) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  char name[64];
  wsprintfA(name, "VarnixAgent.%s.%08lX.%u", purpose, static_cast<unsigned long>(hash),
            static_cast<unsigned>(copyPath.size()));
  return name;
}

// A named mutex, owned from a successful wait until destruction. A mutex
// its last owner left without releasing (the owner ended) is owned as well.
class NamedLock {
 public:
  NamedLock(const std::string& name, DWORD waitMs) : mutex_(CreateMutexA(nullptr, FALSE, name.c_str())) {
    if (!mutex_) return;
    const DWORD waited = WaitForSingleObject(mutex_.get(), waitMs);
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  ~NamedLock() {
    if (held_) ReleaseMutex(mutex_.get());
  }
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;
  bool held() const { return held_; }

 private:
  UniqueKernelHandle mutex_;
  bool held_ = false;
};

// The main window of the copy running from `copyPath`. Other products'
// agents may carry the same name (and so the same window class): a window
// whose program is known to lie elsewhere is passed over. A window whose
// program cannot be read counts when no other matches.
HWND FindAgentCopyWindow(const std::string& className, const std::string& copyPath,
                         DWORD processId = 0) {
  HWND unsure = nullptr;
  for (HWND window = FindWindowExA(nullptr, nullptr, className.c_str(), nullptr); window;
       window = FindWindowExA(nullptr, window, className.c_str(), nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (processId != 0 && owner != processId) continue;
    const std::string program = ImagePathOf(owner);
    if (program.empty()) {
      if (!unsure) unsure = window;
    } else if (UpperText(program) == UpperText(copyPath)) {
      return window;
    }
  }
  return unsure;
}

// Polls, processing messages, until the copy's window exists or `limitMs`
// have passed. `processId` (when not 0) names the copy just started.
HWND WaitForAgentCopyWindow(const std::string& className, const std::string& copyPath, DWORD processId,
                            DWORD limitMs) {
  const int64_t start = MillisecondClock();
  for (;;) {
    if (HWND window = FindAgentCopyWindow(className, copyPath, processId)) return window;
    if (MillisecondClock() - start >= limitMs) return nullptr;
    WaitPumping(kPollMs, kPollMs);
  }
}

// Before a restart replaces the copy: the old copy must have ended (its
// claim is free) and its self-deletion removed the old file, else the
// deleting batch would remove the new copy's file. An old copy that is not
// ending by itself is asked to. Bounded: a batch that could not run leaves
// the file for good.
void WaitForOldCopyToGo(const std::string& className, const std::string& copyPath) {
  const int64_t start = MillisecondClock();
  if (HWND old = FindAgentCopyWindow(className, copyPath)) {
    WriteLog("The old X_ copy is asked to end");
    PostMessageA(old, wm_ShutDown, 0, 0);
  }
  NamedLock claim(AgentLockName("copy", copyPath), kOldCopyGoneWaitMs);
  if (!claim.held()) WriteLog("The old X_ copy did not end within 30 s");
  while (FileExists(copyPath) && MillisecondClock() - start < kOldCopyGoneWaitMs) WaitPumping(kPollMs, kPollMs);
  if (FileExists(copyPath)) WriteLog("The old X_ file is still there: it is replaced");
}

// Override strings are digits and "|" only: anything else would add
// switches of its own to the copy's command line.
bool IsOverrideText(const std::string& text) {
  return text.find_first_not_of("0123456789|") == std::string::npos;
}

std::string AgentCopyArguments() {
  std::string arguments;
  const std::string transient = GetSwitchValue("/TRANSIENT=", "");
  if (!transient.empty()) {
    if (IsOverrideText(transient)) {
      arguments += " /TRANSIENTx=" + transient;
    } else {
      WriteLog("/TRANSIENT= refused: not an override string");
    }
  }
  const int32_t delay = ClampedSwitchValue(GetSwitchInt("/DELAY=", -1), kMaxSwitchTicks);
  if (delay >= 0) arguments += " /SleepX=" + std::to_string(delay);
  return arguments;
}

// Copies this program to its X_ name and starts the copy hidden; waits for
// its window. The caller holds the start lock.
void StartAgentCopy(const std::string& className, const std::string& copyPath) {
  if (!CopyFileA(ProgramPath().c_str(), copyPath.c_str(), FALSE)) {
    WriteLog("Create X_ File failed (error " + std::to_string(GetLastError()) + ")");
    return;
  }
  WriteLog("Create X_ File ");
  const std::string command = Quoted(copyPath) + AgentCopyArguments();
  WriteLog("WinExec: " + command);
  ChildOptions options;
  options.showState = SW_HIDE;
  const ChildProcess copy = ChildProcess::Start(command, options);
  if (!copy.started()) {
    WriteLog("The X_ copy could not be started (error " + std::to_string(copy.startError()) + ")");
    return;
  }
  const int64_t start = MillisecondClock();
  if (WaitForAgentCopyWindow(className, copyPath, copy.id(), kCopyWindowWaitMs)) {
    WriteLog("X_ window after " + std::to_string(MillisecondClock() - start) + " ms");
  } else {
    WriteLog("The X_ copy's window did not appear within 20 s");
  }
}

bool PostToCopy(HWND copy, UINT message, WPARAM wParam, LPARAM lParam) {
  return copy && PostMessageA(copy, message, wParam, lParam);
}

void PostHostSwitch(HWND copy, const std::string& value, bool& posted) {
  const HostSwitch host = ParseHostSwitch(value);
  if (!IsWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(host.window))) ||
      !IsHostMessageNumber(host.message)) {
    WriteLog("/WM_MSG= refused: no such window or a message number below WM_USER");
    return;
  }
  posted |= PostToCopy(copy, wm_LocalMsg, host.window, static_cast<LPARAM>(host.message));
}

// Whether any switch is to be handed to the copy.
bool HasCopySwitches() {
  return GetSwitchInt("/STOP=", -1) >= 0 || !GetSwitchValue("/WM_MSG=", "").empty() ||
         GetSwitchInt("/TEST=", -1) >= 0;
}

void WriteTrace(const char* text) { DebugTrace() << text; }

// The records and settings a tick reads, made anew each time: other
// processes write the files between ticks.
SetupRecords Records(const TGFileInfo& program) { return RecordsOf(program); }

// The question before a probe. Its texts have no built-in default: a
// product that sets none is not asked an empty question.
bool ConfirmProbe(const TGFileInfo& program, const SetupRecords& records) {
  const bool testMode = ProcessTestMode().On();
  const std::string base = testMode ? ProcessTestMode().Url() : program.ServerUrl();
  std::string text = records.AutoUpdateText("s22");
  if (base.size() >= 2 && base[1] != ':') text += records.AutoUpdateText("s23");
  text += records.AutoUpdateText("s24");
  if (text.empty()) return true;
  if (testMode) text += "<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!";
  text = ReplaceText(text, "PROG_NAME", records.ProgramName(), false);
  return AgentQuestion(records, kOwnerActive, text);
}

// After a check the user asked for found nothing to offer: why.
void TellWhyNothingHappened(const SetupRecords& records, bool testMode, const std::string& infoError,
                            int stage, const std::string& reason) {
  std::string connectionText;
  const bool connected = InternetConnected(connectionText);
  DebugTrace() << " TestMode=" << BoolText(testMode) << " InternetConnected=" << BoolText(connected);
  // The system's "connected" report is only a hint (it says off line behind
  // some proxies): the info file's own failure tells whether the server
  // could be reached.
  if (!testMode && IsConnectionError(infoError)) {
    std::string text = records.AutoUpdateText("s2");
    text += "<P><P>" + infoError;
    AgentBox(records, kBoxError, kOwnerHeading, text);
  } else if (!testMode && !infoError.empty()) {
    AgentBox(records, kBoxError, kOwnerHeading, infoError);
  } else {
    std::string text = records.AutoUpdateText("s21");
    if (IsDeveloperMachine()) text += "<P><P>(" + std::to_string(stage) + " - " + reason + ")   ";
    // "Nothing to install" has no built-in text either.
    if (!text.empty()) {
      AgentBox(records, kBoxAttention, kOwnerActive, text);
    }
  }
}

bool FetchInfoFile(const TGFileInfo& program, AgentView& view, std::string& errorText) {
  view.NotifyHost(40, 1);
  const bool fetched =
      DownloadFileAU(program, view, program.ServerUrl(), Records(program).InfoFilePath(), kInfoDownload, errorText);
  view.NotifyHost(40, 2);
  return fetched;
}

void RunTick(const TGFileInfo& program, AgentView& view, AgentState& state) {
  SetupRecords records = Records(program);
  SetMsgBoxFont(records.FontName(), records.FontSize(), records.CharSet());
  state.activity = 0;
  const TickStart tick = AdvanceTick(state);
  if (tick.quit) {
    WriteLog("QuitCountdown has run out");
    PostQuitMessage(0);
  }
  DebugTrace() << " AutoUpdateTimerCount=" << state.timerCount;
  if (tick.probeLogic) {
    const bool testMode = TestMode(false);
    int status = IsProbeDue(records, testMode, SecondsClock(), state.probe);
    DebugTrace() << " ShotTimeStatus=" << status;
    if (status == kProbeOnce) state.probe.probeEnabled = false;
    if (status != kNoProbe && (state.probe.manualCheckState == 1 || AskBeforeProbe(ProcessOverrides())) &&
        !ConfirmProbe(program, records)) {
      status = kNoProbe;
    }
    if (status != kNoProbe) PerformShot(program, view);
  }
  if (state.probe.manualCheckState == 1) state.probe.manualCheckState = 0;
}

}  // namespace

void CreateAndRun_X_Exe(const TGFileInfo& program) {
  WriteLog("CreateAndRun_X_Exe() --- Start");
  const std::string restartValue = GetSwitchValue("/_ZZ=", "");
  DebugTrace() << " CreateAndRun_X_Exe-1 " << restartValue;
  const std::string className = AgentCopyClassName(program.AgentExeName());
  const std::string copyPath = AgentCopyPath();
  if (program.IsUpdateAgent() && SameTrimmedText(ExtractFileName(ProgramPath()), program.AgentExeName())) {
    // Held from the look for a running copy until the new copy's window
    // exists: two plain agents started together give one copy.
    NamedLock start(AgentLockName("start", copyPath), kStartLockWaitMs);
    const bool restart = restartValue == "99";
    if (!start.held()) {
      WriteLog("Another agent's start of the X_ copy did not end within 60 s");
    } else if (restart || !FindWindowA(className.c_str(), nullptr)) {
      WriteTrace(" CreateAndRun_X_Exe-2");
      const int32_t wait = ClampedSwitchValue(GetSwitchInt("/WAIT=", 0), kMaxWaitSeconds);
      WriteLog("Wait " + std::to_string(wait < 0 ? 0 : wait) + " SEC");
      if (wait > 0) WaitPumping(100, static_cast<DWORD>(wait) * 1000);
      if (restart) WaitForOldCopyToGo(className, copyPath);
      StartAgentCopy(className, copyPath);
    }
  }
  WriteLog("CreateAndRun_X_Exe() --- End");
}

bool HandleParamOK(const TGFileInfo& program, bool agentCopyWasRunning) {
  WriteLog("HandleParamOK() --- Start");
  const std::string target = AgentCopyPath();
  bool posted = false;
  if (HasCopySwitches() && FileExists(target)) {
    const HWND copy = WaitForAgentCopyWindow(AgentCopyClassName(program.AgentExeName()), target, 0,
                                             kCopyWindowWaitMs);
    if (!copy) WriteLog("No X_ window found: the switches are not delivered");
    const int32_t stop = ClampedSwitchValue(GetSwitchInt("/STOP=", -1), kMaxSwitchTicks);
    if (stop >= 0) {
      WriteLog("PostProcessMessage(wm_ShutDown) to: " + target);
      posted |= PostToCopy(copy, wm_ShutDown, static_cast<WPARAM>(stop), 0);
    }
    const std::string host = GetSwitchValue("/WM_MSG=", "");
    if (!host.empty()) {
      WriteLog("PostProcessMessage(wm_LocalMsg) to: " + target + " - :" + host + ":");
      PostHostSwitch(copy, host, posted);
    }
    const int32_t test = ClampedSwitchValue(GetSwitchInt("/TEST=", -1), INT32_MAX);
    if (test >= 0) {
      WriteLog("PostProcessMessage(wm_AgentMsg) to: " + target + " - AU_PerformUpdateCycle (" +
               std::to_string(test) + ")");
      posted |= PostToCopy(copy, wm_AgentMsg, kProbeNowCode, test);
      // A copy started only for this check ends after it.
      if (!agentCopyWasRunning && test > 0) posted |= PostToCopy(copy, wm_ShutDown, 2, 0);
    }
  }
  const std::string transient = GetSwitchValue("/TRANSIENTx=", "");
  if (!transient.empty()) ParseOverrideString(transient, ProcessOverrides());
  WriteLog("HandleParamOK() --- End");
  return posted;
}

bool ClaimAgentCopy() {
  // Overrides handed on by the plain agent count in the copy from its start.
  const std::string transient = GetSwitchValue("/TRANSIENTx=", "");
  if (!transient.empty()) ParseOverrideString(transient, ProcessOverrides());
  static NamedLock claim(AgentLockName("copy", ProgramPath()), 0);
  return claim.held();
}

bool TestMode(bool force) {
  TestModeState& state = ProcessTestMode();
  const bool on = state.Check(force);
  // Forced checks come at start-up and before a probe: worth a line; the
  // agent's per-tick checks are not.
  if (force)
    DebugTrace() << " TestMode(" << BoolText(force) << ")=" << BoolText(on)
                 << " TestModeURL=" << state.Url();
  return on;
}

void OnAgentTimer(const TGFileInfo& program, AgentView& view) {
  AgentState& state = ProcessAgentState();
  // Probes pump messages while they wait: the ticks that arrive meanwhile
  // are dropped, not nested.
  if (state.busy) return;
  // Without its settings (a damaged package) there is nothing to probe:
  // the program ends instead of staying up unseen.
  if (program.AgentExeName().empty()) {
    WriteTrace(" OnAgentTimer: the package names no agent; the program ends");
    PostQuitMessage(0);
    return;
  }
  state.busy = true;
  if (state.justDownloadInfoFile) {
    WriteTrace("-------------- JustDownloadInfoFile ---------------");
    state.justDownloadInfoFile = false;
    DownloadInfoFileOnly(program, view);
  } else {
    RunTick(program, view, state);
  }
  state.activity = 0;
  state.busy = false;
}

void PerformShot(const TGFileInfo& program, AgentView& view) {
  AgentState& state = ProcessAgentState();
  DebugTrace() << " Fire  " << FormatDayMonYearTime(" ", kNow);
  const bool testMode = TestMode(true);
  state.activity = 1;
  std::string infoError;
  const bool fetched = FetchInfoFile(program, view, infoError);
  const int64_t now = SecondsClock();
  SetupRecords records = Records(program);
  records.SetProbeSecondsLast(now);

  bool went = false;
  SystemSizes sizes;
  AgentLogSinks log;
  const DecisionContext context{records, testMode, ProcessTestMode().Url(), now,
                                state.probe.manualCheckState, sizes, log};
  int stage = 0;
  std::string reason;
  if (GetOkToPerformAU(context, fetched, stage, reason)) {
    WriteTrace(" ==== PerformShot-1 ====");
    went = true;
    records.SetReAskSecondsLast(now);
    records.SetStamp(records.StampNew());
    if (records.AutoInform()) {
      PerformAutoInform(program, view);
    } else if (PerformAutoUpdate(program, view)) {
      ReStartAutoUpdateExe(program, view);
    }
    WriteTrace(" ==== PerformShot-2 ====");
  }
  if (state.probe.manualCheckState == 1) {
    WaitPumping(100, 1000);
    view.Show(false);
    if (!went) TellWhyNothingHappened(records, testMode, infoError, stage, reason);
  }
}

void DownloadInfoFileOnly(const TGFileInfo& program, AgentView& view) {
  std::string errorText;
  FetchInfoFile(program, view, errorText);
}

void ReStartAutoUpdateExe(const TGFileInfo& program, AgentView& view) {
  WriteLog(".. ReStartAutoUpdateExe() - Start");
  // A copy counting down to its end (one started for a single check) just ends.
  if (ProcessAgentState().quitCountdown <= 0) {
    const std::string command = Quoted(AgentFolder() + program.AgentExeName()) + " /_ZZ=99 /WAIT=10 /TRANSIENT=" +
                                OverrideString(ProcessOverrides());
    WriteLog(".. WinExec - " + command);
    ChildOptions options;
    options.showState = SW_HIDE;
    if (!ChildProcess::Start(command, options).started()) WriteLog(".. The agent could not be started");
    WaitPumping(100, 1000);
    WriteLog(".. PostMessage(WM_DESTROY)");
    if (view.Window()) PostMessageA(view.Window(), WM_DESTROY, 0, 0);
  }
  WriteLog(".. ReStartAutoUpdateExe() - End");
}

LRESULT AgentMessage(const TGFileInfo& program, WPARAM code, LPARAM value) {
  SetupRecords records = Records(program);
  return AnswerAgentMessage(ProcessAgentState(), records, ProcessOverrides(), static_cast<uint32_t>(code),
                            static_cast<int32_t>(value));
}

void SetQuitCountdown(int ticks) { ProcessAgentState().quitCountdown = ticks; }

void SetAgentTimerCount(int count) { ProcessAgentState().timerCount = count; }

AgentState& ProcessAgentState() {
  static AgentState state;
  return state;
}
