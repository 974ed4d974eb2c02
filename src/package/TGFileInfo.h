// TGFileInfo: the package reader. Reads the trailer and the text blocks of a
// package file in its constructor and never changes afterwards. Construction
// never fails: on any problem the object is empty (zero record, empty texts).
#pragma once

#include <string>

#include "package/PackageFormat.h"

class ByteSource;

class TGFileInfo {
 public:
  explicit TGFileInfo(const std::string& path);
  explicit TGFileInfo(ByteSource& source);

  // After construction DataOffset points just behind the last text block,
  // where the first file entry starts.
  const PackageTrailer& Trailer() const { return trailer_; }
  bool HasValidMagic() const { return trailer_.PackageMagic == kPackageMagic; }

  // Byte count from SpaceByClusterSize for the drive of `folder`.
  double RequiredSpace(const std::string& folder) const;

  bool ShowTempDriveNotice() const { return Flag(kShowTempDriveNotice); }
  bool MoreVolumes() const { return Flag(kMoreVolumes); }
  bool IsSpanCd() const { return Flag(kSpanCd); }
  bool ShowActivityBar() const { return Flag(kShowActivityBar); }
  bool WriteRunLog() const { return Flag(kWriteRunLog); }
  bool IsWebStub() const { return trailer_.IsWebStub != 0; }
  bool AskBeforeDownload() const { return trailer_.AskBeforeDownload != 0; }
  bool HasUpdateAgent() const { return trailer_.HasUpdateAgent != 0; }
  bool IsUpdateAgent() const { return trailer_.IsUpdateAgent != 0; }

  std::string ServerUrl() const;
  std::string InfoFileName() const;    // file-name part of settings item 1
  std::string RecordFileName() const;  // that name, every extension cut, + ".original"
  std::string AgentExeName() const;
  std::string SettingsToken(bool descramble) const;
  bool SilentRun() const;

  std::string WebFolder() const;
  std::string WebFileName() const;
  std::string WebFileSize() const;
  bool AlwaysDownload() const;
  std::string WebToken(bool descramble) const;
  // Both web tokens pass their checks and descramble to the same token
  // (SameToken); a token that fails its check matches nothing.
  bool SameWebToken(const TGFileInfo& other) const;

  // Language texts from the section chosen for the run; the fallback when
  // the key is missing or empty. Charset and FontSize read 0 and 8 when
  // not numbers; FontName defaults to "Tahoma".
  std::string LangText(const std::string& key, const std::string& fallback) const;
  int Charset() const;
  int FontSize() const;
  std::string FontName() const;

  const std::string& LanguageBlock() const { return language_; }
  const std::string& SettingsBlock() const { return settings_; }
  const std::string& WebBlock() const { return web_; }

 private:
  void Load(ByteSource& source);
  bool Flag(uint8_t mask) const { return (trailer_.PackageFlags & mask) != 0; }
  std::string SettingsItem(int index) const;
  std::string WebItem(int index) const;

  PackageTrailer trailer_{};
  std::string language_;
  std::string settings_;
  std::string web_;
};
