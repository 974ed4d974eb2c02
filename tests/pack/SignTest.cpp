// The Sign key: the publisher's command runs on the finished program file,
// and only an output that appends to it (and at most updates the PE header)
// replaces it. Fake signers in /bin/sh stand in for a real signing tool; the
// command-line tests use a real one.
#include <signal.h>

#include <chrono>
#include <thread>

#include "PackTestSupport.h"
#include "pack/AppendedData.h"
#include "pack/ProgramSigner.h"
#include "package/ByteSource.h"

namespace packtest {
namespace {

// Appends a stand-in signature and, as real signers do, rewrites a byte of
// the PE header area (the PE checksum field of a stub with its headers at 0x100).
const char kFakeSigner[] =
    "{ cat \"$in\"; printf SIGNATURE; } > \"$out\" && "
    "printf C | dd of=\"$out\" bs=1 seek=344 conv=notrunc 2>/dev/null";

// Shell text that overwrites one byte of the output at `offset` with 0xFF.
std::string Poke(int offset) {
  return "; printf '\\377' | dd of=\"$out\" bs=1 seek=" + std::to_string(offset) +
         " conv=notrunc 2>/dev/null";
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class PackSign : public PackFixture {
 protected:
  void SetUp() override {
    PackFixture::SetUp();
    AddFile("setup.exe", std::string(3000, 'E'));
  }
  std::string Signed(const std::string& command, const std::string& more = "") const {
    return SetupProject("EndPointer = 1\nSign = " + command + "\n" + more);
  }
  // Everything the build left in out/.
  std::vector<std::string> OutFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path() / "out"))
      names.push_back(entry.path().filename().string());
    return names;
  }
};

TEST_F(PackSign, SignatureFollowsThePackageAndTheWalkStillReadsIt) {
  ASSERT_TRUE(Build(SetupProject("EndPointer = 1")).ok());
  const std::string unsignedBytes = ReadFile(Out());
  BuildReport report;
  PackStatus status = Build(Signed(kFakeSigner), &report);
  ASSERT_TRUE(status.ok()) << status.message;
  EXPECT_EQ(Out(), report.signedFile);

  const std::string signedBytes = ReadFile(Out());
  ASSERT_EQ(unsignedBytes.size() + 9, signedBytes.size());
  EXPECT_EQ('C', signedBytes[344]);
  EXPECT_EQ(unsignedBytes.substr(512), signedBytes.substr(512, unsignedBytes.size() - 512))
      << "the package is unchanged";
  EntryRecorder r = Record(Out());
  ASSERT_EQ(1u, r.volumes.size());
  EXPECT_EQ(unsignedBytes.size(), r.volumes[0].packageEnd);
  EXPECT_TRUE(r.volumes[0].checksumPasses);
  ASSERT_EQ(1u, r.entries.size());
  EXPECT_EQ(std::string(3000, 'E'), r.entries[0].content);
  EXPECT_EQ(std::vector<std::string>{"setup.exe"}, OutFiles()) << "no temporary file is left";
}

TEST_F(PackSign, PathsReachTheCommandAsValuesNeverAsShellText) {
  // An output name full of shell syntax: pasted into the command it would
  // run "touch pwned" or break the quoting.
  const std::string name = "odd 'name\" $(touch pwned) `touch pwned2`;.exe";
  std::string project = Signed(kFakeSigner);
  project.replace(project.find("out/setup.exe"), 13, "out/" + name);
  BuildReport report;
  PackStatus status = Build(project, &report);
  ASSERT_TRUE(status.ok()) << status.message;
  EXPECT_TRUE(EndsWith(ReadFile(Out(name)), "SIGNATURE"));
  EXPECT_FALSE(fs::exists(dir.path() / "pwned"));
  EXPECT_FALSE(fs::exists(dir.path() / "pwned2"));
}

TEST_F(PackSign, CommandRunsInTheProjectFolder) {
  // The tests run elsewhere; a relative path in the command must mean the
  // same as the project's other relative paths.
  WriteFile(dir / "signature.bin", "SIGNATURE");
  ASSERT_NE(fs::current_path(), dir.path());
  PackStatus status = Build(Signed("cat \"$in\" signature.bin > \"$out\""));
  ASSERT_TRUE(status.ok()) << status.message;
  EXPECT_TRUE(EndsWith(ReadFile(Out()), "SIGNATURE"));
}

