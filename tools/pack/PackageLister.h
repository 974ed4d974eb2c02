// "list": prints everything a package holds, for checking a build by eye.
#pragma once

#include <ostream>
#include <string>

#include "pack/PackStatus.h"

// Prints every volume's trailer (all fields, reserved bytes included), end
// pointer and checksum, the decoded text blocks and every file entry. Entry
// contents are inflated to count their size but not kept; names are shown
// through PrintableText, and names that extract and the stub refuse are
// marked "[UNSAFE NAME]". Fails with kPackage on a damaged package (after
// printing what could be read), with kChecksum when a volume fails its
// checksum and otherwise with kUnsafeName when an entry has an unsafe name
// (both after printing everything).
PackStatus ListPackage(const std::string& firstVolume, std::ostream& out);
