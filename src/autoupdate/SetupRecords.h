// The update agent's two settings files beside the program: the original
// file (what the product's setup recorded and the agent's schedule) and the
// info file (what the product's server says about the newest version). Every
// read opens the file anew, because the product's setup and other agent
// processes write these files too; a missing file, section or key, or a value
// that is not of the key's type, reads as the key's default. Portable: the
// files are reached through an IniStore.
#pragma once

#include <cstdint>
#include <string>

// Settings-file access by file, section and key. The stub's store uses the
// system's settings-file functions; tests keep the files in memory.
class IniStore {
 public:
  virtual ~IniStore() = default;
  // The text under the key; `fallback` when the file, section or key is
  // missing or the text is empty.
  virtual std::string ReadText(const std::string& file, const std::string& section,
                               const std::string& key, const std::string& fallback) = 0;
  // False when the value could not be written (nothing else reports it).
  virtual bool WriteText(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& value) = 0;
};

// The eight override bytes a caller can set (255 = not overridden): item 0
// is AskBeforeProbe, items 1 to 7 replace the info file's
// RequestConfirmationBeforeDownload, ...BeforeInstall, BackgroundUpdate,
// InformFinish, RestartProcess, ...BeforeDownloadForce, ...BeforeInstallForce.
constexpr int kOverrideCount = 8;
constexpr uint8_t kNotOverridden = 255;
struct OverrideFlags {
  uint8_t item[kOverrideCount] = {255, 255, 255, 255, 255, 255, 255, 255};
};

// "|" then every item in order as a decimal number followed by "|".
std::string OverrideString(const OverrideFlags& flags);
// Item i from the i-th field between "|" characters (the first field follows
// the first "|"); a missing field, or one that is not a number 0..255, leaves
// its item as it was.
void ParseOverrideString(const std::string& text, OverrideFlags& flags);
// Items 0 to 5 only (those the agent's messages set); false for another item.
bool SetOverride(OverrideFlags& flags, int item, uint8_t value);
// AskBeforeProbe has no key of its own: on only when item 0 is 1.
bool AskBeforeProbe(const OverrideFlags& flags);

// The built-in English text of an [AutoUpdate] key ("s3": "File Download
// Aborted!"); empty for the keys without one.
std::string AutoUpdateDefault(const std::string& key);

// Default of MsgBox BtnText: the message box's button captions.
extern const char kDefaultButtonTexts[];

class SetupRecords {
 public:
  // `programFolder` ends with a backslash; `infoFileName` is the package's
  // info file name (TGFileInfo::InfoFileName), `originalFileName` its record
  // file name (TGFileInfo::RecordFileName). `overrides` must outlive this.
  SetupRecords(IniStore& store, const OverrideFlags& overrides, const std::string& programFolder,
               const std::string& infoFileName, const std::string& originalFileName);

  std::string OriginalFilePath() const { return originalPath_; }
  std::string InfoFilePath() const { return infoPath_; }

  // Original file, [OriginalSetup]. Times are seconds since 30 December 1899
  // local time.
  int64_t ProbeSecondsInterval() const;
  int64_t ProbeSecondsLast() const;
  int64_t ReAskSecondsInterval() const;
  int64_t ReAskSecondsLast() const;
  int32_t VersionOriginal() const;
  int32_t Stamp() const;
  std::string ProgramName() const;
  void SetProbeSecondsInterval(int64_t seconds);
  void SetReAskSecondsInterval(int64_t seconds);
  // Also write the time readably ("09-DEC-2025 00:00:00") under "__" + key.
  void SetProbeSecondsLast(int64_t time);
  void SetReAskSecondsLast(int64_t time);
  void SetVersionOriginal(int32_t version);
  void SetStamp(int32_t stamp);

  // Original file, [Directories], [UnInstall] and [MsgBox].
  std::string TargetDir() const;
  std::string SharedDir() const;
  std::string AuxiliaryDir() const;
  std::string StartUpLink() const;
  std::string CheckforNewUpdateLink() const;
  std::string BtnText() const;
  std::string ErrorCaption() const;      // key "Error"
  std::string ConfirmCaption() const;    // key "Confirm"
  std::string AttentionCaption() const;  // key "Attention"
  int32_t CharSet() const;
  std::string FontName() const;
  int32_t FontSize() const;
  // The agent's own user texts, [AutoUpdate] s2 ... s35; the second form
  // falls back to the text's built-in default (AutoUpdateDefault).
  std::string AutoUpdateText(const std::string& key, const std::string& fallback) const;
  std::string AutoUpdateText(const std::string& key) const;

  // Info file. AutoInform is on only for the number 1.
  bool AutoInform() const;
  std::string DownloadUrlUpdate() const;
  std::string NameOfUpdateFile() const;
  int64_t SizeOfUpdateFile() const;
  int32_t VersionNew() const;
  int32_t StampNew() const;  // [NewSetup] Stamp
  std::string ValidVersions() const;
  std::string NewProgramName() const;  // [NewSetup] ProgramName
  std::string RunningProcess() const;
  std::string ShutDownMethod() const;
  // The six yes/no settings an override byte can replace.
  bool RequestConfirmationBeforeDownload() const;
  bool RequestConfirmationBeforeInstall() const;
  bool BackgroundUpdate() const;
  bool InformFinish() const;
  bool RestartProcess() const;
  bool RequestConfirmationBeforeDownloadForce() const;
  bool RequestConfirmationBeforeInstallForce() const;
  bool RemoveStartUpShortcut() const;
  bool RemoveCheckForNewUpdateShortcut() const;
  std::string DownloadUrlInform() const;
  std::string NameOfInformFile() const;
  int64_t SizeOfInformFile() const;
  int32_t AutoInformWidth() const;   // AutoInformW
  int32_t AutoInformHeight() const;  // AutoInformH

  // True when ValidVersions is empty or lists VersionOriginal exactly.
  bool IsValidForVersion() const;

 private:
  std::string Text(const std::string& file, const char* section, const char* key,
                   const std::string& fallback) const;
  int64_t Int64(const std::string& file, const char* section, const char* key,
                int64_t fallback) const;
  int32_t Int32(const std::string& file, const char* section, const char* key,
                int32_t fallback) const;
  bool YesNo(const char* key) const;
  bool Overridable(int item, const char* key) const;
  void WriteInt(const char* key, int64_t value);
  void WriteTime(const char* key, int64_t time);

  IniStore& store_;
  const OverrideFlags& overrides_;
  std::string originalPath_;
  std::string infoPath_;
};
