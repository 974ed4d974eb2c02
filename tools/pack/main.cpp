// varnix-pack: builds, lists and extracts stub packages, and scrambles the
// agent's inform pages. Argument handling
// only; the work is done by varnix_pack_lib.
#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "common/Scramble.h"
#include "common/TextRules.h"
#include "pack/PackageBuilder.h"
#include "pack/PackageExtractor.h"
#include "pack/PackageLister.h"
#include "pack/PrintableText.h"
#include "pack/Project.h"
#include "pack/TextScrambler.h"

namespace {

const char kUsage[] =
    "usage: varnix-pack build PROJECT.ini [--stub PATH] [--out PATH] [--seed N]\n"
    "       varnix-pack list PACKAGE\n"
    "       varnix-pack extract PACKAGE DIR\n"
    "       varnix-pack scramble IN OUT\n";

int Report(const PackStatus& status) {
  if (!status.ok()) std::cerr << "varnix-pack: " << status.message << "\n";
  return static_cast<int>(status.code);
}

PackStatus UsageError(const std::string& message) {
  return PackStatus::Fail(ExitCode::kUsage, message + " (varnix-pack --help shows the usage)");
}

PackStatus ParseBuildOptions(const std::vector<std::string>& args, BuildOptions& options) {
  for (size_t i = 2; i < args.size(); i += 2) {
    const std::string& option = args[i];
    if (i + 1 >= args.size()) return UsageError(option + " needs a value");
    const std::string& value = args[i + 1];
    if (option == "--stub") {
      options.stubPath = value;
    } else if (option == "--out") {
      options.outputPath = value;
    } else if (option == "--seed") {
      int64_t seed = -1;
      if (!ParseInt64(value, seed) || seed < 0 || seed > UINT32_MAX) {
        return UsageError("--seed needs a whole number from 0 to 4294967295, not \"" + value +
                          "\"");
      }
      options.hasSeed = true;
      options.seed = static_cast<uint32_t>(seed);
    } else {
      return UsageError("unknown option \"" + option + "\"");
    }
  }
  return PackStatus::Ok();
}

PackStatus RunBuild(const std::vector<std::string>& args) {
  if (args.size() < 2) return UsageError("build needs a project file");
  BuildOptions options;
  PackStatus status = ParseBuildOptions(args, options);
  Project project;
  if (status.ok()) status = LoadProject(args[1], project);
  BuildReport report;
  if (status.ok()) status = BuildPackage(project, options, report);
  if (!status.ok()) return status;
  for (const std::string& warning : report.warnings)
    std::cerr << "varnix-pack: warning: " << warning << "\n";
  for (const std::string& file : report.files) std::cout << "wrote " << file << "\n";
  if (!report.signedFile.empty()) std::cout << "signed " << report.signedFile << "\n";
  std::cout << report.sourceFileCount << " files in " << report.entryCount << " entries";
  if (!report.launchEntry.empty()) std::cout << "; launch entry \"" << report.launchEntry << "\"";
  std::cout << "\n";
  return status;
}

PackStatus RunExtract(const std::vector<std::string>& args) {
  if (args.size() != 3) return UsageError("extract needs a package and a destination folder");
  ExtractReport report;
  PackStatus status = ExtractPackage(args[1], args[2], report, &std::cout);
  if (!status.ok()) return status;
  std::cout << report.files.size() << " files from " << report.entries << " entries; launch entry: "
            << (report.launchEntry.empty() ? "none" : "\"" + PrintableText(report.launchEntry) + "\"")
            << "\n";
  return status;
}

PackStatus RunScramble(const std::vector<std::string>& args) {
  if (args.size() != 3) return UsageError("scramble needs an input and an output file");
  // The agent reads the key from the file, so any key in range will do.
  PackStatus status = ScrambleTextFile(args[1], args[2], RandomInRange(33, 122));
  if (status.ok()) std::cout << "wrote " << args[2] << "\n";
  return status;
}

PackStatus Run(const std::vector<std::string>& args) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::cout << kUsage;
    return args.empty() ? PackStatus::Fail(ExitCode::kUsage, "no command given") : PackStatus::Ok();
  }
  const std::string& verb = args[0];
  if (verb == "build") return RunBuild(args);
  if (verb == "extract") return RunExtract(args);
  if (verb == "scramble") return RunScramble(args);
  if (verb == "list") {
    if (args.size() != 2) return UsageError("list needs exactly one package");
    return ListPackage(args[1], std::cout);
  }
  return UsageError("unknown command \"" + verb + "\"");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    return Report(Run(args));
  } catch (const std::exception& error) {
    return Report(
        PackStatus::Fail(ExitCode::kInternal, std::string("unexpected failure: ") + error.what()));
  }
}
