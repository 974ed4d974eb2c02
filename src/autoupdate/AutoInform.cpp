// The inform page the product's server can publish instead of an update:
// fetched like the update (its token checked), shown once in the inform
// dialog, and recorded so that the same version is not shown again.
#include "autoupdate/Agent.h"
#include "autoupdate/AgentRecords.h"
#include "autoupdate/AgentView.h"
#include "autoupdate/SecretToken.h"
#include "autoupdate/UpdateCycle.h"
#include "autoupdate/UpdateCycleParts.h"
#include "common/Files.h"
#include "common/RunLog.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "package/PackageReader.h"
#include "ui/InformDialog.h"

namespace {

const char kInform[] = "PerformAutoInform";

// The page body of the inform file (unscrambled, behind its token fields).
std::string InformBody(const std::string& path) {
  const int64_t size = GetFileSize64(path);
  if (size <= 0 || size > static_cast<int64_t>(kInformFileMaxBytes)) return "";
  std::string token, body;
  SplitTokenText(ReadFilePart(path, 0, false, 0), token, body);
  return body;
}

bool FetchAndShow(const TGFileInfo& program, AgentView& view) {
  const SetupRecords records = RecordsOf(program);
  const std::string name = SafeDownloadName(records.NameOfInformFile(), OwnFilesOf(program));
  if (records.DownloadUrlUpdate().empty() || records.NameOfInformFile().empty()) return false;
  CycleMarker(kInform, 2);
  if (!DownloadAnnounced(program, view, records.DownloadUrlUpdate(), name, kInformDownload)) return false;
  CycleMarker(kInform, 3);
  const bool shown = ShowInform(view.Window(), records.AutoUpdateText("s34"), records.AutoUpdateText("s35"),
                                InformBody(AgentFolder() + name), TrimText(records.DownloadUrlInform()),
                                records.AutoInformWidth(), records.AutoInformHeight(), false, records.FontName(),
                                records.FontSize(), records.CharSet());
  // Recorded only once the page was seen: a page that could not be shown
  // is offered again.
  if (shown) RecordsOf(program).SetVersionOriginal(records.VersionNew());
  CycleMarker(kInform, 4);
  return shown;
}

}  // namespace

bool PerformAutoInform(const TGFileInfo& program, AgentView& view) {
  WriteLog("PerformAutoInform() - START ");
  CycleMarker(kInform, 1);
  const bool shown = FetchAndShow(program, view);
  WriteLog(std::string("PerformAutoInform() - END ") + BoolText(shown));
  return shown;
}
