// File utilities the stub needs beyond reading its package.
#pragma once

#include <cstdint>
#include <string>

// Appends `text` (plus CR LF when asked) to the file, creating it when
// missing; others may read and write it meanwhile. A non-zero DOS time stamp
// is set before closing. True when every byte was written.
bool AppendToFile(const std::string& path, const std::string& text, bool addLineEnd, uint32_t dosTime);

// Arranges for the program file (and its folder when asked) to be deleted
// after the program has ended. Not built yet: the self-deleting batch file
// comes with the setup run; for now this only traces the request.
void DeleteMySelf(bool removeFolder);
