// The update cycle of the resident agent: the three downloads from the
// product's server (the info file, the update, the inform page), the update
// offered, fetched and installed with the product's program shut down and
// started again, and the inform page shown instead of an update.
#pragma once

#include <string>

class AgentView;
class TGFileInfo;

// `program` is the reader on the agent's own file (its token, names and
// settings); `view` its main window.

// Fetches the file-name part of `file` from `base` (the test-mode location
// when test mode is on) into the agent's folder; `kind` is a DownloadKind
// (SecretToken.h). Kinds 2 and 3 must carry the package's token. False on
// failure, with `errorText` saying why.
bool DownloadFileAU(const TGFileInfo& program, AgentView& view, const std::string& base, const std::string& file, int kind,
                    std::string& errorText);

// Offers, downloads and runs the update the info file announces. True when
// the new setup ran and reported success.
bool PerformAutoUpdate(const TGFileInfo& program, AgentView& view);

// Fetches and shows the inform page the info file announces. True when
// something was shown (the page, or its link opened).
bool PerformAutoInform(const TGFileInfo& program, AgentView& view);
