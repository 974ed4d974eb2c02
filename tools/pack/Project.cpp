#include "pack/Project.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "common/TextRules.h"
#include "pack/IniFile.h"

namespace {

namespace fs = std::filesystem;

// Reports errors as "PATH:LINE: message", the form editors jump to.
class ProjectErrors {
 public:
  explicit ProjectErrors(std::string path) : path_(std::move(path)) {}
  PackStatus At(int line, const std::string& message) const {
    std::string where = line > 0 ? path_ + ":" + std::to_string(line) : path_;
    return PackStatus::Fail(ExitCode::kProject, where + ": " + message);
  }

 private:
  std::string path_;
};

bool ParseBool(const std::string& text, bool& value) {
  static const char* const kTrue[] = {"1", "yes", "true", "on"};
  static const char* const kFalse[] = {"0", "no", "false", "off"};
  for (const char* word : kTrue) {
    if (SameTrimmedText(text, word)) {
      value = true;
      return true;
    }
  }
  for (const char* word : kFalse) {
    if (SameTrimmedText(text, word)) {
      value = false;
      return true;
    }
  }
  return false;
}

// A byte count: decimal digits with an optional K, M or G (times 1024).
bool ParseByteCount(const std::string& text, uint64_t& value) {
  std::string digits = TrimText(text);
  uint64_t unit = 1;
  if (!digits.empty()) {
    switch (UpperText(digits.substr(digits.size() - 1))[0]) {
      case 'K':
        unit = 1ull << 10;
        break;
      case 'M':
        unit = 1ull << 20;
        break;
      case 'G':
        unit = 1ull << 30;
        break;
      default:
        break;
    }
    if (unit != 1) digits = TrimText(digits.substr(0, digits.size() - 1));
  }
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  int64_t number = 0;
  if (!ParseInt64(digits, number) || number < 0) return false;
  if (static_cast<uint64_t>(number) > UINT64_MAX / unit) return false;
  value = static_cast<uint64_t>(number) * unit;
  return true;
}

bool HasControlCharacter(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 && c != '\t') return true;
  }
  return false;
}

// Items of the "|" lists cannot hold the separator itself.
bool IsListItemText(const std::string& text) {
  return text.find('|') == std::string::npos && !HasControlCharacter(text);
}

struct KeyContext {
  const IniEntry& entry;
  const ProjectErrors& errors;
  const fs::path& baseDir;
};

using KeyHandler = std::function<PackStatus(const KeyContext&)>;

PackStatus SetBool(const KeyContext& c, bool& target) {
  if (!ParseBool(c.entry.value, target)) {
    return c.errors.At(c.entry.line,
                       c.entry.key + ": expected 1 or 0, found \"" + c.entry.value + "\"");
  }
  return PackStatus::Ok();
}

PackStatus SetBytes(const KeyContext& c, uint64_t& target) {
  if (!ParseByteCount(c.entry.value, target)) {
    return c.errors.At(c.entry.line,
                       c.entry.key + ": expected a byte count such as 1200000 or 650M, found \"" +
                           c.entry.value + "\"");
  }
  return PackStatus::Ok();
}

PackStatus SetPath(const KeyContext& c, std::string& target) {
  if (c.entry.value.empty()) return c.errors.At(c.entry.line, c.entry.key + ": empty path");
  fs::path path(c.entry.value);
  target = path.is_absolute() || c.baseDir.empty() ? path.string() : (c.baseDir / path).string();
  return PackStatus::Ok();
}

PackStatus SetListItem(const KeyContext& c, std::string& target) {
  if (!IsListItemText(c.entry.value)) {
    return c.errors.At(c.entry.line,
                       c.entry.key + ": a value may not hold \"|\" or control characters");
  }
  target = c.entry.value;
  return PackStatus::Ok();
}

PackStatus SetPlainToken(const KeyContext& c, std::string& target) {
  if (HasControlCharacter(c.entry.value)) {
    return c.errors.At(c.entry.line, c.entry.key + ": a token may not hold control characters");
  }
  target = c.entry.value;
  return PackStatus::Ok();
}

