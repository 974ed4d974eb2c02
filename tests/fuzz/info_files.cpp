// The two files the agent downloads from the product's server: the info
// file (what the newest version is, where it lies, what may be shut down)
// and the inform file (a token text with a page). Every value reads; the
// file names it would write, run or delete stay plain names beside it; the
// program it would shut down lies in the product's folders; the decision
// takes any values; and an inform file's token matches exactly when it is
// this package's token.
#include <cctype>

#include "AgentFakes.h"
#include "FuzzSupport.h"
#include "autoupdate/SecretToken.h"
#include "autoupdate/UpdateRules.h"
#include "common/Scramble.h"
#include "common/TextRules.h"
#include "package/ByteSource.h"
#include "package/EntryHeader.h"
#include "package/PackageReader.h"
#include "package/TGFileInfo.h"
#include "ui/InformRules.h"

namespace {

void CheckNames(const SetupRecords& r) {
  const AgentOwnFiles own{"Product.exe", "Product.info", "Product.original"};
  for (const std::string& name : {r.NameOfUpdateFile(), r.NameOfInformFile()}) {
    const std::string safe = SafeDownloadName(name, own);
    if (safe.empty()) continue;
    FUZZ_CHECK(safe.find_first_of("\\/:") == std::string::npos && IsSafeEntryName(safe),
               "a download name that is not a plain file name: " + safe);
    for (const std::string& mine : {own.agentName, "X_" + own.agentName, own.infoName, own.originalName}) {
      FUZZ_CHECK(UpperText(safe) != UpperText(mine), "a download would replace the agent's own file " + mine);
    }
  }
  const std::string folders[3] = {r.TargetDir(), r.SharedDir(), r.AuxiliaryDir()};
  const std::string program = ProductProgramPath(r.RunningProcess(), folders, NoLeadBytes);
  if (program.empty()) return;
  FUZZ_CHECK(program.find("\\..\\") == std::string::npos && !EndsWithText("\\..", program, false),
             "the program's path keeps a step up: " + program);
  // With plain absolute folders ("C:\\App") the answer lies inside one of them.
  bool plainFolders = true, inside = false;
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    const bool plain = folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) &&
                       folder.compare(1, 2, ":\\") == 0 && folder.find("\\\\") == std::string::npos &&
                       folder.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789:\\") ==
                           std::string::npos;
    plainFolders = plainFolders && plain;
    const std::string prefix = folder.back() == '\\' ? folder : folder + "\\";
    inside = inside || StartsWithText(prefix, program, true);
  }
  if (plainFolders) FUZZ_CHECK(inside, "the program to shut down lies outside the product's folders: " + program);
}

void Decide(FuzzedDataProvider& input, SetupRecords& r) {
  FakeSizes sizes;
  CapturedLog log;
  sizes.files[input.ConsumeRandomLengthString(32)] = input.ConsumeIntegral<int64_t>();
  sizes.urls[input.ConsumeRandomLengthString(32)] = input.ConsumeIntegral<int64_t>();
  DecisionContext context{r, input.ConsumeBool(), input.ConsumeRandomLengthString(32),
                          input.ConsumeIntegral<int64_t>(), input.ConsumeIntegralInRange<int>(0, 2), sizes, log};
  int stage = -1;
  std::string reason;
  GetOkToPerformAU(context, input.ConsumeBool(), stage, reason);
  FUZZ_CHECK(stage >= 0 && stage <= 6, "decision stage out of range");
  IsAllowedUpdateLocation(r.DownloadUrlUpdate(), context.testMode);
  IsFolderLocation(r.DownloadUrlInform());
  const std::string texts[] = {OfferText(r), InstallText(r), FinishText(r),
                               ShutDownText(r, r.RunningProcess())};
  (void)texts;
}

// An inform file as downloaded, checked against a package's token and
// split into the page the dialog shows.
void InformFile(FuzzedDataProvider& input, const SetupRecords& r) {
  uint32_t seed = input.ConsumeIntegral<uint32_t>();
  auto random = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
  const std::string token = input.ConsumeRandomLengthString(24);
  const std::string settings = "|http://|Product.info|Product.exe|" + ScrambleToken(token, random) + "|0|";
  const std::string package = std::string("MZ") + std::string(0xFE, '\0') + "PE" + std::string(2, '\0') +
                              std::string(4, '\0') + std::string(4, '\0');
  std::string bytes = package;
  bytes += std::string("\x00\x00\x00\x00", 4);
  const uint32_t length = static_cast<uint32_t>(settings.size());
  bytes += std::string(reinterpret_cast<const char*>(&length), 4) + settings;
  PackageTrailer trailer{};
  trailer.PackageMagic = kPackageMagic;
  trailer.PackageChecksum = kChecksumOff;
  trailer.DataOffset = static_cast<uint32_t>(package.size());
  trailer.TrailerLength = kTrailerSize;
  bytes.append(reinterpret_cast<const char*>(&trailer), sizeof trailer);
  MemorySource source(bytes);
  const TGFileInfo info(source);

  const bool sound = input.ConsumeBool();
  const std::string body = input.ConsumeRandomLengthString(2048);
  std::string text = sound ? "Inform|" + ScrambleToken(token, random) + "|1|2|" + body : body;
  if (input.ConsumeBool()) text = ScrambleTextWithKey(text, input.ConsumeIntegralInRange<int>(33, 122), false);
  const std::string path = FuzzScratchFolder() + "/inform.txt";
  FUZZ_CHECK(WriteWholeFile(path, text), "cannot write the inform file");
  CapturedLog log;
  const bool matches = CheckSecretToken(info, path, kInformDownload, log);
  if (sound) FUZZ_CHECK(matches, "an inform file with this package's token was refused");

  std::string split, page;
  SplitTokenText(text, split, page);
  const InformPlan plan = PlanInform(page, r.DownloadUrlInform());
  FUZZ_CHECK(plan.link.empty() || IsWebAddress(plan.link), "the dialog would open a refused address");
  InformPageText(page);
  ClampInformSize(r.AutoInformWidth(), 1024);
  ClampInformSize(r.AutoInformHeight(), 768);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  AgentFiles files;
  StoreIniText(files.store, AgentFiles::kInfo, input.ConsumeRandomLengthString(4096));
  StoreIniText(files.store, AgentFiles::kOriginal, input.ConsumeRandomLengthString(512));
  SetupRecords& r = files.records;
  r.AutoInform();
  r.SizeOfUpdateFile();
  r.SizeOfInformFile();
  r.VersionNew();
  r.StampNew();
  r.ValidVersions();
  r.NewProgramName();
  r.ShutDownMethod();
  r.RequestConfirmationBeforeDownload();
  r.BackgroundUpdate();
  r.RemoveStartUpShortcut();
  r.IsValidForVersion();
  CheckNames(r);
  Decide(input, r);
  InformFile(input, r);
  return 0;
}
