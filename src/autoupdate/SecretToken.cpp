#include "autoupdate/SecretToken.h"

#include "autoupdate/UpdateDecision.h"
#include "package/ByteSource.h"
#include "package/PackageReader.h"
#include "package/TGFileInfo.h"

namespace {

bool ReadInformFile(const std::string& path, std::string& text) {
  const std::unique_ptr<ByteSource> source = OpenFileSource(path);
  if (!source || source->Size() == 0 || source->Size() > kInformFileMaxBytes) return false;
  text.resize(static_cast<size_t>(source->Size()));
  return source->ReadExact(0, &text[0], text.size());
}

bool InformTokenMatches(const std::string& scrambledOwn, const std::string& path) {
  std::string text, token, remainder;
  if (!ReadInformFile(path, text)) return false;
  bool informOk = false, ownOk = false;
  SplitTokenText(text, token, remainder, &informOk);
  const std::string own = Descramble(scrambledOwn, ownOk);
  return informOk && ownOk && token == own;
}

}  // namespace

bool CheckSecretToken(const TGFileInfo& package, const std::string& downloadedPath, int kind,
                      AgentLog& log) {
  const std::string own = package.SettingsToken(false);
  if (own.empty()) {
    log.Trace(
        " CheckSecretToken: WARNING: this package has no secret token; no download can match");
    return false;
  }
  if (kind == kUpdateDownload)
    return SameToken(own, TGFileInfo(downloadedPath).SettingsToken(false));
  if (kind == kInformDownload) return InformTokenMatches(own, downloadedPath);
  return false;
}