TEST_F(PackSign, FailingSignerFailsTheBuildAndLeavesNoProgram) {
  const std::string append = "{ cat \"$in\"; printf SIGNATURE; } > \"$out\"";
  const struct {
    std::string command;
    const char* message;
  } kCases[] = {
      {"exit 3", "the Sign command exited with 3"},
      {"kill -9 $$", "was ended by signal 9"},
      {"no-such-signer-xyz -in \"$in\"", "exited with 127"},
      // Standard input is empty: a signer asking for a pass phrase fails at once.
      {"read phrase && " + append, "exited with 1"},
      {"true", "the command wrote no output file"},
      // signed in place, then copied: the comparison would have no unsigned original
      {"printf SIG >> \"$in\"; cp \"$in\" \"$out\"", "the Sign command changed $in"},
      {"cp \"$in\" \"$out\"", "nothing was appended"},
      // The package starts at 512, behind the fake stub; its first text block at 516.
      {append + Poke(516), "changed the package at offset 0x204"},
      {append + Poke(0xFC), "changed the end pointer at offset 0xFC"},
      {append + Poke(2), "changed the program image at offset 0x2"},
  };
  for (const auto& c : kCases) {
    PackStatus status = Build(Signed(c.command));
    EXPECT_EQ(ExitCode::kSign, status.code) << c.command;
    EXPECT_NE(std::string::npos, status.message.find(c.message)) << c.command << "\n"
                                                                 << status.message;
    EXPECT_TRUE(OutFiles().empty()) << c.command << ": the unsigned program must not stay";
  }
}

bool ProcessGone(pid_t pid) {
  if (kill(pid, 0) != 0) return true;
  std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  size_t close = stat.rfind(')');
  return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] == 'Z';
}

TEST_F(PackSign, SignerThatHangsIsEndedWithEverythingItStarted) {
  const std::string pidFile = dir / "sleeper.pid";
  auto started = std::chrono::steady_clock::now();
  PackStatus status =
      Build(Signed("sleep 60 & echo $! > '" + pidFile + "'; wait", "SignTimeout = 1"));
  auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(ExitCode::kSign, status.code);
  EXPECT_NE(std::string::npos, status.message.find("did not finish within 1 s")) << status.message;
  EXPECT_LT(took, std::chrono::seconds(10));
  EXPECT_TRUE(OutFiles().empty());
  const pid_t sleeper = static_cast<pid_t>(std::stol(ReadFile(pidFile)));
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    gone = ProcessGone(sleeper);
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(gone) << "the command's own child must end with it";
}

TEST_F(PackSign, OnlyTheProgramFileIsSigned) {
  const struct {
    const char* keys;
    const char* program;
    const char* dataVolume;  // must stay unsigned; empty: none
  } kCases[] = {
      {"Type = agent\nStub = stub.exe\nOutput = out/agent.exe", "agent.exe", ""},
      {"Type = web\nStub = stub.exe\nOutput = out/web.exe\n[Web]\nFileName = s.exe\nSize = 9",
       "web.exe", ""},
      // the span program holds the stub and text blocks; OUTPUT.001 is data
      {"Stub = stub.exe\nOutput = out/span.exe\nFiles = files\nLaunch = setup.exe\nSpanCd = 1",
       "span.exe", "span.exe.001"},
      // a numbered first volume is still the program
      {"Stub = stub.exe\nOutput = out/num.exe\nFiles = files\nLaunch = setup.exe\n"
       "NumberFirstVolume = 1\nVolumeSize = 2000\nCompression = 0",
       "num.exe.001", "num.exe.002"},
  };
  for (const auto& c : kCases) {
    std::string keys = c.keys;
    size_t sections = keys.find("\n[");
    std::string extra = sections == std::string::npos ? "" : keys.substr(sections);
    keys = keys.substr(0, sections);
    BuildReport report;
    PackStatus status = Build(
        "[Package]\n" + keys + "\nEndPointer = 1\nSign = " + kFakeSigner + "\n" + extra, &report);
    ASSERT_TRUE(status.ok()) << c.program << ": " << status.message;
    EXPECT_EQ(Out(c.program), report.signedFile);
    EXPECT_TRUE(EndsWith(ReadFile(Out(c.program)), "SIGNATURE")) << c.program;
    if (*c.dataVolume) {
      EXPECT_FALSE(EndsWith(ReadFile(Out(c.dataVolume)), "SIGNATURE"));
    }
    EntryRecorder r = Record(Out(c.program));
    EXPECT_FALSE(r.volumes.empty()) << c.program;
  }
}

