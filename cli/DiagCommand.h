#pragma once

#include <string>
#include <vector>

#include "cli/CliContext.h"

namespace vxk {

// Splits --folders=A,B into device folders; empty parts are dropped. Folders holding control
// characters are refused (UsageError).
std::vector<std::string> ParseDiagFolders(const std::string& text);

// The archive password: --password, else --password-file (refused as a key file is), else
// VXK_ZIP_PASSWORD; empty for none. Throws UsageError.
std::string ResolveZipPassword(const CliOptions& options, const char* environmentPassword);

// For a diag command: checks its folders and puts the password it is to use in place (see
// ResolveZipPassword); other commands are left as they are. Throws UsageError.
void PrepareDiag(CliOptions& options, const char* environmentPassword);

// `vxkctl diag --zip=FILE [--password=P] [--folders=...]`: the window's diagnostics archive,
// with the same entries; the tool's panes are empty here. Without --folders the folders the
// window's dialog ticks at first: /Config, /Logs, /Lua and the root.
int RunDiag(CliContext& c);

}  // namespace vxk
