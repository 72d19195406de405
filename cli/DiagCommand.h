#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/CliContext.h"

namespace vxk {

// What `vxkctl diag` asks of the diagnostics archive.
struct DiagRequest {
  std::string zipPath;
  std::string password;              // empty: no encryption
  std::vector<std::string> folders;  // device folders to add; empty: the archive's defaults
};

// The archive operation diag runs: builds the archive for the request on the session's
// device, with progress and the cancel flag, and returns an exit status (messages to the
// context's error stream). It is the window's own archive builder, connected where the
// program is put together; until then diag reports that this build has none.
using DiagArchiveRunner = std::function<int(CliContext& c, const DiagRequest& request)>;

// Splits --folders=A,B into device folders; empty parts are dropped. Folders holding control
// characters are refused (UsageError).
std::vector<std::string> ParseDiagFolders(const std::string& text);

int RunDiag(CliContext& c, const DiagArchiveRunner& runner);

}  // namespace vxk