// A stub with real PE headers at 0x100, a package of `packageSize` bytes and
// whatever follows it; data directory 4 is set to `table`.
std::string PeProgram(uint16_t magic, uint32_t tableOffset, uint32_t tableSize) {
  std::string bytes = FakeStub();
  bytes.replace(0x3C, 4, U32Bytes(0x100));
  const size_t optional = 0x118;
  const bool plus = magic == 0x20B;
  bytes.replace(0x114, 2, std::string(plus ? "\xF0\x00" : "\xE0\x00", 2));
  bytes.replace(optional, 2, std::string(1, static_cast<char>(magic & 0xFF)) + char(magic >> 8));
  const size_t count = optional + (plus ? 108 : 92);
  bytes.replace(count, 4, U32Bytes(16));
  bytes.replace(count + 4 + 32, 4, U32Bytes(tableOffset));
  bytes.replace(count + 4 + 36, 4, U32Bytes(tableSize));
  return bytes;
}

std::string Certificate(uint32_t length, uint16_t type) {
  std::string entry = U32Bytes(length) + std::string("\x00\x02", 2) +
                      std::string(1, static_cast<char>(type)) + std::string(1, '\0');
  entry.resize((length + 7) / 8 * 8, 'c');
  return entry;
}

TEST(AppendedData, DescribesTheCertificateTableBehindThePackage) {
  const uint32_t end = 600;  // the package ends here
  const std::string one = Certificate(20, 2);
  const struct {
    const char* edge;
    uint16_t magic;
    uint32_t tableOffset, tableSize;
    std::string tail;  // bytes from `end` on
    const char* expected;
  } kCases[] = {
      {"one signature right behind", 0x10B, end, 24, one,
       "24 bytes: signature (certificate table at 600, 24 bytes): 1 certificate of 20 bytes, "
       "revision 0x0200, PKCS#7 signed data"},
      {"aligned after padding", 0x10B, end + 8, 24, std::string(8, '\0') + one,
       "after 8 bytes of padding): 1 certificate"},
      {"one byte of padding, one byte behind", 0x10B, end + 1, 24, std::string(1, '\0') + one + "Z",
       "26 bytes: signature (certificate table at 601, 24 bytes, after 1 byte of padding, 1 byte "
       "behind it)"},
      {"PE32+ headers", 0x20B, end, 24, one, "signature (certificate table at 600"},
      {"two entries", 0x10B, end, 48, one + Certificate(17, 1),
       "2 certificates, the first of 20 bytes, revision 0x0200, PKCS#7 signed data"},
      {"bytes left behind the table", 0x10B, end, 24, one + "XYZ", "3 bytes behind it"},
      {"no directory entry", 0x10B, 0, 0, one, "no signature (the certificate directory is empty)"},
      {"directory into the package", 0x10B, 512, 24, one, "points to 512..536, not into these"},
      {"directory past the end", 0x10B, end, 4096, one, "points to 600..4696"},
      {"entry longer than the table", 0x10B, end, 24, Certificate(40, 2).substr(0, 24),
       "certificate table at 600 is malformed"},
      {"entry of length 0", 0x10B, end, 24, U32Bytes(0) + std::string(20, '\0'), "malformed"},
      {"no optional header", 0x999, end, 24, one, "no signature (no PE optional header)"},
  };
  for (const auto& c : kCases) {
    std::string bytes = PeProgram(c.magic, c.tableOffset, c.tableSize);
    bytes.resize(end, 'P');
    MemorySource source(bytes + c.tail);
    std::string text = DescribeAppendedData(source, end);
    EXPECT_NE(std::string::npos, text.find(c.expected)) << c.edge << "\n" << text;
  }
  MemorySource bare(FakeStub() + "tail");  // no pointer to the NT headers at 0x3C
  EXPECT_EQ("4 bytes: no signature (no PE headers)", DescribeAppendedData(bare, 512));
}

}  // namespace
}  // namespace packtest
