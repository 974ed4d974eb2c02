// Registry path and value rules that need no system: root names, the split
// of a key path, and the text form of a value's data. Portable; the Win32
// side in Utils maps the root to its key and reads the value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig, DynData };

// "HKEY_LOCAL_MACHINE" or "HKLM" and the like, compared after upper-casing;
// anything else is the current user's root.
RegRoot RegRootIdFromName(const std::string& name);

struct RegPathParts {
  RegRoot root = RegRoot::CurrentUser;
  std::string subKey;  // empty: the root key itself
};

// The trimmed path split at its first "\" when it begins with "HK" (either
// case); a path without "HK" is a subkey of the current user's root.
RegPathParts SplitRegPath(const std::string& path);

// The value types the text form distinguishes (the system's numbers).
constexpr uint32_t kRegTypeDword = 4;
constexpr uint32_t kRegTypeMultiString = 7;

// A 4-byte DWORD as unsigned decimal; a multi-string longer than 2 bytes
// without its closing zeros and with each inner zero written "<0>"; any other
// data (strings, unexpanded strings, binary) as text up to its first zero.
std::string RegistryDataText(uint32_t type, const char* data, size_t size);
