#include <gtest/gtest.h>

#include <cstring>

#include "CraftedPackage.h"
#include "package/AgentProgram.h"
#include "package/ByteSource.h"
#include "package/TGFileInfo.h"

TEST(AgentProgram, ImageWithTextBlocksAndAgentTrailer) {
  CraftedPackage p;
  p.trailer.HasUpdateAgent = 1;
  p.trailer.Reserved64 = 7;  // kept: bytes the reader does not interpret
  p.entries = Block("not copied");
  std::string first = p.Bytes();
  PutU32(first, kEndPointerLowOffset, static_cast<uint32_t>(first.size()));
  const size_t textEnd = 512 + 4 + p.language.size() + 4 + p.settings.size();

  PackageTrailer trailer;
  std::memcpy(&trailer, first.data() + first.size() - kTrailerSize, kTrailerSize);
  const std::string agent = MakeAgentProgram(first.substr(0, textEnd), trailer);

  ASSERT_EQ(agent.size(), textEnd + kTrailerSize);
  EXPECT_EQ(agent.substr(kEndPointerLowOffset, 4), std::string(4, '\0'));  // the pointer no longer applies
  MemorySource source(agent);
  const TGFileInfo info(source);
  EXPECT_TRUE(info.IsUpdateAgent());
  EXPECT_TRUE(info.HasUpdateAgent());
  EXPECT_EQ(info.SettingsBlock(), p.settings);
  EXPECT_EQ(uint32_t(info.Trailer().DataOffset), textEnd);
  EXPECT_EQ(int(info.Trailer().Reserved64), 7);

  // A data volume has no end pointer: its bytes at 0xFC stay as they are.
  const std::string data(600, 'd');
  EXPECT_EQ(MakeAgentProgram(data, trailer).substr(0, 600), data);
}

TEST(AgentProgram, QualifyingVolumeNames) {
  EXPECT_TRUE(VolumeCarriesAgentImage("C:\\x\\setup.exe"));
  EXPECT_TRUE(VolumeCarriesAgentImage("C:\\x\\SETUP.EXE.001"));
  EXPECT_FALSE(VolumeCarriesAgentImage("C:\\x\\setup.001"));
  EXPECT_FALSE(VolumeCarriesAgentImage("C:\\x\\setup.exe.002"));
}

// A web stub's own file, signed: the agent is its image and three text blocks
// with an agent trailer; the signature behind the package is not copied.
TEST(AgentProgram, OfAWebStubWithoutItsSignature) {
  CraftedPackage p;
  p.trailer.IsWebStub = 1;
  p.trailer.HasUpdateAgent = 1;
  p.web = "http://127.0.0.1/p|Setup.exe|0|token|15728640|";
  std::string signedStub = p.Bytes();
  const size_t packageEnd = signedStub.size();
  PutU32(signedStub, kEndPointerLowOffset, static_cast<uint32_t>(packageEnd));
  signedStub += std::string(12000, 'S');

  MemorySource source(signedStub);
  const std::string agent = AgentProgramOf(source);

  ASSERT_EQ(agent.size(), packageEnd);  // the old trailer's place now holds the new one
  EXPECT_EQ(agent.find("SSSS"), std::string::npos);
  MemorySource copy(agent);
  const TGFileInfo info(copy);
  EXPECT_TRUE(info.IsUpdateAgent());
  EXPECT_TRUE(info.IsWebStub());
  EXPECT_EQ(info.WebBlock(), p.web);

  MemorySource notAPackage(std::string(4000, 'x'));
  EXPECT_EQ(AgentProgramOf(notAPackage), "");
}
