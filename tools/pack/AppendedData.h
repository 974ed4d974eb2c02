// What follows a package in its program file: usually the certificate table
// of a code signature, which the PE certificate directory points to.
#pragma once

#include <cstdint>
#include <string>

#include "package/ByteSource.h"

// Describes the bytes from `packageEnd` to the end of `source` in one line:
// their count, and either the certificate table found there through data
// directory 4 (its offset, size and first certificate's revision and type)
// or why the bytes do not look like one. Reads at most a few hundred bytes;
// never fails (an unreadable file is described as such).
std::string DescribeAppendedData(ByteSource& source, uint64_t packageEnd);

// The same for a file named by its path.
std::string DescribeAppendedData(const std::string& path, uint64_t packageEnd);
