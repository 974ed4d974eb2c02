// The project file of a package: what to pack and how. The format is
// documented in tools/pack/README.md.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pack/PackStatus.h"

enum class PackageType {
  kSetup,    // carries the files of an installation
  kWebStub,  // names a setup file on a web server; no files
  kAgent,    // auto-update agent: text blocks only
};

struct LanguageSection {
  std::string name;                                        // item 0 of the section
  std::vector<std::pair<std::string, std::string>> lines;  // key, value in file order
};

struct WebSettings {
  std::string folder;    // web folder holding the setup file
  std::string fileName;  // setup file name
  bool alwaysDownload = false;
  std::string token;       // plain text; stored scrambled
  uint64_t size = 0;       // bytes of the setup file, or
  std::string sizeOfFile;  // a file whose size is taken at build time
};

struct Project {
  PackageType type = PackageType::kSetup;
  std::string stubPath;  // paths are resolved against the project file's folder
  std::string outputPath;
  std::string filesDir;    // setup packages only
  std::string launchFile;  // relative to filesDir, "\" or "/" separated
  std::string launchArguments;
  int compression = 9;                // zlib level 1..9; 0 stores every entry
  bool computeChecksum = true;        // false: the checksum field holds 1234 (check off)
  bool writeEndPointer = false;       // set PackageEndPointer in the stub's header area
  uint64_t volumeSize = 0;            // largest volume file in bytes; 0: one volume
  bool numberFirstVolume = false;     // first volume written as OUTPUT.001
  bool spanCd = false;                // OUTPUT holds the text blocks only; data in OUTPUT.001...
  uint64_t maxEntrySize = 64u << 20;  // file bytes per entry; larger files become several entries
  std::string signCommand;            // shell command run on the finished program; empty: unsigned
  std::string signFolder;             // where it runs: the project file's folder (empty: current)
  uint32_t signTimeout = 600;         // seconds the sign command may take

  bool showTempDriveNotice = false;
  bool showActivityBar = false;
  bool writeRunLog = false;
  bool askBeforeDownload = false;
  bool hasUpdateAgent = false;

  std::string serverUrl = "http://";
  std::string infoFile = ".info";
  std::string agentExe = ".exe";
  std::string token;  // plain text; stored scrambled
  bool silent = false;

  bool hasWeb = false;
  WebSettings web;

  std::vector<LanguageSection> languages;
};

// Largest maxEntrySize accepted: the entry with its header and zlib's worst
// case growth must stay below the 2 GiB limit of a block length.
constexpr uint64_t kMaxEntrySizeLimit = 1u << 30;

// Longest SignTimeout accepted, in seconds (one day).
constexpr uint32_t kMaxSignTimeout = 86400;

// Parses project text. `projectPath` names the file in messages and its
// folder anchors relative paths. Checks the combination of keys but not the
// file system, nor the presence of Stub and Output (the command line may give
// them). Fails with ExitCode::kProject and "PATH:LINE: message".
PackStatus ParseProject(const std::string& text, const std::string& projectPath, Project& project);

// Reads and parses a project file.
PackStatus LoadProject(const std::string& projectPath, Project& project);
