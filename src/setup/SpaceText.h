// The texts of the temporary-drive check: sizes in megabytes and the
// question that tells the user how much room the setup needs. Portable.
#pragma once

#include <functional>
#include <string>

// Megabytes (1,048,576 bytes) in fixed-point with "." and no separators:
// 1 decimal above 10 MB, 2 from 1 to 10 MB, 3 below 1 MB. Negative counts
// as 0, which gives "0.000".
std::string FormatMegabytes(double bytes);

// The drive of `folder` as the user reads it: "C:" for "c:\temp"; empty for
// an empty folder.
std::string TempDriveText(const std::string& folder);

// A language text for a key, or the given default.
using LanguageLookup =
    std::function<std::string(const std::string& key, const std::string& fallback)>;

// The confirmation to show before unpacking into `folder`, or empty when no
// question is needed. It opens with "s2" (the drive notice) when
// `showNotice`, or with "s3" (the low-space warning) whenever `required` is
// not below `available`; "s4", "s5" and "s6" follow. "<DRIVE>", "<SPACE_REQ>"
// and "<SPACE_AVAIL>" are then replaced, matched case-sensitively.
std::string TempSpaceQuestion(const std::string& folder, double required, double available,
                              bool showNotice, const LanguageLookup& text);
