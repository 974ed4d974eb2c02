// Switches and window messages from other processes: the command-line
// parsing, the start-up role decision, the agent's switch values and the
// answers to the agent message, with round trips for switches written out
// the way a caller writes them.
#include "AgentFakes.h"
#include "FuzzSupport.h"
#include "autoupdate/AgentRules.h"
#include "common/CmdLine.h"
#include "common/TextRules.h"
#include "stub/ModeRules.h"

namespace {

const char* const kSwitchNames[] = {"/SpanCdLvl", "/WAIT", "/SleepX", "/STOP", "/WM_MSG", "/S", "-silent",
                                    "/PROBE", "/x"};

void AnyCommandLine(FuzzedDataProvider& input) {
  const std::string program = input.ConsumeRandomLengthString(64);
  const std::string raw = input.ConsumeRandomLengthString(512);
  const std::string name = input.ConsumeBool() ? kSwitchNames[input.ConsumeIntegralInRange<size_t>(0, 8)]
                                               : input.ConsumeRandomLengthString(12);
  const std::string params = CmdLineParamsOf(raw, program);
  FUZZ_CHECK(params.size() <= raw.size(), "parameters longer than the command line");
  HasSwitchIn(params, name);
  SwitchValueIn(params, name, "fallback");
  SwitchIntIn(params, name, -7);
  const int level = SpanLevelOf(params);  // any int: only 1 and 2 mean a level
  const HostSwitch host = ParseHostSwitch(SwitchValueIn(params, "/WM_MSG", ""));
  IsHostMessageNumber(host.message);
  ClampedSwitchValue(SwitchIntIn(params, "/SleepX", -1), kMaxSwitchTicks);
  const std::string agent = input.ConsumeRandomLengthString(32);
  const bool isAgent = input.ConsumeBool();
  const bool plain = IsPlainAgentFile(isAgent, ExtractFileName(program), agent);
  const bool copy = IsAgentCopyFile(isAgent, ExtractFileName(program), agent);
  ChooseStubRole(plain, copy, input.ConsumeBool(), level);
  MainWindowClassNameFor(isAgent, program);
  AgentCopyClassName(agent);
}

// A switch written as "/name=value" among others reads back as its value.
void WrittenSwitch(FuzzedDataProvider& input) {
  std::string name = "/v";  // never one of the other switches written below
  for (char c : input.ConsumeRandomLengthString(10)) {
    if (std::isalnum(static_cast<unsigned char>(c))) name += c;
  }
  // Blanks inside a value are kept; a blank before a switch character ends it.
  std::string value;
  for (char c : input.ConsumeRandomLengthString(40)) {
    if (static_cast<unsigned char>(c) > ' ' && c != '/' && c != '-' && c != '"') value += c;
    else if (c == ' ' && !value.empty()) value += c;
  }
  // Blanks before "=" are dropped by the reading, as the system's own
  // switch syntax does.
  value = TrimText(RemoveBlanksBeforeEquals(value));
  const int64_t number = input.ConsumeIntegral<int64_t>();
  const std::string params = "/other=1 " + name + "=" + value + " /more " + name + "x=" + std::to_string(number);
  FUZZ_CHECK(HasSwitchIn(params, "/more"), "a switch word was not found");
  FUZZ_CHECK(SwitchValueIn(params, name, "fallback") == value, "switch " + name + " did not read back");
  FUZZ_CHECK(SwitchIntIn(params, name + "x", -1) == number, "number switch did not read back");
  const std::string program = "C:\\Program Files\\Prod\\stub.exe";
  FUZZ_CHECK(CmdLineParamsOf("\"" + program + "\"  " + params + " ", program) == params,
             "the program's own name was not cut off");
}

// The agent message as another process sends it, codes and values in turn.
void AgentMessages(FuzzedDataProvider& input) {
  AgentFiles files;
  AgentState state;
  OverrideFlags overrides;
  while (input.remaining_bytes() > 0) {
    const uint32_t code = input.ConsumeBool() ? input.ConsumeIntegralInRange<uint32_t>(0, 40)
                                              : input.ConsumeIntegral<uint32_t>();
    AnswerAgentMessage(state, files.records, overrides, code, input.ConsumeIntegral<int32_t>());
    const TickStart tick = AdvanceTick(state);
    (void)tick;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  switch (input.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
      AnyCommandLine(input);
      break;
    case 1:
      WrittenSwitch(input);
      break;
    default:
      AgentMessages(input);
  }
  return 0;
}
