// Stand-ins for what the agent's decisions read from the system: settings
// files kept in memory, file and server sizes, and the two logs.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "autoupdate/SetupRecords.h"
#include "autoupdate/UpdateDecision.h"
#include "common/TextRules.h"

// Settings files in memory. Names compare without letter case, as the
// system's settings files do.
class MemoryIniStore : public IniStore {
 public:
  std::string ReadText(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& fallback) override {
    const auto found = values_.find(Key(file, section, key));
    return found == values_.end() || found->second.empty() ? fallback : found->second;
  }
  bool WriteText(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value) override {
    values_[Key(file, section, key)] = value;
    return true;
  }
  bool Has(const std::string& file, const std::string& section, const std::string& key) const {
    return values_.count(Key(file, section, key)) != 0;
  }

 private:
  static std::string Key(const std::string& file, const std::string& section,
                         const std::string& key) {
    return UpperText(file + "\n" + section + "\n" + key);
  }
  std::map<std::string, std::string> values_;
};

class FakeSizes : public SizeProbe {
 public:
  std::map<std::string, int64_t> files;  // path -> size
  std::map<std::string, int64_t> urls;   // URL -> announced size
  std::vector<std::string> asked;  // every path and URL asked for

  int64_t FileSize(const std::string& path) override {
    asked.push_back(path);
    const auto found = files.find(path);
    return found == files.end() ? -1 : found->second;
  }
  int64_t HttpSize(const std::string& url) override {
    asked.push_back(url);
    const auto found = urls.find(url);
    return found == urls.end() ? -1 : found->second;
  }
};

class CapturedLog : public AgentLog {
 public:
  std::vector<std::string> traces, records;
  void Trace(const std::string& line) override { traces.push_back(line); }
  void Record(const std::string& line) override { records.push_back(line); }
};

// The two files of a product installed in C:\App\ with the info file
// Product.info.
struct AgentFiles {
  static constexpr const char* kOriginal = "C:\\App\\Product.original";
  static constexpr const char* kInfo = "C:\\App\\Product.info";
  MemoryIniStore store;
  OverrideFlags overrides;
  SetupRecords records{store, overrides, "C:\\App\\", "Product.info", "Product.original"};

  void Original(const std::string& section, const std::string& key, const std::string& value) {
    store.WriteText(kOriginal, section, key, value);
  }
  void Info(const std::string& section, const std::string& key, const std::string& value) {
    store.WriteText(kInfo, section, key, value);
  }
};
