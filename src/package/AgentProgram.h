// The auto-update agent written beside the unpacked files: the first
// volume's image and text blocks (without file entries) and its trailer
// marked as an agent. Portable.
#pragma once

#include <string>

#include "package/PackageFormat.h"

// `head` is the first volume up to the end of its text blocks. The low half
// of a program image's end pointer is cleared (nothing follows the new
// trailer), the
// trailer gets IsUpdateAgent 1 and TrailerLength 74, all else unchanged.
std::string MakeAgentProgram(std::string head, PackageTrailer trailer);

class ByteSource;

// The agent made from a whole package without file entries (a web stub): its
// image and text blocks up to the end of the last block, with the trailer of
// MakeAgentProgram. Whatever followed the package (a signature) is left out.
// Empty when the source holds no package or its blocks cannot be read.
std::string AgentProgramOf(ByteSource& source);

// True when the first volume's name qualifies for writing the agent: it ends
// with ".exe" or ".exe.001", letter case ignored.
bool VolumeCarriesAgentImage(const std::string& firstVolume);
