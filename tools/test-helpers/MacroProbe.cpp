// macro-probe: expands path macros and looks up the special folders through
// the product's library, as the update agent does, and prints what it got,
// so the tests can hold it against the Wine prefix's real folders.
//
// Usage: macro-probe.exe [--relative] TEXT...
//   --relative   also resolve ".." steps (against the program's folder)
// Every TEXT is expanded with separator "\", the custom pass and the folder
// stage on.
//
// Output, one JSON object on standard output:
//   {"expanded": [EXPANDED TEXT, ...],
//    "folders": {"UserDir": PATH, ...}   GetSpecialFolder of each folder
//    "shell": {"5": PATH, ...}}          the shell's own answers by number
//                                        (folder-path query with the create
//                                        flag, special-folder query without)
// Exit code 0, or 2 for a bad command line.

#include <cstdio>
#include <cstring>
#include <string>

#include "autoupdate/SystemMacroValues.h"
#include "common/ShellDir.h"
#include "support/ToolSupport.h"

namespace {

const struct {
  const char* name;
  SpecialFolder folder;
} kFolders[] = {
    {"UserDir", SpecialFolder::kUserDir},
    {"UserAppDataDir", SpecialFolder::kUserAppData},
    {"UserLocalAppDataDir", SpecialFolder::kUserLocalAppData},
    {"MyDocumentsDir", SpecialFolder::kMyDocuments},
    {"UserStartMenuDir", SpecialFolder::kUserStartMenu},
    {"UserStartProgramMenuDir", SpecialFolder::kUserStartProgramMenu},
    {"UserDesktopDir", SpecialFolder::kUserDesktop},
    {"DocumentsAndSettingsDir", SpecialFolder::kDocumentsAndSettings},
    {"AllUsersDir", SpecialFolder::kAllUsersDir},
    {"AllUsersAppDataDir", SpecialFolder::kAllUsersAppData},
    {"AllUsersDocumentsDir", SpecialFolder::kAllUsersDocuments},
    {"AllUsersStartMenuDir", SpecialFolder::kAllUsersStartMenu},
    {"AllUsersStartProgramMenuDir", SpecialFolder::kAllUsersStartProgramMenu},
    {"AllUsersDesktopDir", SpecialFolder::kAllUsersDesktop},
};

const int kFolderPathNumbers[] = {Csidl::kPersonal, Csidl::kAppData, Csidl::kLocalAppData,
                                  Csidl::kCommonAppData, Csidl::kCommonDocuments};
const int kSpecialPathNumbers[] = {Csidl::kStartMenu,        Csidl::kPrograms,
                                   Csidl::kDesktopDirectory, Csidl::kCommonStartMenu,
                                   Csidl::kCommonPrograms,   Csidl::kCommonDesktopDirectory};

std::string Member(const std::string& name, const std::string& value) {
  return tools::JsonString(name) + ": " + tools::JsonString(value);
}

}  // namespace

int main(int argc, char** argv) {
  ExpandOptions options;
  options.customPass = true;
  options.folderStage = true;
  int first = 1;
  if (argc > 1 && std::strcmp(argv[1], "--relative") == 0) {
    options.resolveRelative = true;
    first = 2;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: macro-probe.exe [--relative] TEXT...\n");
    return 2;
  }
  std::string json = "{\"expanded\": [";
  for (int i = first; i < argc; ++i) {
    json += (i > first ? ", " : "") + tools::JsonString(ExpandMacros(argv[i], options));
  }
  json += "],\n \"folders\": {";
  for (const auto& folder : kFolders) {
    json += (&folder != kFolders ? ", " : "") +
            Member(folder.name, GetSpecialFolder(folder.folder, false));
  }
  json += "},\n \"shell\": {";
  const char* comma = "";
  for (int number : kFolderPathNumbers) {
    json += comma + Member(std::to_string(number), ShellFolderPath(number | Csidl::kFlagCreate));
    comma = ", ";
  }
  for (int number : kSpecialPathNumbers) {
    json += comma + Member(std::to_string(number), ShellSpecialFolderPath(number));
  }
  json += "}}\n";
  std::fputs(json.c_str(), stdout);
  return 0;
}
