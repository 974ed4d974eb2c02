// The authoring tool's project file: any text is read without a crash, and
// what it accepts keeps the limits the builder relies on.
#include "FuzzSupport.h"
#include "pack/IniFile.h"
#include "pack/Project.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<IniSection> sections;
  std::string error;
  int errorLine = 0;
  if (ParseIni(text, sections, error, errorLine)) {
    for (const IniSection& section : sections) {
      FUZZ_CHECK(section.line >= 1, "a section without its line");
      for (const IniEntry& entry : section.entries) FUZZ_CHECK(entry.line >= section.line, "a key before its section");
    }
  } else {
    FUZZ_CHECK(!error.empty(), "a refused text without a reason");
  }
  Project project;
  const PackStatus status = ParseProject(text, "/work/project/setup.vxp", project);
  if (!status.ok()) return 0;
  FUZZ_CHECK(project.compression >= 0 && project.compression <= 9, "compression level out of range");
  FUZZ_CHECK(project.maxEntrySize >= 1 && project.maxEntrySize <= kMaxEntrySizeLimit, "entry size out of range");
  FUZZ_CHECK(project.signTimeout <= kMaxSignTimeout, "sign timeout out of range");
  FUZZ_CHECK(project.type != PackageType::kWebStub || project.hasWeb, "a web stub without web settings");
  return 0;
}
