#include "pack/TextBlocks.h"

#include "package/PackageFormat.h"
#include "package/PackageReader.h"

namespace {

std::string JoinList(char separator, const std::vector<std::string>& items) {
  std::string list(1, separator);
  for (const std::string& item : items) {
    list += item;
    list += separator;
  }
  return list;
}

}  // namespace

std::string BuildLanguageBlock(const std::vector<LanguageSection>& languages) {
  std::vector<std::string> sections;
  for (const LanguageSection& language : languages) {
    std::vector<std::string> lines{language.name};
    for (const auto& line : language.lines) lines.push_back(line.first + "=" + line.second);
    sections.push_back(JoinList(kLanguageSectionSeparator, lines));
  }
  if (sections.empty()) return std::string(1, kLanguageListSeparator);
  return JoinList(kLanguageListSeparator, sections);
}

std::string BuildSettingsBlock(const Project& project, const RandomByte& randomByte) {
  std::vector<std::string> items(5);
  items[kServerUrl] = project.serverUrl;
  items[kInfoFile] = project.infoFile;
  items[kAgentExe] = project.agentExe.empty() ? ".exe" : project.agentExe;
  items[kSettingsTokenItem] = ScrambleToken(project.token, randomByte);
  items[kSilent] = project.silent ? "1" : "0";
  return JoinList(kSettingsSeparator, items);
}

std::string BuildWebBlock(const WebSettings& web, const RandomByte& randomByte) {
  std::vector<std::string> items(5);
  items[kWebFolder] = web.folder;
  items[kWebFileName] = web.fileName;
  items[kAlwaysDownload] = web.alwaysDownload ? "1" : "0";
  items[kWebTokenItem] = ScrambleToken(web.token, randomByte);
  items[kWebSize] = std::to_string(web.size);
  return JoinList(kSettingsSeparator, items);
}

std::vector<std::string> ListItems(const std::string& list) {
  std::vector<std::string> items;
  if (list.size() < 2 || list.front() != list.back()) return items;
  char separator = list.front();
  size_t start = 1;
  while (start < list.size()) {
    size_t end = list.find(separator, start);
    items.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return items;
}
