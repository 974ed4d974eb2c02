#include "pack/AppendedData.h"

#include <cstdio>
#include <memory>

namespace {

// PE layout constants: the DOS header's pointer to the NT headers, the
// offsets inside the optional header of its magic and the data directories.
constexpr uint64_t kNtHeaderPointer = 0x3C;
constexpr uint64_t kOptionalHeader = 24;  // after "PE\0\0" and the 20-byte file header
constexpr uint32_t kPe32Magic = 0x10B;
constexpr uint32_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kCertificateDirectory = 4;
constexpr uint32_t kCertificateHeaderSize = 8;  // dwLength, wRevision, wCertificateType
constexpr int kMostCertificatesCounted = 64;

struct Range {
  uint64_t offset = 0;
  uint64_t size = 0;
};

bool ReadU16(ByteSource& source, uint64_t offset, uint32_t& value) {
  unsigned char bytes[2];
  if (!source.ReadExact(offset, bytes, 2)) return false;
  value = bytes[0] | (bytes[1] << 8);
  return true;
}

// Data directory 4 of the PE headers; false with a reason when the file has
// no such directory.
bool CertificateDirectory(ByteSource& source, Range& directory, std::string& reason) {
  uint32_t ntHeaders = 0, signature = 0, optionalSize = 0, magic = 0;
  if (!source.ReadU32(kNtHeaderPointer, ntHeaders) || !source.ReadU32(ntHeaders, signature) ||
      signature != 0x4550) {
    reason = "no PE headers";
    return false;
  }
  const uint64_t optional = uint64_t{ntHeaders} + kOptionalHeader;
  if (!ReadU16(source, uint64_t{ntHeaders} + 20, optionalSize) ||
      !ReadU16(source, optional, magic) || (magic != kPe32Magic && magic != kPe32PlusMagic)) {
    reason = "no PE optional header";
    return false;
  }
  const uint64_t countField = optional + (magic == kPe32Magic ? 92 : 108);
  const uint64_t entry = countField + 4 + 8 * kCertificateDirectory;
  uint32_t directories = 0, offset = 0, size = 0;
  if (!source.ReadU32(countField, directories) || directories <= kCertificateDirectory ||
      entry + 8 > optional + optionalSize || !source.ReadU32(entry, offset) ||
      !source.ReadU32(entry + 4, size)) {
    reason = "the PE headers have no certificate directory";
    return false;
  }
  directory.offset = offset;
  directory.size = size;
  return true;
}

std::string ByteCount(uint64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string RevisionText(uint32_t revision) {
  char text[32];
  std::snprintf(text, sizeof text, "revision 0x%04X", revision);
  return text;
}

std::string TypeText(uint32_t type) {
  switch (type) {
    case 1:
      return "X.509 certificate";
    case 2:
      return "PKCS#7 signed data";
    case 4:
      return "terminal server stack signature";
    default:
      return "unknown type " + std::to_string(type);
  }
}

// Walks the table's entries (each 8-byte aligned); empty text when they do
// not fill the table exactly.
std::string DescribeCertificates(ByteSource& source, const Range& table) {
  uint32_t length = 0, revision = 0, type = 0;
  if (!source.ReadU32(table.offset, length) || !ReadU16(source, table.offset + 4, revision) ||
      !ReadU16(source, table.offset + 6, type)) {
    return std::string();
  }
  int count = 0;
  uint64_t at = table.offset;
  const uint64_t end = table.offset + table.size;
  while (at < end && count < kMostCertificatesCounted) {
    uint32_t entryLength = 0;
    if (!source.ReadU32(at, entryLength) || entryLength < kCertificateHeaderSize ||
        entryLength > end - at) {
      return std::string();
    }
    at += (uint64_t{entryLength} + 7) / 8 * 8;
    ++count;
  }
  if (at < end) return std::string();
  return (count == 1 ? std::string("1 certificate of ")
                     : std::to_string(count) + " certificates, the first of ") +
         std::to_string(length) + " bytes, " + RevisionText(revision) + ", " + TypeText(type);
}

}  // namespace

std::string DescribeAppendedData(ByteSource& source, uint64_t packageEnd) {
  const uint64_t fileSize = source.Size();
  if (fileSize <= packageEnd) return "nothing";
  std::string text = ByteCount(fileSize - packageEnd) + ": ";
  Range table;
  std::string reason;
  if (!CertificateDirectory(source, table, reason)) return text + "no signature (" + reason + ")";
  if (table.offset == 0 && table.size == 0)
    return text + "no signature (the certificate directory is empty)";
  if (table.offset < packageEnd || table.size > fileSize - table.offset) {
    return text + "not a signature: the certificate directory points to " +
           std::to_string(table.offset) + ".." + std::to_string(table.offset + table.size) +
           ", not into these bytes";
  }
  std::string certificates = DescribeCertificates(source, table);
  if (certificates.empty()) {
    return text + "not a signature: the certificate table at " + std::to_string(table.offset) +
           " is malformed";
  }
  text += "signature (certificate table at " + std::to_string(table.offset) + ", " +
          std::to_string(table.size) + " bytes";
  if (table.offset > packageEnd)
    text += ", after " + ByteCount(table.offset - packageEnd) + " of padding";
  if (table.offset + table.size < fileSize)
    text += ", " + ByteCount(fileSize - table.offset - table.size) + " behind it";
  return text + "): " + certificates;
}

std::string DescribeAppendedData(const std::string& path, uint64_t packageEnd) {
  std::unique_ptr<ByteSource> source = OpenFileSource(path);
  if (!source) return "cannot be read";
  return DescribeAppendedData(*source, packageEnd);
}