PackStatus SetType(const KeyContext& c, PackageType& target) {
  static const std::pair<const char*, PackageType> kTypes[] = {{"setup", PackageType::kSetup},
                                                               {"web", PackageType::kWebStub},
                                                               {"agent", PackageType::kAgent}};
  for (const auto& type : kTypes) {
    if (SameTrimmedText(c.entry.value, type.first)) {
      target = type.second;
      return PackStatus::Ok();
    }
  }
  return c.errors.At(c.entry.line,
                     "Type: expected setup, web or agent, found \"" + c.entry.value + "\"");
}

PackStatus SetCompression(const KeyContext& c, int& target) {
  int64_t level = -1;
  if (!ParseInt64(c.entry.value, level) || level < 0 || level > 9) {
    return c.errors.At(c.entry.line,
                       "Compression: expected 0 (store) to 9, found \"" + c.entry.value + "\"");
  }
  target = static_cast<int>(level);
  return PackStatus::Ok();
}

PackStatus SetSignCommand(const KeyContext& c, std::string& target, std::string& folder) {
  if (TrimText(c.entry.value).empty() || HasControlCharacter(c.entry.value)) {
    return c.errors.At(c.entry.line,
                       "Sign: expected a command such as osslsigncode sign ... -in \"$in\" "
                       "-out \"$out\"");
  }
  target = c.entry.value;
  folder = c.baseDir.string();  // relative paths in the command mean what they mean elsewhere
  return PackStatus::Ok();
}

PackStatus SetSignTimeout(const KeyContext& c, uint32_t& target) {
  int64_t seconds = -1;
  if (!ParseInt64(c.entry.value, seconds) || seconds < 1 || seconds > kMaxSignTimeout) {
    return c.errors.At(c.entry.line, "SignTimeout: expected seconds from 1 to " +
                                         std::to_string(kMaxSignTimeout) + ", found \"" +
                                         c.entry.value + "\"");
  }
  target = static_cast<uint32_t>(seconds);
  return PackStatus::Ok();
}

// Keys of the fixed sections; keys are matched ignoring case.
using KeyTable = std::map<std::string, KeyHandler>;

KeyTable PackageKeys(Project& p) {
  return {
      {"TYPE", [&p](const KeyContext& c) { return SetType(c, p.type); }},
      {"STUB", [&p](const KeyContext& c) { return SetPath(c, p.stubPath); }},
      {"OUTPUT", [&p](const KeyContext& c) { return SetPath(c, p.outputPath); }},
      {"FILES", [&p](const KeyContext& c) { return SetPath(c, p.filesDir); }},
      {"LAUNCH",
       [&p](const KeyContext& c) {
         if (c.entry.value.empty()) return c.errors.At(c.entry.line, "Launch: empty file name");
         p.launchFile = c.entry.value;
         return PackStatus::Ok();
       }},
      {"LAUNCHARGUMENTS", [&p](const KeyContext& c) { return SetListItem(c, p.launchArguments); }},
      {"COMPRESSION", [&p](const KeyContext& c) { return SetCompression(c, p.compression); }},
      {"CHECKSUM", [&p](const KeyContext& c) { return SetBool(c, p.computeChecksum); }},
      {"ENDPOINTER", [&p](const KeyContext& c) { return SetBool(c, p.writeEndPointer); }},
      {"VOLUMESIZE", [&p](const KeyContext& c) { return SetBytes(c, p.volumeSize); }},
      {"NUMBERFIRSTVOLUME", [&p](const KeyContext& c) { return SetBool(c, p.numberFirstVolume); }},
      {"SPANCD", [&p](const KeyContext& c) { return SetBool(c, p.spanCd); }},
      {"MAXENTRYSIZE", [&p](const KeyContext& c) { return SetBytes(c, p.maxEntrySize); }},
      {"SIGN", [&p](const KeyContext& c) { return SetSignCommand(c, p.signCommand, p.signFolder); }},
      {"SIGNTIMEOUT", [&p](const KeyContext& c) { return SetSignTimeout(c, p.signTimeout); }},
  };
}

