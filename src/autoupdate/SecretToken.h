// Whether a file the agent downloaded comes from the product's publisher: it
// must carry the same secret token as the agent's own package. Portable.
#pragma once

#include <string>

class AgentLog;
class TGFileInfo;

// What the agent downloads: the info file, the update (a package) and the
// inform page (a token text).
enum DownloadKind { kInfoDownload = 1, kUpdateDownload = 2, kInformDownload = 3 };

// Inform files longer than this are refused unread.
constexpr size_t kInformFileMaxBytes = 1024 * 1024;

// Kind 2: the package at `downloadedPath` has this package's settings token;
// kind 3: the inform file's token field is this package's token. Tokens match
// only when both pass their checks (two damaged tokens never match). A
// missing, empty or unreadable file, and any other kind, fail. An empty token
// in this package writes a warning to the debug channel.
bool CheckSecretToken(const TGFileInfo& package, const std::string& downloadedPath, int kind,
                      AgentLog& log);
