// Path macros with every value injected: user and owner names, folders and
// the custom list may come from the registry, other processes' settings or
// the info file, and may themselves hold macros. The expansion never grows
// past its bound and leaves a text without macros as it is.
#include <algorithm>
#include <vector>

#include "FuzzSupport.h"
#include "autoupdate/PathMacros.h"

namespace {

bool EveryHighByteLeads(unsigned char byte) { return byte >= 0x81; }

// Every answer is one of a few texts taken from the input.
class InjectedValues : public MacroValues {
 public:
  InjectedValues(FuzzedDataProvider& input) {
    for (int i = 0; i < 6; ++i) texts_.push_back(input.ConsumeRandomLengthString(i == 0 ? 200 : 40));
    days_ = input.ConsumeFloatingPointInRange<double>(-700000.0, 2958465.0);  // years 1 to 9999
    doubleByte_ = input.ConsumeBool();
  }
  std::string LoggedUserName() override { return Text(); }
  std::string RegisteredOwner() override { return Text(); }
  std::string RegisteredOrganization() override { return Text(); }
  std::string ComputerName() override { return Text(); }
  std::string DomainName() override { return Text(); }
  double NowAsDays() override { return days_; }
  std::string DateSeparator() override { return Text(); }
  std::string TimeSeparator() override { return Text(); }
  std::string MonthName(int) override { return Text(); }
  std::string WindowsDir() override { return Text(); }
  std::string SystemDir() override { return Text(); }
  std::string System16Dir() override { return Text(); }
  std::string FontDir() override { return Text(); }
  std::string TempDir() override { return Text(); }
  std::string ProgramDir() override { return "C:\\Program Files\\Prod"; }
  std::string OriginDir() override { return Text(); }
  std::string SpecialFolderDir(SpecialFolder) override { return Text(); }
  std::string RunTimeDir(int) override { return Text(); }
  std::string StartMenuDir() override { return Text(); }
  std::string ProgramFilesDir() override { return Text(); }
  std::string CommonFilesDir() override { return Text(); }
  LeadByteTest LeadBytes() override { return doubleByte_ ? EveryHighByteLeads : NoLeadBytes; }

 private:
  std::string Text() { return texts_[next_++ % texts_.size()]; }
  std::vector<std::string> texts_;
  size_t next_ = 0;
  double days_ = 0;
  bool doubleByte_ = false;
};

std::string EnteredValue(const std::string& key) { return key + key; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  ExpandOptions options;
  options.separator = input.ConsumeBool() ? '\\' : '/';
  options.resolveRelative = input.ConsumeBool();
  options.customPass = input.ConsumeBool();
  options.folderStage = input.ConsumeBool();
  SetInstallDirs(input.ConsumeRandomLengthString(64), input.ConsumeRandomLengthString(32),
                 input.ConsumeRandomLengthString(32));
  SetCustomVariables(input.ConsumeRandomLengthString(128));
  SetEnteredValueProvider(input.ConsumeBool() ? EnteredValue : nullptr);
  InjectedValues values(input);
  const std::string text = input.ConsumeRemainingBytesAsString();
  const std::string expanded = ExpandMacros(text, options, values);
  const size_t bound = std::max(text.size(), kMaxExpandedLength) +
                       (options.resolveRelative ? values.ProgramDir().size() + 2 : 0);
  FUZZ_CHECK(expanded.size() <= bound, "expansion grew past its bound: " + std::to_string(expanded.size()));
  if (!options.resolveRelative && text.find('<') == std::string::npos) {
    FUZZ_CHECK(expanded == text, "a text without macros was changed");
  }
  return 0;
}