KeyTable FlagKeys(Project& p) {
  return {
      {"SHOWTEMPDRIVENOTICE",
       [&p](const KeyContext& c) { return SetBool(c, p.showTempDriveNotice); }},
      {"SHOWACTIVITYBAR", [&p](const KeyContext& c) { return SetBool(c, p.showActivityBar); }},
      {"WRITERUNLOG", [&p](const KeyContext& c) { return SetBool(c, p.writeRunLog); }},
      {"ASKBEFOREDOWNLOAD", [&p](const KeyContext& c) { return SetBool(c, p.askBeforeDownload); }},
      {"HASUPDATEAGENT", [&p](const KeyContext& c) { return SetBool(c, p.hasUpdateAgent); }},
  };
}

KeyTable SettingsKeys(Project& p) {
  return {
      {"SERVERURL", [&p](const KeyContext& c) { return SetListItem(c, p.serverUrl); }},
      {"INFOFILE", [&p](const KeyContext& c) { return SetListItem(c, p.infoFile); }},
      {"AGENTEXE", [&p](const KeyContext& c) { return SetListItem(c, p.agentExe); }},
      {"TOKEN", [&p](const KeyContext& c) { return SetPlainToken(c, p.token); }},
      {"SILENT", [&p](const KeyContext& c) { return SetBool(c, p.silent); }},
  };
}

KeyTable WebKeys(Project& p) {
  return {
      {"FOLDER", [&p](const KeyContext& c) { return SetListItem(c, p.web.folder); }},
      {"FILENAME", [&p](const KeyContext& c) { return SetListItem(c, p.web.fileName); }},
      {"ALWAYSDOWNLOAD", [&p](const KeyContext& c) { return SetBool(c, p.web.alwaysDownload); }},
      {"TOKEN", [&p](const KeyContext& c) { return SetPlainToken(c, p.web.token); }},
      {"SIZE", [&p](const KeyContext& c) { return SetBytes(c, p.web.size); }},
      {"SIZEOFFILE", [&p](const KeyContext& c) { return SetPath(c, p.web.sizeOfFile); }},
  };
}

PackStatus ApplyKeys(const IniSection& section, const KeyTable& keys, const ProjectErrors& errors,
                     const fs::path& baseDir) {
  std::map<std::string, int> seen;
  for (const IniEntry& entry : section.entries) {
    std::string key = UpperText(entry.key);
    auto handler = keys.find(key);
    if (handler == keys.end()) {
      return errors.At(entry.line, "unknown key \"" + entry.key + "\" in [" + section.name + "]");
    }
    if (!seen.emplace(key, entry.line).second) {
      return errors.At(entry.line, "key \"" + entry.key + "\" given twice in [" + section.name +
                                       "] (first on line " + std::to_string(seen[key]) + ")");
    }
    PackStatus status = handler->second(KeyContext{entry, errors, baseDir});
    if (!status.ok()) return status;
  }
  return PackStatus::Ok();
}

bool IsLanguageText(const std::string& text) {
  return text.find('\x01') == std::string::npos && text.find('\x02') == std::string::npos &&
         !HasControlCharacter(text);
}

PackStatus AddLanguage(const IniSection& section, const std::string& name, Project& project,
                       const ProjectErrors& errors) {
  if (name.empty() || !IsLanguageText(name)) {
    return errors.At(section.line, "a language section needs a name: [Language English]");
  }
  for (const LanguageSection& other : project.languages) {
    if (SameTrimmedText(other.name, name)) {
      return errors.At(section.line, "language \"" + name + "\" given twice");
    }
  }
  LanguageSection language;
  language.name = name;
  std::map<std::string, int> seen;
  for (const IniEntry& entry : section.entries) {
    if (!IsLanguageText(entry.key) || !IsLanguageText(entry.value) ||
        entry.key.find(' ') != std::string::npos) {
      return errors.At(entry.line,
                       "language text may not hold control characters, and keys no blanks");
    }
    if (!seen.emplace(UpperText(entry.key), entry.line).second) {
      return errors.At(entry.line,
                       "key \"" + entry.key + "\" given twice in [" + section.name + "]");
    }
    language.lines.emplace_back(entry.key, entry.value);
  }
  project.languages.push_back(language);
  return PackStatus::Ok();
}

