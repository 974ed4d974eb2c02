// The update agent's decisions: whether test mode is on, whether a probe of
// the server is due at this tick, and whether the update (or inform page)
// the server announces may be offered now. Portable: the clock, the registry,
// file sizes and the logs come in through the arguments.
#pragma once

#include <cstdint>
#include <string>

class SetupRecords;

// Where the agent writes what it decided: the debug channel (the sink puts
// the process id in front) and the run log.
class AgentLog {
 public:
  virtual ~AgentLog() = default;
  virtual void Trace(const std::string& line) = 0;
  virtual void Record(const std::string& line) = 0;
};

// What test mode reads: the system's millisecond tick, a text value of the
// agent's registry key (`fallback` when missing), and the local date as
// FormatDayMonYear writes it.
class TestModeSources {
 public:
  virtual uint32_t TickCount() = 0;
  virtual std::string RegistryText(const std::string& name, const std::string& fallback) = 0;
  virtual std::string Today() = 0;

 protected:
  ~TestModeSources() = default;
};

// Test mode lets a publisher try an update from a local or shared folder:
// on while the registry value TestMode is "1" and TestModeDate is today's
// date (so it lapses at midnight by itself).
class TestModeState {
 public:
  explicit TestModeState(TestModeSources& sources) : sources_(sources) {}
  // Re-reads the registry when forced or when the last re-read is more than
  // 30 s ago; returns whether test mode is on.
  bool Check(bool force);
  bool On() const { return on_; }
  // TestModeURL as last read (also when test mode is off).
  const std::string& Url() const { return url_; }

 private:
  TestModeSources& sources_;
  bool on_ = false;
  std::string url_;
  uint32_t refreshedAt_ = 0;
};

// The registry values test mode reads, under HKEY_CURRENT_USER.
extern const char kAgentRegistryKey[];

// The probe flags the agent's process keeps: periodic probing allowed, a
// probe asked for now, and a user-requested check under way (1).
struct ProbeFlags {
  bool probeEnabled = true;
  bool probeNow = false;
  int manualCheckState = 0;
};

// Seconds from `last` to `now`: 0 when `last` lies in the future, INT64_MAX
// when the distance overflows.
int64_t SecondsSince(int64_t now, int64_t last);

// ShotTimeStatus: 0 no probe, 1 probe, 2 probe and then stop periodic probing
// (interval 0: once a run). Clears flags.probeNow in every case. A
// ProbeSecondsLast in the future is rewritten as now (here and for
// ReAskSecondsLast in IsReAskDue), so a clock set back delays the schedule by
// one interval, not until the clock catches up.
enum ShotTimeStatus { kNoProbe = 0, kProbe = 1, kProbeOnce = 2 };
int IsProbeDue(SetupRecords& records, bool testMode, int64_t nowSeconds, ProbeFlags& flags);

// An offer with an unchanged Stamp may be repeated: the re-ask interval is
// above 0 and has passed strictly.
bool IsReAskDue(SetupRecords& records, int64_t nowSeconds);

// Outside test mode updates and inform links come only from http or https
// addresses: a local or shared-folder location in a downloaded info file
// would make the agent open a share with the user's credentials. Test mode
// exists for local and shared folders and accepts any location.
bool IsAllowedUpdateLocation(const std::string& location, bool testMode);

// How the size check finds a file's size.
class SizeProbe {
 public:
  virtual ~SizeProbe() = default;
  // Size of an existing local or shared file; -1 when there is none.
  virtual int64_t FileSize(const std::string& path) = 0;
  // The size the server announces; -1 when it announces none or cannot be
  // reached. The system's "connected" report is not asked first: it says
  // off line behind some proxies and VPNs (and under emulated Wine), while a
  // request that cannot connect fails quickly anyway.
  virtual int64_t HttpSize(const std::string& url) = 0;
};

// What the decision works with besides the two files.
struct DecisionContext {
  SetupRecords& records;
  bool testMode;
  std::string testModeUrl;
  int64_t nowSeconds;
  int manualCheckState;
  SizeProbe& sizes;
  AgentLog& log;
};

// The file on the server (the inform file when the info file announces an
// inform page) is within 99 bytes of the size the info file announces. An
// unknown size never passes. Failures write the sizes and location to the
// run log.
bool CheckUpdateFileSize(const DecisionContext& context, const std::string& base,
                         const std::string& updateName, const std::string& informName);

// The reason texts of the decision's stages 0 to 6.
std::string DecisionReason(int stage);
// The decision's stage: 0 info file missing, 1 original file unreadable, 2
// too early to offer the same Stamp again, 3 version not newer, 4 installed
// version not listed, 5 size mismatch, 6 the offer may be made. Writes the
// stage to the debug channel and stage and reason to the run log. True for 6.
bool GetOkToPerformAU(const DecisionContext& context, bool infoFetched, int& stage,
                      std::string& reason);
