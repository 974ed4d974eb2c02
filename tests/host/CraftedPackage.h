// Builds small package files byte by byte, so reader tests can damage any
// part of them on purpose.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "package/PackageFormat.h"

inline void PutU32(std::string& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline std::string U32(uint32_t value) {
  std::string bytes(4, '\0');
  PutU32(bytes, 0, value);
  return bytes;
}

// A 512-byte stand-in for the stub: "MZ" at 0, "PE" at 0x100.
inline std::string FakeStub() {
  std::string stub(512, '\0');
  stub[0] = 'M';
  stub[1] = 'Z';
  stub[0x100] = 'P';
  stub[0x101] = 'E';
  return stub;
}

inline std::string Block(const std::string& data) { return U32(static_cast<uint32_t>(data.size())) + data; }

inline std::string TrailerBytes(const PackageTrailer& trailer) {
  std::string bytes(sizeof trailer, '\0');
  std::memcpy(&bytes[0], &trailer, sizeof trailer);
  return bytes;
}

struct CraftedPackage {
  std::string image = FakeStub();
  std::string language = "\x02\x01" "English\x01s0=Hello\x01\x02";
  std::string settings = "|http://|prod.info|agent.exe||0|";
  std::string web;  // a third block when not empty
  std::string entries;
  PackageTrailer trailer{};

  CraftedPackage() {
    trailer.Version = 1;
    trailer.PackageMagic = kPackageMagic;
    trailer.PackageChecksum = kChecksumOff;
    trailer.TrailerLength = kTrailerSize;
  }

  std::string Bytes() const {
    PackageTrailer t = trailer;
    t.HeaderBlockCount = web.empty() ? 2 : 3;
    t.DataOffset = static_cast<uint32_t>(image.size());
    std::string blocks = Block(language) + Block(settings) + (web.empty() ? "" : Block(web)) + entries;
    return image + blocks + TrailerBytes(t);
  }
};
