#include "autoupdate/SetupRecords.h"

#include "common/DateText.h"
#include "common/TextRules.h"
#include "common/VSUB.h"

const char kDefaultButtonTexts[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

namespace {

const char kOriginalSetup[] = "OriginalSetup";
const char kNewSetup[] = "NewSetup";
const char kAutoInformSection[] = "AutoInform";
const char kMsgBox[] = "MsgBox";

// The info file's yes/no keys in override order (items 1 to 7).
const char* const kOverrideKeys[kOverrideCount] = {
    nullptr,
    "RequestConfirmationBeforeDownload",
    "RequestConfirmationBeforeInstall",
    "BackgroundUpdate",
    "InformFinish",
    "RestartProcess",
    "RequestConfirmationBeforeDownloadForce",
    "RequestConfirmationBeforeInstallForce",
};

// Delimited list of "key=text" for the [AutoUpdate] texts that have one.
const char kAutoUpdateDefaults[] =
    "|s3=File Download Aborted!|s4=File not Found!|s5=Unable to Download File!"
    "|s31=Downloading INFO File...|s32=Downloading UPDATE File...|s33=Downloading INFORM File..."
    "|s34=New Version|s35=Download|";

bool ParseOverrideField(const std::string& field, uint8_t& value) {
  int64_t number = 0;
  if (!ParseInt64(field, number) || number < 0 || number > 255) return false;
  value = static_cast<uint8_t>(number);
  return true;
}

}  // namespace

std::string AutoUpdateDefault(const std::string& key) {
  return SUB::Value(kAutoUpdateDefaults, key);
}

std::string OverrideString(const OverrideFlags& flags) {
  std::string text = "|";
  for (uint8_t item : flags.item) text += std::to_string(item) + "|";
  return text;
}

void ParseOverrideString(const std::string& text, OverrideFlags& flags) {
  size_t start = text.find('|');
  for (int i = 0; i < kOverrideCount && start != std::string::npos; ++i) {
    const size_t end = text.find('|', start + 1);
    if (end == std::string::npos) break;
    ParseOverrideField(text.substr(start + 1, end - start - 1), flags.item[i]);
    start = end;
  }
}

bool SetOverride(OverrideFlags& flags, int item, uint8_t value) {
  if (item < 0 || item > 5) return false;
  flags.item[item] = value;
  return true;
}

bool AskBeforeProbe(const OverrideFlags& flags) { return flags.item[0] == 1; }

SetupRecords::SetupRecords(IniStore& store, const OverrideFlags& overrides,
                           const std::string& programFolder, const std::string& infoFileName,
                           const std::string& originalFileName)
    : store_(store),
      overrides_(overrides),
      originalPath_(programFolder + originalFileName),
      infoPath_(programFolder + infoFileName) {}

std::string SetupRecords::Text(const std::string& file, const char* section, const char* key,
                               const std::string& fallback) const {
  return store_.ReadText(file, section, key, fallback);
}

// A number that does not fit the key's type is as unusable as text: both
// read as the default instead of a truncated or wrapped value.
int64_t SetupRecords::Int64(const std::string& file, const char* section, const char* key,
                            int64_t fallback) const {
  return TextToInt64(Text(file, section, key, ""), fallback);
}

int32_t SetupRecords::Int32(const std::string& file, const char* section, const char* key,
                            int32_t fallback) const {
  const int64_t value = Int64(file, section, key, fallback);
  return value < INT32_MIN || value > INT32_MAX ? fallback : static_cast<int32_t>(value);
}

bool SetupRecords::YesNo(const char* key) const {
  return Text(infoPath_, kNewSetup, key, "0") == "1";
}

bool SetupRecords::Overridable(int item, const char* key) const {
  const uint8_t flag = overrides_.item[item];
  return flag == kNotOverridden ? YesNo(key) : flag == 1;
}

void SetupRecords::WriteInt(const char* key, int64_t value) {
  store_.WriteText(originalPath_, kOriginalSetup, key, std::to_string(value));
}

void SetupRecords::WriteTime(const char* key, int64_t time) {
  WriteInt(key, time);
  store_.WriteText(originalPath_, kOriginalSetup, std::string("__") + key,
                   FormatDayMonYearTime(" ", static_cast<double>(time) / 86400.0));
}

int64_t SetupRecords::ProbeSecondsInterval() const {
  return Int64(originalPath_, kOriginalSetup, "ProbeSecondsInterval", 0);
}
int64_t SetupRecords::ProbeSecondsLast() const {
  return Int64(originalPath_, kOriginalSetup, "ProbeSecondsLast", 0);
}
int64_t SetupRecords::ReAskSecondsInterval() const {
  return Int64(originalPath_, kOriginalSetup, "ReAskSecondsInterval", 0);
}
int64_t SetupRecords::ReAskSecondsLast() const {
  return Int64(originalPath_, kOriginalSetup, "ReAskSecondsLast", 0);
}
int32_t SetupRecords::VersionOriginal() const {
  return Int32(originalPath_, kOriginalSetup, "VersionOriginal", 0);
}
int32_t SetupRecords::Stamp() const { return Int32(originalPath_, kOriginalSetup, "Stamp", 0); }
std::string SetupRecords::ProgramName() const {
  return Text(originalPath_, kOriginalSetup, "ProgramName", "");
}

void SetupRecords::SetProbeSecondsInterval(int64_t seconds) {
  WriteInt("ProbeSecondsInterval", seconds);
}
void SetupRecords::SetReAskSecondsInterval(int64_t seconds) {
  WriteInt("ReAskSecondsInterval", seconds);
}
void SetupRecords::SetProbeSecondsLast(int64_t time) { WriteTime("ProbeSecondsLast", time); }
void SetupRecords::SetReAskSecondsLast(int64_t time) { WriteTime("ReAskSecondsLast", time); }
void SetupRecords::SetVersionOriginal(int32_t version) { WriteInt("VersionOriginal", version); }
void SetupRecords::SetStamp(int32_t stamp) { WriteInt("Stamp", stamp); }

std::string SetupRecords::TargetDir() const {
  return Text(originalPath_, "Directories", "TargetDir", "");
}
std::string SetupRecords::SharedDir() const {
  return Text(originalPath_, "Directories", "SharedDir", "");
}
std::string SetupRecords::AuxiliaryDir() const {
  return Text(originalPath_, "Directories", "AuxiliaryDir", "");
}
std::string SetupRecords::StartUpLink() const {
  return Text(originalPath_, "UnInstall", "StartUpLink", "");
}
std::string SetupRecords::CheckforNewUpdateLink() const {
  return Text(originalPath_, "UnInstall", "CheckforNewUpdateLink", "");
}
std::string SetupRecords::BtnText() const {
  return Text(originalPath_, kMsgBox, "BtnText", kDefaultButtonTexts);
}
std::string SetupRecords::ErrorCaption() const {
  return Text(originalPath_, kMsgBox, "Error", "Error");
}
std::string SetupRecords::ConfirmCaption() const {
  return Text(originalPath_, kMsgBox, "Confirm", "Confirm");
}
std::string SetupRecords::AttentionCaption() const {
  return Text(originalPath_, kMsgBox, "Attention", "Attention");
}
int32_t SetupRecords::CharSet() const { return Int32(originalPath_, kMsgBox, "CharSet", 0); }
std::string SetupRecords::FontName() const {
  return Text(originalPath_, kMsgBox, "FontName", "Tahoma");
}
int32_t SetupRecords::FontSize() const { return Int32(originalPath_, kMsgBox, "FontSize", 8); }

std::string SetupRecords::AutoUpdateText(const std::string& key,
                                         const std::string& fallback) const {
  return Text(originalPath_, "AutoUpdate", key.c_str(), fallback);
}

std::string SetupRecords::AutoUpdateText(const std::string& key) const {
  return AutoUpdateText(key, AutoUpdateDefault(key));
}

bool SetupRecords::AutoInform() const { return Int64(infoPath_, "General", "AutoInform", 0) == 1; }
std::string SetupRecords::DownloadUrlUpdate() const {
  return Text(infoPath_, kNewSetup, "DownloadURL_UPDATE", "");
}
std::string SetupRecords::NameOfUpdateFile() const {
  return Text(infoPath_, kNewSetup, "NameOfUpdateFile", "");
}
int64_t SetupRecords::SizeOfUpdateFile() const {
  return Int64(infoPath_, kNewSetup, "SizeOfUpdateFile", 0);
}
int32_t SetupRecords::VersionNew() const { return Int32(infoPath_, kNewSetup, "VersionNew", 0); }
int32_t SetupRecords::StampNew() const { return Int32(infoPath_, kNewSetup, "Stamp", 0); }
std::string SetupRecords::ValidVersions() const {
  return Text(infoPath_, kNewSetup, "ValidVersions", "");
}
std::string SetupRecords::NewProgramName() const {
  return Text(infoPath_, kNewSetup, "ProgramName", "");
}
std::string SetupRecords::RunningProcess() const {
  return Text(infoPath_, kNewSetup, "RunningProcess", "");
}
std::string SetupRecords::ShutDownMethod() const {
  return Text(infoPath_, kNewSetup, "ShutDownMethod", "");
}

bool SetupRecords::RequestConfirmationBeforeDownload() const {
  return Overridable(1, kOverrideKeys[1]);
}
bool SetupRecords::RequestConfirmationBeforeInstall() const {
  return Overridable(2, kOverrideKeys[2]);
}
bool SetupRecords::BackgroundUpdate() const { return Overridable(3, kOverrideKeys[3]); }
bool SetupRecords::InformFinish() const { return Overridable(4, kOverrideKeys[4]); }
bool SetupRecords::RestartProcess() const { return Overridable(5, kOverrideKeys[5]); }
bool SetupRecords::RequestConfirmationBeforeDownloadForce() const {
  return Overridable(6, kOverrideKeys[6]);
}
bool SetupRecords::RequestConfirmationBeforeInstallForce() const {
  return Overridable(7, kOverrideKeys[7]);
}
bool SetupRecords::RemoveStartUpShortcut() const { return YesNo("RemoveStartUpShortcut"); }
bool SetupRecords::RemoveCheckForNewUpdateShortcut() const {
  return YesNo("RemoveCheckForNewUpdateShortcut");
}

std::string SetupRecords::DownloadUrlInform() const {
  return Text(infoPath_, kAutoInformSection, "DownloadURL_INFORM", "");
}
std::string SetupRecords::NameOfInformFile() const {
  return Text(infoPath_, kAutoInformSection, "NameOfInformFile", "");
}
int64_t SetupRecords::SizeOfInformFile() const {
  return Int64(infoPath_, kAutoInformSection, "SizeOfInformFile", 0);
}
int32_t SetupRecords::AutoInformWidth() const {
  return Int32(infoPath_, kAutoInformSection, "AutoInformW", 360);
}
int32_t SetupRecords::AutoInformHeight() const {
  return Int32(infoPath_, kAutoInformSection, "AutoInformH", 360);
}

bool SetupRecords::IsValidForVersion() const {
  const std::string versions = ValidVersions();
  if (versions.empty()) return true;
  const std::string wanted = "," + std::to_string(VersionOriginal()) + ",";
  return ("," + versions + ",").find(wanted) != std::string::npos;
}
