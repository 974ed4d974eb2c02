// The eight numbered run-time folders behind "<RunTimeDir_1>" .. "<RunTimeDir_8>".
// Each is looked up from its definition once and kept; no definition is
// supplied in this program, so each is empty. Portable.
#pragma once

#include <string>

constexpr int kRunTimeDirCount = 8;

// The folder of `number` (1..8); empty for any other number.
std::string GetRunTimeDir(int number);
