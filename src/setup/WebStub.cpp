#include "setup/WebStub.h"

#include <windows.h>

#include "common/Files.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/VDebug.h"
#include "inet/Download.h"
#include "inet/DownloadRules.h"
#include "inet/HtmlErrorPage.h"
#include "inet/HttpClient.h"
#include "inet/ProgBar.h"
#include "package/AgentProgram.h"
#include "package/ByteSource.h"
#include "package/EntryHeader.h"
#include "package/Language.h"
#include "package/TGFileInfo.h"
#include "setup/ExitCodes.h"
#include "setup/ExtractAndLaunch.h"
#include "setup/SetupView.h"
#include "setup/TempDrive.h"
#include "setup/WebStubRules.h"

namespace {

constexpr char kBadToken[] = "Bad Secret Token!";
constexpr char kAborted[] = "Download Aborted";

// The setup file's name comes from the package: it becomes a file name
// beside the program and in the download folder, so it must be a plain one.
bool IsPlainFileName(const std::string& name) {
  return IsSafeEntryName(name) && name.find_first_of("/\\") == std::string::npos;
}

// One web-stub run: its package, its view and what it has found so far.
class WebRun {
 public:
  WebRun(const TGFileInfo& program, const std::string& workingFolder, SetupView& view)
      : program_(program), workingFolder_(workingFolder), view_(view),
        hidden_(HasSwitch("/hide") || program.SilentRun()), fileName_(program.WebFileName()),
        url_(JoinUrl(program.WebFolder(), fileName_)) {}
  unsigned long Run();

 private:
  std::string Text(const char* key, const char* fallback) const { return program_.LangText(key, fallback); }
  std::string LocalCopy() const;
  bool Confirmed() const;
  std::string ConnectionError(const std::string& downloadError) const;
  std::string Download();
  std::string FetchSetupFile();
  std::string CheckToken() const;
  void Report(const std::string& error) const;

  const TGFileInfo& program_;
  const std::string& workingFolder_;
  SetupView& view_;
  const bool hidden_;
  const std::string fileName_;
  const std::string url_;
  WorkFolder downloads_;  // the download and its folder go with the run
  std::string target_;
  bool declined_ = false;
};

// A copy of the setup file beside the program takes the download's place,
// unless the package asks always to download.
std::string WebRun::LocalCopy() const {
  if (program_.AlwaysDownload()) return "";
  const std::string path = ExtractFileDir(ProgramPath()) + "\\" + fileName_;
  return FileExists(path) ? path : "";
}

bool WebRun::Confirmed() const {
  if (!program_.AskBeforeDownload() || hidden_) return true;
  return AskYesNo(kOwnerHeading, DownloadQuestion(Text("s11", LangDefault::s11), program_.WebFileSize()),
                  Text("Confirm", LangDefault::Confirm), program_.Charset(),
                  Text("BtnText", LangDefault::BtnText));
}

// The system's own report is often wrong (it says offline behind some
// proxies and VPNs, and under Wine on machines without the interfaces it
// looks for), so it only explains a download that could not even connect.
std::string WebRun::ConnectionError(const std::string& downloadError) const {
  std::string reason;
  if (InternetConnected(reason)) reason.clear();
  if (!reason.empty()) reason += "<P>";
  return Text("s12", LangDefault::s12) + "<P><P>" + reason + downloadError;
}

std::string WebRun::Download() {
  // A folder of this run's own: two web stubs of one product cannot delete
  // or swap each other's download, and it is not the folder the package is
  // unpacked into (an entry of the same name would append to it).
  downloads_ = WorkFolder(ClaimFolder(workingFolder_ + "_DL"));
  if (downloads_.path().empty() || !FolderExists(downloads_.path())) {
    return "Unable to create a folder for the download beside " + workingFolder_;
  }
  target_ = downloads_.path() + "\\" + fileName_;
  TProgBar progress(view_);
  std::string content;
  std::string error;
  HTTP_DownloadFile(url_, target_, content, &progress, error, WebFileBytes(program_.WebFileSize()));
  return error;
}

// Steps of the download: the question, the connection, the transfer; the
// error text, "" when the file is there, and declined_ when the user said No.
std::string WebRun::FetchSetupFile() {
  view_.SetText(Text("s10", LangDefault::s10), program_.FontName(), program_.Charset(), program_.FontSize());
  if (!hidden_) view_.Show(true);
  declined_ = !Confirmed();
  SetDownloadAbort(false);
  std::string error;
  if (!declined_) {
    error = Download();
    if (IsConnectionError(error)) error = ConnectionError(error);
  }
  WaitPumping(0, 300);
  view_.Reset(10);
  WaitPumping(0, 700);
  return error;
}

std::string WebRun::CheckToken() const {
  const TGFileInfo setupFile(target_);
  if (program_.SameWebToken(setupFile)) return "";
  return HtmlErrorMessage(target_, "", url_, kBadToken, false);
}

void WebRun::Report(const std::string& error) const {
  DebugTrace() << " WebStubDownload: " << ReplaceText(error, "<P>", " ", true);
  if (hidden_) return;  // nobody would click the box
  ShowErrorBox(kOwnerHeading, error, Text("Error", LangDefault::Error), program_.Charset(),
               Text("BtnText", LangDefault::BtnText));
}

unsigned long WebRun::Run() {
  if (!IsPlainFileName(fileName_)) {
    Report("The setup file's name \"" + fileName_ + "\" is not a plain file name.");
    return kExitSetupFailed;
  }
  target_ = LocalCopy();
  std::string error;
  if (target_.empty()) error = FetchSetupFile();
  if (error.empty() && !declined_) error = CheckToken();
  if (!error.empty()) Report(error);
  if (declined_ || error == kAborted) return kExitUserDeclined;
  if (!error.empty()) return kExitSetupFailed;
  LaunchRequest request;
  request.workingFolder = workingFolder_;
  request.packageFile = target_;
  request.commandTail = GetCmdLineParams();
  request.foreground = !hidden_;
  return ExtractAndLaunch(request, program_, view_);
}

}  // namespace

unsigned long WebStubDownload(const TGFileInfo& program, const std::string& workingFolder, SetupView& view) {
  return WebRun(program, workingFolder, view).Run();
}

bool WriteWebStubAgent(const TGFileInfo& program, const std::string& workingFolder) {
  const std::string programPath = ProgramPath();
  std::unique_ptr<ByteSource> source = OpenFileSource(programPath);
  const std::string agent = source ? AgentProgramOf(*source) : "";
  const std::string name = ExtractFileName(program.AgentExeName());
  if (agent.empty() || !IsPlainFileName(name)) return false;
  const std::string path = workingFolder + "\\" + name;
  if (!WriteTextToFile(path, agent, 0, false)) return false;
  CopyFileTime(programPath, path);
  DebugTrace() << " New AU-Agent: " << path;
  return true;
}
