#include "cli/DiagCommand.h"

#include "ops/LocalFiles.h"

namespace vxk {

std::vector<std::string> ParseDiagFolders(const std::string& text) {
  std::vector<std::string> folders;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const std::string part =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (HasControlChars(part))
      throw UsageError("--folders: a folder name holds control characters");
    if (!part.empty()) folders.push_back(part);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return folders;
}

int RunDiag(CliContext& c, const DiagArchiveRunner& runner) {
  DiagRequest request;
  request.zipPath = c.options.zip;
  request.password = c.options.password.value_or("");
  request.folders = ParseDiagFolders(c.options.folders);
  if (!runner) return c.Fail("diag: this build has no diagnostics archive");
  return runner(c, request);
}

}  // namespace vxk
