#include "package/TGFileInfo.h"

#include "common/TextRules.h"
#include "common/VSUB.h"
#include "package/ByteSource.h"
#include "package/PackageReader.h"

TGFileInfo::TGFileInfo(const std::string& path) {
  std::unique_ptr<ByteSource> source = OpenFileSource(path);
  if (source) Load(*source);
}

TGFileInfo::TGFileInfo(ByteSource& source) { Load(source); }

void TGFileInfo::Load(ByteSource& source) {
  TrailerPlace place;
  if (!ReadTrailer(source, trailer_, &place) || !HasValidMagic()) return;

  // Text blocks lie between DataOffset and the trailer; a block that claims
  // more stops the reading and leaves the texts read so far.
  std::string* blocks[] = {&language_, &settings_, &web_};
  const int count = trailer_.HeaderBlockCount > 2 ? 3 : 2;
  for (int i = 0; i < count; ++i) {
    BlockRef block;
    if (!ReadBlockRef(source, trailer_.DataOffset, place.offset, block) || block.storedLength < 0 ||
        !ReadBlockData(source, block, *blocks[i])) {
      return;
    }
    trailer_.DataOffset = static_cast<uint32_t>(block.End());
  }
}

double TGFileInfo::RequiredSpace(const std::string& folder) const {
  return SpaceForClusterSize(trailer_, DriveClusterSize(folder));
}

std::string TGFileInfo::SettingsItem(int index) const { return SUB::Item(settings_, index); }
std::string TGFileInfo::WebItem(int index) const { return SUB::Item(web_, index); }

std::string TGFileInfo::ServerUrl() const { return SettingsItem(kServerUrl); }

std::string TGFileInfo::InfoFileName() const { return ExtractFileName(SettingsItem(kInfoFile)); }

std::string TGFileInfo::RecordFileName() const {
  std::string name = InfoFileName();
  for (size_t dot = name.rfind('.'); dot != std::string::npos; dot = name.rfind('.')) name.erase(dot);
  return name + ".original";
}

std::string TGFileInfo::AgentExeName() const { return SettingsItem(kAgentExe); }

std::string TGFileInfo::SettingsToken(bool descramble) const {
  const std::string token = SettingsItem(kSettingsTokenItem);
  return descramble ? Descramble(token) : token;
}

bool TGFileInfo::SilentRun() const { return SettingsItem(kSilent) == "1"; }

std::string TGFileInfo::WebFolder() const { return WebItem(kWebFolder); }
std::string TGFileInfo::WebFileName() const { return WebItem(kWebFileName); }
std::string TGFileInfo::WebFileSize() const { return WebItem(kWebSize); }
bool TGFileInfo::AlwaysDownload() const { return WebItem(kAlwaysDownload) == "1"; }

std::string TGFileInfo::WebToken(bool descramble) const {
  const std::string token = WebItem(kWebTokenItem);
  return descramble ? Descramble(token) : token;
}

bool TGFileInfo::SameWebToken(const TGFileInfo& other) const {
  // Both must descramble: two failed checks would otherwise compare their
  // fallback numbers, which may be equal.
  return SameToken(WebToken(false), other.WebToken(false));
}