// Rules that involve several keys.
PackStatus CheckCombination(const Project& p, const ProjectErrors& errors) {
  auto fail = [&errors](const std::string& message) { return errors.At(0, message); };
  bool setup = p.type == PackageType::kSetup;
  if (setup && p.filesDir.empty()) return fail("a setup package needs Files in [Package]");
  if (setup && p.launchFile.empty()) return fail("a setup package needs Launch in [Package]");
  if (!setup && (!p.filesDir.empty() || !p.launchFile.empty() || !p.launchArguments.empty())) {
    return fail("Files, Launch and LaunchArguments belong to setup packages only");
  }
  if (!setup && (p.volumeSize != 0 || p.spanCd || p.numberFirstVolume)) {
    return fail("VolumeSize, NumberFirstVolume and SpanCd belong to setup packages only");
  }
  if (p.type == PackageType::kWebStub && !p.hasWeb)
    return fail("a web package needs a [Web] section");
  if (p.type == PackageType::kWebStub && p.web.size == 0 && p.web.sizeOfFile.empty()) {
    return fail("a web package needs Size or SizeOfFile in [Web]");
  }
  if (p.type == PackageType::kAgent && p.hasWeb)
    return fail("an agent package has no [Web] section");
  if (p.web.size != 0 && !p.web.sizeOfFile.empty())
    return fail("give either Size or SizeOfFile in [Web], not both");
  if (p.spanCd && p.numberFirstVolume)
    return fail("SpanCd and NumberFirstVolume exclude each other");
  if (p.maxEntrySize == 0 || p.maxEntrySize > kMaxEntrySizeLimit) {
    return fail("MaxEntrySize must lie between 1 and 1G");
  }
  if (!p.signCommand.empty() && !p.writeEndPointer) {
    return fail("Sign needs EndPointer = 1: the signature follows the package, and only the end "
                "pointer lets the stub find the package in front of it");
  }
  return PackStatus::Ok();
}

}  // namespace

PackStatus ParseProject(const std::string& text, const std::string& projectPath, Project& project) {
  project = Project();
  ProjectErrors errors(projectPath);
  std::vector<IniSection> sections;
  std::string iniError;
  int errorLine = 0;
  if (!ParseIni(text, sections, iniError, errorLine)) return errors.At(errorLine, iniError);
  fs::path baseDir = fs::path(projectPath).parent_path();
  const std::pair<const char*, KeyTable> fixedSections[] = {
      {"PACKAGE", PackageKeys(project)},
      {"FLAGS", FlagKeys(project)},
      {"SETTINGS", SettingsKeys(project)},
      {"WEB", WebKeys(project)},
  };
  std::map<std::string, int> seenSections;
  for (const IniSection& section : sections) {
    std::string upper = UpperText(section.name);
    if (StartsWithText("LANGUAGE ", upper, false) || upper == "LANGUAGE") {
      PackStatus status = AddLanguage(section, TrimText(section.name.substr(8)), project, errors);
      if (!status.ok()) return status;
      continue;
    }
    const KeyTable* keys = nullptr;
    for (const auto& fixed : fixedSections) {
      if (upper == fixed.first) keys = &fixed.second;
    }
    if (keys == nullptr) return errors.At(section.line, "unknown section [" + section.name + "]");
    if (!seenSections.emplace(upper, section.line).second) {
      return errors.At(section.line, "section [" + section.name + "] given twice");
    }
    if (upper == "WEB") project.hasWeb = true;
    PackStatus status = ApplyKeys(section, *keys, errors, baseDir);
    if (!status.ok()) return status;
  }
  return CheckCombination(project, errors);
}

PackStatus LoadProject(const std::string& projectPath, Project& project) {
  std::ifstream in(projectPath, std::ios::binary);
  if (!in)
    return PackStatus::Fail(ExitCode::kProject, projectPath + ": cannot open the project file");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad())
    return PackStatus::Fail(ExitCode::kProject, projectPath + ": cannot read the project file");
  return ParseProject(text.str(), projectPath, project);
}
